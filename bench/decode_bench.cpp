// Decode speed and memory of the whole Analysis path over a generated capture served by the
// in-memory host.
//
//   build/native/bench/decode_bench [frames] [dense|typical] [runs] [line delay]
//   speed:  build/native/bench/decode_bench 1000000 typical   (about 48 million changes)
//   memory: build/native/bench/decode_bench 2100000 dense     (about 38 million changes)
//
// Each run times, side by side, a bare walk that only asks sampleQuery for every change and does
// nothing with it, and the full decode through AnalyseCapture (cursor, stop and progress checks,
// frame parser, stores spilling to their temporary files, the final mapping). The ratio full/bare
// of each run is what counts (target: median <= 2.0); the machine is shared, so the bench prints
// the medians over `runs` runs (default 5); bench/decode_ab.sh runs several builds of it in
// alternating rounds to compare them. "typical" frames carry 4 multi-turn and 8 single-turn
// bits with a 6-bit CRC; "dense" (the default) frames carry 2 data bits and a 1-bit CRC, so they
// give the most records per change. A line delay (samples from an MA edge to the SLO change it
// launches, default 0) is set as the sampling phase too, so that walk samples after the edge. The
// memory figure is the peak resident size during the first decode beyond what was resident
// before (target: under 64 MiB). 1000 generated frames are served repeated.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "bench_decode.h"

namespace {

// A "Vm...:" figure of /proc/self/status in KiB, or -1.
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, std::strlen(field), field) == 0)
            return std::atol(line.c_str() + std::strlen(field) + 1);
    return -1;
}

// Resets VmHWM to the current resident size, so the next reading is the peak of what follows.
bool ResetPeak() {
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
    return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
    using zbbench::Seconds;
    constexpr int kTileFrames = 1000;
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2100000;
    const bool dense = !(argc > 2 && std::strcmp(argv[2], "typical") == 0);
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    const int lineDelay = argc > 4 ? std::max(0, std::min(std::atoi(argv[4]), 9)) : 0;

    bissgen::Layout layout;
    layout.multiTurnBits = dense ? 1 : 4;
    layout.singleTurnBits = dense ? 1 : 8;
    layout.crc = dense ? bissgen::CrcParams{1, 1, 0} : bissgen::CrcParams{6, 0x43, 0};
    zbbench::RepeatedDecode decode(layout, kTileFrames, (frames + kTileFrames - 1) / kTileFrames,
                                   zb::DecodeMode::SingleCycle, lineDelay);

    // The bare walk: every change asked for once, nothing done with it.
    zb::HostRecord& record = decode.Host().Record();
    uint64_t changes = 0;
    auto bareWalk = [&] {
        uint8_t state[16];
        uint64_t pos = 0, n = 0;
        decode.Host().Activate();
        for (uint64_t next; (next = record.sampleQuery(pos, state)) != zb::kNoFurtherChange; ++n) pos = next;
        changes = n;
    };

    const long before = StatusKiB("VmRSS:");
    const bool reset = ResetPeak();
    const double first = Seconds([&] { decode.Run(); });
    const long peak = StatusKiB("VmHWM:");

    std::vector<double> bare, full, ratio;
    for (int r = 0; r < runs; ++r) {
        bare.push_back(Seconds(bareWalk));
        full.push_back(Seconds([&] { decode.Run(); }));
        ratio.push_back(full.back() / bare.back());
    }
    const double b = zbbench::Median(bare), f = zbbench::Median(full);
    std::printf("command: %s %d %s %d %d\n", argv[0], frames, dense ? "dense" : "typical", runs, lineDelay);
    std::printf("frames %d, changes %llu, records %u, first decode %.3f s\n", frames,
                static_cast<unsigned long long>(changes), decode.Count(), first);
    std::printf("bare walk    median %.3f s  (%.1f M changes/s, %.1f ns per change)\n", b, changes / b / 1e6,
                b / changes * 1e9);
    std::printf("full decode  median %.3f s  (%.1f M changes/s, %.1f ns per change)\n", f, changes / f / 1e6,
                f / changes * 1e9);
    std::printf("ratio full/bare per run:");
    for (double r : ratio) std::printf(" %.2f", r);
    std::printf("\nRATIO full/bare: median %.2f over %d side-by-side runs (target <= 2.0)\n",
                zbbench::Median(ratio), runs);
    std::printf(
        "resident before decode %ld KiB, peak during decode %ld KiB: %.1f MiB extra%s (target < 64)\n",
        before, peak, (peak - before) / 1024.0, reset ? "" : " (peak could not be reset: upper bound)");
    return 0;
}
