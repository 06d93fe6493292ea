// The frames and accesses tables. Values and counts are decimal numbers; bit patterns (CRCs, IDs,
// addresses, data bytes) are hexadecimal text with 0x. An unknown cell is empty in CSV and null in
// JSON; a time is empty or null when the capture has no sample rate.
#include "frames_table.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "report_table.h"
#include "safe_output.h"
#include "summary.h"
#include "time_units.h"

namespace zbhost {

namespace {

constexpr uint64_t kInterruptCheckRows = 4096;

// One table written row by row; the first row's column names make the CSV header.
class TableWriter {
  public:
    TableWriter(TableFormat format, std::ostream& out) : format_(format), out_(out) {}

    void Number(const char* name, const std::string& text) { cells_.push_back({name, text, false}); }
    void Number(const char* name, bool known, uint64_t value) {
        Number(name, known ? std::to_string(value) : std::string());
    }
    void Text(const char* name, const std::string& text) { cells_.push_back({name, text, true}); }
    void Hex(const char* name, bool known, unsigned value, int digits) {
        char text[24];
        std::snprintf(text, sizeof text, "0x%0*X", digits, value);
        Text(name, known ? text : "");
    }
    void Flag(const char* name, bool known, bool value) {
        cells_.push_back({name, known ? (value ? "1" : "0") : "", false, true});
    }

    uint64_t Rows() const { return rows_; }
    // The CSV header of the cells given so far, without a row (for a table without rows).
    void HeaderOnly() {
        if (format_ == TableFormat::Csv) out_ << Header() << '\n';
        cells_.clear();
    }

    void EndRow() {
        if ((++rows_ % kInterruptCheckRows) == 0) ThrowIfInterrupted();
        std::string line;
        if (format_ == TableFormat::Csv) {
            if (rows_ == 1) line = Header() + '\n';
            for (size_t i = 0; i < cells_.size(); ++i) line += (i ? "," : "") + CsvField(cells_[i].text);
        } else {
            line = "{";
            for (size_t i = 0; i < cells_.size(); ++i) {
                const Cell& c = cells_[i];
                line += (i ? ", " : "") + JsonString(c.name) + ": ";
                if (c.text.empty())
                    line += "null";
                else if (c.flag)
                    line += c.text == "1" ? "true" : "false";
                else
                    line += c.isText ? JsonString(c.text) : c.text;
            }
            line += "}";
        }
        out_ << line << '\n';
        cells_.clear();
    }

  private:
    std::string Header() const {
        std::string line;
        for (size_t i = 0; i < cells_.size(); ++i) line += (i ? "," : "") + std::string(cells_[i].name);
        return line;
    }
    struct Cell {
        const char* name;
        std::string text;
        bool isText;
        bool flag = false;
    };
    TableFormat format_;
    std::ostream& out_;
    std::vector<Cell> cells_;
    uint64_t rows_ = 0;
};

void WriteFrames(const RecordView& records, const DecodeLayout& l, TableWriter& t) {
    const int crcDigits = (l.crc.bits + 3) / 4;
    auto fill = [&](const DecodedFrame& f, size_t k) {
        const SlaveWord& w = f.slaves[k];
        uint32_t expected = 0;
        const bool hasExpected = w.ExpectedCrc(l, expected);
        const std::string received = w.ReceivedCrcText(l);
        t.Number("frame", true, f.index);
        t.Number("slave", true, k);
        t.Number("sample", std::to_string(f.position));
        t.Number("time_s", SecondsOfSample(f.position, l.sampleRate));
        t.Number("multi_turn", w.hasMultiTurn, w.multiTurn);
        t.Number("single_turn", w.hasSingleTurn, w.singleTurn);
        t.Number("position", w.HasValue(), w.Position(l));
        t.Number("nerr", w.err >= 0, static_cast<uint64_t>(w.err));
        t.Number("nwarn", w.warn >= 0, static_cast<uint64_t>(w.warn));
        t.Text("crc_received", received.empty() ? "" : "0x" + received);
        t.Hex("crc_expected", hasExpected, expected, crcDigits);
        t.Flag("crc_ok", w.hasCrc, !w.crcBad);
        t.Number("cds", f.cds >= 0, static_cast<uint64_t>(f.cds));
        t.Number("cdm", f.cdm >= 0, static_cast<uint64_t>(f.cdm));
        t.Text("status", StatusName(w.status));
    };
    ForEachFrame(records, [&](const DecodedFrame& f) {
        for (size_t k = 0; k < f.slaves.size(); ++k) {
            fill(f, k);
            t.EndRow();
        }
    });
    if (t.Rows() == 0) {
        DecodedFrame none;
        none.slaves.emplace_back();
        fill(none, 0);
        t.HeaderOnly();
    }
}

void WriteAccesses(const RecordView& records, const DecodeLayout& l, TableWriter& t) {
    auto fill = [&](const DecodedAccess& a) {
        std::string bytes;
        for (int b : a.bytes) {
            char text[8];
            std::snprintf(text, sizeof text, b < 0 ? "??" : "%02X", b);
            bytes += (bytes.empty() ? "" : " ") + std::string(text);
        }
        const auto u = [](int v) { return static_cast<unsigned>(v); };
        t.Number("access", true, a.index);
        t.Number("sample", std::to_string(a.position));
        t.Number("time_s", SecondsOfSample(a.position, l.sampleRate));
        t.Text("view", ModeName(l.mode));
        t.Text("kind", AccessKindName(a.kind));
        t.Number("slave_id", a.slaveId >= 0, u(a.slaveId));
        t.Hex("address", a.address >= 0, u(a.address), 2);
        t.Hex("ids", a.ids >= 0, u(a.ids), 2);
        t.Number("command", a.command >= 0, u(a.command));
        t.Hex("idl", a.idl >= 0, u(a.idl), 3);
        t.Text("rw", a.rw >= 0 ? std::string{char('0' + (a.rw >> 1)), char('0' + (a.rw & 1))} : "");
        t.Number("byte_count", true, a.bytes.size());
        t.Text("bytes", bytes);
        t.Hex("address_crc", a.addressCrc >= 0, u(a.addressCrc), 1);
        t.Flag("address_crc_ok", a.addressCrc >= 0, !a.addressCrcBad);
        t.Flag("data_crc_ok", a.byteCrcs > 0, a.badByteCrcs == 0);
        t.Text("status", AccessStatusName(a.status));
    };
    ForEachAccess(records, l.mode == ViewMode::Slave, [&](const DecodedAccess& a) {
        fill(a);
        t.EndRow();
    });
    if (t.Rows() == 0) {
        fill(DecodedAccess{});
        t.HeaderOnly();
    }
}

}  // namespace

TableFormat TableFormatFor(const std::string& path) {
    std::string lower;
    for (char c : path) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* ext : {".jsonl", ".ndjson", ".json"}) {
        const std::string e = ext;
        if (lower.size() >= e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0)
            return TableFormat::JsonLines;
    }
    return TableFormat::Csv;
}

void WriteFramesTable(const RecordView& records, const DecodeLayout& layout, TableFormat format,
                      std::ostream& out) {
    TableWriter t(format, out);
    if (layout.mode == ViewMode::SingleCycle)
        WriteFrames(records, layout, t);
    else
        WriteAccesses(records, layout, t);
}

}  // namespace zbhost
