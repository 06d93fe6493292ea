// Report speed: rows per second for the report of 1,000,000 single-cycle frames, through the row
// callback and through the spool and named block, and the register-access rows. The records are a
// synthetic array shaped like a decode's output (ack, start, CDS, two value triples, flags, CRC,
// stop, CDM, idle per frame), so the row builders and the writer are measured on their own.
//
//   build/native/bench/report_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "engine/record_code.h"
#include "plugin/decoder_settings.h"
#include "plugin/module_state.h"
#include "report/report_entry.h"

#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

using namespace zb;

constexpr uint64_t kFrames = 1000000;

struct Records {
    std::vector<int64_t> positions;
    std::vector<uint32_t> codes;
    uint64_t rows = 0;
    void Add(int64_t pos, uint32_t code) {
        positions.push_back(pos);
        codes.push_back(code);
    }
};

const Records& FrameRecords() {
    static const Records records = [] {
        Records r;
        r.positions.reserve(kFrames * 17 + 2);
        r.codes.reserve(kFrames * 17 + 2);
        r.Add(0, MakeCode(RecordKind::FirstFrame));
        r.Add(1, MakeCode(RecordKind::ClockPeriod, 50));
        int64_t pos = 10;
        for (uint64_t f = 0; f < kFrames; ++f) {
            r.Add(pos, MakeCode(RecordKind::Ack));
            r.Add(pos + 2, MakeCode(RecordKind::Start));
            r.Add(pos + 4, MakeCode(RecordKind::Cds, f & 1));
            const uint64_t mt = f & 0xFFF, st = (f * 7) & 0xFFF;
            for (auto [t, v, at] :
                 {std::tuple{kMultiTurnTriple, mt, pos + 6}, std::tuple{kSingleTurnTriple, st, pos + 30}}) {
                r.Add(at, MakeCode(t.high, TripleHighPayload(v)));
                r.Add(at, MakeCode(t.mid, TripleMidPayload(v)));
                r.Add(at, MakeCode(t.low, TripleLowPayload(v)));
            }
            r.Add(pos + 54, MakeCode(RecordKind::Err, 1));
            r.Add(pos + 56, MakeCode(RecordKind::Warn, 1));
            r.Add(pos + 58, MakeCode(RecordKind::Crc, f & 0x3F));
            r.Add(pos + 70, MakeCode(RecordKind::Stop));
            r.Add(pos + 80, MakeCode(RecordKind::Cdm, 0));
            r.Add(pos + 90, MakeStatus(StatusCode::Idle));
            pos += 200;
        }
        r.rows = kFrames + 1;
        return r;
    }();
    return records;
}

const Records& RegisterRecords() {
    static const Records records = [] {
        Records r;
        int64_t pos = 0;
        // One register read of four bytes per 1000 / 4 frames' worth of records.
        for (uint64_t a = 0; a < kFrames / 40; ++a) {
            r.Add(pos, MakeCode(RecordKind::Cts, 1));
            r.Add(pos + 1, MakeCode(RecordKind::Id, 1));
            r.Add(pos + 2, MakeCode(RecordKind::Adr, a & 0x7F));
            r.Add(pos + 3, MakeCode(RecordKind::Crc, 3));
            r.Add(pos + 4, MakeCode(RecordKind::ReadWrite, 2));
            for (uint32_t b = 0; b < 4; ++b) {
                r.Add(pos + 5 + 2 * b, MakeCode(RecordKind::RegData, b << 8 | (a & 0xFF)));
                r.Add(pos + 6 + 2 * b, MakeCode(RecordKind::Crc, b));
            }
            pos += 20;
        }
        r.rows = kFrames / 40;
        return r;
    }();
    return records;
}

uint64_t gBytes = 0;
int32_t ZB_CALL CountRow(const char*, uint32_t length) {
    gBytes += length;
    return 1;
}

struct BenchHost {
    HostRecord record{};
    DecoderSettings settings{};
    explicit BenchHost(DecodeMode mode, bool callback) {
        SettingsView view(&settings);
        view.Normalise();
        view.SetAutoLength(false);
        view.SetDataLength(24);
        view.SetSingleTurnBits(12);
        view.SetMode(static_cast<uint32_t>(mode));
        settings.sampleRate = 100000000;
        record.reportRow = callback ? &CountRow : nullptr;
        std::snprintf(record.reportBlockName, sizeof record.reportBlockName, "zb_bench_%d",
                      static_cast<int>(getpid()));
        RememberHost(&record);
    }
    ~BenchHost() {
        char object[64];
        std::snprintf(object, sizeof object, "/%s", record.reportBlockName);
        shm_unlink(object);
        RememberHost(nullptr);
    }
};

void Run(benchmark::State& state, const Records& r, DecodeMode mode, bool callback) {
    BenchHost host(mode, callback);
    for (auto _ : state) {
        gBytes = 0;
        BuildReport(host.settings, r.positions.data(), r.codes.data(), r.codes.size());
    }
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(r.rows) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["records"] = static_cast<double>(r.codes.size());
}

void BM_FrameRowsCallback(benchmark::State& s) {
    Run(s, FrameRecords(), DecodeMode::SingleCycle, true);
}
void BM_FrameRowsSpoolBlock(benchmark::State& s) {
    Run(s, FrameRecords(), DecodeMode::SingleCycle, false);
}
void BM_RegisterRowsCallback(benchmark::State& s) {
    Run(s, RegisterRecords(), DecodeMode::RegisterMaster, true);
}

BENCHMARK(BM_FrameRowsCallback)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FrameRowsSpoolBlock)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RegisterRowsCallback)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
