// The example traffic. Positions count up so that every frame's value is easy to recognise.
#include "traffic.h"

#include <algorithm>

namespace zbhost {

namespace {

bissgen::Frame PositionFrame(uint64_t multiTurn, uint64_t singleTurn) {
    bissgen::Frame f;
    f.slaves[0].multiTurn = multiTurn;
    f.slaves[0].singleTurn = singleTurn;
    return f;
}

}  // namespace

bissgen::Layout ExampleLayout() {
    bissgen::Layout layout;
    layout.protocol = bissgen::Protocol::BissC;
    layout.multiTurnBits = 12;
    layout.singleTurnBits = 13;
    layout.alignBits = 0;
    layout.crc = bissgen::CrcParams{6, 0x43, 0};
    return layout;
}

bissgen::Generator MakeDemoTraffic() {
    bissgen::Timing timing;
    timing.sampleRate = 200000000;
    timing.clockHz = 2500000;
    timing.pauseNs = 20000;
    timing.leadNs = 5000;
    bissgen::Generator g(timing, ExampleLayout(), 7);
    // Plain position frames.
    for (uint64_t i = 0; i < 3; ++i) g.AddFrame(PositionFrame(5, 0x1A2B + 0x111 * i));
    // One frame with a wrong CRC and a warning, one cut short after 20 clocks.
    bissgen::Frame bad = PositionFrame(5, 0x1D5E);
    bad.slaves[0].crcXor = 0x15;
    bad.slaves[0].warn = 0;
    g.AddFrame(bad);
    bissgen::Frame cut = PositionFrame(5, 0x1E6F);
    cut.cutAfter = 20;
    g.AddFrame(cut);
    // A register read of two bytes and a register write of one byte, bit by bit over CDM/CDS.
    g.QueueAccess(bissgen::RegisterRead(0, 0x42, {0x12, 0x34}));
    g.QueueAccess(bissgen::RegisterWrite(0, 0x10, {0xA5}));
    g.FlushControl(PositionFrame(6, 0x0100));
    return g;
}

bissgen::Generator MakeBulkTraffic(const BulkTraffic& spec) {
    bissgen::Timing timing;
    timing.sampleRate = spec.sampleRate;
    timing.clockHz = spec.clockHz;
    // Spread the frames over the wanted length: each frame's pause fills its share of the time.
    const double seconds = static_cast<double>(spec.minSamples) / static_cast<double>(spec.sampleRate);
    const double frameNs = 1e9 * 40 / spec.clockHz;  // about 40 clocks per frame
    timing.pauseNs = std::max(20000.0, seconds * 1e9 / std::max(1, spec.frames) - frameNs) + 1000;
    timing.leadNs = 10000;
    bissgen::Generator g(timing, ExampleLayout(), spec.seed);
    uint64_t st = 0;
    int accesses = 0;
    for (int i = 0; i < spec.frames; ++i) {
        if (spec.registerEvery > 0 && i % spec.registerEvery == 0 && g.PendingSteps() == 0) {
            bissgen::RegisterAccess a;
            a.kind = (accesses++ % 2) == 0 ? bissgen::AccessKind::Read : bissgen::AccessKind::Write;
            a.address = static_cast<uint8_t>(accesses & 0x7F);
            a.data = {static_cast<uint8_t>(accesses), static_cast<uint8_t>(accesses * 7)};
            g.QueueAccess(a);
        }
        st = (st + 0x135) & 0x1FFF;
        g.AddFrame(PositionFrame(static_cast<uint64_t>(i / 8) & 0xFFF, st));
    }
    // Idle time up to the wanted length.
    const auto& frames = g.Frames();
    const int64_t end = frames.empty() || frames.back().rises.empty() ? 0 : frames.back().rises.back();
    if (end < spec.minSamples) {
        g.AddIdleNs(1e9 * static_cast<double>(spec.minSamples - end) / static_cast<double>(spec.sampleRate));
    }
    return g;
}

}  // namespace zbhost
