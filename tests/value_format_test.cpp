// The value formatter: every format's padding and masking in both forms, Gray conversion, character
// names, and the cut to the caller's buffer (nothing past `size`, always terminated).
#include "labels/value_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "abi/host_record.h"

namespace zb {
namespace {

constexpr uint32_t kHex = 0, kDec = 1, kOct = 2, kBin = 3, kChar = 4;
constexpr uint32_t kToGray = 0x1, kFromGray = 0x8;
constexpr char kGuard = '#';

struct Case {
    bool wide;  // the 64-bit form
    uint32_t flags;
    uint64_t value;
    uint32_t format;
    int32_t width;
    int32_t size;
    std::string expected;
};

std::string Zeros(size_t n) {
    return std::string(n, '0');
}

// Runs one case into a guarded buffer and checks the text, the length and that nothing past the
// terminator position was written.
void Check(const Case& c) {
    char buffer[160];
    std::memset(buffer, kGuard, sizeof buffer);
    const uint32_t low = static_cast<uint32_t>(c.value);
    const uint32_t high = static_cast<uint32_t>(c.value >> 32);
    const uint32_t length = c.wide ? Format64(c.flags, low, high, c.format, c.width, buffer, c.size)
                                   : Format32(c.flags, low, c.format, c.width, buffer, c.size);
    SCOPED_TRACE(testing::Message() << (c.wide ? "64" : "32") << "-bit flags=" << c.flags << " value=0x"
                                    << std::hex << c.value << std::dec << " format=" << c.format
                                    << " width=" << c.width << " size=" << c.size);
    ASSERT_LT(c.size, static_cast<int32_t>(sizeof buffer));
    if (c.size < 1) {
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(buffer[0], kGuard);
        return;
    }
    EXPECT_EQ(std::string(buffer), c.expected);
    EXPECT_EQ(length, c.expected.size());
    for (int32_t i = c.size; i < static_cast<int32_t>(sizeof buffer); ++i) ASSERT_EQ(buffer[i], kGuard) << i;
}

const Case kCases[] = {
    // HEX: digits = (width + 3) / 4, the value masked to the width.
    {false, 0, 0xABC, kHex, 12, 64, "ABC"},
    {false, 0, 5, kHex, 12, 64, "005"},
    {false, 0, 5, kHex, 13, 64, "0005"},
    {false, 0, 0x1FF, kHex, 8, 64, "FF"},
    {false, 0, 0xabcdef, kHex, 24, 64, "ABCDEF"},
    {false, 0, 1, kHex, 29, 64, "00000001"},
    {false, 0, 0xFFFFFFFF, kHex, 32, 64, "FFFFFFFF"},
    {false, 0, 5, kHex, 40, 64, "00000005"},  // the 32-bit form counts any width from 32 as 32
    {false, 0, 5, kHex, 1, 64, "1"},
    {true, 0, (1ull << 32) + 5, kHex, 40, 64, "0100000005"},
    {true, 0, ~0ull, kHex, 64, 64, "FFFFFFFFFFFFFFFF"},
    {true, 0, 1ull << 40, kHex, 70, 64, "0000010000000000"},
    {true, 0, 0x123456789ull, kHex, 20, 64, "56789"},
    // DEC ignores the width.
    {false, 0, 300, kDec, 4, 64, "300"},
    {false, 0, 0, kDec, 12, 64, "0"},
    {false, 0, 0xFFFFFFFF, kDec, 0, 64, "4294967295"},
    {true, 0, ~0ull, kDec, 8, 64, "18446744073709551615"},
    // OCT: digits = (width + 2) / 3 while they fit the form, unpadded beyond.
    {false, 0, 5, kOct, 6, 64, "05"},
    {false, 0, 8, kOct, 32, 64, "10"},
    {false, 0, 8, kOct, 31, 64, "10"},
    {false, 0, 8, kOct, 30, 64, "0000000010"},
    {false, 0, 9, kOct, 3, 64, "1"},
    {false, 0, 0xFFFFFFFF, kOct, 40, 64, "37777777777"},
    {true, 0, 8, kOct, 40, 64, "00000000000010"},
    {true, 0, 8, kOct, 63, 64, Zeros(19) + "10"},
    {true, 0, 8, kOct, 64, 64, "10"},
    {true, 0, ~0ull, kOct, 64, 64, "1777777777777777777777"},
    // BIN: exactly width digits below 32; from 32 on the 32-bit form pads, the 64-bit form does not.
    {false, 0, 5, kBin, 4, 64, "0101"},
    {false, 0, 0x1F, kBin, 3, 64, "111"},
    {false, 0, 5, kBin, 34, 64, Zeros(31) + "101"},
    {false, 0, 5, kBin, 32, 64, Zeros(29) + "101"},
    {false, 0, 0xFFFFFFFF, kBin, 31, 64, std::string(31, '1')},
    {true, 0, 5, kBin, 8, 64, "00000101"},
    {true, 0, 5, kBin, 40, 64, "101"},
    {true, 0, ~0ull, kBin, 64, 70, std::string(64, '1')},
    // Width 0 (or negative): a field of no bits prints one 0.
    {false, 0, 0xABC, kHex, 0, 64, "0"},
    {false, 0, 0xABC, kOct, 0, 64, "0"},
    {false, 0, 0xABC, kBin, 0, 64, "0"},
    {false, 0, 0xABC, kHex, -5, 64, "0"},
    {true, 0, 1ull << 40, kHex, 0, 64, "0"},
    {true, 0, 1ull << 40, kBin, -1, 64, "0"},
    // Character names of the low byte.
    {false, 0, 65, kChar, 8, 64, "'A'"},
    {false, 0, 0x141, kChar, 8, 64, "'A'"},
    {false, 0, 0, kChar, 8, 64, "<NUL>"},
    {false, 0, 13, kChar, 8, 64, "<CR>"},
    {false, 0, 31, kChar, 8, 64, "<US>"},
    {false, 0, 32, kChar, 8, 64, "<Space>"},
    {false, 0, 33, kChar, 8, 64, "'!'"},
    {false, 0, 34, kChar, 8, 64, "'\\\"'"},
    {false, 0, 44, kChar, 8, 64, "\"','\""},
    {false, 0, 126, kChar, 8, 64, "'~'"},
    {false, 0, 127, kChar, 8, 64, "<DEL>"},
    {false, 0, 128, kChar, 8, 64, "<80h>"},
    {false, 0, 200, kChar, 8, 64, "<C8h>"},
    {true, 0, (1ull << 40) | 0x7A, kChar, 8, 64, "'z'"},
    // Unknown selectors give the empty text.
    {false, 0, 5, 5, 8, 64, ""},
    {true, 0, 5, 0xFFFFFFFF, 8, 64, ""},
    // Gray: bit 0 converts to Gray code, bit 3 (only without bit 0) from Gray code.
    {false, kToGray, 0x0F, kHex, 8, 64, "08"},
    {false, kFromGray, 0x08, kHex, 8, 64, "0F"},
    {false, kToGray | kFromGray, 0x0F, kHex, 8, 64, "08"},
    {false, kToGray, 3, kDec, 0, 64, "2"},
    {false, kFromGray, 0x20000000, kHex, 32, 64, "3FFFFFFF"},
    {false, kFromGray, 0xC0000000, kHex, 32, 64, "00000000"},  // bits 31, 30 dropped
    {true, kFromGray, 1ull << 61, kHex, 64, 64, "3FFFFFFFFFFFFFFF"},
    {true, kFromGray, 3ull << 62, kHex, 64, 64, "0000000000000000"},
    {true, kToGray, 1ull << 63, kHex, 64, 64, "C000000000000000"},
    {false, kToGray, 0x80000000, kHex, 32, 64, "C0000000"},
    // Cut to the buffer: size - 1 characters and the terminator, in every format.
    {false, 0, 0xABCD, kHex, 16, 3, "AB"},
    {true, 0, (1ull << 32) + 5, kHex, 40, 5, "0100"},
    {false, 0, 12345, kDec, 0, 3, "12"},
    {true, 0, ~0ull, kDec, 0, 6, "18446"},
    {false, 0, 0777, kOct, 9, 2, "7"},
    {false, 0, 0xF0, kBin, 8, 5, "1111"},
    {false, 0, 1, kBin, 1000, 10, Zeros(9)},
    {false, 0, 1, kBin, 0x7FFFFFFF, 64, Zeros(63)},
    {true, 0, ~0ull, kBin, 64, 33, std::string(32, '1')},
    {false, 0, 200, kChar, 8, 3, "<C"},
    {false, 0, 44, kChar, 8, 4, "\"',"},
    {false, 0, 0xABC, kHex, 12, 1, ""},
    {false, 0, 0, kChar, 8, 1, ""},
    {true, 0, ~0ull, kBin, 64, 1, ""},
    // No room at all: nothing is written.
    {false, 0, 0xABC, kHex, 12, 0, ""},
    {false, 0, 5, kBin, 34, -1, ""},
    {true, 0, 5, kDec, 0, -100, ""},
};

TEST(ValueFormat, Table) {
    for (const Case& c : kCases) Check(c);
}

TEST(ValueFormat, NullTextWritesNothing) {
    EXPECT_EQ(Format32(0, 5, kHex, 8, nullptr, 16), 0u);
    EXPECT_EQ(Format64(0, 5, 1, kBin, 64, nullptr, 16), 0u);
}

// Every 32-bit form width below 32 agrees with the 64-bit form for a 32-bit value.
TEST(ValueFormat, FormsAgreeBelow32Bits) {
    const uint32_t values[] = {0, 1, 0x5A5A5A5A, 0xFFFFFFFF, 0x80000001};
    for (uint32_t format = kHex; format <= kChar; ++format) {
        for (int32_t width = 0; width < 29; ++width) {
            for (uint32_t v : values) {
                char a[80], b[80];
                Format32(0, v, format, width, a, sizeof a);
                Format64(0, v, 0, format, width, b, sizeof b);
                EXPECT_STREQ(a, b) << "format " << format << " width " << width << " value " << v;
            }
        }
    }
}

// To Gray and back again gives the value (30 bits survive the 32-bit form, 62 the 64-bit form).
TEST(ValueFormat, GrayRoundTrip) {
    for (uint64_t v : {0ull, 1ull, 2ull, 0x2AAAAAAAull, 0x3FFFFFFFull, 0x12345678ull & 0x3FFFFFFF}) {
        char gray[32], back[32];
        Format32(kToGray, static_cast<uint32_t>(v), kDec, 0, gray, sizeof gray);
        Format32(kFromGray, static_cast<uint32_t>(std::stoull(gray)), kDec, 0, back, sizeof back);
        EXPECT_EQ(std::stoull(back), v);
    }
    for (uint64_t v : {0x3FFFFFFFFFFFFFFFull, 0x123456789ABCDEFull, 1ull << 61}) {
        char gray[32], back[32];
        Format64(kToGray, static_cast<uint32_t>(v), static_cast<uint32_t>(v >> 32), kDec, 0, gray,
                 sizeof gray);
        const uint64_t g = std::stoull(gray);
        Format64(kFromGray, static_cast<uint32_t>(g), static_cast<uint32_t>(g >> 32), kDec, 0, back,
                 sizeof back);
        EXPECT_EQ(std::stoull(back), v);
    }
}

// The host-facing pair takes the flags from the call's host record and sets the call's status.
class FormatValueTest : public testing::Test {
  protected:
    CallContext call_;
    HostRecord host_{};
};

TEST_F(FormatValueTest, WithoutHostWritesNothing) {
    call_.Remember(nullptr);
    char text[16] = "untouched";
    EXPECT_EQ(FormatValue32(call_, 5, kHex, 8, text, sizeof text), 0xFFFFFFFFu);
    EXPECT_EQ(call_.status, ReportStatusCode::NoHost);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(FormatValue64(call_, 5, 1, kHex, 40, text, sizeof text), 0xFFFFFFFFu);
    EXPECT_STREQ(text, "untouched");
}

TEST_F(FormatValueTest, UsesTheHostFlagsOfTheCall) {
    host_.hostFlags = kToGray;
    call_.Remember(&host_);
    call_.status = ReportStatusCode::NoObject;
    char text[32];
    EXPECT_EQ(FormatValue32(call_, 0x0F, kHex, 8, text, sizeof text), 2u);
    EXPECT_STREQ(text, "08");
    EXPECT_EQ(call_.status, ReportStatusCode::Ok);
    host_.hostFlags = 0;
    EXPECT_EQ(FormatValue64(call_, 5, 1, kHex, 40, text, sizeof text), 10u);
    EXPECT_STREQ(text, "0100000005");
    EXPECT_EQ(FormatValue64(call_, 5, 1, kBin, 40, text, 4), 3u);
    EXPECT_STREQ(text, "100");
}

// FormatValueAuto keeps the bits above 32 of a wide value and falls back on no host like the pair.
TEST_F(FormatValueTest, AutoPicksTheFormByValue) {
    struct AutoCase {
        uint64_t value;
        int32_t width;
        const char* expected;
    };
    const AutoCase cases[] = {
        {0, 8, "00"},
        {0xFFFFFFFFu, 32, "FFFFFFFF"},
        {0x100000000u, 40, "0100000000"},
        {0xFFFFFFFFFFFFFFFFu, 64, "FFFFFFFFFFFFFFFF"},
    };
    call_.Remember(&host_);
    for (const AutoCase& c : cases) {
        char text[32];
        EXPECT_EQ(FormatValueAuto(call_, c.value, kHex, c.width, text, sizeof text), std::strlen(c.expected));
        EXPECT_STREQ(text, c.expected) << c.value;
    }
    call_.Remember(nullptr);
    char text[16] = "untouched";
    EXPECT_EQ(FormatValueAuto(call_, 0x100000000u, kHex, 40, text, sizeof text), kNoHostResult);
    EXPECT_EQ(FormatValueAuto(call_, 5, kHex, 8, text, sizeof text), kNoHostResult);
    EXPECT_STREQ(text, "untouched");
}

}  // namespace
}  // namespace zb
