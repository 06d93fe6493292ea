// Change scanning over raw logic samples: a word-at-a-time path for sample sizes that divide eight
// bytes and a sample-at-a-time path for the others.
#include "sample_scan.h"

#include <cstring>

namespace zbhost {

namespace {
constexpr size_t kWordBytes = 8;
constexpr size_t kIdleWords = 8;

unsigned LowestSetBit(uint64_t v) {
    return static_cast<unsigned>(__builtin_ctzll(v));
}
}  // namespace

SampleScanner::SampleScanner(unsigned unitSize, unsigned maBit, unsigned sloBit)
    : unit_(unitSize), maBit_(maBit), sloBit_(sloBit) {
    if (unit_ < 1 || unit_ > 8 || maBit_ >= unit_ * 8 || sloBit_ >= unit_ * 8) {
        throw CaptureError("sample layout out of range");
    }
    sampleMask_ = (uint64_t{1} << maBit_) | (uint64_t{1} << sloBit_);
    broadcast_ = 0;
    if (kWordBytes % unit_ == 0) {
        for (unsigned i = 0; i < kWordBytes; i += unit_) broadcast_ |= uint64_t{1} << (i * 8);
    }
    wordMask_ = sampleMask_ * broadcast_;
}

uint64_t SampleScanner::Load(const uint8_t* p, unsigned size) {
    uint64_t v = 0;
    std::memcpy(&v, p, size);  // little-endian hosts: byte 0 is bits 7..0
    return v;
}

void SampleScanner::Resume(int64_t next, uint8_t levels) {
    samples_ = next;
    previous_ = (static_cast<uint64_t>(levels & kMaLevel) << maBit_) |
                (static_cast<uint64_t>((levels & kSloLevel) >> 1) << sloBit_);
    started_ = true;
    carried_ = 0;
}

void SampleScanner::TakeSample(uint64_t sample, ChangeBlock& out) {
    const uint64_t bits = sample & sampleMask_;
    if (!started_ || bits != previous_) {
        out.Push(samples_, Levels(bits));
        previous_ = bits;
        started_ = true;
    }
    ++samples_;
}

namespace {

// The scan of whole words of samples of U bytes (U divides 8): each sample is compared with the one
// before it (the word shifted by one sample, the previous word's last sample shifted in), so every
// change costs a few instructions wherever it lies in the word. Words in which nothing differs
// from the last sample are passed kIdleWords at a time (the compiler turns the test into vector
// instructions).
template <unsigned U>
void ScanWordsOf(const uint8_t* data, size_t words, uint64_t wordMask, unsigned maBit, unsigned sloBit,
                 uint64_t& previousOut, int64_t& samplesOut, ChangeBlock& out) {
    // Locals: the stores into the block's byte array could alias the scanner's own fields.
    uint64_t previous = previousOut;
    int64_t samples = samplesOut;
    constexpr unsigned kBits = U * 8;
    constexpr unsigned kPerWord = 8 / U;
    constexpr uint64_t kSlot = kBits == 64 ? ~uint64_t{0} : (uint64_t{1} << (kBits % 64)) - 1;
    constexpr uint64_t kBroadcast = ~uint64_t{0} / kSlot;  // 1 in every sample's lowest byte
    uint64_t repeated = previous * kBroadcast;
    size_t w = 0;
    while (w < words) {
        if (w + kIdleWords <= words) {
            uint64_t differs = 0;
            for (size_t k = 0; k < kIdleWords; ++k) {
                uint64_t v;
                std::memcpy(&v, data + (w + k) * 8, 8);
                differs |= v ^ repeated;
            }
            if ((differs & wordMask) == 0) {
                w += kIdleWords;
                samples += kIdleWords * kPerWord;
                continue;
            }
        }
        uint64_t word;
        std::memcpy(&word, data + w * 8, 8);
        word &= wordMask;
        uint64_t diff;
        if constexpr (kBits == 64) {
            diff = word ^ previous;
        } else {
            diff = word ^ ((word << kBits) | previous);
        }
        while (diff != 0) {
            const unsigned k = LowestSetBit(diff) / kBits;
            const uint64_t sample = (word >> (k * kBits % 64)) & kSlot;
            out.Push(samples + k, PackLevels(static_cast<uint8_t>((sample >> maBit) & 1),
                                             static_cast<uint8_t>((sample >> sloBit) & 1)));
            if constexpr (kBits == 64) {
                diff = 0;
            } else {
                diff &= ~(kSlot << (k * kBits));
            }
        }
        if constexpr (kBits == 64) {
            previous = word;
        } else {
            previous = word >> (64 - kBits);
        }
        repeated = previous * kBroadcast;
        samples += kPerWord;
        ++w;
    }
    previousOut = previous;
    samplesOut = samples;
}

}  // namespace

void SampleScanner::ScanWords(const uint8_t* data, size_t words, ChangeBlock& out) {
    switch (unit_) {
        case 1:
            return ScanWordsOf<1>(data, words, wordMask_, maBit_, sloBit_, previous_, samples_, out);
        case 2:
            return ScanWordsOf<2>(data, words, wordMask_, maBit_, sloBit_, previous_, samples_, out);
        case 4:
            return ScanWordsOf<4>(data, words, wordMask_, maBit_, sloBit_, previous_, samples_, out);
        default:
            return ScanWordsOf<8>(data, words, wordMask_, maBit_, sloBit_, previous_, samples_, out);
    }
}

void SampleScanner::Feed(const uint8_t* data, size_t size, ChangeBlock& out) {
    // Complete a sample split by the previous call.
    if (carried_ > 0) {
        const size_t take = size < unit_ - carried_ ? size : unit_ - carried_;
        std::memcpy(carry_ + carried_, data, take);
        carried_ += take;
        data += take;
        size -= take;
        if (carried_ < unit_) return;
        TakeSample(Load(carry_, unit_), out);
        carried_ = 0;
    }
    size_t samples = size / unit_;
    if (broadcast_ != 0) {
        // The first sample of the stream sets the levels at position 0.
        if (!started_ && samples > 0) {
            TakeSample(Load(data, unit_), out);
            data += unit_;
            --samples;
        }
        const size_t words = samples * unit_ / kWordBytes;
        ScanWords(data, words, out);
        data += words * kWordBytes;
        samples -= words * (kWordBytes / unit_);
    }
    for (size_t i = 0; i < samples; ++i, data += unit_) TakeSample(Load(data, unit_), out);
    const size_t rest = size % unit_;
    if (rest > 0) {
        std::memcpy(carry_, data, rest);
        carried_ = rest;
    }
}

}  // namespace zbhost
