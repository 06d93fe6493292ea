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

// FrameCrc for one set of parameters and one data length, a chunk of bits a step: the register is
// kept left-aligned in 32 bits, so the same tables serve every width from 1 to 32. The data, nErr
// and nWarn bits form one message; its first (length % 8) bits go in through a table of that many
// bits, the rest a byte at a time. Parameters the tables cannot take (a mask that is not `bits`
// ones, a width beyond 32) and other data lengths are handed to FrameCrc.
class FrameCrcTable {
  public:
    void Build(const FrameCrcParams& params, int32_t dataBits);
    uint32_t Crc(uint64_t data, int32_t dataBits, uint32_t errBit, uint32_t warnBit) const;

  private:
    // One bit into the left-aligned register.
    uint32_t Step(uint32_t reg, uint32_t bit) const {
        const uint32_t feedback = (reg >> 31) ^ (bit & 1u);
        return (reg << 1) ^ (poly_ & (0u - feedback));
    }
    // The register t << (32 - bits) after `bits` zero bits (1..8).
    uint32_t ZeroSteps(uint32_t t, int bits) const;
    FrameCrcParams params_{0, 0, 0, 0};
    bool tabled_ = false;
    int32_t dataBits_ = 0;  // the data length the tables were built for
    int leadBits_ = 0;      // the message's bits before its first whole byte (0..7)
    uint32_t shift_ = 0;    // 32 - width: the register's alignment
    uint32_t poly_ = 0;     // polynomial, left-aligned
    uint32_t initial_ = 0;  // initial value, left-aligned
    uint32_t table_[256] = {};
    uint32_t leadTable_[128] = {};
};

// The 4-bit CRC (x^4 + x + 1, initial 0) over the low `bitCount` bits of value, MSB first.
uint32_t ControlCrc4(uint64_t value, int32_t bitCount);

}  // namespace zb
