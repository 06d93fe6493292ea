// Settings block rules: the copy between host record and block (byte offsets), defaults, upgrades
// from older versions, clamps, packed fields and the derived values.
#include "abi/decoder_settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace zb {
namespace {

// One settings field as it lies in the block and in the host record. The offsets are written as
// numbers, not taken from the structures, so a layout mistake cannot hide behind them.
struct FieldPlace {
    const char* name;
    size_t blockOffset;
    size_t hostOffset;
    size_t width;
};

const FieldPlace kCopiedFields[] = {
    {"captureChannelCount", 0x004, 0x050, 4}, {"lastSample", 0x008, 0x060, 8},
    {"cursorPosition", 0x010, 0x068, 48},     {"hostValueFormat", 0x040, 0x098, 4},
    {"decoderChannelCount", 0x044, 0x0A0, 4}, {"carried 0x0A8", 0x048, 0x0A8, 8},
    {"hostFlags", 0x050, 0x09C, 4},           {"sampleRate", 0x058, 0x100, 8},
    {"carried 0x0FC", 0x060, 0x0FC, 4},       {"settingsState", 0x064, 0x194, 2},
    {"channelTable", 0x068, 0x198, 1024},     {"decoder words", 0x468, 0x698, 128},
};
constexpr size_t kDialogResultOffset = 0x0F8;

uint8_t* Bytes(void* p) {
    return static_cast<uint8_t*>(p);
}

void FillPattern(void* p, size_t size, unsigned seed) {
    for (size_t i = 0; i < size; ++i) Bytes(p)[i] = static_cast<uint8_t>((i * 7 + seed) ^ (i >> 8));
}

// Each field taken from its host offset into the block and written back there, nothing else; the
// dialog's answer (1 when accepted, else 2) written back at its own offset.
TEST(DecoderSettingsCopy, EveryFieldAtItsOffsetAndNothingElse) {
    HostRecord host;
    FillPattern(&host, sizeof host, 3);
    DecoderSettings block;
    std::memset(&block, 0xEE, sizeof block);
    CopySettingsIn(host, block);
    std::vector<uint8_t> expected(kSettingsBlockSize, 0);
    const uint32_t size = 1256;
    std::memcpy(expected.data(), &size, 4);
    for (const FieldPlace& f : kCopiedFields)
        std::memcpy(expected.data() + f.blockOffset, Bytes(&host) + f.hostOffset, f.width);
    EXPECT_EQ(std::vector<uint8_t>(Bytes(&block), Bytes(&block) + kSettingsBlockSize), expected);

    for (const auto& [accepted, result] : {std::pair{0u, 2u}, {1u, 1u}, {0x80000000u, 1u}}) {
        FillPattern(&block, sizeof block, 11);
        block.dialogAccepted = accepted;
        std::memset(&host, 0xEE, sizeof host);
        CopySettingsOut(block, host);
        expected.assign(sizeof host, 0xEE);
        for (const FieldPlace& f : kCopiedFields)
            std::memcpy(expected.data() + f.hostOffset, Bytes(&block) + f.blockOffset, f.width);
        std::memcpy(expected.data() + kDialogResultOffset, &result, 4);
        EXPECT_EQ(std::vector<uint8_t>(Bytes(&host), Bytes(&host) + sizeof host), expected) << accepted;
    }
}

// ---- Defaults ----------------------------------------------------------------------------------

// The defaults as the host stores them: the three packed words (range head to tail, single-cycle
// mode, 12 data bits, automatic length, HEX, one slave, 8 register columns; colour slots 0, 0, 2,
// 5, 5, 5, 0, 7, 13; phase 0), the plain fields (8 single-turn bits, CRC 6 bits 0x43 from 0, no
// alignment, BiSS-C) and zeros after them, channels 0 and 1, version 4.
void ExpectDefaults(const DecoderSettings& block) {
    std::vector<uint32_t> words(kDecoderWordsSize / 4);
    std::memcpy(words.data(), &block.optionWord, kDecoderWordsSize);
    std::vector<uint32_t> expected = {0x2000C200, 0x70555200, 0xD, 8, 6, 0x43, 0, 0, 0};
    expected.resize(words.size());
    EXPECT_EQ(words, expected);
    EXPECT_EQ(block.settingsState, 9);
    EXPECT_EQ(block.channelTable[0], 0u);
    EXPECT_EQ(block.channelTable[1], 1u);
    EXPECT_EQ(block.decoderChannelCount, 2u);
}

// A zero block, a block with stale words whose initialised bit is clear, and ApplyDefaults on any
// block all give the defaults; the host's fields and the channel table past the decoder's two
// entries keep what they held.
TEST(DecoderSettingsDefaults, EveryWayToTheDefaults) {
    DecoderSettings zero{};
    SettingsView(&zero).Normalise();
    ExpectDefaults(zero);

    DecoderSettings stale;
    FillPattern(&stale, sizeof stale, 1);
    stale.settingsState = 8;  // version 4 written, but the initialised bit is clear
    SettingsView(&stale).Normalise();
    ExpectDefaults(stale);

    DecoderSettings block;
    FillPattern(&block, sizeof block, 9);
    const DecoderSettings before = block;
    SettingsView(&block).ApplyDefaults();
    ExpectDefaults(block);
    EXPECT_EQ(std::memcmp(&block, &before, offsetof(DecoderSettings, decoderChannelCount)), 0);
    EXPECT_EQ(std::memcmp(&block.carried0A8, &before.carried0A8,
                          offsetof(DecoderSettings, settingsState) - offsetof(DecoderSettings, carried0A8)),
              0);
    EXPECT_EQ(std::memcmp(block.channelTable + 2, before.channelTable + 2, 254 * 4), 0);
}

// ---- Upgrades ------------------------------------------------------------------------------------

// A block saved by an older version, with every field the upgrades touch set to a non-default.
DecoderSettings OldBlock(uint16_t version) {
    DecoderSettings block{};
    SettingsView view(&block);
    view.SetDataLength(40);
    view.SetMode(2);
    view.SetAutoLength(false);
    view.SetCombineTurns(true);
    view.SetValueType(1);
    block.singleTurnBits = 17;
    block.crcBits = 5;
    block.crcPolynomial = 0x15;
    block.crcInitial = 3;
    block.alignmentBits = 2;
    block.protocol = 1;
    block.settingsState = static_cast<uint16_t>(version * 2 + 1);
    return block;
}

TEST(DecoderSettingsUpgrade, EachVersionResetsExactlyTheFieldsItPredates) {
    struct Row {
        uint16_t version;
        int32_t singleTurnBits, crcBits;
        uint32_t crcPolynomial, crcInitial;
        bool combineTurns;
        int32_t alignmentBits, protocol;
        bool autoLength;
    };
    const Row rows[] = {
        {0, 8, 6, 0x43, 0, false, 0, 0, true},  {1, 17, 5, 0x15, 3, false, 0, 0, true},
        {2, 17, 5, 0x15, 3, true, 0, 0, true},  {3, 17, 5, 0x15, 3, true, 2, 1, true},
        {4, 17, 5, 0x15, 3, true, 2, 1, false}, {7, 17, 5, 0x15, 3, true, 2, 1, false},
    };
    for (const Row& r : rows) {
        DecoderSettings block = OldBlock(r.version);
        SettingsView view(&block);
        view.Normalise();
        SCOPED_TRACE("version " + std::to_string(r.version));
        EXPECT_EQ(block.singleTurnBits, r.singleTurnBits);
        EXPECT_EQ(block.crcBits, r.crcBits);
        EXPECT_EQ(block.crcPolynomial, r.crcPolynomial);
        EXPECT_EQ(block.crcInitial, r.crcInitial);
        EXPECT_EQ(view.CombineTurns(), r.combineTurns);
        EXPECT_EQ(block.alignmentBits, r.alignmentBits);
        EXPECT_EQ(block.protocol, r.protocol);
        EXPECT_EQ(view.AutoLength(), r.autoLength);
        // Untouched by every upgrade.
        EXPECT_EQ(view.DataLength(), 40);
        EXPECT_EQ(view.ValueTypeSetting(), 1u);
        EXPECT_EQ(block.settingsState, 9);
    }
}

// ---- Clamps and derived values ---------------------------------------------------------------

// What each setter keeps of a value and how the getters clamp it.
TEST(DecoderSettingsView, SetThenGetClampsAsSpecified) {
    DecoderSettings block{};
    SettingsView v(&block);
    for (const auto& [in, out] : {std::pair{-100, -63}, {70, 63}, {-5, -5}, {INT_MIN, -63}}) {
        v.SetSloPhase(in);
        EXPECT_EQ(v.SloPhase(), out) << in;
    }
    for (const auto& [in, out] : {std::pair{15u, 8u}, {16u, 16u}, {32u, 16u}}) {
        v.SetRegisterColumns(in);
        EXPECT_EQ(v.RegisterColumns(), out) << in;
    }
    for (const auto& [in, out] :
         {std::pair{5, Protocol::BissC}, {1, Protocol::BissB}, {-1, Protocol::BissC}}) {
        v.SetProtocol(in);
        EXPECT_EQ(v.ProtocolSetting(), out) << in;
    }
    // Alignment: 0 .. data length - 1, and 0 without a length.
    for (const auto& [length, in, out] : {std::tuple{12, 70, 11}, {12, -3, 0}, {0, 5, 0}}) {
        v.SetDataLength(length);
        v.SetAlignmentBits(in);
        EXPECT_EQ(v.Alignment(), out) << length << " " << in;
    }
    for (const auto& [in, out] : {std::pair{0, 1}, {17, 16}, {9, 9}}) {
        v.SetCrcBits(in);
        EXPECT_EQ(v.ConfiguredCrcBits(), out) << in;
    }
    v.SetDataLength(300);  // 8 bits kept
    EXPECT_EQ(v.DataLength(), 300 & 0xFF);
    v.SetChannel(0, 0x12345);  // 16 bits kept
    EXPECT_EQ(v.Channel(0), 0x2345u);
    v.SetColourSlot(3, 0x1F);  // 4 bits kept
    EXPECT_EQ(v.ColourSlot(3), 0xFu);
    v.SetDetectedLength(64);  // 6 bits kept
    EXPECT_EQ(v.DetectedLength(), 0u);
    // Only channels 0 and 1 and colour slots 0..8 are settings; others keep what they hold.
    block.channelTable[5] = 0xDEADBEEF;
    v.SetChannel(2, 7);
    v.SetColourSlot(9, 7);
    EXPECT_EQ(block.channelTable[2], 0u);
    EXPECT_EQ(v.Channel(5), 0u);
    EXPECT_EQ(block.channelTable[5], 0xDEADBEEFu);
    EXPECT_EQ(v.ColourSlot(9), 0u);
}

// The derived lengths; and the single-turn bits a version 4 block keeps when normalised: cut to the
// position bits, unless there are none.
TEST(DecoderSettingsView, DataLengthPositionAndMultiTurnBits) {
    struct Row {
        int32_t dataLength;
        bool autoLength;
        uint32_t detected;
        int32_t alignment, singleTurn;
        int32_t effective, position, multiTurn, normalisedSingleTurn;
    };
    const Row rows[] = {
        {12, false, 20, 0, 8, 12, 12, 4, 8},    // auto off: the configured length
        {12, true, 20, 0, 8, 20, 20, 12, 8},    // auto on with a detection
        {12, true, 0, 0, 8, 12, 12, 4, 8},      // auto on, nothing detected
        {24, true, 40, 3, 8, 40, 37, 29, 8},    // alignment comes off the detected length
        {4, false, 0, 3, 8, 4, 1, 0, 1},        // fewer position bits than single-turn bits
        {12, true, 2, 11, 8, 2, 0, 0, 8},       // alignment clamped by the configured length only
        {12, false, 0, 2, 20, 12, 10, 0, 10},   // cut to 12 - 2 position bits
        {12, false, 0, 2, 10, 12, 10, 0, 10},   // exactly fits
        {12, false, 0, 2, 4, 12, 10, 6, 4},     // fits with room for multi-turn bits
        {12, true, 20, 0, 30, 20, 20, 0, 20},   // the detected length counts
        {0, false, 0, 0, 30, 0, 0, 0, 30},      // no position bits: nothing to cut to
        {12, false, 0, 0, -5, 12, 12, 17, -5},  // a negative stored single-turn count is not clamped
        {12, false, 0, 0, INT32_MIN, 12, 12, INT32_MAX, INT32_MIN},  // ... and does not overflow
    };
    for (const Row& r : rows) {
        DecoderSettings block{};
        SettingsView view(&block);
        view.SetVersion(4);
        view.SetDataLength(r.dataLength);
        view.SetAutoLength(r.autoLength);
        view.SetDetectedLength(r.detected);
        view.SetAlignmentBits(r.alignment);
        view.SetSingleTurnBits(r.singleTurn);
        SCOPED_TRACE("dataLength " + std::to_string(r.dataLength) + " detected " +
                     std::to_string(r.detected) + " single-turn " + std::to_string(r.singleTurn));
        EXPECT_EQ(view.EffectiveDataLength(), r.effective);
        EXPECT_EQ(view.PositionBits(), r.position);
        EXPECT_EQ(view.MultiTurnBits(), r.multiTurn);
        view.Normalise();
        EXPECT_EQ(view.SingleTurnBits(), r.normalisedSingleTurn);
    }
}

// ---- Packed fields ---------------------------------------------------------------------------------

TEST(DecoderSettingsView, PackedSettersReplaceOnlyTheirOwnBits) {
    struct Row {
        const char* name;
        uint32_t DecoderSettings::*word;
        std::function<void(SettingsView&, uint32_t)> set;
        uint32_t fieldMask;
    };
// One row per setter: the word it writes, its field there, and the call (also the row's name).
// clang-format off
#define ZB_SETTER(word, mask, call) {#call, &DecoderSettings::word, [](SettingsView& v, uint32_t x) { v.call; }, mask}
    // clang-format on
    const Row rows[] = {
        ZB_SETTER(optionWord, 0x0000000F, SetRangeFrom(x)),
        ZB_SETTER(optionWord, 0x000000F0, SetRangeTo(x)),
        ZB_SETTER(optionWord, 0x00000F00, SetMode(x)),
        ZB_SETTER(optionWord, 0x000FF000, SetDataLength(static_cast<int32_t>(x))),
        ZB_SETTER(optionWord, 0x00F00000, SetValueType(x)),
        ZB_SETTER(optionWord, 0x0F000000, SetDataChannels(x)),
        ZB_SETTER(optionWord, 0x10000000, SetCombineTurns(x != 0)),
        ZB_SETTER(optionWord, 0x20000000, SetAutoLength(x != 0)),
        ZB_SETTER(optionWord, 0x40000000, SetRegisterColumns(x ? 16 : 8)),
        ZB_SETTER(colourWord, 0x0000000F, SetColourSlot(0, x)),
        ZB_SETTER(colourWord, 0x00F00000, SetColourSlot(5, x)),
        ZB_SETTER(colourWord, 0xF0000000, SetColourSlot(7, x)),
        ZB_SETTER(auxWord, 0x0000000F, SetColourSlot(8, x)),
        ZB_SETTER(auxWord, 0x000003F0, SetDetectedLength(x)),
    };
#undef ZB_SETTER
    for (const Row& r : rows) {
        for (uint32_t background : {0u, 0xFFFFFFFFu, 0xA5A5A5A5u}) {
            for (uint32_t value : {0u, 1u, 0xFFFFFFFFu}) {
                DecoderSettings block{};
                block.*r.word = background;
                SettingsView view(&block);
                r.set(view, value);
                const uint32_t got = block.*r.word;
                EXPECT_EQ(got & ~r.fieldMask, background & ~r.fieldMask)
                    << r.name << ": neighbours disturbed, value " << value << " on " << std::hex
                    << background;
                // 0 clears the field, 1 sets its lowest bit, all ones fills it (wider values lose
                // their upper bits).
                const uint32_t lowest = r.fieldMask & (~r.fieldMask + 1);
                const uint32_t field = value == 0 ? 0u : value == 1 ? lowest : r.fieldMask;
                EXPECT_EQ(got & r.fieldMask, field) << r.name << ", value " << value;
            }
        }
    }
}

TEST(DecoderSettingsView, SloPhaseKeepsTheLowerAuxBits) {
    for (int32_t phase : {-63, -1, 0, 1, 40, 63}) {
        DecoderSettings block{};
        block.auxWord = 0x00ABCDEF;
        SettingsView view(&block);
        view.SetSloPhase(phase);
        EXPECT_EQ(block.auxWord & 0x00FFFFFF, 0x00ABCDEFu) << phase;
        EXPECT_EQ(view.SloPhase(), phase);
        EXPECT_EQ(block.auxWord >> 31, phase < 0 ? 1u : 0u) << phase;
    }
}

}  // namespace
}  // namespace zb
