// Writes a capture as a Value Change Dump with two wires, MA and SLO, whose time unit is chosen
// so that every sample falls on a whole number of units where the sample rate allows it.
#pragma once

#include <string>

#include "bissgen/capture.h"

namespace bissgen {

struct VcdTimescale {
    std::string text;       // e.g. "1 ns", "100 ps"
    unsigned exponent = 9;  // the unit is 10^-exponent seconds
};

// The coarsest unit 10^-k s (k <= 15) in which one sample period is a whole number of units; when
// there is none, 1 fs. A sample rate of 0 gives 1 ns per sample.
VcdTimescale ChooseTimescale(uint64_t sampleRate);
// Time of sample `position` in units of 10^-exponent s (rounded to the nearest unit).
uint64_t VcdTime(int64_t position, uint64_t sampleRate, unsigned exponent);

bool WriteVcd(const std::string& path, const Capture& capture, std::string* error = nullptr);

}  // namespace bissgen
