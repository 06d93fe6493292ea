// Decode speed and memory of the whole Analysis path over a generated capture served by the
// in-memory host.
//
//   build/native/bench/decode_bench [frames] [dense|typical] [runs] [line delay]
//   speed:  build/native/bench/decode_bench 1000000 typical   (48 million changes, 15 million records)
//   memory: build/native/bench/decode_bench 2100000 dense     (38 million changes, 31.5 million records)
//
// Each run times, side by side, a bare walk that only asks sampleQuery for every change and does
// nothing with it, and the full decode through AnalyseCapture (cursor, stop and progress checks,
// frame parser, stores spilling to their temporary files, the final mapping). The ratio full/bare
// of each run is what counts (target: median <= 2.0); the machine is shared, so the bench prints
// the medians over `runs` runs (default 5). "typical" frames carry 4 multi-turn and 8 single-turn
// bits with a 6-bit CRC; "dense" (the default) frames carry 2 data bits and a 1-bit CRC, so they
// give the most records per change. A line delay (samples from an MA edge to the SLO change it
// launches, default 0) is set as the sampling phase too, so that walk samples after the edge. The
// memory figure is the peak resident size during the first
// decode beyond what the host's capture already takes (target: under 64 MiB).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bissgen/generator.h"
#include "engine/decode_engine.h"
#include "support/memory_host.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBlockFrames = 1000;
constexpr int kDefaultFrames = 2100000;
constexpr int kRuns = 5;

// kBlockFrames generated frames with random positions in the dense or typical layout (set into
// `layout`), repeated end to end until `frames` frames are in the capture.
bissgen::Capture TiledCapture(int frames, bissgen::Layout& layout, bool dense, int64_t lineDelay) {
    bissgen::Timing timing;
    timing.clockHz = 10000000;  // 20 samples per clock at 200 MS/s
    timing.pauseNs = 1000;      // the generator keeps at least 10 clocks of pause
    timing.timeoutNs = 200;
    timing.leadNs = 500;
    timing.lineDelay = lineDelay;
    if (dense) {
        layout.multiTurnBits = 1;
        layout.singleTurnBits = 1;
        layout.crc = bissgen::CrcParams{1, 1, 0};
    } else {
        layout.multiTurnBits = 4;
        layout.singleTurnBits = 8;
        layout.crc = bissgen::CrcParams{6, 0x43, 0};
    }
    bissgen::Generator g(timing, layout, 2024);
    bissgen::SplitMix64 rng(17);
    for (int f = 0; f < kBlockFrames; ++f) {
        bissgen::Frame frame;
        frame.slaves[0].multiTurn = rng.Next();
        frame.slaves[0].singleTurn = rng.Next();
        frame.cdm = static_cast<int>(rng.Next() & 1);
        g.AddFrame(frame);
    }
    const bissgen::Capture block = g.Finish();
    const int64_t span = block.lastSample + 1;
    const int copies = (frames + kBlockFrames - 1) / kBlockFrames;
    bissgen::Capture out;
    out.sampleRate = block.sampleRate;
    out.changes.reserve(static_cast<size_t>(copies) * (block.changes.size() - 1) + 1);
    out.changes.push_back(block.changes.front());
    for (int k = 0; k < copies; ++k) {
        for (size_t i = 1; i < block.changes.size(); ++i) {
            bissgen::Change c = block.changes[i];
            c.position += static_cast<int64_t>(k) * span;
            out.changes.push_back(c);
        }
    }
    out.lastSample = static_cast<int64_t>(copies) * span - 1;
    return out;
}

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n + 1);
    return -1;
}

// Resets VmHWM to the current resident size, so the next reading is the peak of what follows.
bool ResetPeak() {
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
    return static_cast<bool>(f);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultFrames;
    const bool dense = !(argc > 2 && std::strcmp(argv[2], "typical") == 0);
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : kRuns;
    const int lineDelay = argc > 4 ? std::max(0, std::min(std::atoi(argv[4]), 9)) : 0;
    bissgen::Layout layout;
    zbtest::MemoryHost* host = nullptr;
    {
        const bissgen::Capture capture = TiledCapture(frames, layout, dense, lineDelay);
        host = new zbtest::MemoryHost(capture);
    }
    zb::HostRecord& record = host->Record();
    zb::CallContext call;
    zb::DecodeEngine engine(call);

    zb::DecoderSettings block;
    zb::CopySettingsIn(record, block);
    zb::SettingsView view(&block);
    view.ApplyDefaults();
    view.SetAutoLength(false);
    view.SetDataLength(layout.DataBits());
    view.SetSingleTurnBits(layout.singleTurnBits);
    view.SetCrcBits(layout.crc.bits);
    view.SetCrcPolynomial(layout.crc.poly);
    view.SetSloPhase(lineDelay);

    // The bare walk: every change asked for once, nothing done with it.
    uint64_t changes = 0;
    auto bareWalk = [&] {
        uint8_t state[16];
        uint64_t pos = 0, n = 0;
        host->Activate();
        for (;;) {
            const uint64_t next = record.sampleQuery(pos, state);
            if (next == zb::kNoFurtherChange) break;
            pos = next;
            ++n;
        }
        changes = n;
    };
    uint32_t count = 0;
    auto decode = [&] {
        host->Activate();
        call.Remember(&record);
        const int64_t* pos = nullptr;
        const uint32_t* codes = nullptr;
        count = zb::AnalyseCapture(engine, &block, &pos, &codes);
    };
    auto seconds = [](auto&& work) {
        const auto t0 = Clock::now();
        work();
        return std::chrono::duration<double>(Clock::now() - t0).count();
    };

    // Peak memory of the first decode beyond what the host's capture already takes.
    const long before = StatusKb("VmRSS:");
    const bool reset = ResetPeak();
    const double first = seconds(decode);
    const long peak = StatusKb("VmHWM:");

    std::vector<double> bare, full, ratio;
    for (int r = 0; r < runs; ++r) {
        const double b = seconds(bareWalk);
        const double d = seconds(decode);
        bare.push_back(b);
        full.push_back(d);
        ratio.push_back(d / b);
    }
    std::printf("command: %s %d %s %d %d\n", argv[0], frames, dense ? "dense" : "typical", runs, lineDelay);
    std::printf("frames %d, changes %llu, records %u, first decode %.3f s\n", frames,
                static_cast<unsigned long long>(changes), count, first);
    std::printf("bare walk    median %.3f s  (%.1f M changes/s, %.1f ns per change)\n", Median(bare),
                changes / Median(bare) / 1e6, Median(bare) / changes * 1e9);
    std::printf("full decode  median %.3f s  (%.1f M changes/s, %.1f ns per change)\n", Median(full),
                changes / Median(full) / 1e6, Median(full) / changes * 1e9);
    std::printf("ratio full/bare per run:");
    for (double r : ratio) std::printf(" %.2f", r);
    std::printf("\nRATIO full/bare: median %.2f over %d side-by-side runs (target <= 2.0)\n", Median(ratio),
                runs);
    std::printf(
        "resident before decode %ld KiB, peak during decode %ld KiB: %.1f MiB extra%s (target < 64)\n",
        before, peak, (peak - before) / 1024.0, reset ? "" : " (peak could not be reset: upper bound)");
    delete host;
    return 0;
}
