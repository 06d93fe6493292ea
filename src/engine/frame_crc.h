// The two CRCs of the BiSS lines: the configurable CRC that protects a single-cycle frame's data,
// nErr and nWarn bits, and the fixed 4-bit CRC of the register-access (control) frames. Both are
// bitwise shift registers, MSB first, not reflected, and return the inverted remainder, which is
// what the slave puts on the line.
#pragma once

#include <cstdint>

namespace zb {

// The frame CRC's parameters: width 1..16 (0 or less gives CRC 0), the generator polynomial with or
// without its top term (only the low `bits` bits are used), the initial register value and the mask
// of `bits` ones (CrcMask in abi/decoder_settings.h).
struct FrameCrcParams {
    int32_t bits;
    uint32_t polynomial;
    uint32_t initial;
    uint32_t mask;
};

// The CRC the slave sends after `dataBits` data bits (MSB first; dataBits 1..64, alignment bits
// included) and its nErr and nWarn bits (bit 0 of each).
uint32_t FrameCrc(const FrameCrcParams& params, uint64_t data, int32_t dataBits, uint32_t errBit,
                  uint32_t warnBit);

// The 4-bit CRC (x^4 + x + 1, initial 0) over the low `bitCount` bits of value, MSB first.
uint32_t ControlCrc4(uint64_t value, int32_t bitCount);

}  // namespace zb
