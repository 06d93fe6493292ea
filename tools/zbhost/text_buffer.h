// Output text built in one large buffer and handed to the stream in big pieces. The outputs of a
// dense capture run to tens of millions of short lines; formatting each field through the stream
// or printf costs more than the decode, so numbers, colours and padded fields are written here by
// hand, with exactly the text the printf formats named at each function would give.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string_view>
#include <vector>

namespace zbhost {

// The field writers behind the members of TextBuffer, for a line written in place (see
// TextBuffer::Room): each writes at `at`, with the text of the member of the same name, and
// returns the end of what it wrote.
inline char* DecimalAt(char* at, int64_t value, int width = 0);
inline char* HexAt(char* at, uint64_t value, int digits);
inline char* ColourAt(char* at, uint32_t colorref);
inline char* RightAlignedAt(char* at, std::string_view text, size_t width);
inline char* LeftAlignedAt(char* at, std::string_view text, size_t width);
inline char* PutAt(char* at, std::string_view text);
// At most 2 * text.size() + 2 bytes.
char* CsvFieldAt(char* at, std::string_view text);

class TextBuffer {
  public:
    explicit TextBuffer(std::ostream& out, size_t capacity = size_t{1} << 20);
    ~TextBuffer();  // flushes what is left
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    void Put(char c) {
        if (used_ == buffer_.size()) Flush();
        buffer_[used_++] = c;
    }
    void Put(std::string_view text) {
        if (text.size() <= buffer_.size() - used_) {
            std::memcpy(buffer_.data() + used_, text.data(), text.size());
            used_ += text.size();
            return;
        }
        PutSlow(text);
    }
    // "%*" PRId64 with `width` (0: no padding).
    void Decimal(int64_t value, int width = 0) {
        Commit(DecimalAt(Room(kNumberRoom + Width(width)), value, width));
    }
    // "%0*X": upper-case hex, zero-padded to `digits`.
    void Hex(uint64_t value, int digits) { Commit(HexAt(Room(kNumberRoom), value, digits)); }
    // "#RRGGBB" of a COLORREF (0x00BBGGRR).
    void Colour(uint32_t colorref) { Commit(ColourAt(Room(kNumberRoom), colorref)); }
    // "%*s" (right-aligned) and "%-*s" (left-aligned) with `width`; longer text is not cut.
    void RightAligned(std::string_view text, size_t width) {
        Commit(RightAlignedAt(Room(text.size() + width), text, width));
    }
    void LeftAligned(std::string_view text, size_t width) {
        Commit(LeftAlignedAt(Room(text.size() + width), text, width));
    }
    // A CSV field: quoted when it holds a comma, a quote or a line break, quotes doubled.
    void CsvField(std::string_view text) { Commit(CsvFieldAt(Room(2 * text.size() + 2), text)); }
    // Room for `size` bytes written in place, for a line whose longest form is known: what the
    // buffer holds is handed over first when less is left. Commit(end) keeps what was written up
    // to `end`.
    char* Room(size_t size) {
        if (buffer_.size() - used_ < size) MakeRoom(size);
        return buffer_.data() + used_;
    }
    void Commit(const char* end) { used_ = static_cast<size_t>(end - buffer_.data()); }
    // Writes the buffer to the stream.
    void Flush();

