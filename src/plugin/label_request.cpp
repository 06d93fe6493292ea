// DataConv's work: the label of one record for the host that asked, with its colours written into
// the host record and its text in the host's encoding.
#include "plugin/label_request.h"

#include "abi/colour_tables.h"
#include "abi/decoder_settings.h"
#include "labels/text_for_host.h"
#include "labels/waveform_label.h"
#include "plugin/label_memo.h"
#include "plugin/module_state.h"

namespace zb {
namespace {
constexpr uint32_t kColoursValid = 24;  // labelColourMask: text and back colour both set
constexpr uint32_t kNoColours = 0;
}  // namespace

void LabelRecordForHost(HostRecord& host, uint64_t codeOrList, char* text, uint32_t size) {
    ModuleState& module = Module();
    module.call.Remember(&host);
    // A bare code becomes a list of one; the host's own list is read only as far as its count goes.
    const uint32_t bareCode = static_cast<uint32_t>(codeOrList);
    CodeList list{1, &bareCode};
    if ((host.hostFlags & HostFlag::kCodeList) != 0) {
        const auto* hostList = reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(codeOrList));
        list = hostList != nullptr ? CodeList{hostList[0], hostList + 1} : CodeList{0, nullptr};
    }

    // Most labels have been made before for the same settings.
    LabelMemo& memo = module.labelMemo;
    const bool keeps =
        text != nullptr && list.count >= 1 && list.codes != nullptr && LabelMemo::Keeps(list.codes[0]);
    uint32_t colour = kNoColourIndex;
    if (keeps) memo.Settle(host);
    if (!keeps || !memo.Find(list.codes[0], text, size, colour)) {
        // A label reads only the flags, the value format and the decoder words, and changes no
        // setting, so only those are copied in and nothing but the dialog result is written back.
        DecoderSettings& block = module.labelSettings;
        CopyReadOnlySettingsIn(host, block);
        const SettingsView view(&block);
        uint32_t length = 0;
        colour = BuildWaveformLabel(module.call, view, list, text, size, &length);
        const bool unconverted =
            text != nullptr && size > 0 && ConvertForHostInPlace(&host, text, length, size);
        // A text cut to the buffer (its length one below the size) is not kept.
        if (keeps && unconverted && colour != kNoColourIndex && length + 1 < size)
            memo.Keep(list.codes[0], text, length, colour);
    }
    CopyUnchangedSettingsOut(host);

    if (colour == kNoColourIndex) {
        host.labelColourMask = kNoColours;
    } else {
        host.labelColourMask = kColoursValid;
        host.labelBackColour = GetItemColor(colour);
        host.labelTextColour = GetItemTextColor(colour);
    }
}

}  // namespace zb
