// A short capture in the plug-in's default layout, for the tests that drive Analysis through the
// exported function (natively and under wine): five frames of 12 data bits (4 multi-turn,
// 8 single-turn), CRC 6 bits 0x43, multi-turn 0x3 and single-turn firstSingleTurn + i.
#pragma once

#include <cstdint>
#include <vector>

#include "bissgen/generator.h"

namespace zbtest {

inline bissgen::Capture DefaultLayoutFrames(uint64_t firstSingleTurn) {
    bissgen::Timing timing;
    bissgen::Layout layout;
    layout.multiTurnBits = 4;
    layout.singleTurnBits = 8;
    std::vector<bissgen::Frame> frames(5);
    for (int i = 0; i < 5; ++i) {
        frames[i].slaves[0].multiTurn = 0x3;
        frames[i].slaves[0].singleTurn = firstSingleTurn + i;
    }
    return bissgen::MakeCapture(timing, layout, frames);
}

}  // namespace zbtest
