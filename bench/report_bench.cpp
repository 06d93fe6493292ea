// Report speed. BM_DecodeThenReport decodes a generated capture of 1,000,000 BiSS-C frames through
// the host's sampleQuery callback and then builds its report, timing both in the same iteration:
// the counters decode_ms, report_ms and report/decode show that the report of a capture takes no
// longer than its decode. The other benchmarks give the rows per second of the row builders and
// the writer alone over the records of such a decode (single-cycle frames, or register accesses
// seen from the master), through the row callback and through the spool and named block.
//
//   build/native/bench/report_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//   (Release build; add --benchmark_filter=DecodeThenReport for the side-by-side figures only)
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "bench_decode.h"
#include "report/report_entry.h"

namespace {

using namespace zb;

constexpr int kTileFrames = 1000;
constexpr int64_t kRepeats = 1000;  // 1,000,000 frames

uint64_t gLines = 0;
int32_t ZB_CALL CountRow(const char*, uint32_t length) {
    gLines += length != 0 ? 1 : 0;
    return 1;
}

// The report of `d`'s records through the row callback, or through the spool and a named block.
void Report(zbbench::RepeatedDecode& d, bool callback) {
    HostRecord& record = d.Host().Record();
    record.reportRow = callback ? &CountRow : nullptr;
    std::snprintf(record.reportBlockName, sizeof record.reportBlockName, "zb_bench_%d",
                  static_cast<int>(getpid()));
    d.Call().Remember(&record);
    ColumnWidths widths = {};
    gLines = 0;
    BuildReport(d.Call(), widths, d.Settings(), d.Positions(), d.Codes(), d.Count());
    char object[64];
    std::snprintf(object, sizeof object, "/%s", record.reportBlockName);
    shm_unlink(object);
}

// 1,000,000 frames of 8 multi-turn and 12 single-turn bits (with register traffic on CDM/CDS for
// the master's view), decoded once and kept for the benchmarks that time the report alone, with
// the number of lines of its report.
struct Decoded {
    std::unique_ptr<zbbench::RepeatedDecode> decode;
    uint64_t lines = 0;
};
Decoded& DecodedFrames(DecodeMode mode) {
    static Decoded decodes[3];
    Decoded& d = decodes[static_cast<int>(mode)];
    if (!d.decode) {
        bissgen::Layout layout;
        layout.multiTurnBits = 8;
        bissgen::ScenarioOptions o = zbbench::FastTraffic(layout, kTileFrames);
        if (mode != DecodeMode::SingleCycle) o.mode = bissgen::TrafficMode::Register;
        d.decode = std::make_unique<zbbench::RepeatedDecode>(zbbench::Tile(o), kRepeats);
        zbbench::Configure(d.decode->View(), layout, mode);
        d.decode->Run();
        Report(*d.decode, true);
        d.lines = gLines;
    }
    return d;
}

void Rows(benchmark::State& state, DecodeMode mode, bool callback) {
    Decoded& d = DecodedFrames(mode);
    for (auto _ : state) Report(*d.decode, callback);
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(d.lines) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["records"] = static_cast<double>(d.decode->Count());
}
void BM_FrameRowsCallback(benchmark::State& s) {
    Rows(s, DecodeMode::SingleCycle, true);
}
void BM_FrameRowsSpoolBlock(benchmark::State& s) {
    Rows(s, DecodeMode::SingleCycle, false);
}
void BM_RegisterRowsCallback(benchmark::State& s) {
    Rows(s, DecodeMode::RegisterMaster, true);
}

void BM_DecodeThenReport(benchmark::State& state) {
    zbbench::RepeatedDecode& d = *DecodedFrames(DecodeMode::SingleCycle).decode;
    double decodeMs = 0, reportMs = 0;
    for (auto _ : state) {
        decodeMs = 1000 * zbbench::Seconds([&] { d.Run(); });
        reportMs = 1000 * zbbench::Seconds([&] { Report(d, true); });
    }
    state.counters["frames"] = static_cast<double>(kTileFrames * kRepeats);
    state.counters["records"] = static_cast<double>(d.Count());
    state.counters["decode_ms"] = decodeMs;
    state.counters["report_ms"] = reportMs;
    state.counters["report/decode"] = reportMs / decodeMs;
    state.counters["report_lines"] = static_cast<double>(gLines);
    state.counters["report_rows/s"] = static_cast<double>(gLines) / (reportMs / 1000.0);
}

BENCHMARK(BM_DecodeThenReport)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_FrameRowsCallback)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FrameRowsSpoolBlock)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RegisterRowsCallback)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
