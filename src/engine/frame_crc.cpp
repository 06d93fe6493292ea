// CRCs of the frame data and of the control frames: bitwise, and for the decode walk's frames a
// byte-wise table built once per decode.
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

void FrameCrcTable::Build(const FrameCrcParams& params) {
    params_ = params;
    const int32_t w = params.bits;
    tabled_ = w >= 1 && w <= 32 && params.mask == (w == 32 ? ~0u : (1u << w) - 1u);
    if (!tabled_) return;
    shift_ = static_cast<uint32_t>(32 - w);
    poly_ = (params.polynomial & params.mask) << shift_;
    initial_ = (params.initial & params.mask) << shift_;
    // Entry t: the register t << 24 after eight zero bits. Eight bits b then take the register r
    // to (r << 8) ^ table[(r >> 24) ^ b].
    for (uint32_t t = 0; t < 256; ++t) {
        uint32_t reg = t << 24;
        for (int k = 0; k < 8; ++k) reg = Step(reg, 0);
        table_[t] = reg;
    }
}

uint32_t FrameCrcTable::Crc(uint64_t data, int32_t dataBits, uint32_t errBit, uint32_t warnBit) const {
    if (!tabled_) return FrameCrc(params_, data, dataBits, errBit, warnBit);
    const int32_t n = dataBits > kMaxDataBits ? kMaxDataBits : (dataBits < 0 ? 0 : dataBits);
    uint32_t reg = initial_;
    int32_t i = n - 1;
    for (const int32_t firstByteBit = n - (n & 7); i >= firstByteBit; --i)
        reg = Step(reg, static_cast<uint32_t>(data >> i));
    for (i -= 7; i >= 0; i -= 8)
        reg = (reg << 8) ^ table_[(reg >> 24) ^ static_cast<uint32_t>((data >> i) & 0xFF)];
    reg = Step(reg, errBit);
    reg = Step(reg, warnBit);
    return (~reg >> shift_) & params_.mask;
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
