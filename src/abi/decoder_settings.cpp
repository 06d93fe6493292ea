// Copy-in/copy-out of the settings block and the SettingsView rules: packed fields, clamps,
// derived values, defaults and the upgrade of blocks saved by older versions.
#include "abi/decoder_settings.h"

#include <cstring>

namespace zb {

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) {
    return v < lo ? lo : (v < hi ? v : hi);
}

void CopySettingsIn(const HostRecord& host, DecoderSettings& s) {
    std::memset(&s, 0, sizeof s);
    s.size = kSettingsBlockSize;
    s.captureChannelCount = host.captureChannelCount;
    s.lastSample = host.lastSample;
    std::memcpy(s.cursorPosition, host.cursorPosition, sizeof s.cursorPosition);
    s.hostValueFormat = host.hostValueFormat;
    s.decoderChannelCount = host.decoderChannelCount;
    s.carried0A8 = host.carried0A8;
    s.hostFlags = host.hostFlags;
    s.sampleRate = host.sampleRate;
    s.carried0FC = host.carried0FC;
    s.settingsState = host.settingsState;
    std::memcpy(s.channelTable, host.channelTable, sizeof s.channelTable);
    std::memcpy(reinterpret_cast<uint8_t*>(&s) + kDecoderWordsOffset, host.decoderWords, kDecoderWordsSize);
}

void CopySettingsOut(const DecoderSettings& s, HostRecord& host) {
    host.captureChannelCount = s.captureChannelCount;
    host.lastSample = s.lastSample;
    std::memcpy(host.cursorPosition, s.cursorPosition, sizeof s.cursorPosition);
    host.hostValueFormat = s.hostValueFormat;
    host.decoderChannelCount = s.decoderChannelCount;
    host.carried0A8 = s.carried0A8;
    host.hostFlags = s.hostFlags;
    host.sampleRate = s.sampleRate;
    host.carried0FC = s.carried0FC;
    host.settingsState = s.settingsState;
    std::memcpy(host.channelTable, s.channelTable, sizeof s.channelTable);
    std::memcpy(host.decoderWords, reinterpret_cast<const uint8_t*>(&s) + kDecoderWordsOffset,
                kDecoderWordsSize);
    host.dialogResult = s.dialogAccepted != 0 ? 1 : 2;
}

void CopyReadOnlySettingsIn(const HostRecord& host, DecoderSettings& s) {
    s.size = kSettingsBlockSize;
    s.hostValueFormat = host.hostValueFormat;
    s.hostFlags = host.hostFlags;
    std::memcpy(reinterpret_cast<uint8_t*>(&s) + kDecoderWordsOffset, host.decoderWords, kDecoderWordsSize);
}

void CopyUnchangedSettingsOut(HostRecord& host) {
    host.dialogResult = 2;
}

uint32_t SettingsView::Channel(size_t index) const {
    return index < 2 ? (s_->channelTable[index] & 0xFFFF) : 0;
}

void SettingsView::SetChannel(size_t index, uint32_t channel) {
    if (index < 2) s_->channelTable[index] = channel & 0xFFFF;
}

void SettingsView::SetDetectedLength(uint32_t v) {
    s_->auxWord = (s_->auxWord & ~(0x3Fu << 4)) | ((v & 0x3F) << 4);
}

uint32_t SettingsView::ColourSlot(uint32_t k) const {
    if (k < 8) return (s_->colourWord >> (4 * k)) & 0xF;
    if (k == 8) return s_->auxWord & 0xF;
    return 0;
}

void SettingsView::SetColourSlot(uint32_t k, uint32_t index) {
    if (k < 8) {
        s_->colourWord = (s_->colourWord & ~(0xFu << (4 * k))) | ((index & 0xF) << (4 * k));
    } else if (k == 8) {
        s_->auxWord = (s_->auxWord & ~0xFu) | (index & 0xF);
    }
}

