// The settings dialog opening headless: lists, loaded values, normalisation written at once, the
// Value Type row and message 0, the enabling rules, the bit hints and the spin steps.
#include <vector>

#include "native/dialog_fixture.h"

namespace zbtest {
namespace {

using Strings = std::vector<std::string>;

TEST_F(DialogFixture, NeverInitialisedBlockOpensWithDefaultsAlreadyStored) {
    Open();
    zb::DecoderSettings expected{};
    expected.size = zb::kSettingsBlockSize;
    zb::SettingsView(&expected).ApplyDefaults();
    EXPECT_EQ(std::memcmp(&block, &expected, sizeof block), 0);
    EXPECT_EQ(block.settingsState, 9);

    EXPECT_EQ(Selection(ItemId::Mode), 2);
    EXPECT_EQ(Text(ItemId::Length), "12");
    EXPECT_TRUE(Checked(ItemId::Auto));
    EXPECT_FALSE(Checked(ItemId::Combine));
    EXPECT_EQ(Text(ItemId::Alignment), "0");
    EXPECT_EQ(Text(ItemId::SingleTurn), "8");
    EXPECT_EQ(Text(ItemId::SloPhase), "0");
    EXPECT_EQ(Selection(ItemId::CrcBits), 5);
    EXPECT_EQ(Text(ItemId::CrcPolynomial), "43");
    EXPECT_EQ(Text(ItemId::CrcInitial), "0");
    EXPECT_EQ(Text(ItemId::MaEdit), "0");
    EXPECT_EQ(Text(ItemId::SloEdit), "1");
    EXPECT_EQ(Selection(ItemId::Protocol), 0);
    EXPECT_EQ(Selection(ItemId::ValueType), 0);
    EXPECT_EQ(Selection(ItemId::DataChannel), 0);
    EXPECT_EQ(Selection(ItemId::RegisterColumns), 0);
    EXPECT_EQ(Selection(ItemId::From), 0);
    EXPECT_EQ(Selection(ItemId::To), 0);
    const int pickerSelections[] = {0, 0, 2, 5, 5, 0, 7, 13};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(Selection(9060 + k), pickerSelections[k]) << k;
    EXPECT_EQ(Text(ItemId::LengthHint), "(Range: 1 ~ 64)");
    EXPECT_EQ(Text(ItemId::MultiTurnBits), "4 bits");
    EXPECT_TRUE(Visible(ItemId::ValueType));
    EXPECT_TRUE(Visible(ItemId::ValueTypeLabel));
    EXPECT_EQ(headless::FocusedItem(*dialog), 9010);
    EXPECT_EQ(block.dialogAccepted, 0u);
}

TEST_F(DialogFixture, ListsAreFilledInOrder) {
    Open();
    const std::pair<ItemId, Strings> lists[] = {
        {ItemId::Protocol, {"BiSS-C", "BiSS-B"}},
        {ItemId::ValueType, {"HEX", "DEC", "OCT", "BIN"}},
        {ItemId::From,
         {"Buffer Head", "Cursor Trigger(T)", "Cursor A", "Cursor B", "Cursor C", "Cursor D", "Cursor E"}},
        {ItemId::To,
         {"Buffer Tail", "Cursor Trigger(T)", "Cursor A", "Cursor B", "Cursor C", "Cursor D", "Cursor E"}},
        {ItemId::Mode,
         {"Register Access - Master (CDM)", "Register Access - Slave (CDS)", "Single Cycle Data (SCD)"}},
        {ItemId::DataChannel, {"1", "2", "3", "4", "5", "6", "7", "8"}},
        {ItemId::RegisterColumns, {"8", "16"}},
        {ItemId::CrcBits,
         {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16"}},
    };
    for (const auto& [id, items] : lists)
        EXPECT_EQ(headless::ListItems(*dialog, zb::Id(id)), items) << zb::Id(id);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(headless::ListItems(*dialog, 9060 + k).size(), 16u);
}

TEST_F(DialogFixture, ItemsInTemplateOrder) {
    Open();
    const std::vector<int> ids = headless::ItemIds(*dialog);
    ASSERT_EQ(ids.size(), 68u);
    for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], zb::kSettingsItems[i].id);
}

TEST_F(DialogFixture, OldVersionIsUpgradedAtOpening) {
    zb::SettingsView v = Defaults();
    v.SetVersion(1);
    v.SetCombineTurns(true);
    v.SetAutoLength(false);
    v.SetSingleTurnBits(5);
    Open();
    EXPECT_EQ(block.settingsState, 9);
    EXPECT_FALSE(View().CombineTurns());
    EXPECT_TRUE(View().AutoLength());
    EXPECT_EQ(View().SingleTurnBits(), 5);
    EXPECT_FALSE(Checked(ItemId::Combine));
    EXPECT_TRUE(Checked(ItemId::Auto));
}

TEST_F(DialogFixture, LoadsEffectiveLengthAndClampedValues) {
    zb::SettingsView v = Defaults();
    v.SetDetectedLength(24);
    v.SetAlignmentBits(70);
    v.SetSloPhase(-40);
    v.SetColourSlot(5, 9);
    v.SetRegisterColumns(16);
    v.SetProtocol(5);
    v.SetCrcPolynomial(0xabc);
    v.SetCrcInitial(0x1F);
    Open();
    EXPECT_EQ(Text(ItemId::Length), "24");  // the detected length with Auto on
    EXPECT_EQ(Text(ItemId::Alignment), "11");
    EXPECT_EQ(Text(ItemId::SloPhase), "-40");
    EXPECT_EQ(Selection(ItemId::RegisterColumns), 1);
    EXPECT_EQ(Selection(ItemId::Protocol), 0);
    EXPECT_EQ(Text(ItemId::CrcPolynomial), "ABC");
    EXPECT_EQ(Text(ItemId::CrcInitial), "1F");
}

TEST_F(DialogFixture, HostDirectoryHidesValueTypeRow) {
    call.tempDirectory = "C:\\temp\\";
    zb::SettingsView v = Defaults();
    v.SetValueType(2);
    Open();
    EXPECT_FALSE(Visible(ItemId::ValueType));
    EXPECT_FALSE(Visible(ItemId::ValueTypeLabel));
    EXPECT_TRUE(Visible(ItemId::Protocol));
    EXPECT_EQ(Selection(ItemId::ValueType), 2);
    Click(ItemId::Ok);
    EXPECT_EQ(View().ValueTypeSetting(), 2u);
    EXPECT_EQ(headless::Result(*dialog), zb::ui::DialogResult::Ok);
}

// Which groups are enabled for a mode selection, Combine and Auto.
struct EnablingCase {
    int mode;  // -1: no selection
    bool combine, automatic;
    bool crc, combineAndAlignment, singleTurn, length;
};

TEST_F(DialogFixture, EnablingTable) {
    const EnablingCase cases[] = {
        {0, false, false, false, false, false, true}, {1, true, false, false, false, false, true},
        {0, false, true, false, false, false, false}, {1, true, true, false, false, false, false},
        {2, false, false, true, true, true, true},    {2, true, false, true, true, false, true},
        {2, false, true, true, true, true, false},    {2, true, true, true, true, false, false},
        {-1, false, false, true, true, true, true},   {-1, true, true, true, true, false, false},
    };
    for (const EnablingCase& c : cases) {
        SetUp();
        Open();
        Select(ItemId::Mode, c.mode);
        if (Checked(ItemId::Combine) != c.combine) Click(ItemId::Combine);
        if (Checked(ItemId::Auto) != c.automatic) Click(ItemId::Auto);
        SCOPED_TRACE(testing::Message()
                     << "mode " << c.mode << " combine " << c.combine << " auto " << c.automatic);
        for (ItemId id : {ItemId::CrcBits, ItemId::CrcPolynomial, ItemId::CrcInitial, ItemId::CrcBitsLabel,
                          ItemId::CrcPolynomialLabel, ItemId::CrcInitialLabel}) {
            EXPECT_EQ(Enabled(id), c.crc) << zb::Id(id);
        }
        for (ItemId id : {ItemId::Combine, ItemId::Alignment, ItemId::AlignmentSpin}) {
            EXPECT_EQ(Enabled(id), c.combineAndAlignment) << zb::Id(id);
        }
        for (ItemId id : {ItemId::SingleTurn, ItemId::SingleTurnSpin, ItemId::MultiTurnBits,
                          ItemId::SingleTurnLabel, ItemId::MultiTurnLabel}) {
            EXPECT_EQ(Enabled(id), c.singleTurn) << zb::Id(id);
        }
        EXPECT_EQ(Enabled(ItemId::Length), c.length);
        EXPECT_EQ(Enabled(ItemId::LengthSpin), c.length);
        // Never disabled.
        for (int id : {9010, 9011, 9012, 9013, 9014, 9015, 9031, 9050, 9052, 9053, 9054,
                       9056, 9060, 9067, 9070, 9071, 9072, 1,    2,    9022, 9055, 9051}) {
            EXPECT_TRUE(dialog->IsItemEnabled(id)) << id;
        }
        if (c.mode == 0 || c.mode == 1) {
            EXPECT_EQ(Selection(ItemId::CrcBits), 3);
            EXPECT_EQ(Text(ItemId::CrcPolynomial), "13");
            EXPECT_EQ(Text(ItemId::CrcInitial), "0");
        }
    }
}

TEST_F(DialogFixture, LeavingRegisterModeKeepsForcedCrcTexts) {
    Open();
    EXPECT_EQ(Text(ItemId::CrcPolynomial), "43");
    Select(ItemId::Mode, 1);
    Select(ItemId::Mode, 2);
    EXPECT_TRUE(Enabled(ItemId::CrcPolynomial));
    EXPECT_EQ(Selection(ItemId::CrcBits), 3);
    EXPECT_EQ(Text(ItemId::CrcPolynomial), "13");
    EXPECT_EQ(Text(ItemId::CrcInitial), "0");
}

TEST_F(DialogFixture, RegisterModeStoredShowsForcedCrcDisabled) {
    zb::SettingsView v = Defaults();
    v.SetMode(1);
    v.SetCrcBits(12);
    v.SetCrcPolynomial(0x1234);
    Open();
    EXPECT_EQ(Text(ItemId::CrcPolynomial), "13");
    EXPECT_FALSE(Enabled(ItemId::CrcPolynomial));
    EXPECT_FALSE(Enabled(ItemId::Combine));
}

TEST_F(DialogFixture, AutoDisablesOnlyTheLengthAndKeepsItsText) {
    zb::SettingsView v = Defaults();
    v.SetAutoLength(false);
    v.SetDataLength(20);
    Open();
    EXPECT_TRUE(Enabled(ItemId::Length));
    Click(ItemId::Auto);
    EXPECT_FALSE(Enabled(ItemId::Length));
    EXPECT_FALSE(Enabled(ItemId::LengthSpin));
    EXPECT_EQ(Text(ItemId::Length), "20");
}

TEST_F(DialogFixture, UnknownStoredModeShowsNoSelection) {
    zb::SettingsView v = Defaults();
    v.SetMode(5);
    v.SetRangeFrom(9);
    v.SetValueType(7);
    v.SetDataChannels(8);
    Open();
    EXPECT_EQ(Selection(ItemId::Mode), -1);
    EXPECT_EQ(Selection(ItemId::From), -1);
    EXPECT_EQ(Selection(ItemId::ValueType), -1);
    EXPECT_EQ(Selection(ItemId::DataChannel), -1);
    EXPECT_TRUE(Enabled(ItemId::CrcBits));  // no selection counts as single-cycle
}

struct HintCase {
    const char *length, *alignment, *singleTurn;
    const char* multiTurn;
    int alignmentUpper, singleTurnUpper;
};

TEST_F(DialogFixture, BitHintsAndDependentSpinRanges) {
    const HintCase cases[] = {
        {"12", "0", "8", "4 bits", 11, 12},   {"12", "2", "10", "0 bits", 11, 10},
        {"12", "2", "50", "0 bits", 11, 10},  {"", "", "", "4 bits", 11, 12},
        {"0", "5", "0", "0 bits", 0, 1},      {"100", "0", "8", "56 bits", 63, 64},
        {"16", "-3", "4", "12 bits", 15, 16}, {"16", "40", "1", "0 bits", 15, 1},
        {"-", "x", "3", "0 bits", 0, 1},
    };
    Open();
    Click(ItemId::Auto);  // editable length
    for (const HintCase& c : cases) {
        Paste(ItemId::Alignment, c.alignment);
        Paste(ItemId::SingleTurn, c.singleTurn);
        Paste(ItemId::Length, c.length);  // a length change updates the hints
        SCOPED_TRACE(testing::Message() << c.length << "/" << c.alignment << "/" << c.singleTurn);
        EXPECT_EQ(Text(ItemId::MultiTurnBits), c.multiTurn);
        EXPECT_EQ(Text(ItemId::LengthHint), "(Range: 1 ~ 64)");
        int lo, hi;
        SpinRange(ItemId::AlignmentSpin, lo, hi);
        EXPECT_EQ(lo, 0);
        EXPECT_EQ(hi, c.alignmentUpper);
        SpinRange(ItemId::SingleTurnSpin, lo, hi);
        EXPECT_EQ(lo, 1);
        EXPECT_EQ(hi, c.singleTurnUpper);
        EXPECT_EQ(Text(ItemId::Length), c.length);  // clamped values are not written back
    }
}

TEST_F(DialogFixture, TypingAlignmentDoesNotUpdateHintsUntilNextTrigger) {
    Open();
    Paste(ItemId::Alignment, "4");
    EXPECT_EQ(Text(ItemId::MultiTurnBits), "4 bits");
    Click(ItemId::Combine);
    EXPECT_EQ(Text(ItemId::MultiTurnBits), "0 bits");
}

struct StepCase {
    ItemId spin;
    const char *length, *alignment, *singleTurn, *phase;
    int delta;
    ItemId edit;
    const char* after;
};

TEST_F(DialogFixture, SpinStepsAndBounds) {
    const StepCase cases[] = {
        {ItemId::LengthSpin, "12", "0", "8", "0", 1, ItemId::Length, "13"},
        {ItemId::LengthSpin, "", "0", "8", "0", 1, ItemId::Length, "13"},
        {ItemId::LengthSpin, "64", "0", "8", "0", 1, ItemId::Length, "64"},
        {ItemId::LengthSpin, "1", "0", "8", "0", -1, ItemId::Length, "1"},
        {ItemId::LengthSpin, "30", "0", "8", "0", -5, ItemId::Length, "25"},
        {ItemId::LengthSpin, "90", "0", "8", "0", -1, ItemId::Length, "64"},
        {ItemId::AlignmentSpin, "1", "0", "1", "0", 1, ItemId::Alignment, "0"},
        {ItemId::AlignmentSpin, "1", "0", "1", "0", -1, ItemId::Alignment, "0"},
        {ItemId::AlignmentSpin, "12", "10", "1", "0", 3, ItemId::Alignment, "11"},
        {ItemId::AlignmentSpin, "-4", "3", "1", "0", 1, ItemId::Alignment, "0"},
        {ItemId::AlignmentSpin, "", "", "1", "0", 1, ItemId::Alignment, "1"},
        {ItemId::SingleTurnSpin, "12", "2", "9", "0", 1, ItemId::SingleTurn, "10"},
        {ItemId::SingleTurnSpin, "12", "2", "10", "0", 1, ItemId::SingleTurn, "10"},
        {ItemId::SingleTurnSpin, "12", "2", "1", "0", -1, ItemId::SingleTurn, "1"},
        {ItemId::SingleTurnSpin, "4", "9", "3", "0", 1, ItemId::SingleTurn, "1"},
        {ItemId::SingleTurnSpin, "", "", "", "0", 1, ItemId::SingleTurn, "9"},
        {ItemId::SloPhaseSpin, "12", "0", "8", "62", 1, ItemId::SloPhase, "63"},
        {ItemId::SloPhaseSpin, "12", "0", "8", "63", 1, ItemId::SloPhase, "63"},
        {ItemId::SloPhaseSpin, "12", "0", "8", "-63", -1, ItemId::SloPhase, "-63"},
        {ItemId::SloPhaseSpin, "12", "0", "8", "", -1, ItemId::SloPhase, "-1"},
        {ItemId::SloPhaseSpin, "12", "0", "8", "-", -2, ItemId::SloPhase, "-2"},
    };
    Open();
    Click(ItemId::Auto);
    for (const StepCase& c : cases) {
        Paste(ItemId::Alignment, c.alignment);
        Paste(ItemId::SingleTurn, c.singleTurn);
        Paste(ItemId::SloPhase, c.phase);
        Paste(ItemId::Length, c.length);
        SCOPED_TRACE(testing::Message() << "spin " << zb::Id(c.spin) << " delta " << c.delta);
        EXPECT_EQ(Step(c.spin, c.delta), 1);
        EXPECT_EQ(Text(c.edit), c.after);
    }
}

TEST_F(DialogFixture, StepAnswersHandledAndRefreshesHints) {
    Open();
    Click(ItemId::Auto);
    EXPECT_EQ(Step(ItemId::LengthSpin, 4), 1);  // 16 bits, 8 single-turn
    EXPECT_EQ(Text(ItemId::MultiTurnBits), "8 bits");
    Paste(ItemId::SingleTurn, "3");
    EXPECT_EQ(Text(ItemId::MultiTurnBits), "8 bits");  // typing single-turn does not refresh
    EXPECT_EQ(Step(ItemId::SloPhaseSpin, 1), 1);
    EXPECT_EQ(Text(ItemId::MultiTurnBits), "8 bits");  // neither does a phase step
    EXPECT_EQ(Step(ItemId::SingleTurnSpin, 1), 1);
    EXPECT_EQ(Text(ItemId::MultiTurnBits), "12 bits");
}

}  // namespace
}  // namespace zbtest
