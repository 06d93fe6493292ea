// Scenario runner: draws every frame's values and every register access from one seeded
// generator, then pads the capture to the requested length.
#include "bissgen/scenario.h"

#include <algorithm>

namespace bissgen {

namespace {

constexpr int kBusyClocksMin = 2;
constexpr int kBusyClocksSpan = 8;
constexpr uint64_t kPercent = 100;

bool Every(int n, int index) {
    return n > 0 && (index + 1) % n == 0;
}

RegisterAccess RandomAccess(SplitMix64& rnd, int maxBurst) {
    RegisterAccess a;
    const uint64_t roll = rnd.Below(kPercent);
    a.kind = roll < 55 ? AccessKind::Read : (roll < 90 ? AccessKind::Write : AccessKind::Command);
    a.id = static_cast<uint8_t>(rnd.Bits(3));
    a.address = static_cast<uint8_t>(rnd.Bits(7));
    a.ids = static_cast<uint8_t>(rnd.Bits(8));
    a.command = static_cast<uint8_t>(rnd.Bits(2));
    const uint64_t bytes = 1 + rnd.Below(static_cast<uint64_t>(std::max(1, maxBurst)));
    for (uint64_t i = 0; i < bytes; ++i) a.data.push_back(static_cast<uint8_t>(rnd.Bits(8)));
    a.refuse = rnd.Below(kPercent) < 5;
    a.waitFrames = static_cast<int>(rnd.Below(3));
    return a;
}

}  // namespace

ScenarioOptions BenchScenario() {
    ScenarioOptions o;
    o.mode = TrafficMode::Register;
    o.frames = 4000;
    o.timing.sampleRate = 200000000;
    o.timing.clockHz = 2500000;
    o.timing.pauseNs = 736000;  // with a frame of about 14 us: 750 us per cycle
    o.timing.timeoutNs = 10000;
    o.layout.multiTurnBits = 12;
    o.layout.singleTurnBits = 12;
    o.minSamples = 600000000;
    o.crcErrorEvery = 97;
    o.busyEvery = 53;
    o.seed = 2026;
    return o;
}

Generator RunScenario(const ScenarioOptions& o) {
    Generator gen(o.timing, o.layout, o.seed);
    SplitMix64 rnd(o.seed ^ 0x5DEECE66Dull);
    const Layout& l = gen.GetLayout();
    const bool withControl = o.mode == TrafficMode::Register && l.protocol == Protocol::BissC;
    const int slaves = std::clamp(o.slaves, 1, 8);
    auto randomFrame = [&](int index) {
        Frame f;
        f.ackClocks = std::max(1, o.ackClocks);
        if (Every(o.busyEvery, index))
            f.ackClocks = kBusyClocksMin + static_cast<int>(rnd.Below(kBusyClocksSpan));
        f.slaves.clear();
        for (int s = 0; s < slaves; ++s) {
            SlaveWord w;
            w.multiTurn = rnd.Bits(l.multiTurnBits);
            w.singleTurn = rnd.Bits(l.singleTurnBits);
            w.alignment = rnd.Bits(l.alignBits);
            if (s == 0 && Every(o.flagEvery, index)) {
                w.err = static_cast<uint8_t>(rnd.Bits(1));
                w.warn = static_cast<uint8_t>(w.err == 0 ? rnd.Bits(1) : 0);
            }
            if (s == 0 && Every(o.crcErrorEvery, index))
                w.crcXor = 1u + static_cast<uint32_t>(rnd.Below(CrcMask(l.crc.bits)));
            f.slaves.push_back(w);
        }
        return f;
    };
    for (int i = 0; i < o.frames; ++i) {
        if (withControl && gen.PendingSteps() == 0) gen.QueueAccess(RandomAccess(rnd, o.maxBurst));
        Frame f = randomFrame(i);
        if (Every(o.cutEvery, i)) {
            // Break off somewhere after the acknowledge, never on the last CRC bit.
            const int bits = f.ackClocks + 2 + slaves * (l.DataBits() + 2 + l.crc.bits);
            f.cutAfter = 1 + static_cast<int>(rnd.Below(static_cast<uint64_t>(bits - 1)));
        }
        gen.AddFrame(f);
    }
    if (withControl) gen.FlushControl(randomFrame(o.frames));
    const uint64_t samples = static_cast<uint64_t>(gen.LastSample()) + 1;
    if (o.minSamples > 0 && samples < o.minSamples) {
        const double missing = static_cast<double>(o.minSamples - samples);
        gen.AddIdleNs(missing * 1e9 / static_cast<double>(gen.GetTiming().sampleRate) + 1.0);
    }
    return gen;
}

}  // namespace bissgen
