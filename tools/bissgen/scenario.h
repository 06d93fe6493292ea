// Random but reproducible BiSS traffic: a run of single-cycle frames, or frames that also carry
// register accesses and commands on CDM/CDS, with optional busy slaves, broken-off frames and
// wrong CRCs at fixed intervals. The same options and seed always give the same capture.
#pragma once

#include <cstdint>

#include "bissgen/generator.h"

namespace bissgen {

enum class TrafficMode : uint8_t { SingleCycle, Register };

struct ScenarioOptions {
    TrafficMode mode = TrafficMode::SingleCycle;
    int frames = 100;
    int slaves = 1;
    Timing timing;
    Layout layout;
    uint64_t seed = 1;
    int ackClocks = 1;
    int busyEvery = 0;        // every n-th frame the slave acknowledges for 2..9 clocks (0 = never)
    int cutEvery = 0;         // every n-th frame the master breaks off mid-way (0 = never)
    int crcErrorEvery = 0;    // every n-th frame the first slave sends a wrong CRC (0 = never)
    int flagEvery = 0;        // every n-th frame the first slave reports nErr or nWarn active (0 = never)
    int maxBurst = 4;         // register mode: 1..maxBurst data bytes per access
    uint64_t minSamples = 0;  // idle time is added at the end up to at least this many samples
};

// The options of the host-tool benchmark capture: 200 MHz sampling, at least 600,000,000
// samples, about 4,000 frames at 2.5 MHz carrying register traffic.
ScenarioOptions BenchScenario();

Generator RunScenario(const ScenarioOptions& options);

}  // namespace bissgen
