// Window-free parts of the settings dialog: the item table, the numeric and hexadecimal text
// rules, and ResetToDefaults on a dialog object that never gets a window (the DefaultSettings
// path). The dialog's behaviour with its controls is tested headless in native/dialog_*_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "dialog/dialog_template.h"
#include "dialog/settings_dialog.h"
#include "dialog/text_number.h"

namespace {

using zb::cZbBiSSDlg;
using zb::ui::ItemKind;

uint32_t StyleOfKind(ItemKind kind, int id) {
    switch (kind) {
        case ItemKind::GroupBox:
            return 0x50000007;
        case ItemKind::Label:
            return 0x50020000;
        case ItemKind::Edit:
            return (id == 9020 || id == 9023 || id == 9027) ? 0x50812080 : 0x50810080;
        case ItemKind::Spin:
            return 0x50000020;
        case ItemKind::DropList:
            return 0x50210003;
        case ItemKind::ColourList:
            return 0x50210013;
        case ItemKind::CheckBox:
            return 0x50010003;
        case ItemKind::PushButton:
            return 0x50010000;
        case ItemKind::DefaultButton:
            return 0x50010001;
    }
    return 0;
}

TEST(DialogTemplate, ItemTableShape) {
    const auto& t = zb::kSettingsTemplate;
    EXPECT_EQ(t.resourceId, 9001);
    EXPECT_STREQ(t.caption, "BiSS Settings");
    EXPECT_EQ(t.width, 400);
    EXPECT_EQ(t.height, 336);
    EXPECT_STREQ(t.fontName, "Arial");
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(t.weight, 400);
    EXPECT_EQ(t.style, 0x80C800C8u);
    ASSERT_EQ(t.itemCount, 68u);

    std::set<int> ids;
    int statics = 0;
    for (size_t i = 0; i < t.itemCount; ++i) {
        const auto& item = t.items[i];
        EXPECT_EQ(item.style, StyleOfKind(item.kind, item.id)) << "item " << i + 1;
        if (item.id == zb::ui::kNoId) {
            ++statics;
            EXPECT_TRUE(item.kind == ItemKind::GroupBox || item.kind == ItemKind::Label);
        } else {
            EXPECT_TRUE(ids.insert(item.id).second) << "duplicate id " << item.id;
        }
        EXPECT_GT(item.width, 0);
        EXPECT_LE(item.x + item.width, 400);
        EXPECT_LE(item.y + item.height, 336 + 120);  // open drop-down lists may reach past the frame
    }
    EXPECT_EQ(statics, 24);
    EXPECT_EQ(ids.size(), 44u);
    // First and last items, and the template's tab order from the MA edit on.
    EXPECT_STREQ(t.items[0].caption, "Channel");
    EXPECT_EQ(t.items[2].id, 9010);
    EXPECT_EQ(t.items[67].id, 2);
    EXPECT_STREQ(t.items[29].caption, "CRC Polynomial   0x");
    EXPECT_STREQ(t.items[16].caption, "(Range: 1 ~ 64)");
}

struct DecimalCase {
    const char* text;
    int32_t value;
};

TEST(DialogText, DecimalReading) {
    const DecimalCase cases[] = {
        {"12", 12},
        {"  7", 7},
        {"\t-5x", -5},
        {"+9", 9},
        {"-", 0},
        {"abc", 0},
        {"3 4", 3},
        {"0012", 12},
        {"-0", 0},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
    };
    for (const DecimalCase& c : cases) EXPECT_EQ(zb::ParseDecimal(c.text), c.value) << c.text;
}

TEST(DialogText, HexCheckAndValue) {
    const std::pair<const char*, bool> checks[] = {
        {"43", true},   {"abcdef", true}, {"ABCDEF0123", true}, {"", false},   {"0x43", false},
        {" 43", false}, {"43 ", false},   {"-1", false},        {"4G", false}, {"+1", false},
    };
    for (const auto& [text, ok] : checks) EXPECT_EQ(cZbBiSSDlg::IsHexText(text), ok) << text;

    const std::pair<const char*, uint32_t> values[] = {
        {"43", 0x43},
        {"abcdef", 0xABCDEF},
        {"FFFFFFFF", 0xFFFFFFFF},
        {"100000000", 0xFFFFFFFF},
        {"000000012", 0x12},
        {"123456789ABC", 0xFFFFFFFF},
        {"0", 0},
    };
    for (const auto& [text, value] : values) EXPECT_EQ(cZbBiSSDlg::HexValue(text), value) << text;
    EXPECT_EQ(zb::HexText(0x13), "13");
    EXPECT_EQ(zb::HexText(0xABCDEF), "ABCDEF");
    EXPECT_EQ(zb::DecimalText(-63), "-63");
}

TEST(DialogDefaults, ResetToDefaultsNeedsNoWindow) {
    zb::DecoderSettings block;
    std::memset(&block, 0xA5, sizeof block);
    const zb::DecoderSettings before = block;
    {
        zb::CallContext call;
        cZbBiSSDlg dialog(call, &block);
        dialog.ResetToDefaults();
        EXPECT_FALSE(dialog.HasWindow());
    }
    zb::DecoderSettings expected = before;
    zb::SettingsView(&expected).ApplyDefaults();
    EXPECT_EQ(std::memcmp(&block, &expected, sizeof block), 0);
    EXPECT_EQ(block.settingsState, 9);
}

}  // namespace
