// Reading decimal numbers out of the dialog's texts the way the dialog's fields expect: leading
// blanks skipped, an optional sign, digits up to the first other character, no digits read as 0.
// Values beyond 32 bits saturate instead of wrapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zb {

// Parses from text[pos]; `pos` is left after the last digit. Blanks are spaces and tabs (and the
// other C white-space characters).
int32_t ParseDecimal(const std::string& text, size_t& pos, bool allowSign, bool& anyDigit);
int32_t ParseDecimal(const std::string& text);

// "%d" of a value, and "%X" (upper-case hexadecimal without prefix or leading zeros).
std::string DecimalText(int32_t value);
std::string HexText(uint32_t value);

}  // namespace zb
