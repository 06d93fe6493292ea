// The decoder's settings block (1256 bytes, copied out of and back into the host record by every
// export) and SettingsView, the one place that knows how the packed words are laid out, clamped
// and upgraded. Engine, labels, report and dialog read settings only through a SettingsView.
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/host_record.h"

namespace zb {

constexpr uint32_t kSettingsVersion = 4;
constexpr uint32_t kSettingsBlockSize = 1256;

enum class DecodeMode : uint32_t { RegisterMaster = 0, RegisterSlave = 1, SingleCycle = 2 };
enum class Protocol : uint32_t { BissC = 0, BissB = 1 };
enum class ValueType : uint32_t { Hex = 0, Dec = 1, Oct = 2, Bin = 3, Char = 4 };

struct DecoderSettings {
    uint32_t size;                         // 0x000: always 1256
    uint32_t captureChannelCount;          // 0x004
    int64_t lastSample;                    // 0x008
    int64_t cursorPosition[kCursorCount];  // 0x010
    uint32_t hostValueFormat;              // 0x040
    uint32_t decoderChannelCount;          // 0x044
    uint64_t carried0A8;                   // 0x048
    uint32_t hostFlags;                    // 0x050
    uint32_t dialogAccepted;               // 0x054
    uint64_t sampleRate;                   // 0x058
    uint32_t carried0FC;                   // 0x060
    uint16_t settingsState;                // 0x064
    uint16_t pad066;
    uint32_t channelTable[kChannelTableEntries];  // 0x068
    uint32_t optionWord;                          // 0x468
    uint32_t colourWord;                          // 0x46C
    uint32_t auxWord;                             // 0x470
    int32_t singleTurnBits;                       // 0x474
    int32_t crcBits;                              // 0x478
    uint32_t crcPolynomial;                       // 0x47C
    uint32_t crcInitial;                          // 0x480
    int32_t alignmentBits;                        // 0x484
    int32_t protocol;                             // 0x488
    uint8_t reserved[0x4E8 - 0x48C];              // 0x48C
};

static_assert(offsetof(DecoderSettings, captureChannelCount) == 0x004);
static_assert(offsetof(DecoderSettings, lastSample) == 0x008);
static_assert(offsetof(DecoderSettings, cursorPosition) == 0x010);
static_assert(offsetof(DecoderSettings, hostValueFormat) == 0x040);
static_assert(offsetof(DecoderSettings, decoderChannelCount) == 0x044);
static_assert(offsetof(DecoderSettings, carried0A8) == 0x048);
static_assert(offsetof(DecoderSettings, hostFlags) == 0x050);
static_assert(offsetof(DecoderSettings, dialogAccepted) == 0x054);
static_assert(offsetof(DecoderSettings, sampleRate) == 0x058);
static_assert(offsetof(DecoderSettings, carried0FC) == 0x060);
static_assert(offsetof(DecoderSettings, settingsState) == 0x064);
static_assert(offsetof(DecoderSettings, channelTable) == 0x068);
static_assert(offsetof(DecoderSettings, optionWord) == 0x468);
static_assert(offsetof(DecoderSettings, colourWord) == 0x46C);
static_assert(offsetof(DecoderSettings, auxWord) == 0x470);
static_assert(offsetof(DecoderSettings, singleTurnBits) == 0x474);
static_assert(offsetof(DecoderSettings, crcBits) == 0x478);
static_assert(offsetof(DecoderSettings, crcPolynomial) == 0x47C);
static_assert(offsetof(DecoderSettings, crcInitial) == 0x480);
static_assert(offsetof(DecoderSettings, alignmentBits) == 0x484);
static_assert(offsetof(DecoderSettings, protocol) == 0x488);
static_assert(sizeof(DecoderSettings) == kSettingsBlockSize);

// The 128 decoder words of the host record map onto the block from optionWord on.
constexpr size_t kDecoderWordsOffset = offsetof(DecoderSettings, optionWord);
static_assert(kDecoderWordsOffset + kDecoderWordsSize == kSettingsBlockSize);

// Copy-in: a fresh block from the host record (dialogAccepted stays 0).
void CopySettingsIn(const HostRecord& host, DecoderSettings& block);
// Copy-out: the block back into the host record, with dialogResult 1 after OK, else 2.
void CopySettingsOut(const DecoderSettings& block, HostRecord& host);

// The copies of a call that only reads the settings, for a label asked once per record. In: the
// host's flags, its value format and the decoder words, written over a block that keeps its other
// fields (zero in a block that only this copy fills), so that no whole block is cleared per call.
// Out: what copying back a block that no dialog accepted changes in the host record (dialogResult
// becomes 2).
void CopyReadOnlySettingsIn(const HostRecord& host, DecoderSettings& block);
void CopyUnchangedSettingsOut(HostRecord& host);

int32_t Clamp(int32_t v, int32_t lo, int32_t hi);

// The mask of a CRC width: 0 below 1 bit, all ones from 32 bits on, else 2^bits - 1.
constexpr uint32_t CrcMask(int32_t bits) {
    return bits < 1 ? 0 : bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
}

// A non-owning typed view of one settings block.
class SettingsView {
  public:
    explicit SettingsView(DecoderSettings* block) : s_(block) {}
    DecoderSettings* Block() const { return s_; }

    // Channels: only entries 0 (MA) and 1 (SLO) are the decoder's; 16 bits each.
    uint32_t Channel(size_t index) const;
    void SetChannel(size_t index, uint32_t channel);
    void SetDecoderChannelCount() { s_->decoderChannelCount = 2; }

