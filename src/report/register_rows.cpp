// Register-access report rows: one row per register access or bus command, assembled from the
// control-communication records. The master view shows the control frame's header fields (CTS, ID
// or IDS, address or command, header CRC); the slave view shows the IDL field the slave saw. Both
// then show read or write and the data bytes, each in a column of its own with its CRC.
#include <cstdio>

#include "abi/record_code.h"
#include "labels/record_table.h"
#include "labels/value_format.h"
#include "report/report_columns.h"
#include "report/report_rows.h"
#include "report/report_writer.h"

namespace zb {
namespace {

constexpr int32_t kSlaveIdBits = 3;
constexpr int32_t kIdsBits = 8;
constexpr int32_t kAddressBits = 7;
constexpr int32_t kCommandBits = 2;
constexpr int32_t kByteBits = 8;
constexpr uint32_t kIdlMask = 0x1FF;

// The names of the view's columns, shared with the host's header text ("Hdr CRC(h)", "IDL(h)",
// "D0".."D15" and "Information" as they stand).
void NameColumns(CallContext& call, const SettingsView& view) {
    const ColumnList list = ReportColumns(*view.Block());
    for (uint32_t i = 0; i < list.count; ++i)
        ReportSetColumnName(call, static_cast<int32_t>(i), list.names[i]);
}

template <size_t N>
void SetText(char (&text)[N], const char* value) {
    std::snprintf(text, N, "%s", value);
}

class RegisterRowBuilder {
  public:
    RegisterRowBuilder(CallContext& call, const SettingsView& view, const RegisterColumnLayout& cols)
        : call_(call), view_(view), cols_(cols) {}

    void Handle(int64_t position, uint32_t code);
    void Finish(int64_t firstPosition);

  private:
    void WriteOpenRow() {
        if (!rowOpen_) return;
        ReportWriteRow(call_);
        rowOpen_ = false;
    }
    void MakeAccessRow();
    // Writes the open row, if any, and opens the row of a new access.
    void OpenAccessRow() {
        WriteOpenRow();
        MakeAccessRow();
        rowOpen_ = true;
    }
    void FormatField(uint32_t value, int32_t width, char* text, int32_t size) {
        text[0] = '\0';
        FormatValue32(call_, value, view_.HostValueFormat(), width, text, size);
    }
    void Cts(int64_t position, uint32_t code);
    void Crc(uint32_t code);
    void ReadWrite(uint32_t code);
    void RegData(int64_t position, uint32_t code);
    void Idl(int64_t position, uint32_t code);
    void ClockOrFirst(int64_t position, uint32_t code);
    void Idle();

