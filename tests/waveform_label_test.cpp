// Waveform labels: every row of the label table in its long and short form with its colour, value
// triples complete and incomplete, the value widths from the settings, the two value-format
// settings, Gray flags from the remembered host, and labels cut to the host's buffer.
#include "labels/waveform_label.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "abi/decoder_settings.h"
#include "abi/record_code.h"

namespace zb {
namespace {

// Colour slots 0..8 get indices that no fixed label colour (7, 11, 14) uses.
constexpr uint32_t kSlot[9] = {1, 2, 3, 4, 5, 6, 8, 9, 10};
constexpr uint32_t kHex = 0, kDec = 1, kBin = 3;

struct Setup {
    int32_t dataLength = 12;  // autoLength off, no alignment: positionBits = dataLength
    int32_t singleTurnBits = 8;
    int32_t protocol = 0;
    uint32_t hostValueFormat = kHex;
    uint32_t valueType = kHex;
};

DecoderSettings MakeSettings(const Setup& setup, uint32_t hostFlags) {
    DecoderSettings block{};
    SettingsView view(&block);
    view.ApplyDefaults();
    view.SetAutoLength(false);
    view.SetDataLength(setup.dataLength);
    view.SetSingleTurnBits(setup.singleTurnBits);
    view.SetProtocol(setup.protocol);
    view.SetValueType(setup.valueType);
    for (uint32_t k = 0; k < 9; ++k) view.SetColourSlot(k, kSlot[k]);
    block.hostValueFormat = setup.hostValueFormat;
    block.hostFlags = hostFlags;
    return block;
}

struct Case {
    std::vector<uint32_t> codes;
    std::string longText;
    std::string shortText;
    uint32_t colour;
    Setup setup = {};
};

uint32_t Code(uint8_t kind, uint32_t payload = 0) {
    return (uint32_t{kind} << 24) | payload;
}

const Setup kBissB{12, 8, 1};
const Setup kWide{64, 8};    // positionBits 64
const Setup kData40{40, 8};  // positionBits 40
const Setup kHostBin{12, 8, 0, kBin, kHex};
const Setup kIdDec{12, 8, 0, kHex, kDec};
const Setup kIdBin{12, 8, 0, kDec, kBin};
const Setup kAllSingle{12, 20};       // singleTurnBits above positionBits: no multi-turn bits
const Setup kNegativeSingle{11, -3};  // Multi-Turn width 11 - (-3) = 14
const Setup kMostNegativeSingle{12, INT32_MIN};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {{Code(0xE0)}, "ACK", "A", kSlot[0]},
        {{Code(0xD0)}, "Start", "S", kSlot[1]},
        {{Code(0xC0, 1)}, "CDS:1", "1", kSlot[2]},
        {{Code(0xC0, 2)}, "CDS:0", "0", kSlot[2]},
        // Value triples: Multi-Turn has positionBits - singleTurnBits = 4 bits, Single-Turn 8, Data 12.
        {{Code(0xBF), Code(0xB9), Code(0xBE, 5)}, "Multi-Turn: 5", "5", kSlot[3]},
        {{Code(0xBD), Code(0xB8), Code(0xBC, 0xA5)}, "Single-Turn: A5", "A5", kSlot[3]},
        {{Code(0xBB), Code(0xB7), Code(0xBA, 0xABC)}, "Data: ABC", "ABC", kSlot[3]},
        {{Code(0xBD), Code(0xB8), Code(0xBC, 0x1A5)}, "Single-Turn: A5", "A5", kSlot[3]},  // masked
        {{Code(0xBB, 0x1234), Code(0xB7, 0x567890), Code(0xBA, 0xABCDEF)},
         "Data: 1234567890ABCDEF",
         "1234567890ABCDEF",
         kSlot[3],
         kWide},
        {{Code(0xBB, 0x1), Code(0xB7, 0x0), Code(0xBA, 0xABC)},
         "Data: ABC",
         "ABC",
         kSlot[3]},  // 64-bit, 12 wide
        // A value that fits 32 bits takes the 32-bit form, whose HEX width stops at 8 digits.
        {{Code(0xBB, 0x0), Code(0xB7, 0x12), Code(0xBA, 0x345678)},
         "Data: 12345678",
         "12345678",
         kSlot[3],
         kData40},
        {{Code(0xBB, 0x0), Code(0xB7, 0x112), Code(0xBA, 0x345678)},
         "Data: 0112345678",
         "0112345678",
         kSlot[3],
         kData40},
        {{Code(0xBF), Code(0xB9), Code(0xBE, 5)}, "Multi-Turn: 0101", "0101", kSlot[3], kHostBin},
        {{Code(0xBF), Code(0xB9), Code(0xBE, 5)}, "Multi-Turn: 0", "0", kSlot[3], kAllSingle},
        // A negative single-turn count widens the Multi-Turn text (P - S, S = min(count, P)).
        {{Code(0xBF), Code(0xB9), Code(0xBE, 0x60D)}, "Multi-Turn: 060D", "060D", kSlot[3], kNegativeSingle},
        {{Code(0xBF), Code(0xB9), Code(0xBE, 0xABC)},
         "Multi-Turn: 00000ABC",
         "00000ABC",
         kSlot[3],
         kMostNegativeSingle},
        // Incomplete triples show the name only, in both forms.
        {{Code(0xBF)}, "Multi-Turn", "Multi-Turn", kSlot[3]},
        {{Code(0xBD), Code(0xB8)}, "Single-Turn", "Single-Turn", kSlot[3]},
        {{Code(0xBB), Code(0xB7), Code(0xBC, 1)}, "Data", "Data", kSlot[3]},
        {{Code(0xBF), Code(0xB8), Code(0xBE, 1)}, "Multi-Turn", "Multi-Turn", kSlot[3]},
        // Third records: their own 24-bit payload, width capped at 24. Middle records are unknown.
        {{Code(0xBE, 5)}, "5", "5", kSlot[3]},
        {{Code(0xBC, 0xA5)}, "A5", "A5", kSlot[3]},
        {{Code(0xBA, 0x123456)}, "123456", "123456", kSlot[3], kData40},
        {{Code(0xB9, 1)}, "?B9", "?B9", 7},
        {{Code(0xB8)}, "?B8", "?B8", 7},
        {{Code(0xB7)}, "?B7", "?B7", 7},
        {{Code(0xB0, 0x3C)}, "D:3C", "3C", kSlot[3]},
        {{Code(0xB0, 0x0A05)}, "D:05", "05", kSlot[3]},
        // nErr is active low in BiSS-C, active high in BiSS-B.
        {{Code(0xAF, 0)}, "nErr:0", "0", 14},
        {{Code(0xAF, 1)}, "nErr:1", "1", kSlot[4]},
        {{Code(0xAF, 1)}, "nErr:1", "1", 14, kBissB},
        {{Code(0xAF, 0)}, "nErr:0", "0", kSlot[4], kBissB},
        {{Code(0xAE, 1)}, "nWarn:1", "1", kSlot[4]},
        {{Code(0xAE, 0)}, "nWarn:0", "0", kSlot[4]},
        {{Code(0x90, 0x105)}, "CRC:05", "05", 14},
        {{Code(0x90, 0x005)}, "CRC:05", "05", 11},
        {{Code(0x90, 0x23F)}, "CRC:3F", "3F", 14},
        {{Code(0x80, 0)}, "Stop", "P", kSlot[6]},
        {{Code(0x80, 1)}, "Stop P=1", "P1", kSlot[4]},
        {{Code(0x70, 1)}, "CDM:1", "1", kSlot[2]},
        {{Code(0x60, 0)}, "CTS:0", "0", kSlot[2]},
        {{Code(0x52, 3)}, "IDA:1", "1", kSlot[8]},
        {{Code(0x51, 0x003)}, "IDL:003", "003", kSlot[4]},
        {{Code(0x51, 0x102)}, "IDL:081", "081", kSlot[4]},
        {{Code(0x51, 0x1FF)}, "IDL:1FF", "1FF", kSlot[4]},
        // ID and IDS use valueType (not the host's format): IDS width 8, ID width 3.
        {{Code(0x50, 0x10005)}, "IDS:05", "05", kSlot[7]},
        {{Code(0x50, 0x80005)}, "IDS:05", "05", kSlot[7]},
        {{Code(0x50, 0x5)}, "ID:5", "5", kSlot[4]},
        {{Code(0x50, 0x10005)}, "IDS:00000101", "00000101", kSlot[7], kIdBin},
        {{Code(0x50, 0x5)}, "ID:101", "101", kSlot[4], kIdBin},
        {{Code(0x50, 0xC8)}, "ID:200", "200", kSlot[4], kIdDec},
        {{Code(0x50, 0x1001F)}, "IDS:1F", "1F", kSlot[7], kHostBin},
        {{Code(0x40, 0xFF)}, "ADR:7F", "7F", kSlot[0]},
        {{Code(0x30, 7)}, "CMD:3", "3", kSlot[3]},
        {{Code(0x20, 0x102)}, "Non-impl", "X", kSlot[4]},
        {{Code(0x20, 0x100)}, "Non-impl", "X", kSlot[4]},
        {{Code(0x20, 2)}, "Read", "R", kSlot[7]},
        {{Code(0x20, 3)}, "Read", "R", kSlot[7]},
        {{Code(0x20, 1)}, "Write", "W", kSlot[8]},
        {{Code(0xF0, 0x1234)}, "", "", 7},
        {{Code(0xF1)}, "", "", 7},
        {{MakeStatus(StatusCode::Reading)}, "Reading", "Reading", kSlot[7]},
        {{MakeStatus(StatusCode::Busy, 1)}, "Busy", "Busy", kSlot[4]},
        {{MakeStatus(StatusCode::Busy, 2)}, "Busy 2 clk", "2", kSlot[4]},
        {{MakeStatus(StatusCode::Error, 9)}, "Error", "Error", 14},
        {{MakeStatus(StatusCode::SlaveSeparator)}, "", "", 7},
        {{MakeStatus(StatusCode::Timeout, 1)}, "Timeout", "Timeout", 14},
        {{MakeStatus(StatusCode::Timeout, 3)}, "Timeout 3 clk", "T", 14},
        {{MakeStatus(StatusCode::Idle)}, "IDLE", "IDLE", 7},
        {{Code(0xFF, 6)}, "IDLE", "IDLE", 7},
        {{Code(0xFF, 0xFF)}, "IDLE", "IDLE", 7},
        {{Code(0x12)}, "?12", "?12", 7},
        {{0}, "?00", "?00", 7},
    };
    return cases;
}

