// Shift-register CRCs as a BiSS slave computes them: one input bit at a time, MSB first, with the
// feedback bit XORed into the polynomial taps, and the remainder inverted before it is sent.
#include "bissgen/crc.h"

#include <vector>

namespace bissgen {

uint32_t CrcMask(int bits) {
    if (bits < 1) return 0;
    if (bits >= 32) return ~uint32_t{0};
    return (uint32_t{1} << bits) - 1;
}

uint32_t CrcOverBits(const CrcParams& params, const uint8_t* bits, size_t count) {
    if (params.bits < 1 || (bits == nullptr && count > 0)) return 0;
    const uint32_t mask = CrcMask(params.bits);
    const uint32_t poly = params.poly & mask;
    const int topShift = (params.bits > 32 ? 32 : params.bits) - 1;
    uint32_t reg = params.init & mask;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t feedback = ((reg >> topShift) & 1u) ^ (bits[i] & 1u);
        reg = (reg << 1) & mask;
        if (feedback != 0) reg ^= poly;
    }
    return ~reg & mask;
}

uint32_t FrameCrc(const CrcParams& params, uint64_t data, int dataBits, unsigned err, unsigned warn) {
    std::vector<uint8_t> bits;
    if (dataBits > 64) dataBits = 64;
    for (int i = dataBits - 1; i >= 0; --i) bits.push_back(static_cast<uint8_t>((data >> i) & 1u));
    bits.push_back(static_cast<uint8_t>(err & 1u));
    bits.push_back(static_cast<uint8_t>(warn & 1u));
    return CrcOverBits(params, bits.data(), bits.size());
}

uint32_t ControlCrc4(uint64_t value, int bitCount) {
    constexpr CrcParams kControl{4, 0x13, 0};
    std::vector<uint8_t> bits;
    if (bitCount > 64) bitCount = 64;
    for (int i = bitCount - 1; i >= 0; --i) bits.push_back(static_cast<uint8_t>((value >> i) & 1u));
    return CrcOverBits(kControl, bits.data(), bits.size());
}

}  // namespace bissgen