    CallContext& call_;
    const SettingsView& view_;
    const RegisterColumnLayout& cols_;
    uint32_t ctsValue_ = 1;
    char ctsText_[24] = {};
    char idText_[24] = {};
    char adrText_[24] = {};
    char rwText_[24] = {};
    char headerCrcText_[16] = {};
    char idlText_[16] = {};
    char infoText_[32] = {};
    char dataText_[32] = {};
    int32_t dataColumn_ = kNoColumn;
    int32_t dataIndex_ = 0;
    bool crcBad_ = false;
    Colour headerCrcColour_ = Colour::Good;
    Colour rwColour_ = Colour::Flag;
    Colour idlColour_ = Colour::Flag;
    bool inData_ = false;
    bool rowOpen_ = false;
    bool idlPending_ = false;
    bool anyAccess_ = false;
    int64_t rowClock_ = 0;
};

void RegisterRowBuilder::MakeAccessRow() {
    StartBlankRow(call_, rowClock_, cols_.count);
    if (!cols_.slaveView) {
        ReportSetCell(call_, cols_.cts, ctsText_);
        ReportSetCell(call_, cols_.id, idText_);
        ReportSetCell(call_, cols_.adr, adrText_);
        ReportSetCellColour(call_, cols_.adr, PairIndex(crcBad_ ? Colour::Alert : Colour::AckAdr));
    }
    ReportSetCell(call_, cols_.readWrite, rwText_);
    if (headerCrcText_[0] != '\0' && cols_.headerCrc != kNoColumn) {
        ReportSetCell(call_, cols_.headerCrc, headerCrcText_);
        ReportSetCellColour(call_, cols_.headerCrc, PairIndex(headerCrcColour_));
    }
    if (idlText_[0] != '\0' && cols_.idl != kNoColumn) {
        ReportSetCell(call_, cols_.idl, idlText_);
        ReportSetCellColour(call_, cols_.idl, PairIndex(idlColour_));
    }
    if (infoText_[0] != '\0') {
        ReportSetCell(call_, cols_.information, infoText_);
        ReportSetCellColour(call_, cols_.information, PairIndex(Colour::Flag));
    }
    if (rwText_[0] != '\0') ReportSetCellColour(call_, cols_.readWrite, PairIndex(rwColour_));
    dataIndex_ = 0;
    dataText_[0] = '\0';
    dataColumn_ = kNoColumn;
    anyAccess_ = true;
    idlPending_ = false;
}

void RegisterRowBuilder::Cts(int64_t position, uint32_t code) {
    WriteOpenRow();
    ctsValue_ = code & 1u;
    std::snprintf(ctsText_, sizeof ctsText_, "%d", static_cast<int>(ctsValue_));
    idText_[0] = adrText_[0] = rwText_[0] = headerCrcText_[0] = idlText_[0] = infoText_[0] = '\0';
    inData_ = false;
    crcBad_ = false;
    rowClock_ = position;
}

void RegisterRowBuilder::Crc(uint32_t code) {
    const uint32_t received = PayloadOf(code) & 0xF;
    if (inData_) {
        // The CRC of the data byte waiting in its column.
        if (rowOpen_ && dataColumn_ != kNoColumn && dataText_[0] != '\0') {
            char text[48];
            std::snprintf(text, sizeof text, "%s (%02X)", dataText_, received);
            ReportSetCell(call_, dataColumn_, text);
            // A byte whose CRC matches takes the register CRC colour, else the CRC's alert.
            const Colour crcColour = LookOf(code, false).colour;
            ReportSetCellColour(call_, dataColumn_,
                                PairIndex(crcColour == Colour::Good ? Colour::RegisterCrc : crcColour));
            dataText_[0] = '\0';
            dataColumn_ = kNoColumn;
        }
        return;
    }
    crcBad_ = SecondByte(code) != 0;
    headerCrcColour_ = LookOf(code, false).colour;
    std::snprintf(headerCrcText_, sizeof headerCrcText_, "%02X", received);
    if (ctsValue_ == 0) {
        // A bus command: no read/write bits follow, its row is made at the header CRC.
        OpenAccessRow();
        inData_ = false;
    }
}

void RegisterRowBuilder::ReadWrite(uint32_t code) {
    const RecordLook& look = LookOf(code, false);
    SetText(rwText_, look.report);
    rwColour_ = look.colour;
    OpenAccessRow();
    inData_ = false;
}

void RegisterRowBuilder::RegData(int64_t position, uint32_t code) {
    if (!rowOpen_) OpenAccessRow();
    if (dataIndex_ >= cols_.dataColumns) {
        // More bytes than data columns: a continuation row repeats the head cells.
        rowClock_ = position;
        OpenAccessRow();
    }
    FormatField(LowByte(code), kByteBits, dataText_, sizeof dataText_);
    dataColumn_ = cols_.firstData + dataIndex_;
    ReportSetCell(call_, dataColumn_, dataText_);
    ReportSetCellColour(call_, dataColumn_, PairIndex(LookOf(code, false).colour));
    ++dataIndex_;
    inData_ = true;
}

void RegisterRowBuilder::Idl(int64_t position, uint32_t code) {
    WriteOpenRow();
    if (cols_.idl != kNoColumn && idlPending_) {
        // The previous IDL got no access: it gets a row of its own.
        MakeAccessRow();
        ReportWriteRow(call_);
    }
    inData_ = false;
    infoText_[0] = headerCrcText_[0] = rwText_[0] = '\0';
    dataIndex_ = 0;
    rowClock_ = position;
    crcBad_ = false;
    idlColour_ = LookOf(code, false).colour;
    const uint32_t v = PayloadOf(code) & kIdlMask;
    std::snprintf(idlText_, sizeof idlText_, "%03X", (v & 1u) != 0 ? v : v >> 1);
    idlPending_ = true;
}

void RegisterRowBuilder::ClockOrFirst(int64_t position, uint32_t code) {
    WriteOpenRow();
    StartBlankRow(call_, position, cols_.count);
    // The first frame names protocol and view; a clock period gives the MA clock rate, when the
    // sample rate is known.
    char text[96];
    if (KindOf(code) == RecordKind::FirstFrame) {
        std::snprintf(text, sizeof text, "%s; %s", view_.IsBissB() ? "BiSS-B" : "BiSS-C",
                      cols_.slaveView ? "Register Access - Slave (CDS)" : "Register Access - Master (CDM)");
    } else if (!FormatClockText(view_.SampleRate(), PayloadOf(code), text, sizeof text)) {
        return;  // the started row waits; the next row or the close takes its place
    }
    ReportSetCell(call_, cols_.information, text);
    ReportSetCellColour(call_, cols_.information, PairIndex(Colour::Start));
    ReportWriteRow(call_);
}

void RegisterRowBuilder::Idle() {
    if (!cols_.slaveView || rowOpen_ || !idlPending_) return;
    SetText(infoText_, "Bus command");
    MakeAccessRow();
    ReportWriteRow(call_);
    rowOpen_ = false;
    infoText_[0] = '\0';
}

void RegisterRowBuilder::Handle(int64_t position, uint32_t code) {
    switch (KindOf(code)) {
        case RecordKind::Cts:
            Cts(position, code);
            break;
        case RecordKind::Id:
            FormatField(LowByte(code), IdIsIds(code) ? kIdsBits : kSlaveIdBits, idText_, sizeof idText_);
            break;
        case RecordKind::Adr:
            FormatField(PayloadOf(code) & 0x7F, kAddressBits, adrText_, sizeof adrText_);
            break;
        case RecordKind::Cmd:
            FormatField(PayloadOf(code) & 0x3, kCommandBits, adrText_, sizeof adrText_);
            break;
        case RecordKind::Crc:
            Crc(code);
            break;
        case RecordKind::ReadWrite:
            ReadWrite(code);
            break;
        case RecordKind::RegData:
            RegData(position, code);
            break;
        case RecordKind::Idl:
            Idl(position, code);
            break;
        case RecordKind::ClockPeriod:
        case RecordKind::FirstFrame:
            ClockOrFirst(position, code);
            break;
        case RecordKind::Status:
            if (static_cast<StatusCode>(LowByte(code)) == StatusCode::Idle) Idle();
            break;
        default:
            break;
    }
}

void RegisterRowBuilder::Finish(int64_t firstPosition) {
    if (rowOpen_) {
        WriteOpenRow();
    } else if (cols_.slaveView && idlPending_) {
        MakeAccessRow();
        ReportWriteRow(call_);
    }
    if (!anyAccess_) {
        StartBlankRow(call_, firstPosition, cols_.count);
        ReportSetCell(call_, cols_.information, "No control data");
        ReportSetCellColour(call_, cols_.information, PairIndex(Colour::Flag));
        ReportWriteRow(call_);
    }
}

}  // namespace

void BuildRegisterRows(CallContext& call, const SettingsView& view, const int64_t* positions,
                       const uint32_t* codes, uint64_t count, const ReleaseRecords& release) {
    const RegisterColumnLayout cols = RegisterColumnsFor(view);
    RegisterRowBuilder builder(call, view, cols);
    RunReportRows(
        call, view, positions, codes, count, builder, [&] { NameColumns(call, view); },
        [&] { builder.Finish(positions[0]); }, release);
}

}  // namespace zb
