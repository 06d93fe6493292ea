// Bitwise CRCs of the frame data and of the control frames; no tables, since they run once per
// frame (and at most 24 x 62 times in the auto-length pass).
#include "engine/frame_crc.h"

namespace zb {

namespace {

constexpr uint32_t kControlCrcMask = 0xF;
constexpr uint32_t kControlCrcFeedback = 0x3;  // x^4 + x + 1 without its top term
constexpr int32_t kMaxDataBits = 64;

}  // namespace

uint32_t FrameCrc(const FrameCrcParams& params, uint64_t data, int32_t dataBits, uint32_t errBit,
                  uint32_t warnBit) {
    if (params.bits < 1) return 0;
    const uint32_t mask = params.mask;
    const uint32_t poly = params.polynomial & mask;
    const uint32_t top = params.bits >= 32 ? 0x80000000u : (1u << (params.bits - 1));
    uint32_t reg = params.initial & mask;
    auto shiftIn = [&](uint32_t bit) {
        const uint32_t feedback = (reg & top) != 0 ? 1u : 0u;
        reg = (reg << 1) & mask;
        if ((feedback ^ bit) != 0) reg ^= poly;
    };
    // Bits beyond 64 do not exist in the value; a wider count is read as 64.
    const int32_t bits = dataBits > kMaxDataBits ? kMaxDataBits : dataBits;
    for (int32_t i = bits - 1; i >= 0; --i) shiftIn(static_cast<uint32_t>(data >> i) & 1u);
    shiftIn(errBit & 1u);
    shiftIn(warnBit & 1u);
    return ~reg & mask;
}

uint32_t ControlCrc4(uint64_t value, int32_t bitCount) {
    uint32_t reg = 0;
    const int32_t bits = bitCount > kMaxDataBits ? kMaxDataBits : bitCount;
    for (int32_t i = bits - 1; i >= 0; --i) {
        const uint32_t bit = static_cast<uint32_t>(value >> i) & 1u;
        const uint32_t feedback = (reg >> 3) & 1u;
        reg = (reg << 1) & kControlCrcMask;
        if ((feedback ^ bit) != 0) reg ^= kControlCrcFeedback;
    }
    return ~reg & kControlCrcMask;
}

}  // namespace zb