// The phase is stored as a 7-bit magnitude in bits 30..24 and a sign in bit 31.
int32_t SettingsView::SloPhase() const {
    const int32_t magnitude = static_cast<int32_t>((s_->auxWord >> 24) & 0x7F);
    return (s_->auxWord & 0x80000000u) ? -magnitude : magnitude;
}

void SettingsView::SetSloPhase(int32_t v) {
    const int64_t magnitude = v < 0 ? -int64_t{v} : int64_t{v};
    uint32_t word = s_->auxWord & 0x00FFFFFFu;
    word |= static_cast<uint32_t>(magnitude > 63 ? 63 : magnitude) << 24;
    if (v < 0) word |= 0x80000000u;
    s_->auxWord = word;
}

Protocol SettingsView::ProtocolSetting() const {
    return s_->protocol == 1 ? Protocol::BissB : Protocol::BissC;
}

int32_t SettingsView::Alignment() const {
    const int32_t length = DataLength();
    if (length < 1) return 0;
    return Clamp(s_->alignmentBits, 0, length - 1);
}

int32_t SettingsView::EffectiveDataLength() const {
    const uint32_t detected = DetectedLength();
    if (AutoLength() && detected >= 1 && detected <= 64) return static_cast<int32_t>(detected);
    return DataLength();
}

int32_t SettingsView::PositionBits() const {
    const int32_t bits = EffectiveDataLength() - Alignment();
    return bits < 1 ? 0 : bits;
}

int32_t SettingsView::MultiTurnBits() const {
    // 64-bit difference: a stored single-turn count far below zero must not overflow.
    const int64_t bits = int64_t{PositionBits()} - s_->singleTurnBits;
    if (bits < 1) return 0;
    return bits > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bits);
}

int32_t SettingsView::SingleTurnWidth() const {
    const int32_t p = PositionBits();
    return s_->singleTurnBits < p ? s_->singleTurnBits : p;
}

int32_t SettingsView::MultiTurnWidth() const {
    const int64_t bits = int64_t{PositionBits()} - SingleTurnWidth();
    return bits > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bits);
}

void SettingsView::Normalise() {
    if (!IsInitialised()) {
        ApplyDefaults();
        return;
    }
    const uint32_t v = Version();
    if (v < 1) {
        s_->singleTurnBits = 8;
        s_->crcBits = 6;
        s_->crcPolynomial = 0x43;
        s_->crcInitial = 0;
    }
    if (v < 2) SetCombineTurns(false);
    if (v < 3) {
        s_->alignmentBits = 0;
        s_->protocol = 0;
    }
    if (v < 4) SetAutoLength(true);
    const int32_t p = PositionBits();
    if (p > 0 && s_->singleTurnBits > p) s_->singleTurnBits = p;
    SetVersion(kSettingsVersion);
}

void SettingsView::ApplyDefaults() {
    std::memset(reinterpret_cast<uint8_t*>(s_) + kDecoderWordsOffset, 0, kDecoderWordsSize);
    s_->channelTable[0] = 0;
    s_->channelTable[1] = 1;
    s_->decoderChannelCount = 2;
    SetRangeFrom(0);
    SetRangeTo(0);
    SetMode(static_cast<uint32_t>(DecodeMode::SingleCycle));
    SetDataLength(12);
    SetAutoLength(true);
    SetDetectedLength(0);
    SetValueType(0);
    SetDataChannels(0);
    SetRegisterColumns(8);
    SetCombineTurns(false);
    static constexpr uint8_t kDefaultSlots[9] = {0, 0, 2, 5, 5, 5, 0, 7, 13};
    for (uint32_t k = 0; k < 9; ++k) SetColourSlot(k, kDefaultSlots[k]);
    SetSloPhase(0);
    s_->singleTurnBits = 8;
    s_->crcBits = 6;
    s_->crcPolynomial = 0x43;
    s_->crcInitial = 0;
    s_->alignmentBits = 0;
    s_->protocol = 0;
    SetVersion(kSettingsVersion);
}

}  // namespace zb
