// What the frame rows and the register-access rows share: the column layouts with their indices,
// the colour pairs of the report header, the blank row and the MA clock text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "abi/decoder_settings.h"
#include "engine/host_access.h"
#include "labels/record_table.h"
#include "report/report_writer.h"

namespace zb {

// Every report declares one colour pair per Colour (labels/record_table.h), in its order: the
// nine colour slots, then plain, alert and good.
constexpr int32_t PairIndex(Colour colour) {
    return static_cast<int32_t>(colour);
}
constexpr int32_t kNoColumn = -1;

// Column indices of the single-cycle layout; kNoColumn where the layout has no such column.
struct FrameColumns {
    int32_t cds = kNoColumn;
    int32_t multiTurn = kNoColumn;  // or Data when the turns are combined
    int32_t singleTurn = kNoColumn;
    int32_t nError = kNoColumn;
    int32_t nWarning = kNoColumn;
    int32_t crc = kNoColumn;
    int32_t cdm = kNoColumn;
    int32_t information = kNoColumn;
    int32_t count = 0;
};
FrameColumns FrameColumnsFor(const SettingsView& view);

// Column indices of the register-access layouts (master: CTS .. R/W; slave: IDL, R/W).
struct RegisterColumnLayout {
    bool slaveView = false;
    int32_t cts = kNoColumn;
    int32_t id = kNoColumn;
    int32_t adr = kNoColumn;
    int32_t headerCrc = kNoColumn;
    int32_t idl = kNoColumn;
    int32_t readWrite = kNoColumn;
    int32_t firstData = kNoColumn;
    int32_t dataColumns = 8;
    int32_t information = kNoColumn;
    int32_t count = 0;
};
RegisterColumnLayout RegisterColumnsFor(const SettingsView& view);

// Declares the pairs of every Colour: text and fill through the colour tables.
void DeclareReportPairs(CallContext& call, const SettingsView& view);
// ReportStartRow(clock), then every column gets the empty text and the plain pair.
void StartBlankRow(CallContext& call, int64_t clock, int32_t columnCount);
// "MA %.2f MHz", "MA %.3f kHz" or "MA %.0f Hz" for sampleRate / period; false (no text) when the
// period or the sample rate is 0.
bool FormatClockText(uint64_t sampleRate, uint32_t period, char* text, size_t size);

// Told, every kReleaseEvery records, that the rows will not read the records before an index
// again, so that the owner of the arrays can give their pages back (empty: nobody is told).
using ReleaseRecords = std::function<void(uint64_t before)>;
constexpr uint64_t kReleaseEvery = uint64_t{1} << 16;

// The run both builders share: nothing without records or with a refused open; else the columns
// named by `nameColumns()`, the colour pairs and the header, then every record through
// `builder.Handle` with its progress until the host asks to stop (and `release` behind it), then
// `finish()` and the close.
template <typename Builder, typename NameFn, typename FinishFn>
void RunReportRows(CallContext& call, const SettingsView& view, const int64_t* positions,
                   const uint32_t* codes, uint64_t count, Builder& builder, NameFn&& nameColumns,
                   FinishFn&& finish, const ReleaseRecords& release) {
    if (count < 1 || positions == nullptr || codes == nullptr) return;
    if (!ReportOpen(call)) return;
    nameColumns();
    DeclareReportPairs(call, view);
    ReportFlushHeader(call);

    // Progress is 1000 * i / count per mille, written as record i is handled.
    const int64_t records = static_cast<int64_t>(count > INT64_MAX ? INT64_MAX : count);
    SetProgressRange(call, 0, kProgressPerMille, records);
    ProgressGate progress(call, 0, records);
    StopPoll stop(call);
    for (uint64_t i = 0; i < count; ++i) {
        if (stop.Requested()) break;
        builder.Handle(positions[i], codes[i]);
        const int64_t at = static_cast<int64_t>(i);
        if (at >= progress.Next()) progress.Report(at);
        if (((i + 1) & (kReleaseEvery - 1)) == 0 && release) release(i + 1);
    }
    finish();
    ReportClose(call);
}

// The two builders behind BuildReport; `count` >= 0, arrays valid for `count` records.
void BuildFrameRows(CallContext& call, const SettingsView& view, const int64_t* positions,
                    const uint32_t* codes, uint64_t count, const ReleaseRecords& release = {});
void BuildRegisterRows(CallContext& call, const SettingsView& view, const int64_t* positions,
                       const uint32_t* codes, uint64_t count, const ReleaseRecords& release = {});

}  // namespace zb
