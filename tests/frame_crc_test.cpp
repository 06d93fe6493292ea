// The frame CRC and the 4-bit control CRC on worked values (computed by polynomial long division
// outside this code), and the mask of a CRC width. Every width from 1 to 16 bits is also checked
// against the generator's own CRC by the round trips.
#include "engine/frame_crc.h"

#include <gtest/gtest.h>

#include "abi/decoder_settings.h"

namespace zb {
namespace {

TEST(FrameCrc, WorkedValues) {
    struct Case {
        const char* name;
        int bits;
        uint32_t poly, init;
        uint64_t data;
        int dataBits;
        uint32_t err, warn, expected;
    } cases[] = {
        {"data 1010", 6, 0x43, 0, 0xA, 4, 1, 1, 0x01},
        {"one zero bit", 6, 0x43, 0, 0, 1, 0, 0, 0x3F},
        {"0xABC", 6, 0x43, 0, 0xABC, 12, 1, 1, 0x36},
        {"without top term", 6, 0x03, 0, 0xABC, 12, 1, 1, 0x36},
        {"parity odd", 1, 0x1, 0, 0x7, 3, 0, 0, 0},  // three ones: parity 1, inverted 0
        {"parity even", 1, 0x1, 0, 0x3, 3, 0, 0, 1},
        {"parity with flags", 1, 0x3, 0, 0x1, 1, 1, 0, 1},
        {"width 0", 0, 0x43, 0, 0xABC, 12, 1, 1, 0},
        {"16 bits, initial value", 16, 0x1021, 0xFFFF, 0x123456789ABCDEFull, 60, 1, 0, 0xDEF4},
        {"16 bits, bits above the width ignored", 16, 0x11021, 0xF0FFFF, 0x123456789ABCDEFull, 60, 1, 0,
         0xDEF4},
        {"64 bits start at bit 63", 6, 0x43, 0, 0x8000000000000001ull, 64, 0, 1, 0x3C},
        {"64 bits without bit 63", 6, 0x43, 0, 0x1, 64, 0, 1, 0x30},
        {"a count above 64 reads as 64", 6, 0x43, 0, 0x8000000000000001ull, 200, 0, 1, 0x3C},
    };
    for (const Case& c : cases) {
        const FrameCrcParams params{c.bits, c.poly, c.init, CrcMask(c.bits)};
        EXPECT_EQ(FrameCrc(params, c.data, c.dataBits, c.err, c.warn), c.expected) << c.name;
    }
}

TEST(ControlCrc4, WorkedValues) {
    struct Case {
        uint64_t value;
        int bits;
        uint32_t expected;
    } cases[] = {{0, 11, 0xF}, {(1u << 10) | 0x42, 11, 0x7}, {0xA5, 8, 0x4}, {0x1FF, 11, 0x4}};
    for (const Case& c : cases) EXPECT_EQ(ControlCrc4(c.value, c.bits), c.expected) << c.value;
}

TEST(CrcMask, Widths) {
    const std::pair<int32_t, uint32_t> rows[] = {
        {-3, 0}, {0, 0}, {1, 1}, {16, 0xFFFF}, {31, 0x7FFFFFFF}, {32, 0xFFFFFFFF}, {40, 0xFFFFFFFF}};
    for (const auto& [bits, mask] : rows) EXPECT_EQ(CrcMask(bits), mask) << bits;
}

}  // namespace
}  // namespace zb
