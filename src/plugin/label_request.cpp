// DataConv's work: the label of one record for the host that asked, with its colours written into
// the host record and its text in the host's encoding.
#include "plugin/label_request.h"

#include "abi/colour_tables.h"
#include "abi/decoder_settings.h"
#include "labels/text_for_host.h"
#include "labels/waveform_label.h"
#include "plugin/module_state.h"

namespace zb {
namespace {
constexpr uint32_t kColoursValid = 24;  // labelColourMask: text and back colour both set
constexpr uint32_t kNoColours = 0;
}  // namespace

void LabelRecordForHost(HostRecord& host, uint64_t codeOrList, char* text, uint32_t size) {
    // A host asks once per record: the label reads only the flags, the value format and the decoder
    // words, and changes no setting, so only those are copied in and nothing but the dialog result
    // is written back.
    ModuleState& module = Module();
    DecoderSettings& block = module.labelSettings;
    CopyReadOnlySettingsIn(host, block);
    module.call.Remember(&host);
    const SettingsView view(&block);

    // A bare code becomes a list of one; the host's own list is read only as far as its count goes.
    const uint32_t bareCode = static_cast<uint32_t>(codeOrList);
    CodeList list{1, &bareCode};
    if ((view.HostFlags() & HostFlag::kCodeList) != 0) {
        const auto* hostList = reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(codeOrList));
        list = hostList != nullptr ? CodeList{hostList[0], hostList + 1} : CodeList{0, nullptr};
    }

    uint32_t length = 0;
    const uint32_t colour = BuildWaveformLabel(module.call, view, list, text, size, &length);
    CopyUnchangedSettingsOut(host);

    if (colour == kNoColourIndex) {
        host.labelColourMask = kNoColours;
    } else {
        host.labelColourMask = kColoursValid;
        host.labelBackColour = GetItemColor(colour);
        host.labelTextColour = GetItemTextColor(colour);
    }
    if (text != nullptr && size > 0) ConvertForHostInPlace(&host, text, length, size);
}

}  // namespace zb
