// The report column layouts: which columns a decode's report has, how wide the host draws them,
// and the comma-separated header text ("Clock," and the names) the host shows above them.
#include "report/report_columns.h"

namespace zb {
namespace {

// Every column a report can have, with the width the host draws it in: the one table of widths.
enum class Col : uint8_t {
    Cds,
    MultiTurn,
    SingleTurn,
    Data,
    NError,
    NWarning,
    Crc,
    Cdm,
    Cts,
    IdIds,
    AdrCmd,
    HeaderCrc,
    Idl,
    ReadWrite,
    DataByte,  // D0..D15
    Information,
};
struct Column {
    const char* name;
    uint32_t width;
};
constexpr Column kColumns[] = {
    {"CDS", 40},    {"Multi-Turn", 130}, {"Single-Turn", 130}, {"Data", 130},
    {"nError", 60}, {"nWarning", 75},    {"CRC", 60},          {"CDM", 40},
    {"CTS", 40},    {"ID(IDS)", 70},     {"ADR(CMD)", 75},     {"Hdr CRC(h)", 90},
    {"IDL(h)", 60}, {"R/W", 130},        {nullptr, 75},        {"Information", 500},
};
constexpr uint32_t kMaxDataColumns = 16;
constexpr const char* kDataColumnNames[kMaxDataColumns] = {
    "D0", "D1", "D2", "D3", "D4", "D5", "D6", "D7", "D8", "D9", "D10", "D11", "D12", "D13", "D14", "D15"};

// The layouts: single-cycle frames by protocol and turns; the register views' head columns, which
// their data columns and Information follow.
constexpr Col kFrameCSeparate[] = {Col::Cds,      Col::MultiTurn, Col::SingleTurn, Col::NError,
                                   Col::NWarning, Col::Crc,       Col::Cdm,        Col::Information};
constexpr Col kFrameCCombined[] = {Col::Cds, Col::Data, Col::NError,     Col::NWarning,
                                   Col::Crc, Col::Cdm,  Col::Information};
constexpr Col kFrameBSeparate[] = {Col::MultiTurn, Col::SingleTurn, Col::NError,     Col::NWarning,
                                   Col::Crc,       Col::Cdm,        Col::Information};
constexpr Col kFrameBCombined[] = {Col::Data, Col::NError, Col::NWarning,
                                   Col::Crc,  Col::Cdm,    Col::Information};
constexpr Col kMasterHead[] = {Col::Cts, Col::IdIds, Col::AdrCmd, Col::HeaderCrc, Col::ReadWrite};
constexpr Col kSlaveHead[] = {Col::Idl, Col::ReadWrite};

void AppendOne(ColumnList& list, Col col, const char* name = nullptr) {
    const Column& c = kColumns[static_cast<size_t>(col)];
    list.names[list.count] = name != nullptr ? name : c.name;
    list.widths[list.count] = c.width;
    ++list.count;
}

template <size_t N>
void Append(ColumnList& list, const Col (&columns)[N]) {
    for (Col c : columns) AppendOne(list, c);
}

void AppendDataColumns(ColumnList& list, uint32_t n) {
    for (uint32_t i = 0; i < n && i < kMaxDataColumns; ++i)
        AppendOne(list, Col::DataByte, kDataColumnNames[i]);
}

// The view only reads; it takes a mutable block because it also offers setters.
SettingsView ReadView(const DecoderSettings& settings) {
    return SettingsView(const_cast<DecoderSettings*>(&settings));
}

}  // namespace

ColumnLayout LayoutFor(const DecoderSettings& settings) {
    const SettingsView view = ReadView(settings);
    switch (static_cast<DecodeMode>(view.Mode())) {
        case DecodeMode::RegisterMaster:
            return ColumnLayout::RegisterMaster;
        case DecodeMode::RegisterSlave:
            return ColumnLayout::RegisterSlave;
        default:
            break;
    }
    if (view.IsBissB())
        return view.CombineTurns() ? ColumnLayout::FrameBCombined : ColumnLayout::FrameBSeparate;
    return view.CombineTurns() ? ColumnLayout::FrameCCombined : ColumnLayout::FrameCSeparate;
}

ColumnList ReportColumns(const DecoderSettings& settings) {
    ColumnList list{};
    list.layout = LayoutFor(settings);
    switch (list.layout) {
        case ColumnLayout::FrameCSeparate:
            Append(list, kFrameCSeparate);
            break;
        case ColumnLayout::FrameCCombined:
            Append(list, kFrameCCombined);
            break;
        case ColumnLayout::FrameBSeparate:
            Append(list, kFrameBSeparate);
            break;
        case ColumnLayout::FrameBCombined:
            Append(list, kFrameBCombined);
            break;
        case ColumnLayout::RegisterMaster:
            Append(list, kMasterHead);
            AppendDataColumns(list, ReadView(settings).RegisterColumns());
            AppendOne(list, Col::Information);
            break;
        case ColumnLayout::RegisterSlave:
            Append(list, kSlaveHead);
            AppendDataColumns(list, ReadView(settings).RegisterColumns());
            AppendOne(list, Col::Information);
            break;
    }
    return list;
}

void RefreshColumnWidths(const DecoderSettings& settings, ColumnWidths& table) {
    const ColumnList list = ReportColumns(settings);
    for (uint32_t i = 0; i < list.count; ++i) table[i] = list.widths[i];
    table[list.count] = 0;
}

void DefaultColumnWidths(ColumnWidths& table) {
    DecoderSettings defaults{};
    SettingsView(&defaults).ApplyDefaults();
    RefreshColumnWidths(defaults, table);
}

void BuildColumnHeader(const DecoderSettings& settings, char* text, int32_t size) {
    if (text == nullptr || size < 1) return;
    const uint32_t room = static_cast<uint32_t>(size) - 1;
    uint32_t length = 0;
    auto put = [&](const char* s) {
        while (*s != '\0' && length < room) text[length++] = *s++;
    };
    const ColumnList list = ReportColumns(settings);
    put("Clock");
    for (uint32_t i = 0; i < list.count; ++i) {
        put(",");
        put(list.names[i]);
    }
    text[length] = '\0';
}

}  // namespace zb
