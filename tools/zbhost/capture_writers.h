// Writers for the text capture formats that zbhost reads, fed by a change list (for instance one made
// by the traffic generator): VCD and CSV. Sigrok session files are written by bissgen/srzip.h. The
// tests, the demo and the benchmark use them to make files whose contents are known.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "bissgen/capture.h"

namespace zbhost {

// A VCD with two wires "MA" and "SLO"; times in units of `timescale` ("1ns", "1ps", ...), each
// sample lasting samplesToUnits units.
void WriteVcd(const bissgen::Capture& capture, std::ostream& out, const std::string& timescale,
              uint64_t unitsPerSample);

// A CSV of transitions: "Time [s],MA,SLO", one row per change and one for the last sample.
void WriteCsvTransitions(const bissgen::Capture& capture, std::ostream& out);
// A CSV of samples: "MA,SLO", one row per sample (small captures only).
void WriteCsvSamples(const bissgen::Capture& capture, std::ostream& out);

}  // namespace zbhost
