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
    void Decimal(int64_t value, int width = 0);
    // "%0*X": upper-case hex, zero-padded to `digits`.
    void Hex(uint64_t value, int digits);
    // "#RRGGBB" of a COLORREF (0x00BBGGRR).
    void Colour(uint32_t colorref);
    // "%*s" (right-aligned) and "%-*s" (left-aligned) with `width`; longer text is not cut.
    void RightAligned(std::string_view text, size_t width);
    void LeftAligned(std::string_view text, size_t width);
    // A CSV field: quoted when it holds a comma, a quote or a line break, quotes doubled.
    void CsvField(std::string_view text);
    // Writes the buffer to the stream.
    void Flush();

  private:
    void PutSlow(std::string_view text);
    void Blanks(size_t count);
    std::ostream& out_;
    std::vector<char> buffer_;
    size_t used_ = 0;
};

// The field formats are written in line: a listing calls them for every field of every line.
inline constexpr char kTextHexDigits[] = "0123456789ABCDEF";
inline constexpr char kTextBlanks[] = "                                ";

inline void TextBuffer::Blanks(size_t count) {
    for (size_t n; count > 0; count -= n) {
        n = std::min(count, sizeof kTextBlanks - 1);
        Put(std::string_view(kTextBlanks, n));
    }
}

inline void TextBuffer::Decimal(int64_t value, int width) {
    char digits[24];
    size_t n = 0;
    // Counted as unsigned so that INT64_MIN has its digits too.
    uint64_t v = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[sizeof digits - 1 - n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (value < 0) digits[sizeof digits - 1 - n++] = '-';
    RightAligned(std::string_view(digits + sizeof digits - n, n), width > 0 ? static_cast<size_t>(width) : 0);
}

inline void TextBuffer::Hex(uint64_t value, int digits) {
    char text[16];
    size_t n = 0;
    do {
        text[sizeof text - 1 - n++] = kTextHexDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    for (size_t want = static_cast<size_t>(std::clamp(digits, 0, 16)); n < want;)
        text[sizeof text - 1 - n++] = '0';
    Put(std::string_view(text + sizeof text - n, n));
}

inline void TextBuffer::Colour(uint32_t c) {
    const char text[7] = {'#',
                          kTextHexDigits[(c >> 4) & 0xF],
                          kTextHexDigits[c & 0xF],
                          kTextHexDigits[(c >> 12) & 0xF],
                          kTextHexDigits[(c >> 8) & 0xF],
                          kTextHexDigits[(c >> 20) & 0xF],
                          kTextHexDigits[(c >> 16) & 0xF]};
    Put(std::string_view(text, sizeof text));
}

inline void TextBuffer::RightAligned(std::string_view text, size_t width) {
    if (text.size() < width) Blanks(width - text.size());
    Put(text);
}

inline void TextBuffer::LeftAligned(std::string_view text, size_t width) {
    Put(text);
    if (text.size() < width) Blanks(width - text.size());
}

}  // namespace zbhost
