// The settings dialog's opening, loading and enabling: the lists are filled, the channel fields
// bound, the block normalised and every setting shown; the mode, Combine and Auto decide which
// controls may be edited.
#include "dialog/settings_dialog.h"

#include "dialog/dialog_template.h"
#include "dialog/text_number.h"

namespace zb {

namespace {

// The list texts; each table ends with a null entry and filling stops there.
const char* const kProtocolNames[] = {"BiSS-C", "BiSS-B", nullptr};
const char* const kValueTypeNames[] = {"HEX", "DEC", "OCT", "BIN", nullptr};
const char* const kFromNames[] = {"Buffer Head", "Cursor Trigger(T)", "Cursor A", "Cursor B",
                                  "Cursor C",    "Cursor D",          "Cursor E", nullptr};
const char* const kToNames[] = {"Buffer Tail", "Cursor Trigger(T)", "Cursor A", "Cursor B",
                                "Cursor C",    "Cursor D",          "Cursor E", nullptr};
const char* const kModeNames[] = {"Register Access - Master (CDM)", "Register Access - Slave (CDS)",
                                  "Single Cycle Data (SCD)", nullptr};

constexpr int kDataChannelChoices = 8;
constexpr int kCrcBitChoices = 16;
constexpr int kRegisterModeCrcBitsIndex = 3;  // "4"
constexpr uint32_t kRegisterModeCrcPolynomial = 0x13;
constexpr uint32_t kRegisterModeCrcInitial = 0;
constexpr int kWideRegisterColumns = 16;

void Fill(ui::ComboBox& list, const char* const* names) {
    for (; *names != nullptr; ++names) list.AddString(*names);
}

void FillNumbers(ui::ComboBox& list, int first, int last) {
    for (int n = first; n <= last; ++n) list.AddString(DecimalText(n));
}

bool IsRegisterSelection(int selection) {
    return selection == static_cast<int>(DecodeMode::RegisterMaster) ||
           selection == static_cast<int>(DecodeMode::RegisterSlave);
}

}  // namespace

cZbBiSSDlg::cZbBiSSDlg(CallContext& call, DecoderSettings* block)
    : ui::Dialog(kSettingsTemplate),
      call_(call),
      block_(block),
      view_(std::make_unique<SettingsView>(block)) {}

cZbBiSSDlg::~cZbBiSSDlg() = default;

void cZbBiSSDlg::DoDataExchange() {
    Bind(Id(ItemId::MaEdit), maEdit_);
    Bind(Id(ItemId::SloEdit), sloEdit_);
    Bind(Id(ItemId::MaSpin), maSpin_);
    Bind(Id(ItemId::SloSpin), sloSpin_);
    Bind(Id(ItemId::Length), lengthEdit_);
    Bind(Id(ItemId::Alignment), alignmentEdit_);
    Bind(Id(ItemId::SingleTurn), singleTurnEdit_);
    Bind(Id(ItemId::LengthSpin), lengthSpin_);
    Bind(Id(ItemId::AlignmentSpin), alignmentSpin_);
    Bind(Id(ItemId::SingleTurnSpin), singleTurnSpin_);
    Bind(Id(ItemId::Combine), combineCheck_);
    Bind(Id(ItemId::Auto), autoCheck_);
    Bind(Id(ItemId::MultiTurnBits), multiTurnLabel_);
    Bind(Id(ItemId::CrcBits), crcBitsList_);
    Bind(Id(ItemId::CrcPolynomial), crcPolynomialEdit_);
    Bind(Id(ItemId::CrcInitial), crcInitialEdit_);
    Bind(Id(ItemId::Protocol), protocolList_);
    Bind(Id(ItemId::ValueType), valueTypeList_);
    Bind(Id(ItemId::DataChannel), dataChannelList_);
    Bind(Id(ItemId::Mode), modeList_);
    Bind(Id(ItemId::RegisterColumns), registerColumnsList_);
    Bind(Id(ItemId::SloPhase), phaseEdit_);
    Bind(Id(ItemId::SloPhaseSpin), phaseSpin_);
    for (int k = 0; k < kPickerCount; ++k) Bind(Id(ItemId::AckColour) + k, pickers_[k]);
    Bind(Id(ItemId::From), fromList_);
    Bind(Id(ItemId::To), toList_);
}

void cZbBiSSDlg::FillLists() {
    Fill(protocolList_, kProtocolNames);
    Fill(valueTypeList_, kValueTypeNames);
    Fill(fromList_, kFromNames);
    Fill(toList_, kToNames);
    Fill(modeList_, kModeNames);
    FillNumbers(dataChannelList_, 1, kDataChannelChoices);
    registerColumnsList_.AddString("8");
    registerColumnsList_.AddString("16");
    FillNumbers(crcBitsList_, 1, kCrcBitChoices);
    for (CColorPicker& picker : pickers_) picker.FillColorItems();
}

bool cZbBiSSDlg::OnInitDialog() {
    FillLists();
    maSelector_.Bind(&maEdit_, &maSpin_, block_->captureChannelCount, block_->hostFlags);
    sloSelector_.Bind(&sloEdit_, &sloSpin_, block_->captureChannelCount, block_->hostFlags);
    lengthSpin_.SetRange32(1, 64);
    alignmentSpin_.SetRange32(0, 63);
    singleTurnSpin_.SetRange32(1, 64);
    phaseSpin_.SetRange32(-63, 63);
    // Written into the block at once: an upgrade reaches the host even if the user cancels.
    view_->Normalise();
    LoadControls();
    HideValueTypeWhenHostNamesDirectory();
    return true;
}

// A host that names a directory for temporary files formats values itself, so the Value Type
// row is hidden (it is still loaded and written back).
void cZbBiSSDlg::HideValueTypeWhenHostNamesDirectory() {
    if (!HasWindow()) {
        call_.status = ReportStatusCode::NoDialog;
        return;
    }
    // The host's message 0 as the context holds it; a context without one cannot answer.
    const char* directory = call_.tempDirectory;
    if (directory == nullptr) {
        call_.status = ReportStatusCode::GetterFailed;
        return;
    }
    if (directory[0] != '\0') {
        ShowItem(Id(ItemId::ValueTypeLabel), false);
        ShowItem(Id(ItemId::ValueType), false);
    }
}

void cZbBiSSDlg::LoadControls() {
    const SettingsView& v = *view_;
    maSelector_.SetChannel(static_cast<int32_t>(v.Channel(0)));
    sloSelector_.SetChannel(static_cast<int32_t>(v.Channel(1)));
    protocolList_.SetCurSel(static_cast<int>(v.ProtocolSetting()));
    valueTypeList_.SetCurSel(static_cast<int>(v.ValueTypeSetting()));
    WriteIntField(lengthEdit_, v.EffectiveDataLength());
    WriteIntField(alignmentEdit_, v.Alignment());
    WriteIntField(singleTurnEdit_, v.SingleTurnBits());
    WriteIntField(phaseEdit_, v.SloPhase());
    combineCheck_.SetCheck(v.CombineTurns());
    autoCheck_.SetCheck(v.AutoLength());
    crcBitsList_.SetCurSel(v.EffectiveCrcBits() - 1);
    crcPolynomialEdit_.SetText(HexText(v.EffectiveCrcPolynomial()));
    crcInitialEdit_.SetText(HexText(v.EffectiveCrcInitial()));
    for (int k = 0; k < kPickerCount; ++k)
        pickers_[k].SetCurSel(static_cast<int>(v.ColourSlot(kPickerSlots[k])));
    modeList_.SetCurSel(static_cast<int>(v.Mode()));
    dataChannelList_.SetCurSel(static_cast<int>(v.DataChannels()));
    registerColumnsList_.SetCurSel(v.RegisterColumns() < static_cast<uint32_t>(kWideRegisterColumns) ? 0 : 1);
    fromList_.SetCurSel(static_cast<int>(v.RangeFrom()));
    toList_.SetCurSel(static_cast<int>(v.RangeTo()));
    UpdateEnabling();
    UpdateBitHints();
}

void cZbBiSSDlg::UpdateEnabling() {
    // Read from the controls, not from the block: pending edits count.
    const bool registerAccess = IsRegisterSelection(modeList_.GetCurSel());
    const bool combine = combineCheck_.GetCheck();
    const bool automatic = autoCheck_.GetCheck();

    // Register accesses always carry the 4-bit control CRC x^4 + x + 1 starting from 0.
    if (registerAccess) {
        crcBitsList_.SetCurSel(kRegisterModeCrcBitsIndex);
        crcPolynomialEdit_.SetText(HexText(kRegisterModeCrcPolynomial));
        crcInitialEdit_.SetText(HexText(kRegisterModeCrcInitial));
    }
    for (ItemId id : {ItemId::CrcBits, ItemId::CrcPolynomial, ItemId::CrcInitial, ItemId::CrcBitsLabel,
                      ItemId::CrcPolynomialLabel, ItemId::CrcInitialLabel}) {
        if (HasItem(Id(id))) EnableItem(Id(id), !registerAccess);
    }
    for (ItemId id : {ItemId::SingleTurn, ItemId::SingleTurnSpin, ItemId::MultiTurnBits,
                      ItemId::SingleTurnLabel, ItemId::MultiTurnLabel}) {
        EnableItem(Id(id), !registerAccess && !combine);
    }
    for (ItemId id : {ItemId::Combine, ItemId::Alignment, ItemId::AlignmentSpin})
        EnableItem(Id(id), !registerAccess);
    for (ItemId id : {ItemId::Length, ItemId::LengthSpin}) EnableItem(Id(id), !automatic);
}

void cZbBiSSDlg::OnCommand(int id, ui::Notification what) {
    switch (static_cast<ItemId>(id)) {
        case ItemId::Default:
            if (what == ui::Notification::Clicked) OnDefaultClicked();
            break;
        case ItemId::Combine:
            if (what == ui::Notification::Clicked) {
                UpdateEnabling();
                UpdateBitHints();
            }
            break;
        case ItemId::Auto:
            if (what == ui::Notification::Clicked) UpdateEnabling();
            break;
        case ItemId::Mode:
            if (what == ui::Notification::SelectionChanged) UpdateEnabling();
            break;
        case ItemId::Length:
            if (what == ui::Notification::TextChanged) UpdateBitHints();
            break;
        default:
            break;
    }
}

}  // namespace zb