class WaveformLabelTest : public testing::Test {
  protected:
    void SetUp() override { call_.Remember(&host_); }

    // Labels one code list into a guarded buffer; checks nothing is written past `size`.
    uint32_t Label(const DecoderSettings& block, const std::vector<uint32_t>& codes, uint32_t count,
                   std::string& text, uint32_t size = 64) {
        char buffer[96];
        std::memset(buffer, '#', sizeof buffer);
        DecoderSettings copy = block;
        const uint32_t colour =
            BuildWaveformLabel(call_, SettingsView(&copy), CodeList{count, codes.data()}, buffer, size);
        for (uint32_t i = size; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#') << i;
        text = buffer[0] == '#' ? "<untouched>" : std::string(buffer);
        return colour;
    }

    CallContext call_;
    HostRecord host_{};
};

TEST_F(WaveformLabelTest, EveryKindLongAndShort) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.longText.empty() ? "(empty)" : c.longText);
        const uint32_t count = static_cast<uint32_t>(c.codes.size());
        std::string text;
        EXPECT_EQ(Label(MakeSettings(c.setup, 0), c.codes, count, text), c.colour);
        EXPECT_EQ(text, c.longText);
        EXPECT_EQ(Label(MakeSettings(c.setup, HostFlag::kShortLabels), c.codes, count, text), c.colour);
        EXPECT_EQ(text, c.shortText);
    }
}

