// cZbBiSSDlg, the modal "BiSS Settings" dialog that edits one settings block: opening (lists
// filled, channels bound, block normalised and loaded), the enabling rules, the bit hints, the
// spin steps, the CRC text checks and OK, Cancel and Default. The controls hold every pending
// edit; the block is written only at opening, by Default, by OK and by Cancel.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "abi/call_context.h"
#include "abi/decoder_settings.h"
#include "dialog/channel_edit.h"
#include "dialog/colour_picker.h"
#include "platform/ui/ui.h"

namespace zb {

constexpr int kPickerCount = 8;
// The colour slot each picker edits, in id order AckColour..WriteColour (slot 5 has no picker).
constexpr uint32_t kPickerSlots[kPickerCount] = {0, 1, 2, 3, 4, 6, 7, 8};

constexpr char kMessageCaption[] = "ZbBiSS64";
constexpr char kBadPolynomialMessage[] = "CRC Polynomial must be a hexadecimal value (0-9, A-F).";
constexpr char kBadInitialMessage[] = "CRC Initial Value must be a hexadecimal value (0-9, A-F).";

class cZbBiSSDlg : public ui::Dialog {
  public:
    // Edits `block`; the call's context gives the host's temporary directory (a host that names
    // one formats values itself) and takes the status of the opening checks.
    cZbBiSSDlg(CallContext& call, DecoderSettings* block);
    ~cZbBiSSDlg() override;

    bool OnInitDialog() override;
    void DoDataExchange() override;
    void OnCommand(int id, ui::Notification what) override;
    intptr_t OnSpinStep(const ui::SpinStep& step) override;
    void OnOK() override { OnOkClicked(); }
    void OnCancel() override { OnCancelClicked(); }

    void LoadControls();
    void UpdateEnabling();
    void UpdateBitHints();
    bool ApplySettings();
    void OnOkClicked();
    void OnCancelClicked();
    void OnDefaultClicked();
    // Needs no window: the defaults straight into the block.
    void ResetToDefaults();

    static int32_t ReadIntField(const ui::Edit& edit, int32_t fallback);
    static void WriteIntField(ui::Edit& edit, int32_t value);
    static bool IsHexText(const std::string& text);
    // The hexadecimal text as an unsigned 32-bit value; FFFFFFFF when it does not fit.
    static uint32_t HexValue(const std::string& text);

  private:
    void FillLists();
    void HideValueTypeWhenHostNamesDirectory();

    CallContext& call_;
    DecoderSettings* block_;
    std::unique_ptr<SettingsView> view_;
    ZbChCEdit maEdit_;
    ZbChCEdit sloEdit_;
    ui::Spin maSpin_;
    ui::Spin sloSpin_;
    ChannelSelector maSelector_;
    ChannelSelector sloSelector_;
    ui::Edit lengthEdit_, alignmentEdit_, singleTurnEdit_;
    ui::Spin lengthSpin_, alignmentSpin_, singleTurnSpin_;
    ui::Button combineCheck_, autoCheck_;
    ui::Static multiTurnLabel_;
    ui::ComboBox crcBitsList_;
    ui::Edit crcPolynomialEdit_, crcInitialEdit_;
    ui::ComboBox protocolList_, valueTypeList_, dataChannelList_, modeList_, registerColumnsList_;
    ui::Edit phaseEdit_;
    ui::Spin phaseSpin_;
    CColorPicker pickers_[kPickerCount];
    ui::ComboBox fromList_, toList_;
};

}  // namespace zb
