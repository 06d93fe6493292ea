// TextBuffer: the hand-written field formats and the buffer's hand-over to the stream.
#include "text_buffer.h"

#include <algorithm>
#include <cstring>

namespace zbhost {

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

void TextBuffer::MakeRoom(size_t size) {
    Flush();
    if (buffer_.size() < size) buffer_.resize(size);
}

size_t FixedPoint(uint64_t scaled, int decimals, char* out) {
    const int count = std::max(DecimalDigitCount(scaled), decimals + 1);
    char* const first = out + 1;
    for (char* p = DigitsBefore(first + count, scaled); p > first;) *--p = '0';
    const int whole = count - decimals;
    for (int i = 0; i < whole; ++i) out[i] = out[i + 1];
    if (decimals == 0) return static_cast<size_t>(count);
    out[whole] = '.';
    return static_cast<size_t>(count) + 1;
}

void DecimalField::Set(uint64_t value) {
    value_ = value;
    low_ = static_cast<uint32_t>(value % kLowSpan);
    char digits[kEnd];
    length_ = FixedPoint(value, decimals_, digits);
    std::memset(text_, ' ', sizeof text_);
    std::memcpy(End() - length_, digits, length_);
}

char* CsvFieldAt(char* at, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return PutAt(at, text);
    *at++ = '"';
    for (char c : text) {
        if (c == '"') *at++ = '"';
        *at++ = c;
    }
    *at++ = '"';
    return at;
}

}  // namespace zbhost
