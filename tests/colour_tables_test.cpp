// The colour tables: the lookups by index, their out-of-range answer and the fixed colours that
// labels rely on.
#include "abi/colour_tables.h"

#include <gtest/gtest.h>

namespace zb {
namespace {

TEST(ColourTables, LookupsByIndex) {
    struct Row {
        uint32_t index, fill, text;
    };
    const Row rows[] = {
        {0, 0x003099FF, 0},
        {2, 0x0099FFFF, 0},
        {5, 0x00FFCC99, 0},
        {kWhiteIndex, 0x00FFFFFF, 0},
        {kGreenIndex, 0x0000FF00, 0},
        {13, 0x00FFCC00, 0},
        {kRedIndex, 0x003333E1, 0x00FFFFFF},
        {15, 0x00000000, 0x00FFFFFF},
        // Out of range, including -1 taken as unsigned: black for both.
        {16, 0, 0},
        {0xFFFFFFFF, 0, 0},
        {0x80000000, 0, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(GetItemColor(r.index), r.fill) << r.index;
        EXPECT_EQ(GetItemTextColor(r.index), r.text) << r.index;
    }
}

// Every fill colour is a COLORREF (top byte 0) and only red and black take white text.
TEST(ColourTables, WhiteTextOnlyOnDarkColours) {
    for (uint32_t i = 0; i < kColourCount; ++i) {
        EXPECT_EQ(colorTable[i] >> 24, 0u) << i;
        EXPECT_EQ(textColorTable[i], i >= 14 ? 0x00FFFFFFu : 0u) << i;
    }
}

}  // namespace
}  // namespace zb
