// The report column layouts: which columns a decode's report has, how wide the host draws them,
// and the comma-separated header text ("Clock," and the names) the host shows above them.
#include "report/report_columns.h"

namespace zb {
namespace {

struct Column {
    const char* name;
    uint32_t width;
};

constexpr uint32_t kDataColumnWidth = 75;
constexpr uint32_t kMaxDataColumns = 16;
constexpr Column kInformation{"Information", 500};

constexpr Column kFrameCSeparate[] = {{"CDS", 40},    {"Multi-Turn", 130}, {"Single-Turn", 130},
                                      {"nError", 60}, {"nWarning", 75},    {"CRC", 60},
                                      {"CDM", 40},    kInformation};
constexpr Column kFrameCCombined[] = {{"CDS", 40}, {"Data", 130}, {"nError", 60}, {"nWarning", 75},
                                      {"CRC", 60}, {"CDM", 40},   kInformation};
constexpr Column kFrameBSeparate[] = {{"Multi-Turn", 130}, {"Single-Turn", 130}, {"nError", 60},
                                      {"nWarning", 75},    {"CRC", 60},          {"CDM", 40},
                                      kInformation};
constexpr Column kFrameBCombined[] = {{"Data", 130}, {"nError", 60}, {"nWarning", 75},
                                      {"CRC", 60},   {"CDM", 40},    kInformation};
// The register views: head columns, then the data columns, then Information.
constexpr Column kMasterHead[] = {
    {"CTS", 40}, {"ID(IDS)", 70}, {"ADR(CMD)", 75}, {"Hdr CRC(h)", 90}, {"R/W", 130}};
constexpr Column kSlaveHead[] = {{"IDL(h)", 60}, {"R/W", 130}};
constexpr const char* kDataColumnNames[kMaxDataColumns] = {
    "D0", "D1", "D2", "D3", "D4", "D5", "D6", "D7", "D8", "D9", "D10", "D11", "D12", "D13", "D14", "D15"};

void AppendOne(ColumnList& list, const Column& c) {
    list.names[list.count] = c.name;
    list.widths[list.count] = c.width;
    ++list.count;
}

template <size_t N>
void Append(ColumnList& list, const Column (&columns)[N]) {
    for (const Column& c : columns) AppendOne(list, c);
}

void AppendDataColumns(ColumnList& list, uint32_t n) {
    for (uint32_t i = 0; i < n && i < kMaxDataColumns; ++i)
        AppendOne(list, {kDataColumnNames[i], kDataColumnWidth});
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
            AppendOne(list, kInformation);
            break;
        case ColumnLayout::RegisterSlave:
            Append(list, kSlaveHead);
            AppendDataColumns(list, ReadView(settings).RegisterColumns());
            AppendOne(list, kInformation);
            break;
    }
    return list;
}

void RefreshColumnWidths(const DecoderSettings& settings, ColumnWidths& table) {
    const ColumnList list = ReportColumns(settings);
    for (uint32_t i = 0; i < list.count; ++i) table[i] = list.widths[i];
    table[list.count] = 0;
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
