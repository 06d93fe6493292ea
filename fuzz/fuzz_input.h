// Reads a fuzzer's byte string as typed fields: every read past the end yields zeros, so any input
// decodes to some value of every field and the targets never need to reject an input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zbfuzz {

class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return pos_ >= size_; }
    size_t Remaining() const { return pos_ < size_ ? size_ - pos_ : 0; }
    uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
    uint32_t U32() { return static_cast<uint32_t>(U16()) | (static_cast<uint32_t>(U16()) << 16); }
    uint64_t U64() { return static_cast<uint64_t>(U32()) | (static_cast<uint64_t>(U32()) << 32); }
    // Up to `max` bytes, the first one giving the length.
    std::string Text(size_t max) {
        size_t n = U8();
        if (n > max) n = max;
        std::string s;
        for (size_t i = 0; i < n && !Empty(); ++i) s.push_back(static_cast<char>(U8()));
        return s;
    }
    // Everything that is left.
    std::string Rest() {
        std::string s(reinterpret_cast<const char*>(data_) + (pos_ < size_ ? pos_ : size_), Remaining());
        pos_ = size_;
        return s;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// A broken invariant: prints what was expected and aborts, which libFuzzer reports as a crash
// with the input that caused it.
[[noreturn]] inline void Fail(const char* what, long long a = 0, long long b = 0) {
    std::fprintf(stderr, "invariant broken: %s (%lld, %lld)\n", what, a, b);
    std::abort();
}
#define ZB_FUZZ_CHECK(cond)                 \
    do {                                    \
        if (!(cond)) ::zbfuzz::Fail(#cond); \
    } while (0)
// The same, printing two values that explain the failure.
#define ZB_FUZZ_CHECK2(cond, a, b)                                                                \
    do {                                                                                          \
        if (!(cond)) ::zbfuzz::Fail(#cond, static_cast<long long>(a), static_cast<long long>(b)); \
    } while (0)

}  // namespace zbfuzz
