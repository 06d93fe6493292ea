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

void DecimalField::Set(uint64_t value) {
    value_ = value;
    low_ = static_cast<uint32_t>(value % kLowSpan);
    std::memset(text_, ' ', sizeof text_);
    char* p = End();
    for (int digits = 0; value != 0 || digits <= decimals_; ++digits, value /= 10) {
        if (digits == decimals_ && digits > 0) *--p = '.';
        *--p = static_cast<char>('0' + value % 10);
    }
    length_ = static_cast<size_t>(End() - p);
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
