// The colour picker's drawing decisions (which items are drawn, with which frame and swatch) and
// its colour lookups, through a painter that records what it is asked to paint.
#include "dialog/colour_picker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zb::CColorPicker;

class RecordingPainter : public zb::ui::Painter {
  public:
    struct Op {
        std::string what;
        zb::ui::Rect r;
        uint32_t colour, pen;
        int width;
    };
    std::vector<Op> ops;
    uint32_t SysColor(zb::ui::SysColour which) override {
        return which == zb::ui::SysColour::Highlight ? 0x111111 : 0x222222;
    }
    void FillSolidRect(const zb::ui::Rect& r, uint32_t colour) override {
        ops.push_back({"fill", r, colour, 0, 0});
    }
    void Rectangle(const zb::ui::Rect& r, uint32_t pen, int width, uint32_t brush) override {
        ops.push_back({"rect", r, brush, pen, width});
    }
};

TEST(ColourPicker, DrawsOnlyIndexesOfTheTable) {
    CColorPicker picker;  // no window needed for drawing decisions
    for (int index : {-1, 16, 17, 1000, -100}) {
        RecordingPainter painter;
        picker.DrawItem({index, false, {0, 0, 100, 20}, &painter});
        picker.DrawItem({index, true, {0, 0, 100, 20}, &painter});
        EXPECT_TRUE(painter.ops.empty()) << index;
    }
}

TEST(ColourPicker, FrameAndSwatchOfEveryItem) {
    CColorPicker picker;
    for (int index = 0; index < 16; ++index) {
        for (bool selected : {false, true}) {
            RecordingPainter painter;
            picker.DrawItem({index, selected, {10, 20, 110, 38}, &painter});
            ASSERT_EQ(painter.ops.size(), 2u);
            const auto& fill = painter.ops[0];
            EXPECT_EQ(fill.what, "fill");
            EXPECT_EQ(fill.colour, selected ? 0x111111u : 0x222222u);
            EXPECT_EQ(fill.r.left, 10);
            EXPECT_EQ(fill.r.bottom, 38);
            const auto& swatch = painter.ops[1];
            EXPECT_EQ(swatch.what, "rect");
            EXPECT_EQ(swatch.r.left, 12);
            EXPECT_EQ(swatch.r.top, 22);
            EXPECT_EQ(swatch.r.right, 108);
            EXPECT_EQ(swatch.r.bottom, 36);
            EXPECT_EQ(swatch.pen, 0u);
            EXPECT_EQ(swatch.width, 1);
            EXPECT_EQ(swatch.colour, zb::colorTable[index]);
        }
    }
}

TEST(ColourPicker, ColourLookups) {
    EXPECT_EQ(CColorPicker::GetItemColor(0), 0x003099FFu);
    EXPECT_EQ(CColorPicker::GetItemColor(14), 0x003333E1u);
    EXPECT_EQ(CColorPicker::GetItemTextColor(14), 0x00FFFFFFu);
    EXPECT_EQ(CColorPicker::GetItemTextColor(13), 0u);
    for (int outside : {16, -1, 1 << 30}) {
        EXPECT_EQ(CColorPicker::GetItemColor(outside), 0u);
        EXPECT_EQ(CColorPicker::GetItemTextColor(outside), 0u);
    }
}

TEST(ColourPicker, WithoutWindowFillingIsRefused) {
    CColorPicker picker;  // style 0: neither a drop-down list nor owner-drawn
    EXPECT_FALSE(picker.FillColorItems());
    EXPECT_EQ(picker.GetCount(), 0);
}

}  // namespace