  private:
    static constexpr size_t kNumberRoom = 24;  // the longest number or colour
    static size_t Width(int width) { return width > 0 ? static_cast<size_t>(width) : 0; }
    void PutSlow(std::string_view text);
    void MakeRoom(size_t size);
    std::ostream& out_;
    std::vector<char> buffer_;
    size_t used_ = 0;
};

// The field formats are written in line: a listing calls them for every field of every line.
// Decimal numbers go two digits per step; padding is written whole and then overwritten.
inline constexpr char kTextHexDigits[] = "0123456789ABCDEF";
inline constexpr char kTextDecimalPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline char* PutAt(char* at, std::string_view text) {
    if (text.empty()) return at;
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

// The decimal digits of v, written so that they end at `end`; returns where they begin.
inline char* DigitsBefore(char* end, uint64_t v) {
    for (; v >= 100; v /= 100) {
        end -= 2;
        std::memcpy(end, kTextDecimalPairs + 2 * (v % 100), 2);
    }
    if (v >= 10) {
        end -= 2;
        std::memcpy(end, kTextDecimalPairs + 2 * v, 2);
    } else {
        *--end = static_cast<char>('0' + v);
    }
    return end;
}

// From the highest set bit: bits * log10(2) is the count or one more (1233 / 4096 ~ log10(2)).
inline int DecimalDigitCount(uint64_t v) {
    static constexpr uint64_t kPowers[20] = {1ull,
                                             10ull,
                                             100ull,
                                             1000ull,
                                             10000ull,
                                             100000ull,
                                             1000000ull,
                                             10000000ull,
                                             100000000ull,
                                             1000000000ull,
                                             10000000000ull,
                                             100000000000ull,
                                             1000000000000ull,
                                             10000000000000ull,
                                             100000000000000ull,
                                             1000000000000000ull,
                                             10000000000000000ull,
                                             100000000000000000ull,
                                             1000000000000000000ull,
                                             10000000000000000000ull};
    const uint64_t w = v | 1;  // 0 has one digit, like 1
    const int guess = ((64 - __builtin_clzll(w)) * 1233) >> 12;
    return guess + (w >= kPowers[guess] ? 1 : 0);
}

inline char* DecimalAt(char* at, int64_t value, int width) {
    // Counted as unsigned so that INT64_MIN has its digits too.
    const uint64_t v = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    const int n = DecimalDigitCount(v) + (value < 0 ? 1 : 0);
    if (width > n) {
        std::memset(at, ' ', static_cast<size_t>(width - n));
        at += width - n;
    }
    char* const end = at + n;
    DigitsBefore(end, v);
    if (value < 0) *at = '-';
    return end;
}

// `scaled` / 10^decimals written with exactly `decimals` decimals (0 to 20), as "%.*f" writes the
// quotient; returns the length. No division by the run-time power of ten: the digits of `scaled`
// (at least decimals + 1 of them) are written one place to the right, and the whole part moves
// left to make room for the point, so out must hold the length and one byte more.
size_t FixedPoint(uint64_t scaled, int decimals, char* out);

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "HexWord builds text in a little-endian word");

// The eight upper-case hex digits of v as the bytes of one word, the most significant digit in
// the lowest byte (written first): the nibbles are spread one per byte, each byte becomes its
// digit with no table, and the word is reversed.
inline uint64_t HexWord(uint32_t v) {
    uint64_t x = v;
    x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
    x = (x | (x << 8)) & 0x00FF00FF00FF00FFull;
    x = (x | (x << 4)) & 0x0F0F0F0F0F0F0F0Full;  // byte k holds nibble k
    // A byte of 10 or more carries into bit 4 when 6 is added: those take 'A' - '9' - 1 more.
    const uint64_t letters = ((x + 0x0606060606060606ull) >> 4) & 0x0101010101010101ull;
    return __builtin_bswap64(x + 0x3030303030303030ull + letters * 7);
}

inline char* HexAt(char* at, uint64_t value, int digits) {
    if (digits == 8 && value <= 0xFFFFFFFFu) {
        const uint64_t word = HexWord(static_cast<uint32_t>(value));
        std::memcpy(at, &word, 8);
        return at + 8;
    }
    const int bits = value == 0 ? 1 : 64 - __builtin_clzll(value);
    const int n = std::max((bits + 3) / 4, std::min(digits, 16));
    for (char* p = at + n; p-- > at; value >>= 4) *p = kTextHexDigits[value & 0xF];
    return at + n;
}

inline char* ColourAt(char* at, uint32_t c) {
    // 0x00BBGGRR read as 0xRRGGBB: its last six hex digits, after the '#'.
    const uint32_t rgb = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    const uint64_t text = ((HexWord(rgb) >> 16) << 8) | '#';  // "00RRGGBB" without its zeros
    std::memcpy(at, &text, 7);
    return at + 7;
}

inline char* RightAlignedAt(char* at, std::string_view text, size_t width) {
    if (text.size() >= width) return PutAt(at, text);
    std::memset(at, ' ', width);
    PutAt(at + width - text.size(), text);
    return at + width;
}

inline char* LeftAlignedAt(char* at, std::string_view text, size_t width) {
    std::memset(at, ' ', width);
    return std::max(PutAt(at, text), at + width);
}

// The eight decimal digits of v < 10^8 (with leading zeros) as the bytes of one word, the first
// digit in the lowest byte: v is split into two halves of four digits, each into two pairs, each
// pair into two digits, all lanes at once; the divisions are multiplications that are exact in
// these ranges (10486 / 2^20 for 100, 103 / 2^10 for 10).
inline uint64_t EightDigits(uint32_t v) {
    const uint64_t halves = (v / 10000) | (uint64_t{v % 10000} << 32);
    const uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F0000007Full;
    const uint64_t pairs = hundreds | ((halves - hundreds * 100) << 16);
    const uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000Full;
    return (tens | ((pairs - tens * 10) << 8)) + 0x3030303030303030ull;
}

// A number that a listing writes on every line, kept as its text from line to line: records come
// in order of position, so the next value mostly differs only in its last eight digits, which are
// written anew as one word. The text is "%" PRIu64, or with `decimals` > 0 the value divided by
// 10^decimals as "%.*f" writes it (at least one digit before the point), right-aligned in a row of
// spaces, so that a padded field is one copy of fixed size.
class DecimalField {
  public:
    static constexpr size_t kWidest = 32;  // the widest field written by one fixed copy
    explicit DecimalField(int decimals = 0) : decimals_(std::clamp(decimals, 0, 20)) { Set(0); }

