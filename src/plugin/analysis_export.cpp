// The Analysis export: the host's request to decode its capture. A thin guarded boundary: it copies
// the settings in, checks for an abort, runs the engine, publishes the record arrays, builds the
// report when the host asked for one and copies the settings back. No exception crosses it.
#include "abi/calling.h"
#include "abi/decoder_settings.h"
#include "abi/host_record.h"
#include "engine/decode_engine.h"
#include "plugin/module_state.h"
#include "report/report_columns.h"
#include "report/report_entry.h"

using namespace zb;

namespace {

constexpr uint32_t kProgressDone = 1000;

// After a failure inside the decode (memory, files) the host still gets a valid pair of arrays
// when possible: the single failure record (0, code 0).
uint32_t PublishFailureRecord(HostRecord* host) {
    try {
        DecodeEngine* engine = Engine();
        if (engine == nullptr) return 0;
        engine->StoreFailureRecord();
        host->positionArray = engine->Records().positionStore.FinishStore();
        host->codeArray = engine->Records().codeStore.FinishStore();
        return host->positionArray != nullptr && host->codeArray != nullptr ? 1 : 0;
    } catch (...) {
        host->positionArray = nullptr;
        host->codeArray = nullptr;
        return 0;
    }
}

}  // namespace

ZB_EXPORT uint32_t ZB_CALL Analysis(HostRecord* host) {
    if (host == nullptr) return 0;
    try {
        DecoderSettings settings;
        CopySettingsIn(*host, settings);
        RememberHost(host);
        if (host->abortPoll != nullptr && (host->abortPoll() & 1u) != 0) return 0;
        if (host->stopFlag != nullptr) *host->stopFlag = 0;
        // Without the engine (memory ran out at load) there is nothing to decode with.
        if (Engine() == nullptr) return 0;

        uint32_t count = 0;
        try {
            const int64_t* positions = nullptr;
            const uint32_t* codes = nullptr;
            // The column widths follow the settings of this decode before it starts.
            RefreshColumnWidths(settings, ColumnWidthTable());
            count = AnalyseCapture(*Engine(), &settings, &positions, &codes);
            host->positionArray = positions;
            host->codeArray = codes;
        } catch (...) {
            count = PublishFailureRecord(host);
        }

        if (host->reportBlockName[0] != 0 && count > 0) {
            RememberHost(host);
            try {
                // The rows read the records once, in order: the stores' pages behind them go back
                // to the system as they go, so the report does not hold the whole arrays.
                DecodeEngine* engine = Engine();
                const ReleaseRecords release = [engine](uint64_t before) {
                    engine->Records().positionStore.ReleaseBefore(before);
                    engine->Records().codeStore.ReleaseBefore(before);
                };
                BuildReport(Module().call, ColumnWidthTable(), settings, host->positionArray, host->codeArray,
                            count, release);
            } catch (...) {
                // A report that could not be built leaves the records as they are.
            }
        }
        CopySettingsOut(settings, *host);
        host->progress = kProgressDone;
        return count;
    } catch (...) {
        return 0;
    }
}
