// Test helper for the report rows: a host record whose row callback records every report line,
// a settings block with explicit, readable values, and a way to state an expected row line as its
// clock, the colour pair of each cell and the cell texts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "abi/call_context.h"
#include "abi/decoder_settings.h"
#include "abi/record_code.h"
#include "report/report_entry.h"

namespace zbtest {

struct ReportRec {
    int64_t position;
    uint32_t code;
};

class ReportCapture {
  public:
    ReportCapture() : view_(&settings_) {
        Active() = this;
        record_.reportRow = &Row;
        record_.stopFlag = &stopWord_;
        std::snprintf(record_.reportBlockName, sizeof record_.reportBlockName, "%s", "unused");
        view_.Normalise();
        view_.SetAutoLength(false);
        view_.SetDataLength(24);
        view_.SetSingleTurnBits(12);
        view_.SetAlignmentBits(0);
        view_.SetCrcBits(6);
        view_.SetProtocol(0);
        view_.SetMode(static_cast<uint32_t>(zb::DecodeMode::SingleCycle));
        settings_.sampleRate = 100000000;
        settings_.hostValueFormat = 0;
        call_.Remember(&record_);
    }
    ~ReportCapture() { Active() = nullptr; }
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;

    zb::SettingsView& View() { return view_; }
    zb::DecoderSettings& Settings() { return settings_; }
    zb::HostRecord& Record() { return record_; }
    zb::CallContext& Call() { return call_; }
    void RequestStop() { stopWord_ = 1; }

    // Runs the report entry over `records` and returns the lines (header first).
    const std::vector<std::string>& Build(const std::vector<ReportRec>& records) {
        lines_.clear();
        endCalls_ = 0;
        std::vector<int64_t> positions;
        std::vector<uint32_t> codes;
        for (const ReportRec& r : records) {
            positions.push_back(r.position);
            codes.push_back(r.code);
        }
        call_.Remember(&record_);
        zb::BuildReport(call_, widths_, settings_, positions.data(), codes.data(), codes.size());
        return lines_;
    }
    const std::vector<std::string>& Lines() const { return lines_; }
    int EndCalls() const { return endCalls_; }

  private:
    static ReportCapture*& Active() {
        static ReportCapture* active = nullptr;
        return active;
    }
    static int32_t ZB_CALL Row(const char* text, uint32_t length) {
        if (Active() == nullptr) return 0;
        if (text == nullptr) {
            ++Active()->endCalls_;
        } else {
            Active()->lines_.emplace_back(text, length);
        }
        return 1;
    }

    zb::DecoderSettings settings_{};
    zb::SettingsView view_;
    zb::HostRecord record_{};
    zb::CallContext call_;
    zb::ColumnWidths widths_ = {};
    uint32_t stopWord_ = 0;
    std::vector<std::string> lines_;
    int endCalls_ = 0;
};

// The expected row line: "|@01", two colour digits per cell, "|@", the clock, the quoted cells.
// Cell texts here contain no characters that need escaping; an empty text is a quoted space.
inline std::string RowLine(int64_t clock, const std::vector<int>& pairs,
                           const std::vector<std::string>& cells) {
    const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string line = "|@01";
    for (int p : pairs) {
        line += digits[2 * p + 2];
        line += digits[2 * p + 3];
    }
    line += "|@" + std::to_string(clock);
    for (const std::string& c : cells) line += ",\"" + (c.empty() ? std::string(" ") : c) + "\"";
    return line + "\r\n";
}

// Pairs 0..11 as declared with the default colour slots (0, 0, 2, 5, 5, 5, 0, 7, 13).
inline std::string DefaultColourTable() {
    return "||000000FFFFFF"
           "0000003099FF0000003099FF00000099FFFF000000FFCC99000000FFCC99000000FFCC99"
           "0000003099FF000000FFFFFF000000FFCC00000000FFFFFFFFFFFF3333E100000000FF00";
}

inline uint32_t Code(zb::RecordKind kind, uint32_t payload = 0) {
    return zb::MakeCode(kind, payload);
}
inline uint32_t Status(zb::StatusCode s, uint32_t acks = 0) {
    return zb::MakeStatus(s, acks);
}

// The three records of a value, all at one position.
inline void AddValue(std::vector<ReportRec>& out, int64_t position, zb::ValueTriple t, uint64_t v) {
    out.push_back({position, zb::MakeCode(t.high, zb::TripleHighPayload(v))});
    out.push_back({position, zb::MakeCode(t.mid, zb::TripleMidPayload(v))});
    out.push_back({position, zb::MakeCode(t.low, zb::TripleLowPayload(v))});
}

}  // namespace zbtest
