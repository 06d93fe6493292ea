// The channel fields and colour pickers inside the headless dialog: typed characters through the
// edit's filter, the focus-loss tidy-up, parsing letter and plain names, the channel spins and
// the pickers' lists and drawing.
#include <vector>

#include "abi/host_record.h"
#include "native/dialog_fixture.h"

namespace zbtest {
namespace {

using zb::HostFlag::kChannelLetters;
using zb::HostFlag::kLettersFromB;

struct ChannelCase {
    uint32_t flags;
    uint32_t count;
    uint32_t stored;
    const char* shown;
};

TEST_F(DialogFixture, ChannelsShownInTheHostsForm) {
    const ChannelCase cases[] = {
        {0, 16, 5, "5"},
        {kChannelLetters, 64, 5, "A5"},
        {kChannelLetters | kLettersFromB, 64, 5, "B5"},
        {kChannelLetters, 64, 40, "B8"},
        {0, 16, 40, "15"},     // lowered to the highest channel
        {0, 0, 300, "255"},    // no count: up to 255
        {0, 0, 70000, "255"},  // low 16 bits 4464, then lowered
        {0, 10000, 70000, "4464"},
    };
    for (const ChannelCase& c : cases) {
        SetUp();
        Defaults();
        block.hostFlags = c.flags;
        block.captureChannelCount = c.count;
        block.channelTable[0] = c.stored;
        Open();
        EXPECT_EQ(Text(ItemId::MaEdit), c.shown) << c.flags << " " << c.count << " " << c.stored;
        int lo, hi;
        SpinRange(ItemId::MaSpin, lo, hi);
        EXPECT_EQ(lo, 0);
        EXPECT_EQ(hi, c.count ? static_cast<int>(c.count) - 1 : 255);
    }
}

struct ParseCase {
    uint32_t flags;
    uint32_t count;
    const char* text;
    uint32_t stored;
};

TEST_F(DialogFixture, ChannelTextsParsedAtOk) {
    const ParseCase cases[] = {
        {kChannelLetters, 64, "B40", 63},
        {kChannelLetters, 64, "b3", 35},
        {kChannelLetters, 64, " a7", 7},
        {kChannelLetters | kLettersFromB, 64, "A3", 0},  // below the base letter
        {kChannelLetters | kLettersFromB, 64, "C1", 33},
        {kChannelLetters, 256, "H31", 255},
        {0, 16, "9", 9},
        {0, 16, "  12abc", 12},
        {0, 16, "99", 15},
        // Rejected texts fall back to the spin position (the loaded channel 3).
        {kChannelLetters, 64, "A", 3},
        {kChannelLetters, 64, "7", 3},
        {0, 16, "-2", 3},
        {0, 16, "", 3},
        {0, 16, "x1", 3},
    };
    for (const ParseCase& c : cases) {
        SetUp();
        Defaults();
        block.hostFlags = c.flags;
        block.captureChannelCount = c.count;
        block.channelTable[0] = 3;
        Open();
        Paste(ItemId::MaEdit, c.text);
        Click(ItemId::Ok);  // the focus stays on the edit: no tidy-up before OK
        EXPECT_EQ(View().Channel(0), c.stored) << c.flags << " '" << c.text << "'";
    }
}

TEST_F(DialogFixture, TypedCharactersAreFiltered) {
    Defaults();
    block.hostFlags = kChannelLetters;
    block.captureChannelCount = 64;
    Open();
    const int ma = zb::Id(ItemId::MaEdit);
    headless::Paste(*dialog, ma, "");
    headless::SetSelection(*dialog, ma, 0, 0);
    headless::Type(*dialog, ma, "1c-b\b2x5");  // 1, c, - dropped at 0; b taken; backspace dropped at 1
    EXPECT_EQ(Text(ItemId::MaEdit), "b25");
    headless::Type(*dialog, ma, "\b");  // at position 3: allowed
    EXPECT_EQ(Text(ItemId::MaEdit), "b2");
    headless::SetSelection(*dialog, ma, 1, 1);
    headless::Type(*dialog, ma, "\b");  // at position 1: dropped, the letter stays
    EXPECT_EQ(Text(ItemId::MaEdit), "b2");

    const int slo = zb::Id(ItemId::SloEdit);
    SetUp();
    Defaults();
    Open();
    headless::Paste(*dialog, slo, "");
    headless::Type(*dialog, slo, "a1-9 b\b");
    EXPECT_EQ(Text(ItemId::SloEdit), "1");
}

TEST_F(DialogFixture, FocusLossTidiesChannelText) {
    struct Case {
        uint32_t flags, count;
        const char *typed, *tidy;
    };
    const Case cases[] = {
        {kChannelLetters, 64, "", "A0"},
        {0, 64, "", "0"},
        {kChannelLetters, 64, "c7", "A7"},
        {kChannelLetters, 64, "12", "A2"},
        {0, 16, "99", "15"},
        {kChannelLetters, 64, "B40", "B40"},
        {0, 0, "9", "0"},
    };
    for (const Case& c : cases) {
        SetUp();
        Defaults();
        block.hostFlags = c.flags;
        block.captureChannelCount = c.count;
        Open();
        ASSERT_EQ(headless::FocusedItem(*dialog), zb::Id(ItemId::MaEdit));
        Paste(ItemId::MaEdit, c.typed);
        headless::Focus(*dialog, zb::Id(ItemId::SloEdit));
        EXPECT_EQ(Text(ItemId::MaEdit), c.tidy) << "'" << c.typed << "'";
    }
}

TEST_F(DialogFixture, ChannelSpinsStepWithinRange) {
    Defaults();
    block.captureChannelCount = 8;
    block.hostFlags = kChannelLetters;
    block.channelTable[0] = 6;
    block.channelTable[1] = 0;
    Open();
    EXPECT_EQ(Step(ItemId::MaSpin, 1), 1);
    EXPECT_EQ(Text(ItemId::MaEdit), "A7");
    EXPECT_EQ(Step(ItemId::MaSpin, 1), 1);
    EXPECT_EQ(Text(ItemId::MaEdit), "A7");
    EXPECT_EQ(Step(ItemId::SloSpin, -1), 1);
    EXPECT_EQ(Text(ItemId::SloEdit), "A0");
    Paste(ItemId::SloEdit, "A3");
    EXPECT_EQ(Step(ItemId::SloSpin, 2), 1);  // steps from the typed channel
    EXPECT_EQ(Text(ItemId::SloEdit), "A5");
    Click(ItemId::Ok);
    EXPECT_EQ(View().Channel(0), 7u);
    EXPECT_EQ(View().Channel(1), 5u);
}

TEST_F(DialogFixture, PickersFilledAndDrawn) {
    Open();
    const int first = zb::Id(ItemId::AckColour);
    auto* picker = dynamic_cast<zb::CColorPicker*>(dialog->BoundControl(first));
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->GetCount(), 16);
    picker->SetCurSel(9);
    EXPECT_TRUE(picker->FillColorItems());
    EXPECT_EQ(picker->GetCount(), 16);
    EXPECT_EQ(picker->GetCurSel(), 0);

    const zb::ui::Rect r{0, 0, 60, 16};
    EXPECT_TRUE(headless::Draw(*dialog, first, -1, true, r).empty());
    EXPECT_TRUE(headless::Draw(*dialog, first, 16, false, r).empty());
    EXPECT_EQ(
        headless::Draw(*dialog, first, 14, true, r),
        (std::vector<std::string>{"fill 0,0,60,16 D77800", "rect 2,2,58,14 pen 000000 1 brush 3333E1"}));
    EXPECT_EQ(
        headless::Draw(*dialog, first, 0, false, r),
        (std::vector<std::string>{"fill 0,0,60,16 FFFFFF", "rect 2,2,58,14 pen 000000 1 brush 3099FF"}));
}

TEST_F(DialogFixture, SlotFiveSurvivesRepeatedOk) {
    zb::SettingsView v = Defaults();
    v.SetColourSlot(5, 12);
    for (int round = 0; round < 3; ++round) {
        Open();
        Select(9060 + round, 4);
        Click(ItemId::Ok);
        EXPECT_EQ(View().ColourSlot(5), 12u);
    }
}

}  // namespace
}  // namespace zbtest
