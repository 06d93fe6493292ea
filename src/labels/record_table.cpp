// The record table's rows and the choice of row for a record code.
#include "labels/record_table.h"

#include <algorithm>
#include <array>

#include "abi/colour_tables.h"
#include "abi/record_code.h"

namespace zb {
namespace {

enum class Row : uint8_t {
    Ack,
    Start,
    Cds,
    Cdm,
    Cts,
    Ida,
    Idl,
    Id,
    Ids,
    Adr,
    Cmd,
    RegData,
    ErrInactive,
    ErrActive,
    Warn,
    CrcGood,
    CrcBad,
    Stop,
    StopOne,
    NotImplemented,
    Read,
    Write,
    MultiTurn,
    SingleTurn,
    Data,
    MultiTurnName,
    SingleTurnName,
    DataName,
    ValueLow,
    NoText,
    Reading,
    Busy,
    BusyCounted,
    Error,
    ErrorCounted,
    Timeout,
    TimeoutCounted,
    Idle,
    Unknown,
    Count,
};

// In the order of Row. A status with an acknowledge count of 2 or more is "counted".
constexpr RecordLook kLooks[] = {
    {"ACK", "A", nullptr, Colour::AckAdr},
    {"Start", "S", nullptr, Colour::Start},
    {"CDS:%s", "%s", nullptr, Colour::CdsCts},
    {"CDM:%s", "%s", nullptr, Colour::CdsCts},
    {"CTS:%s", "%s", nullptr, Colour::CdsCts},
    {"IDA:%s", "%s", nullptr, Colour::Write},
    {"IDL:%s", "%s", nullptr, Colour::Flag},
    {"ID:%s", "%s", nullptr, Colour::Flag},
    {"IDS:%s", "%s", nullptr, Colour::Read},
    {"ADR:%s", "%s", nullptr, Colour::AckAdr},
    {"CMD:%s", "%s", nullptr, Colour::DataCmd},
    {"D:%s", "%s", nullptr, Colour::DataCmd},
    {"nErr:%s", "%s", nullptr, Colour::Flag},
    {"nErr:%s", "%s", nullptr, Colour::Alert},
    {"nWarn:%s", "%s", nullptr, Colour::Flag},
    {"CRC:%s", "%s", nullptr, Colour::Good},
    {"CRC:%s", "%s", nullptr, Colour::Alert},
    {"Stop", "P", nullptr, Colour::Stop},
    {"Stop P=1", "P1", nullptr, Colour::Flag},
    {"Non-impl", "X", "Non-implement", Colour::Flag},
    {"Read", "R", "Read", Colour::Read},
    {"Write", "W", "Write", Colour::Write},
    {"Multi-Turn: %s", "%s", nullptr, Colour::DataCmd},
    {"Single-Turn: %s", "%s", nullptr, Colour::DataCmd},
    {"Data: %s", "%s", nullptr, Colour::DataCmd},
    {"Multi-Turn", "Multi-Turn", nullptr, Colour::DataCmd},
    {"Single-Turn", "Single-Turn", nullptr, Colour::DataCmd},
    {"Data", "Data", nullptr, Colour::DataCmd},
    {"%s", "%s", nullptr, Colour::DataCmd},
    {"", "", nullptr, Colour::Plain},
    {"Reading", "Reading", nullptr, Colour::Read},
    {"Busy", "Busy", "Busy", Colour::Flag},
    {"Busy %s clk", "%s", "Busy (ACK %s clk)", Colour::Flag},
    {"Error", "Error", "Incomplete frame", Colour::Alert},
    {"Error", "Error", "Incomplete (ACK %s clk)", Colour::Alert},
    {"Timeout", "Timeout", "Timeout", Colour::Alert},
    {"Timeout %s clk", "T", "Timeout (ACK %s clk)", Colour::Alert},
    {"IDLE", "IDLE", nullptr, Colour::Plain},
    {"?%s", "?%s", nullptr, Colour::Plain},
};
static_assert(sizeof kLooks / sizeof kLooks[0] == static_cast<size_t>(Row::Count));

// ExpandLook knows one directive, "%s", at most once in a format.
constexpr bool ExpandsByHand(const char* format) {
    if (format == nullptr) return true;
    int values = 0;
    for (const char* f = format; *f != '\0'; ++f) {
        if (*f != '%') continue;
        if (f[1] != 's') return false;
        ++values;
        ++f;
    }
    return values <= 1;
}
constexpr bool EveryLookExpandsByHand() {
    for (const RecordLook& look : kLooks) {
        if (!ExpandsByHand(look.longLabel) || !ExpandsByHand(look.shortLabel) || !ExpandsByHand(look.report))
            return false;
    }
    return true;
}
static_assert(EveryLookExpandsByHand());

constexpr LabelParts Split(const char* format) {
    LabelParts parts;
    parts.before = format;
    uint32_t i = 0;
    while (format[i] != '\0' && format[i] != '%') ++i;
    parts.beforeLength = i;
    if (format[i] == '\0') {
        parts.after = format + i;
        return parts;
    }
    parts.hasValue = true;
    parts.after = format + i + 2;
    while (parts.after[parts.afterLength] != '\0') ++parts.afterLength;
    return parts;
}

constexpr size_t kRows = static_cast<size_t>(Row::Count);
struct LookParts {
    LabelParts longForm, shortForm;
};
constexpr std::array<LookParts, kRows> SplitLooks() {
    std::array<LookParts, kRows> parts{};
    for (size_t k = 0; k < kRows; ++k) parts[k] = {Split(kLooks[k].longLabel), Split(kLooks[k].shortLabel)};
    return parts;
}
constexpr std::array<LookParts, kRows> kParts = SplitLooks();

constexpr uint32_t LongestFormat() {
    uint32_t longest = 0;
    for (const LookParts& p : kParts) {
        for (const LabelParts& f : {p.longForm, p.shortForm})
            longest = std::max(longest, f.beforeLength + f.afterLength);
    }
    return longest;
}

Row StatusRow(uint32_t code) {
    const bool counted = SecondByte(code) >= 2;
    switch (static_cast<StatusCode>(LowByte(code))) {
        case StatusCode::Reading:
            return Row::Reading;
        case StatusCode::Busy:
            return counted ? Row::BusyCounted : Row::Busy;
        case StatusCode::Error:
            return counted ? Row::ErrorCounted : Row::Error;
        case StatusCode::SlaveSeparator:
            return Row::NoText;  // the span keeps the plain colour
        case StatusCode::Timeout:
            return counted ? Row::TimeoutCounted : Row::Timeout;
        default:
            return Row::Idle;
    }
}

Row RowOf(uint32_t code, bool bissB, bool wholeValue) {
    const uint32_t p = LowByte(code);
    switch (KindOf(code)) {
        case RecordKind::Ack:
            return Row::Ack;
        case RecordKind::Start:
            return Row::Start;
        case RecordKind::Cds:
            return Row::Cds;
        case RecordKind::Cdm:
            return Row::Cdm;
        case RecordKind::Cts:
            return Row::Cts;
        case RecordKind::Ida:
            return Row::Ida;
        case RecordKind::Idl:
            return Row::Idl;
        case RecordKind::Id:
            return IdIsIds(code) ? Row::Ids : Row::Id;
        case RecordKind::Adr:
            return Row::Adr;
        case RecordKind::Cmd:
            return Row::Cmd;
        case RecordKind::RegData:
            return Row::RegData;
        case RecordKind::Err:
            // nErr is active low in BiSS-C and active high in BiSS-B.
            return ((p & 1) != 0) == bissB ? Row::ErrActive : Row::ErrInactive;
        case RecordKind::Warn:
            return Row::Warn;
        case RecordKind::Crc:
            return SecondByte(code) != 0 ? Row::CrcBad : Row::CrcGood;
        case RecordKind::Stop:
            return (p & 1) == 0 ? Row::Stop : Row::StopOne;
        case RecordKind::ReadWrite:
            if (SecondByte(code) != 0) return Row::NotImplemented;
            return (p & 2) != 0 ? Row::Read : Row::Write;
        case RecordKind::MultiTurnHigh:
            return wholeValue ? Row::MultiTurn : Row::MultiTurnName;
        case RecordKind::SingleTurnHigh:
            return wholeValue ? Row::SingleTurn : Row::SingleTurnName;
        case RecordKind::DataHigh:
            return wholeValue ? Row::Data : Row::DataName;
        case RecordKind::MultiTurnLow:
        case RecordKind::SingleTurnLow:
        case RecordKind::DataLow:
            return Row::ValueLow;
        case RecordKind::ClockPeriod:
        case RecordKind::FirstFrame:
            return Row::NoText;  // the span keeps the plain colour
        case RecordKind::Status:
            return StatusRow(code);
        default:
            // Unknown kinds and the middle record of a value.
            return Row::Unknown;
    }
}

}  // namespace

uint32_t ColourIndex(const SettingsView& settings, Colour colour) {
    switch (colour) {
        case Colour::Plain:
            return kWhiteIndex;
        case Colour::Alert:
            return kRedIndex;
        case Colour::Good:
            return kGreenIndex;
        default:
            return settings.ColourSlot(static_cast<uint32_t>(colour));
    }
}

const uint32_t kLongestLabelFormat = LongestFormat();

const LabelParts& PartsOf(const RecordLook& look, bool shortForm) {
    const LookParts& parts = kParts[static_cast<size_t>(&look - kLooks)];
    return shortForm ? parts.shortForm : parts.longForm;
}

const RecordLook& LookOf(uint32_t code, bool bissB, bool wholeValue) {
    return kLooks[static_cast<size_t>(RowOf(code, bissB, wholeValue))];
}

size_t ExpandLook(const char* format, const char* value, char* text, size_t size) {
    if (text == nullptr || size == 0) return 0;
    size_t n = 0;
    const size_t room = size - 1;
    for (const char* f = format; *f != '\0' && n < room; ++f) {
        if (f[0] == '%' && f[1] == 's') {
            for (const char* v = value; *v != '\0' && n < room; ++v) text[n++] = *v;
            ++f;
        } else {
            text[n++] = *f;
        }
    }
    text[n] = '\0';
    return n;
}

}  // namespace zb
