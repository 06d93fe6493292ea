// Writers for the capture formats that zbhost reads, fed by a change list (for instance one made by
// the traffic generator): sigrok session files, VCD and CSV. The tests, the demo and the benchmark
// use them to make files whose contents are known.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "bissgen/capture.h"

namespace zbhost {

struct SrzipLayout {
    std::vector<std::string> probeNames{"MA", "SLO"};  // channel c = probe c + 1
    unsigned maChannel = 0;
    unsigned sloChannel = 1;
    unsigned unitSize = 1;           // bytes per sample
    uint64_t chunkBytes = 4u << 20;  // bytes per "logic-1-N" member
};

// Writes `capture` (samples 0..lastSample) as a sigrok session file; false with a message on error.
bool WriteSrzip(const bissgen::Capture& capture, const std::string& path, const SrzipLayout& layout,
                std::string& error);

// A VCD with two wires "MA" and "SLO"; times in units of `timescale` ("1ns", "1ps", ...), each
// sample lasting samplesToUnits units.
void WriteVcd(const bissgen::Capture& capture, std::ostream& out, const std::string& timescale,
              uint64_t unitsPerSample);

// A CSV of transitions: "Time [s],MA,SLO", one row per change and one for the last sample.
void WriteCsvTransitions(const bissgen::Capture& capture, std::ostream& out);
// A CSV of samples: "MA,SLO", one row per sample (small captures only).
void WriteCsvSamples(const bissgen::Capture& capture, std::ostream& out);

}  // namespace zbhost
