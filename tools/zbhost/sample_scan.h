// Finds the changes of two bits in a stream of raw logic samples (sigrok's layout: each sample is
// `unitSize` bytes, little-endian, channel c is bit c). Samples of 1, 2, 4 or 8 bytes are compared
// a 64-bit word at a time against the previous sample broadcast over the word, so long stretches
// without a change cost a few instructions per word.
#pragma once

#include <cstddef>
#include <cstdint>

#include "change_block.h"

namespace zbhost {

class SampleScanner {
  public:
    // unitSize 1..8; maBit and sloBit below unitSize * 8.
    SampleScanner(unsigned unitSize, unsigned maBit, unsigned sloBit);

    // Feeds the next bytes of the stream and appends its changes to `out`; a sample split across
    // two calls is joined. The first sample always gives a change.
    void Feed(const uint8_t* data, size_t size, ChangeBlock& out);
    // Goes on from sample `next` as if the samples before it had ended at `levels` (packed).
    void Resume(int64_t next, uint8_t levels);
    // Starts again at sample `first`, whose levels give a change whatever they are.
    void Start(int64_t first) {
        samples_ = first;
        started_ = false;
        carried_ = 0;
    }
    // Samples seen so far (whole samples only).
    int64_t SampleCount() const { return samples_; }
    // Bytes of an incomplete sample held back at the end of the stream.
    size_t PendingBytes() const { return carried_; }
    unsigned UnitSize() const { return unit_; }

  private:
    void TakeSample(uint64_t sample, ChangeBlock& out);
    void ScanWords(const uint8_t* data, size_t words, ChangeBlock& out);
    uint8_t Levels(uint64_t bits) const {
        return PackLevels(static_cast<uint8_t>((bits >> maBit_) & 1),
                          static_cast<uint8_t>((bits >> sloBit_) & 1));
    }
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
};

}  // namespace zbhost
