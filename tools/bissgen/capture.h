// A two-line logic capture as a list of changes: the levels of MA and SLO from each position on.
// The first change is at position 0 and gives the starting levels; positions strictly increase.
#pragma once

#include <cstdint>
#include <vector>

namespace bissgen {

struct Change {
    int64_t position;
    uint8_t ma;   // 0 or 1
    uint8_t slo;  // 0 or 1
};

struct Capture {
    uint64_t sampleRate = 0;  // samples per second, 0 when unknown
    int64_t lastSample = 0;   // position of the last sample
    std::vector<Change> changes;
};

}  // namespace bissgen