    uint32_t Version() const { return s_->settingsState >> 1; }
    bool IsInitialised() const { return (s_->settingsState & 1) != 0; }
    void SetVersion(uint32_t version) { s_->settingsState = static_cast<uint16_t>(version * 2 + 1); }

    uint32_t RangeFrom() const { return Field(0, 4); }
    uint32_t RangeTo() const { return Field(4, 4); }
    uint32_t Mode() const { return Field(8, 4); }
    int32_t DataLength() const { return static_cast<int32_t>(Field(12, 8)); }
    uint32_t ValueTypeSetting() const { return Field(20, 4); }
    uint32_t DataChannels() const { return Field(24, 4); }
    bool CombineTurns() const { return Field(28, 1) != 0; }
    bool AutoLength() const { return Field(29, 1) != 0; }
    uint32_t RegisterColumns() const { return Field(30, 1) ? 16 : 8; }
    void SetRangeFrom(uint32_t v) { SetField(0, 4, v); }
    void SetRangeTo(uint32_t v) { SetField(4, 4, v); }
    void SetMode(uint32_t v) { SetField(8, 4, v); }
    void SetDataLength(int32_t v) { SetField(12, 8, static_cast<uint32_t>(v)); }
    void SetValueType(uint32_t v) { SetField(20, 4, v); }
    void SetDataChannels(uint32_t v) { SetField(24, 4, v); }
    void SetCombineTurns(bool v) { SetField(28, 1, v ? 1 : 0); }
    void SetAutoLength(bool v) { SetField(29, 1, v ? 1 : 0); }
    void SetRegisterColumns(uint32_t v) { SetField(30, 1, v >= 16 ? 1 : 0); }

    uint32_t DetectedLength() const { return (s_->auxWord >> 4) & 0x3F; }
    void SetDetectedLength(uint32_t v);
    uint32_t ColourSlot(uint32_t k) const;
    void SetColourSlot(uint32_t k, uint32_t index);
    int32_t SloPhase() const;
    void SetSloPhase(int32_t v);

    int32_t SingleTurnBits() const { return s_->singleTurnBits; }
    void SetSingleTurnBits(int32_t v) { s_->singleTurnBits = v; }
    int32_t CrcBits() const { return s_->crcBits; }
    void SetCrcBits(int32_t v) { s_->crcBits = v; }
    uint32_t CrcPolynomial() const { return s_->crcPolynomial; }
    void SetCrcPolynomial(uint32_t v) { s_->crcPolynomial = v; }
    uint32_t CrcInitial() const { return s_->crcInitial; }
    void SetCrcInitial(uint32_t v) { s_->crcInitial = v; }
    int32_t AlignmentBitsStored() const { return s_->alignmentBits; }
    void SetAlignmentBits(int32_t v) { s_->alignmentBits = v; }
    void SetProtocol(int32_t v) { s_->protocol = v; }

    // Host-owned fields, read-only here.
    uint32_t HostFlags() const { return s_->hostFlags; }
    uint32_t HostValueFormat() const { return s_->hostValueFormat; }
    uint64_t SampleRate() const { return s_->sampleRate; }
    uint32_t CaptureChannelCount() const { return s_->captureChannelCount; }
    int64_t LastSample() const { return s_->lastSample; }
    int64_t CursorPosition(size_t i) const { return i < kCursorCount ? s_->cursorPosition[i] : 0; }

    // Derived values shared by engine, labels, report and dialog.
    bool IsRegisterMode() const { return Mode() == 0 || Mode() == 1; }
    Protocol ProtocolSetting() const;
    bool IsBissB() const { return ProtocolSetting() == Protocol::BissB; }
    int32_t ConfiguredCrcBits() const { return Clamp(s_->crcBits, 1, 16); }
    int32_t EffectiveCrcBits() const { return IsRegisterMode() ? 4 : ConfiguredCrcBits(); }
    uint32_t EffectiveCrcPolynomial() const { return IsRegisterMode() ? 0x13 : s_->crcPolynomial; }
    uint32_t EffectiveCrcInitial() const { return IsRegisterMode() ? 0 : s_->crcInitial; }
    uint32_t ConfiguredCrcMask() const { return CrcMask(ConfiguredCrcBits()); }
    uint32_t EffectiveCrcMask() const { return CrcMask(EffectiveCrcBits()); }
    int32_t Alignment() const;  // alignmentBits clamped to 0 .. dataLength - 1
    int32_t EffectiveDataLength() const;
    int32_t PositionBits() const;
    int32_t MultiTurnBits() const;
    // The widths in which the split values are shown: Single-Turn S = min(singleTurnBits, P),
    // Multi-Turn P - S. The stored count is taken as it is: a negative one gives a negative
    // Single-Turn width and a Multi-Turn width wider than P (computed in 64 bits and held at
    // INT32_MAX, so a count near INT32_MIN cannot overflow).
    int32_t SingleTurnWidth() const;
    int32_t MultiTurnWidth() const;

    // Upgrade from older versions (or defaults for a never-initialised block); then version 4.
    void Normalise();
    void ApplyDefaults();

  private:
    uint32_t Field(unsigned shift, unsigned width) const {
        return (s_->optionWord >> shift) & ((1u << width) - 1);
    }
    void SetField(unsigned shift, unsigned width, uint32_t value) {
        const uint32_t mask = ((1u << width) - 1) << shift;
        s_->optionWord = (s_->optionWord & ~mask) | ((value << shift) & mask);
    }

    DecoderSettings* s_;
};

}  // namespace zb