    void Show(uint64_t value) {
        if (value == value_) return;
        if (value > value_ && value - value_ < kLowSpan - low_) {
            low_ += static_cast<uint32_t>(value - value_);
            value_ = value;
            WriteLow();
        } else {
            Set(value);
        }
    }
    // The text right-aligned in `width` ("%*s": longer text is not cut), written in place like
    // the field writers above; up to kWidest bytes may be written past the end returned.
    char* RightAlignedAt(char* at, size_t width) const {
        if (length_ <= width && width <= kWidest) {
            std::memcpy(at, End() - width, width);
            return at + width;
        }
        return At(at);
    }
    // The text unpadded; up to kWidest bytes may be written past the end returned.
    char* At(char* at) const {
        std::memcpy(at, End() - length_, kWidest);
        return at + length_;
    }

  private:
    static constexpr uint32_t kLowSpan = 100000000;  // 10^8: the last eight digits
    // 20 digits of a u64, the point and spaces up to the end of the text at kEnd; after it the
    // rest of the array lets At copy kWidest bytes from any start (and WriteLow overshoot).
    static constexpr size_t kEnd = 32;
    char* End() { return text_ + kEnd; }
    const char* End() const { return text_ + kEnd; }

    // The whole text anew (text_buffer.cpp): rare, so out of line.
    void Set(uint64_t value);
    // The last eight digits after a step that left the ones above them alone. Below 10^8 there
    // are none above, and the leading zeros that the text does not show become spaces again.
    void WriteLow() {
        uint64_t word = EightDigits(low_);
        const int point = decimals_ > 0 ? 1 : 0;
        if (value_ < kLowSpan) {
            const int shown = std::max(DecimalDigitCount(low_), decimals_ + 1);
            if (shown < 8) {
                const uint64_t keep = ~uint64_t{0} << (8 * (8 - shown));
                word = (word & keep) | (0x2020202020202020ull & ~keep);
            }
            length_ = static_cast<size_t>(shown + point);
        }
        if (decimals_ == 0 || decimals_ >= 8) {
            std::memcpy(End() - 8, &word, 8);
            return;
        }
        // The point falls among the eight: the digits before it one place further left.
        std::memcpy(End() - 9, &word, 8);
        const uint64_t last = word >> (8 * (8 - decimals_));
        std::memcpy(End() - decimals_, &last, 8);
        End()[-decimals_ - 1] = '.';
    }

    char text_[kEnd + kWidest];
    int decimals_;
    size_t length_ = 0;
    uint64_t value_ = 0;
    uint32_t low_ = 0;
};

}  // namespace zbhost
