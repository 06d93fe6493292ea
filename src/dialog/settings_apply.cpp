// The settings dialog between opening and closing: reading and clamping the numeric fields, the
// bit hints, the spin steps, the check of the two hexadecimal CRC texts, writing every control
// back into the block, and the OK, Cancel and Default buttons.
#include <algorithm>

#include "dialog/dialog_template.h"
#include "dialog/settings_dialog.h"
#include "dialog/text_number.h"

namespace zb {

namespace {

// What an empty field stands for, and the bounds of the fields.
constexpr int32_t kDefaultLength = 12;
constexpr int32_t kDefaultAlignment = 0;
constexpr int32_t kDefaultSingleTurn = 8;
constexpr int32_t kDefaultPhase = 0;
constexpr int32_t kMinLength = 1;
constexpr int32_t kMaxLength = 64;
constexpr int32_t kMaxPhase = 63;

// What OK stores for a list without a selection.
constexpr int kFallbackMode = static_cast<int>(DecodeMode::SingleCycle);
constexpr int kFallbackCrcBits = 6;
constexpr int kWideColumnsIndex = 1;

int SelectionOr(const ui::ComboBox& list, int fallback) {
    const int selection = list.GetCurSel();
    return selection < 0 ? fallback : selection;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

int32_t cZbBiSSDlg::ReadIntField(const ui::Edit& edit, int32_t fallback) {
    const std::string text = edit.GetText();
    return text.empty() ? fallback : ParseDecimal(text);
}

void cZbBiSSDlg::WriteIntField(ui::Edit& edit, int32_t value) {
    edit.SetText(DecimalText(value));
}

bool cZbBiSSDlg::IsHexText(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsHexDigit);
}

uint32_t cZbBiSSDlg::HexValue(const std::string& text) {
    uint64_t value = 0;
    for (char c : text) {
        const unsigned digit = (c >= '0' && c <= '9') ? c - '0' : ((c | 0x20) - 'a' + 10);
        value = value * 16 + digit;
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

void cZbBiSSDlg::UpdateBitHints() {
    const int32_t length = std::clamp(ReadIntField(lengthEdit_, kDefaultLength), kMinLength, kMaxLength);
    const int32_t alignment =
        std::min(std::max(ReadIntField(alignmentEdit_, kDefaultAlignment), 0), length - 1);
    const int32_t remaining = length - alignment;
    alignmentSpin_.SetRange32(0, std::max(length - 1, 0));
    singleTurnSpin_.SetRange32(1, std::max(remaining, 1));
    const int32_t singleTurn =
        std::min(std::max(ReadIntField(singleTurnEdit_, kDefaultSingleTurn), 1), remaining);
    if (HasItem(Id(ItemId::LengthHint))) {
        SetItemText(Id(ItemId::LengthHint),
                    "(Range: " + DecimalText(kMinLength) + " ~ " + DecimalText(kMaxLength) + ")");
    }
    multiTurnLabel_.SetText(DecimalText(std::max(remaining - singleTurn, 0)) + " bits");
}

intptr_t cZbBiSSDlg::OnSpinStep(const ui::SpinStep& step) {
    intptr_t result = 0;
    if (maSelector_.HandleSpinStep(&step, result) || sloSelector_.HandleSpinStep(&step, result))
        return result;
    // The spins have no buddy: the step moves the value of the edit beside the spin, and the spin
    // itself never moves (the answer is always 1).
    const int64_t delta = step.delta;
    switch (static_cast<ItemId>(step.id)) {
        case ItemId::LengthSpin: {
            const int64_t n = ReadIntField(lengthEdit_, kDefaultLength) + delta;
            WriteIntField(lengthEdit_, static_cast<int32_t>(std::clamp<int64_t>(n, kMinLength, kMaxLength)));
            UpdateBitHints();
            break;
        }
        case ItemId::AlignmentSpin: {
            const int64_t length = ReadIntField(lengthEdit_, kDefaultLength);
            const int64_t upper = length < 1 ? 0 : length - 1;
            const int64_t n = ReadIntField(alignmentEdit_, kDefaultAlignment) + delta;
            WriteIntField(alignmentEdit_, static_cast<int32_t>(std::min(std::max<int64_t>(n, 0), upper)));
            UpdateBitHints();
            break;
        }
        case ItemId::SingleTurnSpin: {
            const int64_t remaining = static_cast<int64_t>(ReadIntField(lengthEdit_, kDefaultLength)) -
                                      ReadIntField(alignmentEdit_, kDefaultAlignment);
            const int64_t upper = remaining < 1 ? 1 : remaining;
            const int64_t n = ReadIntField(singleTurnEdit_, kDefaultSingleTurn) + delta;
            WriteIntField(singleTurnEdit_, static_cast<int32_t>(std::min(std::max<int64_t>(n, 1), upper)));
            UpdateBitHints();
            break;
        }
        case ItemId::SloPhaseSpin: {
            const int64_t n = ReadIntField(phaseEdit_, kDefaultPhase) + delta;
            WriteIntField(phaseEdit_, static_cast<int32_t>(std::clamp<int64_t>(n, -kMaxPhase, kMaxPhase)));
            break;
        }
        default:
            break;
    }
    return 1;
}

bool cZbBiSSDlg::ApplySettings() {
    const std::string polynomialText = crcPolynomialEdit_.GetText();
    const std::string initialText = crcInitialEdit_.GetText();
    if (!IsHexText(polynomialText)) {
        ShowMessageBox(kBadPolynomialMessage, kMessageCaption);
        crcPolynomialEdit_.SetFocus();
        return false;
    }
    if (!IsHexText(initialText)) {
        ShowMessageBox(kBadInitialMessage, kMessageCaption);
        crcInitialEdit_.SetFocus();
        return false;
    }

    const int32_t length = std::clamp(ReadIntField(lengthEdit_, kDefaultLength), kMinLength, kMaxLength);
    const int32_t alignment = std::clamp(ReadIntField(alignmentEdit_, kDefaultAlignment), 0, length - 1);
    const int32_t remaining = length - alignment;
    const int32_t singleTurn = std::clamp(ReadIntField(singleTurnEdit_, kDefaultSingleTurn), 1, remaining);
    const int32_t phase = std::max(std::min(ReadIntField(phaseEdit_, kDefaultPhase), kMaxPhase), -kMaxPhase);
    const bool automatic = autoCheck_.GetCheck();

    SettingsView& v = *view_;
    v.SetMode(static_cast<uint32_t>(SelectionOr(modeList_, kFallbackMode)));
    // With Auto the decode finds the length; the configured one stays as it was.
    if (!automatic) v.SetDataLength(length);
    v.SetAlignmentBits(alignment);
    v.SetSingleTurnBits(singleTurn);
    v.SetCombineTurns(combineCheck_.GetCheck());
    v.SetAutoLength(automatic);
    v.SetDataChannels(static_cast<uint32_t>(SelectionOr(dataChannelList_, 0)));
    v.SetRegisterColumns(registerColumnsList_.GetCurSel() == kWideColumnsIndex ? 16 : 8);
    v.SetProtocol(SelectionOr(protocolList_, 0));
    v.SetValueType(static_cast<uint32_t>(SelectionOr(valueTypeList_, 0)));
    v.SetSloPhase(phase);
    const int crcBitsSelection = crcBitsList_.GetCurSel();
    v.SetCrcBits(crcBitsSelection < 0 ? kFallbackCrcBits : crcBitsSelection + 1);
    v.SetCrcPolynomial(HexValue(polynomialText));
    v.SetCrcInitial(HexValue(initialText));
    for (int k = 0; k < kPickerCount; ++k) {
        v.SetColourSlot(kPickerSlots[k],
                        static_cast<uint32_t>(SelectionOr(pickers_[k], static_cast<int>(kPickerSlots[k]))));
    }
    v.SetChannel(0, static_cast<uint32_t>(maSelector_.GetChannel()));
    v.SetChannel(1, static_cast<uint32_t>(sloSelector_.GetChannel()));
    v.SetRangeFrom(static_cast<uint32_t>(SelectionOr(fromList_, 0)));
    v.SetRangeTo(static_cast<uint32_t>(SelectionOr(toList_, 0)));
    v.SetVersion(kSettingsVersion);
    v.SetDecoderChannelCount();
    return true;
}

void cZbBiSSDlg::OnOkClicked() {
    if (!ApplySettings()) return;  // stays open, the focus on the rejected edit
    block_->settingsState |= 1;
    block_->dialogAccepted = 1;
    EndDialog(ui::DialogResult::Ok);
}

void cZbBiSSDlg::OnCancelClicked() {
    // Nothing is restored: what opening and Default wrote stays in the block.
    block_->dialogAccepted = 0;
    EndDialog(ui::DialogResult::Cancel);
}

void cZbBiSSDlg::OnDefaultClicked() {
    view_->ApplyDefaults();
    LoadControls();
}

void cZbBiSSDlg::ResetToDefaults() {
    view_->ApplyDefaults();
}

}  // namespace zb
