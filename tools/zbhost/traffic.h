// Example BiSS traffic for the demo, the end-to-end tests and the benchmark, made with the traffic
// generator: single-cycle frames with known positions, register reads and writes over CDM/CDS,
// and frames broken on purpose.
#pragma once

#include <cstdint>

#include "bissgen/generator.h"

namespace zbhost {

// The word layout of the examples: 12 multi-turn and 13 single-turn bits, CRC 6 bits x^6+x+1.
bissgen::Layout ExampleLayout();

// The demo: a few frames, a register read and a register write, one frame with a wrong CRC and
// one cut short by the master; 200 MHz sampling, 2.5 MHz clock.
bissgen::Generator MakeDemoTraffic();

struct BulkTraffic {
    int frames = 4000;
    double clockHz = 2500000;
    uint64_t sampleRate = 200000000;
    int64_t minSamples = 600000000;  // the frames are spread so the capture is at least this long
    int registerEvery = 40;          // a register access is queued after this many frames (0 = none)
    uint64_t seed = 1;
};

// A long capture: `frames` single-cycle frames with register accesses riding on them.
bissgen::Generator MakeBulkTraffic(const BulkTraffic& spec);

}  // namespace zbhost
