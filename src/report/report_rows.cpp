// Shared pieces of the two row builders: layouts, colour pairs, blank rows, the MA clock text.
#include "report/report_rows.h"

#include <cstdio>

#include "abi/colour_tables.h"
#include "engine/host_access.h"
#include "report/report_writer.h"

namespace zb {

FrameColumns FrameColumnsFor(const SettingsView& view) {
    // c: BiSS-C has a CDS column first; m: separate turns add a Single-Turn column.
    const int32_t c = view.IsBissB() ? 0 : 1;
    const int32_t m = view.CombineTurns() ? 0 : 1;
    FrameColumns cols;
    if (c == 1) cols.cds = 0;
    cols.multiTurn = c;
    if (m == 1) cols.singleTurn = c + 1;
    cols.nError = c + m + 1;
    cols.nWarning = c + m + 2;
    cols.crc = c + m + 3;
    cols.cdm = c + m + 4;
    cols.information = c + m + 5;
    cols.count = c + m + 6;
    return cols;
}

RegisterColumnLayout RegisterColumnsFor(const SettingsView& view) {
    RegisterColumnLayout cols;
    cols.slaveView = view.Mode() == static_cast<uint32_t>(DecodeMode::RegisterSlave);
    cols.dataColumns = static_cast<int32_t>(view.RegisterColumns());
    if (cols.slaveView) {
        cols.idl = 0;
        cols.readWrite = 1;
        cols.firstData = 2;
    } else {
        cols.cts = 0;
        cols.id = 1;
        cols.adr = 2;
        cols.headerCrc = 3;
        cols.readWrite = 4;
        cols.firstData = 5;
    }
    cols.information = cols.firstData + cols.dataColumns;
    cols.count = cols.information + 1;
    return cols;
}

void DeclareReportPairs(CallContext& call, const SettingsView& view) {
    for (int32_t k = 0; k < kColours; ++k) {
        const uint32_t index = ColourIndex(view, static_cast<Colour>(k));
        ReportSetColourPair(call, k, GetItemTextColor(index), GetItemColor(index));
    }
}

void StartBlankRow(CallContext& call, int64_t clock, int32_t columnCount) {
    ReportStartBlankRow(call, clock, columnCount, PairIndex(Colour::Plain));
}

bool FormatClockText(uint64_t sampleRate, uint32_t period, char* text, size_t size) {
    if (period == 0 || sampleRate == 0 || text == nullptr || size == 0) return false;
    const double f = static_cast<double>(sampleRate) / static_cast<double>(period);
    int n;
    if (f >= 1000000.0) {
        n = std::snprintf(text, size, "MA %.2f MHz", f / 1000000.0);
    } else if (f >= 1000.0) {
        n = std::snprintf(text, size, "MA %.3f kHz", f / 1000.0);
    } else {
        n = std::snprintf(text, size, "MA %.0f Hz", f);
    }
    return n > 0;
}

}  // namespace zb
