// Change scanning over raw logic samples: a word-at-a-time fast path for sample sizes that divide
// eight bytes and a sample-at-a-time path for the others.
#include "sample_scan.h"

#include <cstring>

namespace zbhost {

namespace {
constexpr size_t kWordBytes = 8;

unsigned LowestSetBit(uint64_t v) {
    return static_cast<unsigned>(__builtin_ctzll(v));
}
}  // namespace

SampleScanner::SampleScanner(unsigned unitSize, unsigned maBit, unsigned sloBit, ChangeBuilder& out)
    : unit_(unitSize), maBit_(maBit), sloBit_(sloBit), out_(out) {
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

void SampleScanner::TakeSample(uint64_t sample) {
    const uint64_t bits = sample & sampleMask_;
    if (!started_ || bits != previous_) {
        out_.Set(samples_, static_cast<uint8_t>((bits >> maBit_) & 1),
                 static_cast<uint8_t>((bits >> sloBit_) & 1));
        previous_ = bits;
        started_ = true;
    }
    ++samples_;
}

void SampleScanner::ScanWords(const uint8_t* data, size_t words) {
    const unsigned perWord = kWordBytes / unit_;
    const unsigned sampleBits = unit_ * 8;
    uint64_t repeated = previous_ * broadcast_;
    size_t w = 0;
    while (w < words) {
        // Four words at a time while nothing changes: the common case of an idle line.
        if (w + 4 <= words) {
            uint64_t a, b, c, d;
            std::memcpy(&a, data + w * 8, 8);
            std::memcpy(&b, data + w * 8 + 8, 8);
            std::memcpy(&c, data + w * 8 + 16, 8);
            std::memcpy(&d, data + w * 8 + 24, 8);
            if ((((a ^ repeated) | (b ^ repeated) | (c ^ repeated) | (d ^ repeated)) & wordMask_) == 0) {
                w += 4;
                samples_ += 4 * perWord;
                continue;
            }
        }
        uint64_t word;
        std::memcpy(&word, data + w * 8, 8);
        uint64_t diff = (word ^ repeated) & wordMask_;
        unsigned consumed = 0;  // samples of this word already counted
        while (diff != 0) {
            const unsigned k = LowestSetBit(diff) / sampleBits;  // sample index within the word
            samples_ += k - consumed;
            const uint64_t sample = sampleBits == 64 ? word : (word >> (k * sampleBits));
            const uint64_t bits = sample & sampleMask_;
            out_.Set(samples_, static_cast<uint8_t>((bits >> maBit_) & 1),
                     static_cast<uint8_t>((bits >> sloBit_) & 1));
            previous_ = bits;
            repeated = previous_ * broadcast_;
            ++samples_;
            consumed = k + 1;
            const unsigned doneBits = consumed * sampleBits;
            diff = doneBits >= 64 ? 0 : ((word ^ repeated) & wordMask_ & (~uint64_t{0} << doneBits));
        }
        samples_ += perWord - consumed;
        ++w;
    }
}

void SampleScanner::Feed(const uint8_t* data, size_t size) {
    // Complete a sample split by the previous call.
    if (carried_ > 0) {
        const size_t take = size < unit_ - carried_ ? size : unit_ - carried_;
        std::memcpy(carry_ + carried_, data, take);
        carried_ += take;
        data += take;
        size -= take;
        if (carried_ < unit_) return;
        TakeSample(Load(carry_, unit_));
        carried_ = 0;
    }
    size_t samples = size / unit_;
    if (broadcast_ != 0) {
        // The first sample of the stream sets the levels at position 0.
        if (!started_ && samples > 0) {
            TakeSample(Load(data, unit_));
            data += unit_;
            --samples;
        }
        const size_t words = samples * unit_ / kWordBytes;
        ScanWords(data, words);
        data += words * kWordBytes;
        samples -= words * (kWordBytes / unit_);
    }
    for (size_t i = 0; i < samples; ++i, data += unit_) TakeSample(Load(data, unit_));
    const size_t rest = size % unit_;
    if (rest > 0) {
        std::memcpy(carry_, data, rest);
        carried_ = rest;
    }
}

}  // namespace zbhost
