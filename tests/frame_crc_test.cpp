// The frame CRC and the 4-bit control CRC: the worked values, the 1-bit parity case, widths up to
// 16 bits and 64-bit data, checked against a polynomial long division written independently here.
#include "engine/frame_crc.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace zb {
namespace {

FrameCrcParams Params(int bits, uint32_t poly, uint32_t init) {
    return FrameCrcParams{bits, poly, init, CrcMaskFor(bits)};
}

// Reference: the remainder of (M(x) * x^n + I(x) * x^len(M)) divided by x^n + poly, inverted. M is
// the data bits followed by nErr and nWarn.
uint32_t ReferenceCrc(int n, uint32_t poly, uint32_t init, uint64_t data, int dataBits, int err, int warn) {
    std::vector<int> msg;
    for (int i = dataBits - 1; i >= 0; --i) msg.push_back(static_cast<int>((data >> i) & 1));
    msg.push_back(err);
    msg.push_back(warn);
    std::vector<int> a(n, 0);  // room above the message for the initial value
    a.insert(a.end(), msg.begin(), msg.end());
    a.insert(a.end(), n, 0);
    for (int k = 0; k < n; ++k) a[n + k] ^= static_cast<int>((init >> (n - 1 - k)) & 1);
    std::vector<int> g(n + 1);
    g[0] = 1;
    for (int k = 0; k < n; ++k) g[1 + k] = static_cast<int>((poly >> (n - 1 - k)) & 1);
    for (size_t i = 0; i + n < a.size(); ++i) {
        if (a[i] == 0) continue;
        for (int k = 0; k <= n; ++k) a[i + k] ^= g[k];
    }
    uint32_t rem = 0;
    for (int k = 0; k < n; ++k) rem = (rem << 1) | static_cast<uint32_t>(a[a.size() - n + k]);
    return ~rem & CrcMaskFor(n);
}

struct FrameCase {
    const char* name;
    int bits;
    uint32_t poly, init;
    uint64_t data;
    int dataBits;
    uint32_t err, warn, expected;
};

TEST(FrameCrc, WorkedValues) {
    const FrameCase cases[] = {
        {"data 1010", 6, 0x43, 0, 0xA, 4, 1, 1, 0x01},
        {"one zero bit", 6, 0x43, 0, 0, 1, 0, 0, 0x3F},
        {"0xABC", 6, 0x43, 0, 0xABC, 12, 1, 1, 0x36},
        {"without top term", 6, 0x03, 0, 0xABC, 12, 1, 1, 0x36},
        {"parity odd", 1, 0x1, 0, 0x7, 3, 0, 0, 0},  // three ones: parity 1, inverted 0
        {"parity even", 1, 0x1, 0, 0x3, 3, 0, 0, 1},
        {"parity with flags", 1, 0x3, 0, 0x1, 1, 1, 0, 1},
        {"parity flag bits only", 1, 0x1, 0, 0x0, 5, 0, 1, 0},
        {"width 0", 0, 0x43, 0, 0xABC, 12, 1, 1, 0},
    };
    for (const FrameCase& c : cases) {
        EXPECT_EQ(FrameCrc(Params(c.bits, c.poly, c.init), c.data, c.dataBits, c.err, c.warn), c.expected)
            << c.name;
    }
}

TEST(FrameCrc, MatchesLongDivisionForEveryWidth) {
    std::mt19937_64 rng(12345);
    for (int n = 1; n <= 16; ++n) {
        for (int trial = 0; trial < 40; ++trial) {
            const uint32_t poly = static_cast<uint32_t>(rng()) & CrcMaskFor(n);
            const uint32_t init = static_cast<uint32_t>(rng()) & CrcMaskFor(n);
            const int dataBits = 1 + static_cast<int>(rng() % 64);
            const uint64_t data = dataBits == 64 ? rng() : rng() & ((uint64_t{1} << dataBits) - 1);
            const int err = static_cast<int>(rng() & 1), warn = static_cast<int>(rng() & 1);
            EXPECT_EQ(FrameCrc(Params(n, poly, init), data, dataBits, err, warn),
                      ReferenceCrc(n, poly, init, data, dataBits, err, warn))
                << "width " << n << " poly " << poly << " init " << init << " bits " << dataBits;
        }
    }
}

TEST(FrameCrc, TopTermAndUpperBitsOfTheSettingsAreIgnored) {
    // 16 bits: 0x1021 with and without x^16; bits above the width in poly and init do not count.
    const uint64_t data = 0x123456789ABCDEFull;
    const uint32_t plain = FrameCrc(Params(16, 0x1021, 0xFFFF), data, 60, 1, 0);
    EXPECT_EQ(FrameCrc(Params(16, 0x11021, 0xFFFF), data, 60, 1, 0), plain);
    EXPECT_EQ(FrameCrc(Params(16, 0x1021, 0xF0FFFF), data, 60, 1, 0), plain);
    EXPECT_EQ(plain, ReferenceCrc(16, 0x1021, 0xFFFF, data, 60, 1, 0));
    EXPECT_LE(plain, 0xFFFFu);
}

TEST(FrameCrc, SixtyFourBitDataStartsAtBit63) {
    const FrameCrcParams p = Params(6, 0x43, 0);
    const uint64_t data = 0x8000000000000001ull;
    EXPECT_EQ(FrameCrc(p, data, 64, 0, 1), ReferenceCrc(6, 0x43, 0, data, 64, 0, 1));
    // Bit 63 matters: clearing it changes the CRC.
    EXPECT_NE(FrameCrc(p, data, 64, 0, 1), FrameCrc(p, data & ~(uint64_t{1} << 63), 64, 0, 1));
    // A count above 64 reads as 64 rather than shifting past the value.
    EXPECT_EQ(FrameCrc(p, data, 200, 0, 1), FrameCrc(p, data, 64, 0, 1));
}

TEST(ControlCrc4, WorkedValues) {
    struct Case {
        uint64_t value;
        int bits;
        uint32_t expected;
    } cases[] = {
        {0, 11, 0xF},
        {(1u << 10) | (0u << 7) | 0x42, 11, 0x7},
        {0xA5, 8, 0x4},
    };
    for (const Case& c : cases) EXPECT_EQ(ControlCrc4(c.value, c.bits), c.expected) << c.value;
    for (uint32_t v = 0; v < 2048; v += 37)
        EXPECT_EQ(ControlCrc4(v, 11), ReferenceCrc(4, 0x3, 0, v >> 2, 9, (v >> 1) & 1, v & 1));
}

TEST(CrcMaskFor, Widths) {
    EXPECT_EQ(CrcMaskFor(0), 0u);
    EXPECT_EQ(CrcMaskFor(-3), 0u);
    EXPECT_EQ(CrcMaskFor(1), 1u);
    EXPECT_EQ(CrcMaskFor(16), 0xFFFFu);
    EXPECT_EQ(CrcMaskFor(31), 0x7FFFFFFFu);
    EXPECT_EQ(CrcMaskFor(32), 0xFFFFFFFFu);
    EXPECT_EQ(CrcMaskFor(40), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace zb
