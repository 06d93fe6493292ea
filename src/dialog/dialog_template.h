// The "BiSS Settings" dialog template (resource 9001): the ids of its items and the item table the
// headless dialog opens from. ZbBiSS64.rc builds the Windows resource from the same item list.
#pragma once

#include <cstddef>

#include "platform/ui/ui.h"

namespace zb {

constexpr int kSettingsDialogId = 9001;
constexpr int kBitmapResourceId = 9000;
constexpr size_t kSettingsItemCount = 68;

// Item ids of the settings dialog.
enum class ItemId : int {
    MaEdit = 9010,
    MaSpin = 9011,
    SloEdit = 9012,
    SloSpin = 9013,
    Mode = 9014,
    DataChannel = 9015,
    Length = 9020,
    LengthSpin = 9021,
    LengthHint = 9022,
    Alignment = 9023,
    AlignmentSpin = 9024,
    Combine = 9025,
    SingleTurnLabel = 9026,
    SingleTurn = 9027,
    SingleTurnSpin = 9028,
    MultiTurnLabel = 9029,
    MultiTurnBits = 9030,
    Auto = 9031,
    CrcBits = 9040,
    CrcPolynomial = 9041,
    CrcInitial = 9042,
    CrcBitsLabel = 9043,
    CrcPolynomialLabel = 9044,
    CrcInitialLabel = 9045,
    Protocol = 9050,
    ValueTypeLabel = 9051,
    ValueType = 9052,
    SloPhase = 9053,
    SloPhaseSpin = 9054,
    RegisterColumnsLabel = 9055,
    RegisterColumns = 9056,
    FirstPicker = 9060,
    From = 9070,
    To = 9071,
    Default = 9072,
    Ok = ui::kIdOk,
    Cancel = ui::kIdCancel,
};

constexpr int Id(ItemId id) {
    return static_cast<int>(id);
}

extern const ui::ItemTemplate kSettingsItems[kSettingsItemCount];
extern const ui::DialogTemplate kSettingsTemplate;

}  // namespace zb
