// Finds the changes of two bits in a stream of raw logic samples (sigrok's layout: each sample is
// `unitSize` bytes, little-endian, channel c is bit c). Samples of 1, 2, 4 or 8 bytes are compared
// a 64-bit word at a time against the previous sample broadcast over the word, so long stretches
// without a change cost a few instructions per word.
#pragma once

#include <cstddef>
#include <cstdint>

#include "change_builder.h"

namespace zbhost {

class SampleScanner {
  public:
    // unitSize 1..8; maBit and sloBit below unitSize * 8.
    SampleScanner(unsigned unitSize, unsigned maBit, unsigned sloBit, ChangeBuilder& out);

    // Feeds the next bytes of the stream; a sample split across two calls is joined.
    void Feed(const uint8_t* data, size_t size);
    // Samples seen so far (whole samples only).
    int64_t SampleCount() const { return samples_; }
    // Bytes of an incomplete sample held back at the end of the stream.
    size_t PendingBytes() const { return carried_; }

  private:
    void TakeSample(uint64_t sample);
    void ScanWords(const uint8_t* data, size_t words);
    static uint64_t Load(const uint8_t* p, unsigned size);

    unsigned unit_;
    unsigned maBit_;
    unsigned sloBit_;
    uint64_t sampleMask_;    // the two bits within one sample
    uint64_t wordMask_;      // sampleMask_ repeated for every sample of a word
    uint64_t broadcast_;     // multiplier that repeats a sample over a word
    uint64_t previous_ = 0;  // masked bits of the last sample
    bool started_ = false;
    int64_t samples_ = 0;
    uint8_t carry_[8] = {};
    size_t carried_ = 0;
    ChangeBuilder& out_;
};

}  // namespace zbhost
