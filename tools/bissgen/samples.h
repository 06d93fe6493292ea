// Expands a capture's change list into one byte per sample (bit 0 MA, bit 1 SLO), piece by piece,
// so that very long captures can be written out without holding them in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bissgen/capture.h"

namespace bissgen {

constexpr uint8_t kMaBit = 0x01;
constexpr uint8_t kSloBit = 0x02;

class SampleExpander {
  public:
    explicit SampleExpander(const Capture& capture) : capture_(capture) {}
    // Number of samples in the capture: lastSample + 1 (0 for an empty capture).
    uint64_t SampleCount() const;
    // Writes samples [start, start + count) into out; positions past the end read as the last
    // levels. Sequential calls cost O(count + changes passed).
    void Fill(uint64_t start, size_t count, uint8_t* out);

  private:
    const Capture& capture_;
    size_t index_ = 0;  // change in force at the last filled position
};

}  // namespace bissgen
