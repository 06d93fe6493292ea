// Single-cycle report rows: one row per BiSS frame (per slave in a daisy chain) with CDS, the
// position values, nError, nWarning, CRC and CDM, and an Information column for the summary, the
// MA clock rate and the marks of broken frames (time-out, busy, incomplete).
#include <cstdio>

#include "abi/record_code.h"
#include "labels/record_table.h"
#include "labels/value_format.h"
#include "report/report_columns.h"
#include "report/report_rows.h"
#include "report/report_writer.h"

namespace zb {
namespace {

constexpr size_t kNameSize = 64;
constexpr size_t kValueTextSize = 128;
constexpr size_t kSummarySize = 128;
constexpr size_t kInfoSize = 64;
constexpr const char* kValueSuffix = "(h)";

// The host shows values in its own format; only HEX (and the values it does not know) get the
// "(h)" mark in the header of the value and CRC columns.
bool WantsHexSuffix(uint32_t hostValueFormat) {
    return hostValueFormat < 1 || hostValueFormat > 4;
}

// The names of the layout's columns (shared with the host's header text); the value and CRC
// columns get the "(h)" mark appended when the host shows HEX.
void NameColumns(CallContext& call, const SettingsView& view, const FrameColumns& cols) {
    const bool suffix = WantsHexSuffix(view.HostValueFormat());
    const ColumnList list = ReportColumns(*view.Block());
    for (uint32_t i = 0; i < list.count; ++i) {
        const auto col = static_cast<int32_t>(i);
        const bool valueColumn = col == cols.multiTurn || col == cols.singleTurn || col == cols.crc;
        char name[kNameSize];
        std::snprintf(name, sizeof name, "%s%s", list.names[i], valueColumn && suffix ? kValueSuffix : "");
        ReportSetColumnName(call, col, name);
    }
}

class FrameRowBuilder {
  public:
    FrameRowBuilder(CallContext& call, const SettingsView& view, const FrameColumns& cols)
        : call_(call), view_(view), cols_(cols), valueBits_(view.PositionBits()) {}

    void Handle(int64_t position, uint32_t code);
    void Finish() { EndRow(); }

  private:
    void EnsureRow(int64_t position) {
        if (rowOpen_) return;
        StartBlankRow(call_, position, cols_.count);
        rowOpen_ = true;
    }
    void EndRow() {
        if (!rowOpen_) return;
        ReportWriteRow(call_);
        rowOpen_ = false;
    }
    void Cell(int64_t position, int32_t col, const char* text, Colour colour) {
        EnsureRow(position);
        ReportSetCell(call_, col, text);
        ReportSetCellColour(call_, col, PairIndex(colour));
    }
    // A one-bit field as "%u" would print it, in the colour of its record.
    void Bit(int64_t position, int32_t col, uint32_t code) {
        Cell(position, col, (code & 1u) != 0 ? "1" : "0", Look(code).colour);
    }
    const RecordLook& Look(uint32_t code) const { return LookOf(code, view_.IsBissB()); }
    void BeginValue(int64_t position, RecordKind kind, uint32_t payload);
    void EndValue(int64_t position, uint32_t code);
    void Summary(int64_t position);
    void StatusMark(int64_t position, uint32_t code);

