// The cost of zbhost's sampleQuery per change, as the plug-in's decode walk sees it: a stand-in
// plug-in whose Analysis only walks the capture change by change through the host record's
// callback (the bare walk), run by zbhost's HostSession over a sample source.
//
//   build/native/bench/zbhost_query_bench [CAPTURE [runs]]
//
// Without a capture the changes come from a list in memory (4 million changes of 10 MHz frames at
// 100 MHz): the callback's own cost. With one (a .sr file, or .vcd/.csv/.bin) the walk also waits
// for the readers, which run in their threads meanwhile: ns per change of the whole reading path.
// Prints the median, minimum and maximum over `runs` runs (default 5).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bissgen/generator.h"
#include "capture_readers.h"
#include "host_session.h"

namespace {

uint64_t walked = 0;

// The stand-in plug-in: every change once, from the first sample on, as the decode walk asks.
uint32_t ZB_CALL BareWalk(zb::HostRecord* host) {
    uint8_t state[16];
    uint64_t position = 0, n = 0;
    for (;;) {
        const uint64_t next = host->sampleQuery(position, state);
        ++n;
        if (next == zb::kNoFurtherChange || (state[15] & 0x80) != 0) break;
        position = next;
    }
    walked = n;
    return 0;
}

bissgen::Capture MemoryCapture() {
    bissgen::Timing timing;
    timing.sampleRate = 100000000;
    timing.clockHz = 10000000;
    timing.pauseNs = 1000;
    timing.timeoutNs = 500;
    bissgen::Layout layout;
    layout.singleTurnBits = 20;
    layout.multiTurnBits = 12;
    bissgen::Generator g(timing, layout, 5);
    bissgen::SplitMix64 rng(3);
    for (int i = 0; i < 46000; ++i) {  // about 87 changes each
        bissgen::Frame f;
        f.slaves[0].singleTurn = rng.Next() & 0xFFFFF;
        f.slaves[0].multiTurn = rng.Next() & 0xFFF;
        g.AddFrame(f);
    }
    return g.Finish();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const bissgen::Capture memory = path.empty() ? MemoryCapture() : bissgen::Capture{};
    zbhost::PluginExports exports;
    exports.Analysis = &BareWalk;
    std::vector<double> ns;
    for (int r = 0; r < runs; ++r) {
        std::unique_ptr<zbhost::SampleSource> source;
        try {
            source = path.empty() ? std::make_unique<zbhost::SampleSource>(memory)
                                  : std::make_unique<zbhost::SampleSource>(
                                        zbhost::OpenCapture(path, zbhost::CaptureFormat::Auto, {}));
        } catch (const zbhost::CaptureError& e) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), e.what());
            return 1;
        }
        zbhost::HostSession session(exports, *source);
        std::string error;
        const auto begin = std::chrono::steady_clock::now();
        session.Analyse(zbhost::ReportVia::None, error);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        ns.push_back(seconds * 1e9 / static_cast<double>(walked));
        std::printf("run %d: %llu changes, %.2f ns per change (%.3f s waiting for the readers)\n", r + 1,
                    static_cast<unsigned long long>(walked), ns.back(), source->Stats().waitSeconds);
    }
    std::sort(ns.begin(), ns.end());
    std::printf("sampleQuery per change: median %.2f ns, min %.2f, max %.2f over %d runs\n",
                ns[ns.size() / 2], ns.front(), ns.back(), runs);
    return 0;
}
