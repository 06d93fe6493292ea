// The settings dialog's OK, Cancel and Default headless: every clamp and fallback of the values
// written back, the two CRC text checks with their messages, and the modal run behind the
// ConfigDialog export.
#include <vector>

#include "dialog/config_dialog.h"
#include "native/dialog_fixture.h"

namespace zbtest {
namespace {

struct ApplyCase {
    const char *length, *alignment, *singleTurn, *phase;
    bool automatic;
    int32_t storedLength, storedAlignment, storedSingleTurn, storedPhase;
};

TEST_F(DialogFixture, OkClampsAndFallsBack) {
    const ApplyCase cases[] = {
        {"", "", "", "", false, 12, 0, 8, 0},
        {"0", "0", "1", "0", false, 1, 0, 1, 0},
        {"100", "0", "8", "0", false, 64, 0, 8, 0},
        {"12", "20", "8", "0", false, 12, 11, 1, 0},
        {"12", "0", "0", "0", false, 12, 0, 1, 0},
        {"12", "2", "50", "0", false, 12, 2, 10, 0},
        {"12", "-5", "8", "-70", false, 12, 0, 8, -63},
        {"12", "0", "8", "70", false, 12, 0, 8, 63},
        {"12", "0", "8", "-", false, 12, 0, 8, 0},
        {" 20x", "3", "4", " -7", false, 20, 3, 4, -7},
        // With Auto the stored length stays, but the edit's number still clamps the others.
        {"6", "9", "9", "0", true, 30, 5, 1, 0},
    };
    for (const ApplyCase& c : cases) {
        SetUp();
        zb::SettingsView v = Defaults();
        v.SetDataLength(30);
        v.SetAutoLength(false);
        Open();
        if (c.automatic) Click(ItemId::Auto);
        Paste(ItemId::Length, c.length);
        Paste(ItemId::Alignment, c.alignment);
        Paste(ItemId::SingleTurn, c.singleTurn);
        Paste(ItemId::SloPhase, c.phase);
        Click(ItemId::Ok);
        SCOPED_TRACE(testing::Message()
                     << c.length << "/" << c.alignment << "/" << c.singleTurn << "/" << c.phase);
        ASSERT_FALSE(headless::IsOpen(*dialog));
        EXPECT_EQ(headless::Result(*dialog), zb::ui::DialogResult::Ok);
        EXPECT_EQ(View().DataLength(), c.storedLength);
        EXPECT_EQ(View().AlignmentBitsStored(), c.storedAlignment);
        EXPECT_EQ(View().SingleTurnBits(), c.storedSingleTurn);
        EXPECT_EQ(View().SloPhase(), c.storedPhase);
        EXPECT_EQ(View().AutoLength(), c.automatic);
        EXPECT_EQ(block.dialogAccepted, 1u);
        EXPECT_EQ(block.settingsState, 9);
        EXPECT_EQ(block.decoderChannelCount, 2u);
        EXPECT_TRUE(headless::MessageBoxes().empty());
    }
}

TEST_F(DialogFixture, OkWritesEveryControl) {
    zb::SettingsView v = Defaults();
    v.SetColourSlot(5, 11);
    block.captureChannelCount = 16;
    Open();
    Select(ItemId::Mode, 2);
    Select(ItemId::DataChannel, 3);
    Select(ItemId::RegisterColumns, 1);
    Select(ItemId::Protocol, 1);
    Select(ItemId::ValueType, 3);
    Select(ItemId::CrcBits, 15);
    Paste(ItemId::CrcPolynomial, "abcdef");
    Paste(ItemId::CrcInitial, "123456789");
    Click(ItemId::Combine);
    for (int k = 0; k < 8; ++k) Select(9060 + k, 15 - k);
    Paste(ItemId::MaEdit, "7");
    Paste(ItemId::SloEdit, "12");
    Select(ItemId::From, 3);
    Select(ItemId::To, 6);
    Click(ItemId::Ok);
    zb::SettingsView r = View();
    EXPECT_EQ(r.Mode(), 2u);
    EXPECT_EQ(r.DataChannels(), 3u);
    EXPECT_EQ(r.RegisterColumns(), 16u);
    EXPECT_EQ(r.ProtocolSetting(), zb::Protocol::BissB);
    EXPECT_EQ(r.ValueTypeSetting(), 3u);
    EXPECT_EQ(r.CrcBits(), 16);
    EXPECT_EQ(r.CrcPolynomial(), 0xABCDEFu);
    EXPECT_EQ(r.CrcInitial(), 0xFFFFFFFFu);
    EXPECT_TRUE(r.CombineTurns());
    const uint32_t slots[] = {0, 1, 2, 3, 4, 6, 7, 8};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(r.ColourSlot(slots[k]), static_cast<uint32_t>(15 - k)) << k;
    EXPECT_EQ(r.ColourSlot(5), 11u);  // no picker: untouched
    EXPECT_EQ(r.Channel(0), 7u);
    EXPECT_EQ(r.Channel(1), 12u);
    EXPECT_EQ(r.RangeFrom(), 3u);
    EXPECT_EQ(r.RangeTo(), 6u);
}

TEST_F(DialogFixture, EmptySelectionsStoreFallbacks) {
    zb::SettingsView v = Defaults();
    v.SetMode(9);
    v.SetRangeFrom(12);
    v.SetRangeTo(15);
    v.SetValueType(9);
    v.SetDataChannels(12);
    v.SetCrcBits(40);  // clamps to 16 on loading
    Open();
    Select(ItemId::CrcBits, -1);
    Select(ItemId::Protocol, -1);
    Select(ItemId::RegisterColumns, -1);
    for (int k = 0; k < 8; ++k) Select(9060 + k, -1);
    Click(ItemId::Ok);
    zb::SettingsView r = View();
    EXPECT_EQ(r.Mode(), 2u);
    EXPECT_EQ(r.RangeFrom(), 0u);
    EXPECT_EQ(r.RangeTo(), 0u);
    EXPECT_EQ(r.ValueTypeSetting(), 0u);
    EXPECT_EQ(r.DataChannels(), 0u);
    EXPECT_EQ(r.CrcBits(), 6);
    EXPECT_EQ(r.ProtocolSetting(), zb::Protocol::BissC);
    EXPECT_EQ(r.RegisterColumns(), 8u);
    const uint32_t slots[] = {0, 1, 2, 3, 4, 6, 7, 8};
    for (uint32_t slot : slots) EXPECT_EQ(r.ColourSlot(slot), slot);
}

TEST_F(DialogFixture, RegisterModeOkStoresControlCrc) {
    zb::SettingsView v = Defaults();
    v.SetCrcBits(12);
    v.SetCrcPolynomial(0x1234);
    v.SetCrcInitial(0x55);
    Open();
    Select(ItemId::Mode, 0);
    Click(ItemId::Ok);
    EXPECT_EQ(View().Mode(), 0u);
    EXPECT_EQ(View().CrcBits(), 4);
    EXPECT_EQ(View().CrcPolynomial(), 0x13u);
    EXPECT_EQ(View().CrcInitial(), 0u);
}

struct CrcCase {
    const char *polynomial, *initial;
    const char* message;  // nullptr: accepted
    ItemId focus;
};

TEST_F(DialogFixture, CrcTextChecks) {
    const char* kPoly = "CRC Polynomial must be a hexadecimal value (0-9, A-F).";
    const char* kInit = "CRC Initial Value must be a hexadecimal value (0-9, A-F).";
    const CrcCase cases[] = {
        {"0x43", "0", kPoly, ItemId::CrcPolynomial}, {" 43", "0", kPoly, ItemId::CrcPolynomial},
        {"43 ", "0", kPoly, ItemId::CrcPolynomial},  {"", "0", kPoly, ItemId::CrcPolynomial},
        {"4G", "zz", kPoly, ItemId::CrcPolynomial},  {"43", "", kInit, ItemId::CrcInitial},
        {"43", "-1", kInit, ItemId::CrcInitial},     {"43", "0x0", kInit, ItemId::CrcInitial},
        {"abcdef", "ff", nullptr, ItemId::MaEdit},
    };
    for (const CrcCase& c : cases) {
        SetUp();
        Open();
        Paste(ItemId::CrcPolynomial, c.polynomial);
        Paste(ItemId::CrcInitial, c.initial);
        Paste(ItemId::Length, "40");
        const zb::DecoderSettings before = block;
        Click(ItemId::Ok);
        SCOPED_TRACE(testing::Message() << "'" << c.polynomial << "' '" << c.initial << "'");
        if (c.message == nullptr) {
            EXPECT_TRUE(headless::MessageBoxes().empty());
            EXPECT_FALSE(headless::IsOpen(*dialog));
            continue;
        }
        ASSERT_EQ(headless::MessageBoxes().size(), 1u);
        EXPECT_EQ(headless::MessageBoxes()[0], c.message);
        EXPECT_TRUE(headless::IsOpen(*dialog));
        EXPECT_EQ(headless::FocusedItem(*dialog), zb::Id(c.focus));
        EXPECT_EQ(std::memcmp(&before, &block, sizeof block), 0) << "a refused OK writes nothing";
    }
}

TEST_F(DialogFixture, DefaultThenCancelLeavesDefaults) {
    zb::SettingsView v = Defaults();
    v.SetMode(0);
    v.SetDataLength(40);
    v.SetColourSlot(5, 3);
    Open();
    Paste(ItemId::SloPhase, "9");
    Click(ItemId::Default);
    EXPECT_EQ(Text(ItemId::SloPhase), "0");
    EXPECT_EQ(Selection(ItemId::Mode), 2);
    EXPECT_TRUE(Enabled(ItemId::CrcBits));
    EXPECT_EQ(View().ColourSlot(5), 5u);  // the defaults are in the block at once
    Click(ItemId::Cancel);
    EXPECT_EQ(headless::Result(*dialog), zb::ui::DialogResult::Cancel);
    EXPECT_EQ(block.dialogAccepted, 0u);
    zb::DecoderSettings expected{};
    expected.size = zb::kSettingsBlockSize;
    zb::SettingsView(&expected).ApplyDefaults();
    EXPECT_EQ(std::memcmp(&block, &expected, sizeof block), 0);
}

TEST_F(DialogFixture, CancelKeepsOnlyTheNormalisation) {
    zb::SettingsView v = Defaults();
    v.SetVersion(2);
    v.SetAlignmentBits(3);
    Open();
    Paste(ItemId::Alignment, "1");
    Click(ItemId::Cancel);
    EXPECT_EQ(View().AlignmentBitsStored(), 0);  // the version-2 upgrade, not the typed 1
    EXPECT_EQ(block.settingsState, 9);
}

// The modal run as the ConfigDialog export uses it.
TEST_F(DialogFixture, RunSettingsDialogWithoutWindowSystemNormalisesAndCancels) {
    headless::SetModalDriver(nullptr);
    block.dialogAccepted = 1;
    zb::RunSettingsDialog(call, block);
    EXPECT_EQ(block.settingsState, 9);
    EXPECT_EQ(block.dialogAccepted, 0u);
    EXPECT_EQ(View().DataLength(), 12);
}

TEST_F(DialogFixture, RunSettingsDialogModallyWithDriver) {
    struct Outcome {
        bool pressOk;
        uint32_t accepted;
        int32_t length;
    };
    for (const Outcome& o : {Outcome{true, 1, 33}, Outcome{false, 0, 12}}) {
        SetUp();
        headless::SetModalDriver([&](zb::ui::Dialog& d) {
            headless::Click(d, zb::Id(ItemId::Auto));
            headless::Paste(d, zb::Id(ItemId::Length), "33");
            if (o.pressOk) headless::Click(d, zb::ui::kIdOk);
        });
        zb::RunSettingsDialog(call, block);
        headless::SetModalDriver(nullptr);
        EXPECT_EQ(block.dialogAccepted, o.accepted);
        EXPECT_EQ(View().DataLength(), o.length);
        EXPECT_EQ(block.settingsState, 9);
    }
}

}  // namespace
}  // namespace zbtest
