// The value formatter: every format's padding and masking in both forms, Gray conversion, character
// names and the cut to the caller's buffer, as a table of cases (tests/golden/value_format.table);
// the two forms against each other, and the host-facing calls.
#include "labels/value_format.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

#include "abi/host_record.h"

namespace zb {
namespace {

constexpr uint32_t kHex = 0, kDec = 1, kBin = 3, kChar = 4;
constexpr uint32_t kToGray = 0x1, kFromGray = 0x8;
constexpr char kGuard = '#';

uint64_t Number(const std::string& text) {
    return std::strtoull(text.c_str(), nullptr, 0);
}

// Each case runs into a guarded buffer: the text, the length, and nothing written past `size`
// (nothing at all when size is below 1).
TEST(ValueFormat, TableOfCases) {
    std::ifstream table(std::string(ZB_GOLDEN_DIR) + "/value_format.table");
    ASSERT_TRUE(table.good());
    int rows = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        std::string form, gray, value, format, width, size, expected;
        in >> form >> gray >> value >> format >> width >> size;
        std::getline(in >> std::ws, expected);
        SCOPED_TRACE(line);
        const uint32_t flags = (gray.find("to") != std::string::npos ? kToGray : 0) |
                               (gray.find("from") != std::string::npos ? kFromGray : 0);
        const std::string names[] = {"hex", "dec", "oct", "bin", "char"};
        uint32_t selector = static_cast<uint32_t>(Number(format));
        for (uint32_t i = 0; i < 5; ++i) selector = format == names[i] ? i : selector;
        const uint64_t v = Number(value);
        const auto w = static_cast<int32_t>(std::strtol(width.c_str(), nullptr, 0));
        const auto n = static_cast<int32_t>(std::strtol(size.c_str(), nullptr, 10));
        char buffer[160];
        ASSERT_LT(n, static_cast<int32_t>(sizeof buffer));
        std::memset(buffer, kGuard, sizeof buffer);
        const uint32_t length = form == "64"
                                    ? Format64(flags, static_cast<uint32_t>(v),
                                               static_cast<uint32_t>(v >> 32), selector, w, buffer, n)
                                    : Format32(flags, static_cast<uint32_t>(v), selector, w, buffer, n);
        if (n < 1) {
            EXPECT_EQ(length, 0u);
            EXPECT_EQ(buffer[0], kGuard);
        } else {
            EXPECT_EQ(std::string(buffer), expected);
            EXPECT_EQ(length, expected.size());
        }
        for (int32_t i = n < 0 ? 0 : n; i < static_cast<int32_t>(sizeof buffer); ++i)
            ASSERT_EQ(buffer[i], kGuard) << i;
        ++rows;
    }
    EXPECT_EQ(rows, 84);
}

// Every width below 32 gives the same text in both forms for a 32-bit value, and a null text
// writes nothing.
TEST(ValueFormat, FormsAgreeBelow32Bits) {
    for (uint32_t format = kHex; format <= kChar; ++format) {
        for (int32_t width = 0; width < 29; ++width) {
            for (uint32_t v : {0u, 1u, 0x5A5A5A5Au, 0xFFFFFFFFu, 0x80000001u}) {
                char a[80], b[80];
                Format32(0, v, format, width, a, sizeof a);
                Format64(0, v, 0, format, width, b, sizeof b);
                EXPECT_STREQ(a, b) << "format " << format << " width " << width << " value " << v;
            }
        }
    }
    EXPECT_EQ(Format32(0, 5, kHex, 8, nullptr, 16), 0u);
    EXPECT_EQ(Format64(0, 5, 1, kBin, 64, nullptr, 16), 0u);
}

// The host-facing calls take the flags from the call's host record and set the call's status;
// without a record they write nothing. FormatValueAuto takes the 64-bit form only for a value
// beyond 32 bits.
TEST(FormatValue, TheCallsHostRecordDecides) {
    CallContext call;
    HostRecord host{};
    host.hostFlags = kToGray;
    call.Remember(&host);
    call.status = ReportStatusCode::NoObject;
    char text[32];
    EXPECT_EQ(FormatValue32(call, 0x0F, kHex, 8, text, sizeof text), 2u);
    EXPECT_STREQ(text, "08");
    EXPECT_EQ(call.status, ReportStatusCode::Ok);
    host.hostFlags = 0;
    EXPECT_EQ(FormatValue64(call, 5, 1, kBin, 40, text, 4), 3u);
    EXPECT_STREQ(text, "100");
    for (const auto& [value, width, hex] : {std::tuple{0xFFFFFFFFull, 32, "FFFFFFFF"},
                                            {0x100000000ull, 40, "0100000000"},
                                            {~0ull, 64, "FFFFFFFFFFFFFFFF"}}) {
        EXPECT_EQ(FormatValueAuto(call, value, kHex, width, text, sizeof text), std::strlen(hex));
        EXPECT_STREQ(text, hex);
    }

    call.Remember(nullptr);
    char untouched[16] = "untouched";
    EXPECT_EQ(FormatValue32(call, 5, kHex, 8, untouched, sizeof untouched), kNoHostResult);
    EXPECT_EQ(call.status, ReportStatusCode::NoHost);
    EXPECT_EQ(FormatValue64(call, 5, 1, kHex, 40, untouched, sizeof untouched), kNoHostResult);
    EXPECT_EQ(FormatValueAuto(call, 0x100000000u, kHex, 40, untouched, sizeof untouched), kNoHostResult);
    EXPECT_STREQ(untouched, "untouched");
}

}  // namespace
}  // namespace zb