// Words 2 and 3 count only when the list holds at least three codes; more are never read.
TEST_F(WaveformLabelTest, CountDecidesWhichCodesAreRead) {
    const DecoderSettings block = MakeSettings({}, 0);
    const std::vector<uint32_t> triple = {Code(0xBF), Code(0xB9), Code(0xBE, 5)};
    std::string text;
    Label(block, triple, 1, text);
    EXPECT_EQ(text, "Multi-Turn");
    Label(block, triple, 2, text);
    EXPECT_EQ(text, "Multi-Turn");
    Label(block, triple, 0xFFFFFFFF, text);
    EXPECT_EQ(text, "Multi-Turn: 5");
}

TEST_F(WaveformLabelTest, NoCodeOrNoBufferGivesNoColour) {
    const DecoderSettings block = MakeSettings({}, 0);
    const std::vector<uint32_t> ack = {Code(0xE0)};
    std::string text;
    EXPECT_EQ(Label(block, ack, 0, text), kNoColourIndex);
    EXPECT_EQ(text, "");
    EXPECT_EQ(Label(block, ack, 1, text, 0), kNoColourIndex);
    EXPECT_EQ(text, "<untouched>");
    DecoderSettings copy = block;
    char buffer[8] = "keep";
    EXPECT_EQ(BuildWaveformLabel(call_, SettingsView(&copy), CodeList{1, nullptr}, buffer, sizeof buffer),
              kNoColourIndex);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(BuildWaveformLabel(call_, SettingsView(&copy), CodeList{1, ack.data()}, nullptr, 64),
              kNoColourIndex);
}

TEST_F(WaveformLabelTest, CutToBuffer) {
    const DecoderSettings block = MakeSettings({}, 0);
    const std::vector<uint32_t> triple = {Code(0xBF), Code(0xB9), Code(0xBE, 5)};
    std::string text;
    EXPECT_EQ(Label(block, triple, 3, text, 4), kSlot[3]);
    EXPECT_EQ(text, "Mul");
    EXPECT_EQ(Label(block, {MakeStatus(StatusCode::Timeout, 3)}, 1, text, 8), 14u);
    EXPECT_EQ(text, "Timeout");
    EXPECT_EQ(Label(block, {Code(0xE0)}, 1, text, 1), kSlot[0]);  // no room for text, still a colour
    EXPECT_EQ(text, "");
}

// Values follow the Gray flags of the call's host record; without one the settings' copy of the
// host flags is used instead.
TEST_F(WaveformLabelTest, GrayFlagsReachTheValues) {
    const std::vector<uint32_t> triple = {Code(0xBF), Code(0xB9), Code(0xBE, 0xF)};
    std::string text;
    host_.hostFlags = HostFlag::kToGray;
    Label(MakeSettings({}, HostFlag::kToGray), triple, 3, text);
    EXPECT_EQ(text, "Multi-Turn: 8");

    call_.Remember(nullptr);
    Label(MakeSettings({}, HostFlag::kFromGray), {Code(0xBE, 0x8)}, 1, text);
    EXPECT_EQ(text, "F");
    EXPECT_EQ(call_.status, ReportStatusCode::NoHost);
}

}  // namespace
}  // namespace zb
