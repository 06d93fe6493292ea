// Decimal and hexadecimal text conversions of the settings dialog.
#include "dialog/text_number.h"

#include <cstdio>

namespace zb {

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

int32_t ParseDecimal(const std::string& text, size_t& pos, bool allowSign, bool& anyDigit) {
    anyDigit = false;
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    bool negative = false;
    if (allowSign && pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    int64_t value = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        anyDigit = true;
        if (value <= INT32_MAX) value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int32_t ParseDecimal(const std::string& text) {
    size_t pos = 0;
    bool anyDigit = false;
    return ParseDecimal(text, pos, true, anyDigit);
}

std::string DecimalText(int32_t value) {
    char buffer[16];
    const int n = std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string HexText(uint32_t value) {
    char buffer[16];
    const int n = std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(value));
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace zb
