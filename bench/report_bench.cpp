// Report speed. BM_DecodeThenReport decodes a generated capture of 1,000,000 BiSS-C frames through
// a host sampleQuery callback and then builds its report, timing both in the same iteration: the
// counters decode_ms, report_ms and report/decode (medians over the repetitions) show that the
// report of a capture takes no longer than its decode. The other benchmarks give the rows per
// second of the row builders and the writer alone, on a synthetic record array shaped like a
// decode's output (ack, start, CDS, two value triples, flags, CRC, stop, CDM, idle per frame),
// through the row callback and through the spool and named block.
//
//   build/native/bench/report_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//   (Release build; add --benchmark_filter=DecodeThenReport for the side-by-side figures only)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "abi/decoder_settings.h"
#include "abi/record_code.h"
#include "bissgen/generator.h"
#include "engine/decode_engine.h"
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
uint64_t gLines = 0;
int32_t ZB_CALL CountRow(const char*, uint32_t length) {
    gBytes += length;
    gLines += length != 0 ? 1 : 0;
    return 1;
}

struct BenchHost {
    HostRecord record{};
    DecoderSettings settings{};
    CallContext call;
    ColumnWidths widths = {};
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
        call.Remember(&record);
    }
    ~BenchHost() {
        char object[64];
        std::snprintf(object, sizeof object, "/%s", record.reportBlockName);
        shm_unlink(object);
    }
};

void Run(benchmark::State& state, const Records& r, DecodeMode mode, bool callback) {
    BenchHost host(mode, callback);
    for (auto _ : state) {
        gBytes = 0;
        BuildReport(host.call, host.widths, host.settings, r.positions.data(), r.codes.data(),
                    r.codes.size());
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

// ---- A decode of 1,000,000 frames, then its report ---------------------------------------------

// The capture is 16 generated frames (lead-in and lead-out idle included) repeated end to end, served
// without storing 1,000,000 frames' worth of changes.
class TiledCapture {
  public:
    TiledCapture(const bissgen::Capture& tile, uint64_t tiles)
        : tile_(tile), tileLength_(tile.lastSample + 1), tiles_(tiles) {}
    int64_t LastSample() const { return tileLength_ * static_cast<int64_t>(tiles_) - 1; }
    uint64_t Query(uint64_t position, uint8_t* state16) const {
        const int64_t pos = static_cast<int64_t>(position);
        const int64_t k = pos / tileLength_;
        const int64_t local = pos % tileLength_;
        const auto& c = tile_.changes;
        const auto it = std::upper_bound(
            c.begin(), c.end(), local, [](int64_t p, const bissgen::Change& ch) { return p < ch.position; });
        const size_t at = it == c.begin() ? 0 : static_cast<size_t>(it - c.begin()) - 1;
        std::fill(state16, state16 + 16, 0);
        state16[0] = static_cast<uint8_t>(c[at].ma | (c[at].slo << 1));
        if (at + 1 < c.size()) return static_cast<uint64_t>(k * tileLength_ + c[at + 1].position);
        if (static_cast<uint64_t>(k + 1) < tiles_) return static_cast<uint64_t>((k + 1) * tileLength_);
        return ~uint64_t{0};
    }

  private:
    bissgen::Capture tile_;
    int64_t tileLength_;
    uint64_t tiles_;
};

const TiledCapture* gTiled = nullptr;
uint64_t ZB_CALL TiledQuery(uint64_t position, uint8_t* state16) {
    return gTiled->Query(position, state16);
}

void BM_DecodeThenReport(benchmark::State& state) {
    constexpr int kTileFrames = 16;
    bissgen::Timing timing;
    timing.sampleRate = 20000000;
    timing.clockHz = 2000000;
    timing.pauseNs = 20000;
    timing.leadNs = 2000;
    bissgen::Layout layout;
    layout.multiTurnBits = 8;
    layout.singleTurnBits = 12;
    std::vector<bissgen::Frame> frames(kTileFrames);
    for (int f = 0; f < kTileFrames; ++f) {
        frames[f].slaves[0].multiTurn = static_cast<uint64_t>(f);
        frames[f].slaves[0].singleTurn = static_cast<uint64_t>(f * 255);
        frames[f].cdm = 0;
    }
    const TiledCapture tiled(bissgen::MakeCapture(timing, layout, frames), kFrames / kTileFrames);
    gTiled = &tiled;

    HostRecord record{};
    uint32_t stopWord = 0;
    record.sampleQuery = &TiledQuery;
    record.reportRow = &CountRow;
    record.captureChannelCount = 128;
    record.lastSample = tiled.LastSample();
    record.sampleRate = timing.sampleRate;
    record.stopFlag = &stopWord;
    std::snprintf(record.reportBlockName, sizeof record.reportBlockName, "%s", "bench");
    DecoderSettings block{};
    CopySettingsIn(record, block);
    SettingsView view(&block);
    view.ApplyDefaults();
    view.SetAutoLength(false);
    view.SetDataLength(20);
    view.SetSingleTurnBits(12);

    CallContext call;
    DecodeEngine engine(call);
    ColumnWidths widths = {};
    double decodeMs = 0, reportMs = 0;
    uint64_t records = 0;
    for (auto _ : state) {
        using Clock = std::chrono::steady_clock;
        call.Remember(&record);
        const auto t0 = Clock::now();
        const int64_t* positions = nullptr;
        const uint32_t* codes = nullptr;
        const uint32_t count = AnalyseCapture(engine, &block, &positions, &codes);
        const auto t1 = Clock::now();
        gLines = 0;
        BuildReport(call, widths, block, positions, codes, count);
        const auto t2 = Clock::now();
        decodeMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
        reportMs = std::chrono::duration<double, std::milli>(t2 - t1).count();
        records = count;
    }
    state.counters["frames"] = static_cast<double>(kFrames);
    state.counters["records"] = static_cast<double>(records);
    state.counters["decode_ms"] = decodeMs;
    state.counters["report_ms"] = reportMs;
    state.counters["report/decode"] = reportMs / decodeMs;
    state.counters["report_lines"] = static_cast<double>(gLines);
    state.counters["report_rows/s"] = static_cast<double>(kFrames) / (reportMs / 1000.0);
}

BENCHMARK(BM_DecodeThenReport)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_FrameRowsCallback)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FrameRowsSpoolBlock)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RegisterRowsCallback)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
