// TextBuffer: the hand-written field formats and the buffer's hand-over to the stream.
#include "text_buffer.h"

#include <algorithm>
#include <cstring>

namespace zbhost {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
}

TextBuffer::TextBuffer(std::ostream& out, size_t capacity)
    : out_(out), buffer_(std::max<size_t>(capacity, 64)) {}

TextBuffer::~TextBuffer() {
    Flush();
}

void TextBuffer::Flush() {
    if (used_ > 0) out_.write(buffer_.data(), static_cast<std::streamsize>(used_));
    used_ = 0;
}

void TextBuffer::PutSlow(std::string_view text) {
    while (!text.empty()) {
        if (used_ == buffer_.size()) Flush();
        const size_t n = std::min(text.size(), buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, text.data(), n);
        used_ += n;
        text.remove_prefix(n);
    }
}

void TextBuffer::Blanks(size_t count) {
    static constexpr char kBlanks[] = "                                ";
    for (size_t n; count > 0; count -= n) {
        n = std::min(count, sizeof kBlanks - 1);
        Put(std::string_view(kBlanks, n));
    }
}

void TextBuffer::Decimal(int64_t value, int width) {
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

void TextBuffer::Hex(uint64_t value, int digits) {
    char text[16];
    size_t n = 0;
    do {
        text[sizeof text - 1 - n++] = kHexDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    for (size_t want = static_cast<size_t>(std::clamp(digits, 0, 16)); n < want;)
        text[sizeof text - 1 - n++] = '0';
    Put(std::string_view(text + sizeof text - n, n));
}

void TextBuffer::Colour(uint32_t c) {
    const char text[7] = {'#',
                          kHexDigits[(c >> 4) & 0xF],
                          kHexDigits[c & 0xF],
                          kHexDigits[(c >> 12) & 0xF],
                          kHexDigits[(c >> 8) & 0xF],
                          kHexDigits[(c >> 20) & 0xF],
                          kHexDigits[(c >> 16) & 0xF]};
    Put(std::string_view(text, sizeof text));
}

void TextBuffer::RightAligned(std::string_view text, size_t width) {
    if (text.size() < width) Blanks(width - text.size());
    Put(text);
}

void TextBuffer::LeftAligned(std::string_view text, size_t width) {
    Put(text);
    if (text.size() < width) Blanks(width - text.size());
}

void TextBuffer::CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        Put(text);
        return;
    }
    Put('"');
    for (char c : text) {
        if (c == '"') Put('"');
        Put(c);
    }
    Put('"');
}

}  // namespace zbhost
