// Writers of CSV captures, the text format that zbhost reads besides VCD, fed by a change list (for
// instance one made by the traffic generator). VCD files are written by bissgen/vcd.h and sigrok
// session files by bissgen/srzip.h. The tests, the demo and the benchmark use them to make files
// whose contents are known.
#pragma once

#include <ostream>

#include "bissgen/capture.h"

namespace zbhost {

// A CSV of transitions: "Time [s],MA,SLO", one row per change and one for the last sample.
void WriteCsvTransitions(const bissgen::Capture& capture, std::ostream& out);
// A CSV of samples: "MA,SLO", one row per sample (small captures only).
void WriteCsvSamples(const bissgen::Capture& capture, std::ostream& out);

}  // namespace zbhost