    CallContext& call_;
    const SettingsView& view_;
    const FrameColumns& cols_;
    bool rowOpen_ = false;
    int32_t valueColumn_ = kNoColumn;
    int32_t valueBits_;
    uint32_t valueHigh_ = 0;
    uint32_t valueMid_ = 0;
};

void FrameRowBuilder::BeginValue(int64_t position, RecordKind kind, uint32_t payload) {
    EnsureRow(position);
    valueHigh_ = payload & 0xFFFF;
    valueMid_ = 0;
    switch (kind) {
        case RecordKind::SingleTurnHigh:
            valueColumn_ = cols_.singleTurn;
            valueBits_ = view_.SingleTurnWidth();
            break;
        case RecordKind::MultiTurnHigh:
            valueColumn_ = cols_.multiTurn;
            valueBits_ = view_.MultiTurnWidth();
            break;
        default:
            valueColumn_ = cols_.multiTurn;
            valueBits_ = view_.PositionBits();
            break;
    }
}

// The value's last record: the whole value goes into its column.
void FrameRowBuilder::EndValue(int64_t position, uint32_t code) {
    EnsureRow(position);
    const uint64_t value = JoinTriple(valueHigh_, valueMid_, PayloadOf(code));
    if (valueColumn_ != kNoColumn) {
        char text[kValueTextSize] = {};
        FormatValueAuto(call_, value, view_.HostValueFormat(), valueBits_, text, sizeof text);
        ReportSetCell(call_, valueColumn_, text);
        ReportSetCellColour(call_, valueColumn_, PairIndex(Look(code).colour));
    }
    valueHigh_ = 0;
    valueMid_ = 0;
    valueColumn_ = kNoColumn;
}

void FrameRowBuilder::Summary(int64_t position) {
    char text[kSummarySize];
    const char* name = view_.IsBissB() ? "BiSS-B" : "BiSS-C";
    const char* automatic = view_.AutoLength() ? " (Auto)" : "";
    const int32_t align = view_.Alignment();
    if (align < 1) {
        std::snprintf(text, sizeof text, "%s; Data Len %d bits%s = MT %d + ST %d", name,
                      view_.EffectiveDataLength(), automatic, view_.MultiTurnBits(), view_.SingleTurnBits());
    } else {
        std::snprintf(text, sizeof text, "%s; Data Len %d bits%s = MT %d + ST %d + Align %d", name,
                      view_.EffectiveDataLength(), automatic, view_.MultiTurnBits(), view_.SingleTurnBits(),
                      align);
    }
    Cell(position, cols_.information, text, Colour::Start);
}

// A broken frame's mark (time-out, busy, incomplete) in the Information column; any status ends
// the row.
void FrameRowBuilder::StatusMark(int64_t position, uint32_t code) {
    const RecordLook& look = Look(code);
    if (look.report != nullptr) {
        char acks[16];
        std::snprintf(acks, sizeof acks, "%u", SecondByte(code));
        char text[kInfoSize];
        std::snprintf(text, sizeof text, look.report, acks);
        Cell(position, cols_.information, text, look.colour);
    }
    EndRow();
}

void FrameRowBuilder::Handle(int64_t position, uint32_t code) {
    const RecordKind kind = KindOf(code);
    const uint32_t payload = PayloadOf(code);
    switch (kind) {
        case RecordKind::FirstFrame:
            Summary(position);
            break;
        case RecordKind::ClockPeriod: {
            EnsureRow(position);
            char text[kInfoSize];
            if (FormatClockText(view_.SampleRate(), payload, text, sizeof text)) {
                Cell(position, cols_.information, text, Colour::Start);
            }
            break;
        }
        case RecordKind::Ack:
            EnsureRow(position);
            break;
        case RecordKind::Cds:
            // BiSS-B has no CDS column: the row starts, the cell is refused by the writer.
            Bit(position, cols_.cds, code);
            break;
        case RecordKind::MultiTurnHigh:
        case RecordKind::SingleTurnHigh:
        case RecordKind::DataHigh:
            BeginValue(position, kind, payload);
            break;
        case RecordKind::MultiTurnMid:
        case RecordKind::SingleTurnMid:
        case RecordKind::DataMid:
            EnsureRow(position);
            valueMid_ = payload;
            break;
        case RecordKind::MultiTurnLow:
        case RecordKind::SingleTurnLow:
        case RecordKind::DataLow:
            EndValue(position, code);
            break;
        case RecordKind::Err:  // its colour says whether it is active (low in BiSS-C, high in BiSS-B)
            Bit(position, cols_.nError, code);
            break;
        case RecordKind::Warn:
            Bit(position, cols_.nWarning, code);
            break;
        case RecordKind::Crc: {
            char text[kValueTextSize] = {};
            FormatValue32(call_, LowByte(code), view_.HostValueFormat(), view_.ConfiguredCrcBits(), text,
                          sizeof text);
            Cell(position, cols_.crc, text, Look(code).colour);
            break;
        }
        case RecordKind::Cdm:
            Bit(position, cols_.cdm, code);
            break;
        case RecordKind::Status:
            StatusMark(position, code);
            break;
        default:
            break;
    }
}

}  // namespace

void BuildFrameRows(CallContext& call, const SettingsView& view, const int64_t* positions,
                    const uint32_t* codes, uint64_t count, const ReleaseRecords& release) {
    const FrameColumns cols = FrameColumnsFor(view);
    FrameRowBuilder builder(call, view, cols);
    RunReportRows(
        call, view, positions, codes, count, builder, [&] { NameColumns(call, view, cols); },
        [&] { builder.Finish(); }, release);
}

}  // namespace zb
