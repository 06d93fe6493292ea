// Output text built in one large buffer and handed to the stream in big pieces. The outputs of a
// dense capture run to tens of millions of short lines; formatting each field through the stream
// or printf costs more than the decode, so numbers, colours and padded fields are written here by
// hand, with exactly the text the printf formats named at each function would give.
#pragma once

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

}  // namespace zbhost
