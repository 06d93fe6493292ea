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

uint32_t FrameCrcTable::ZeroSteps(uint32_t t, int bits) const {
    uint32_t reg = t << (32 - bits);
    for (int k = 0; k < bits; ++k) reg = Step(reg, 0);
    return reg;
}

void FrameCrcTable::Build(const FrameCrcParams& params, int32_t dataBits) {
    params_ = params;
    const int32_t w = params.bits;
    // The message (data, nErr, nWarn) must fit in 64 bits: up to 62 data bits.
    tabled_ = w >= 1 && w <= 32 && params.mask == (w == 32 ? ~0u : (1u << w) - 1u) && dataBits >= 0 &&
              dataBits <= kMaxDataBits - 2;
    if (!tabled_) return;
    dataBits_ = dataBits;
    leadBits_ = (dataBits + 2) & 7;
    shift_ = static_cast<uint32_t>(32 - w);
    poly_ = (params.polynomial & params.mask) << shift_;
    initial_ = (params.initial & params.mask) << shift_;
    // A chunk of n bits u takes the register r to (r << n) ^ table[(r >> (32 - n)) ^ u], where
    // entry t is the register t << (32 - n) after n zero bits.
    for (uint32_t t = 0; t < 256; ++t) table_[t] = ZeroSteps(t, 8);
    for (uint32_t t = 0; t < (1u << leadBits_); ++t)
        leadTable_[t] = leadBits_ > 0 ? ZeroSteps(t, leadBits_) : 0;
}

uint32_t FrameCrcTable::Crc(uint64_t data, int32_t dataBits, uint32_t errBit, uint32_t warnBit) const {
    if (!tabled_ || dataBits != dataBits_) return FrameCrc(params_, data, dataBits, errBit, warnBit);
    const uint64_t dataMask = dataBits == 0 ? 0 : ~uint64_t{0} >> (64 - dataBits);
    const uint64_t message = ((data & dataMask) << 2) | ((errBit & 1u) << 1) | (warnBit & 1u);
    int32_t i = dataBits + 2;
    uint32_t reg = initial_;
    if (leadBits_ > 0) {
        i -= leadBits_;
        const uint32_t chunk = static_cast<uint32_t>(message >> i) & ((1u << leadBits_) - 1u);
        reg = (reg << leadBits_) ^ leadTable_[(reg >> (32 - leadBits_)) ^ chunk];
    }
    while (i > 0) {
        i -= 8;
        reg = (reg << 8) ^ table_[(reg >> 24) ^ static_cast<uint32_t>((message >> i) & 0xFF)];
    }
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
