// Writes a capture as a Value Change Dump with two wires, MA and SLO, whose time unit is chosen
// so that every sample falls on a whole number of units where the sample rate allows it. The one
// VCD writer of the tree: bissgen, zbhost's demo and generate, and the tests write through it.
#pragma once

#include <ostream>
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

// The dump of `capture` into `out`, in units of ChooseTimescale(capture.sampleRate).
void WriteVcd(std::ostream& out, const Capture& capture);
// The same into a new file at `path`; false with a message when it cannot be written.
bool WriteVcd(const std::string& path, const Capture& capture, std::string* error = nullptr);

}  // namespace bissgen
