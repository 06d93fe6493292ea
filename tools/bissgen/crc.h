// The generator's own CRC code: the configurable CRC a BiSS slave appends to its position word and
// the fixed 4-bit CRC of register-access control frames. Bitwise, MSB first, inverted remainder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bissgen {

struct CrcParams {
    int bits = 6;          // 1..16 (up to 32 accepted)
    uint32_t poly = 0x43;  // generator polynomial; the x^bits term may be given or left out
    uint32_t init = 0;     // initial register value
};

// (1 << bits) - 1, all ones for 32 and more, 0 below 1.
uint32_t CrcMask(int bits);

// CRC over `count` bits (each entry 0 or 1, first entry first on the line); returns the value the
// slave puts on the line, MSB first: the inverted remainder.
uint32_t CrcOverBits(const CrcParams& params, const uint8_t* bits, size_t count);

// CRC of one slave's word: `dataBits` data bits (MSB first), then the nErr and nWarn bits.
uint32_t FrameCrc(const CrcParams& params, uint64_t data, int dataBits, unsigned err, unsigned warn);

// CRC x^4 + x + 1, initial 0, over the low `bitCount` bits of value, inverted.
uint32_t ControlCrc4(uint64_t value, int bitCount);

}  // namespace bissgen
