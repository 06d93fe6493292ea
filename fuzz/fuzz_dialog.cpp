// Fuzz target: the settings dialog, headless, opened on an arbitrary settings block and driven by
// an arbitrary sequence of pastes, typed characters, list picks, clicks, spin steps and focus
// moves, then OK. An accepted OK must leave a block whose every setting is within its bounds; a
// refused OK (a CRC text that is not hexadecimal) must leave the block exactly as it was and say
// why in one of the two messages.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dialog/dialog_template.h"
#include "dialog/settings_dialog.h"
#include "fuzz_host.h"
#include "platform/ui/headless/headless_ui.h"

namespace {

using zb::ui::ItemKind;
namespace headless = zb::ui::headless;

// The ids of the template's items of the given kinds (OK and Cancel are pressed separately).
std::vector<int> IdsOf(std::initializer_list<ItemKind> kinds) {
    std::vector<int> ids;
    for (const zb::ui::ItemTemplate& item : zb::kSettingsItems) {
        const bool closes = item.id == zb::ui::kIdOk || item.id == zb::ui::kIdCancel;
        if (item.id != zb::ui::kNoId && !closes &&
            std::find(kinds.begin(), kinds.end(), item.kind) != kinds.end())
            ids.push_back(item.id);
    }
    return ids;
}
const std::vector<int> kEdits = IdsOf({ItemKind::Edit});
const std::vector<int> kSpins = IdsOf({ItemKind::Spin});
const std::vector<int> kLists = IdsOf({ItemKind::DropList, ItemKind::ColourList});
const std::vector<int> kClicks = IdsOf({ItemKind::CheckBox, ItemKind::PushButton});

int Pick(zbfuzz::FuzzInput& in, const std::vector<int>& ids) {
    return ids[in.U8() % ids.size()];
}

void CheckAccepted(const zb::DecoderSettings& block, const zb::DecoderSettings& before) {
    const zb::SettingsView v(const_cast<zb::DecoderSettings*>(&block));
    ZB_FUZZ_CHECK2(block.settingsState == 9, block.settingsState, 0);
    ZB_FUZZ_CHECK(block.dialogAccepted == 1 && block.decoderChannelCount == 2);
    ZB_FUZZ_CHECK2(v.Mode() <= 2, v.Mode(), 0);
    const int32_t length = v.DataLength();
    if (v.AutoLength()) {
        ZB_FUZZ_CHECK(length == zb::SettingsView(const_cast<zb::DecoderSettings*>(&before)).DataLength());
    } else {
        ZB_FUZZ_CHECK2(length >= 1 && length <= 64, length, 0);
        ZB_FUZZ_CHECK2(block.alignmentBits >= 0 && block.alignmentBits <= length - 1, block.alignmentBits,
                       length);
        ZB_FUZZ_CHECK2(block.singleTurnBits >= 1 && block.singleTurnBits <= length - block.alignmentBits,
                       block.singleTurnBits, length);
    }
    ZB_FUZZ_CHECK2(block.alignmentBits >= 0 && block.alignmentBits <= 63, block.alignmentBits, 0);
    ZB_FUZZ_CHECK2(block.singleTurnBits >= 1 && block.singleTurnBits <= 64, block.singleTurnBits, 0);
    ZB_FUZZ_CHECK2(v.SloPhase() >= -63 && v.SloPhase() <= 63, v.SloPhase(), 0);
    ZB_FUZZ_CHECK2(block.crcBits >= 1 && block.crcBits <= 16, block.crcBits, 0);
    ZB_FUZZ_CHECK2(block.protocol == 0 || block.protocol == 1, block.protocol, 0);
    ZB_FUZZ_CHECK2(v.DataChannels() <= 7, v.DataChannels(), 0);
    ZB_FUZZ_CHECK2(v.RangeFrom() <= 6 && v.RangeTo() <= 6, v.RangeFrom(), v.RangeTo());
    ZB_FUZZ_CHECK2(v.ValueTypeSetting() <= 4, v.ValueTypeSetting(), 0);
    ZB_FUZZ_CHECK2(block.channelTable[0] <= 0xFFFF && block.channelTable[1] <= 0xFFFF, block.channelTable[0],
                   block.channelTable[1]);
    // What the dialog does not edit is carried over.
    ZB_FUZZ_CHECK(v.ColourSlot(5) ==
                  zb::SettingsView(const_cast<zb::DecoderSettings*>(&before)).ColourSlot(5));
    ZB_FUZZ_CHECK(std::memcmp(block.reserved, before.reserved, sizeof block.reserved) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zbfuzz::StartModule();
    zbfuzz::FuzzInput in(data, size);
    headless::ClearMessageBoxes();

    zb::DecoderSettings block;
    std::memset(&block, 0, sizeof block);
    block.size = zb::kSettingsBlockSize;
    block.settingsState = in.U16();
    block.channelTable[0] = in.U32();
    block.channelTable[1] = in.U32();
    block.hostFlags = in.U32();
    uint8_t* words = reinterpret_cast<uint8_t*>(&block.optionWord);
    for (size_t i = 0; i < 40; ++i) words[i] = in.U8();

    // The host named a temporary directory (message 0), as StartModule does for the module.
    zb::CallContext call;
    call.tempDirectory = zbfuzz::TempDir().c_str();
    zb::cZbBiSSDlg dialog(call, &block);
    ZB_FUZZ_CHECK(headless::Open(dialog));
    ZB_FUZZ_CHECK2(block.settingsState == 9, block.settingsState, 0);  // normalised at opening
    int actions = 0;
    while (!in.Empty() && headless::IsOpen(dialog) && actions++ < 64) {
        switch (in.U8() % 7) {
            case 0: {
                const int id = Pick(in, kEdits);
                headless::Paste(dialog, id, in.Text(24));
                break;
            }
            case 1: {
                const int id = Pick(in, kEdits);
                const int start = in.U8() % 8;
                headless::SetSelection(dialog, id, start, start + in.U8() % 4);
                headless::Type(dialog, id, in.Text(8));
                break;
            }
            case 2: {
                const int id = Pick(in, kLists);
                headless::Select(dialog, id, static_cast<int8_t>(in.U8()));
                break;
            }
            case 3:
                headless::Click(dialog, Pick(in, kClicks));
                break;
            case 4: {
                const int id = Pick(in, kSpins);
                const bool enabled = dialog.IsItemEnabled(id);
                const intptr_t answer = headless::Step(dialog, id, static_cast<int16_t>(in.U16()));
                // Every step the dialog sees is answered as handled; a disabled spin sends none.
                ZB_FUZZ_CHECK2(answer == (enabled ? 1 : 0), answer, id);
                break;
            }
            case 5:
                headless::Focus(dialog, Pick(in, kEdits));
                break;
            default:
                headless::Click(dialog, zb::ui::kIdCancel);
                break;
        }
    }
    if (!headless::IsOpen(dialog)) {
        ZB_FUZZ_CHECK(block.dialogAccepted == 0);
        return 0;
    }
    const zb::DecoderSettings before = block;
    headless::Click(dialog, zb::ui::kIdOk);
    if (headless::IsOpen(dialog)) {
        // Refused: one message, the block untouched.
        ZB_FUZZ_CHECK2(headless::MessageBoxes().size() == 1, headless::MessageBoxes().size(), 0);
        const std::string& m = headless::MessageBoxes()[0];
        ZB_FUZZ_CHECK(m == zb::kBadPolynomialMessage || m == zb::kBadInitialMessage);
        ZB_FUZZ_CHECK(std::memcmp(&before, &block, sizeof block) == 0);
        headless::Click(dialog, zb::ui::kIdCancel);
        ZB_FUZZ_CHECK(!headless::IsOpen(dialog) && block.dialogAccepted == 0);
        return 0;
    }
    CheckAccepted(block, before);
    return 0;
}
