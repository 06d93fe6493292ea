// The plug-in's C boundary for everything that needs no decode: identification, channel names,
// defaults, report column headers, host messages and the two do-nothing entries. Each export checks
// its arguments and calls the C++ core; no exception crosses it. An export whose record or output
// pointer is null touches nothing and returns 0.
#include <cstdio>
#include <cstring>

#include "abi/calling.h"
#include "abi/decoder_settings.h"
#include "abi/host_record.h"
#include "labels/text_for_host.h"
#include "plugin/export_frame.h"
#include "plugin/module_state.h"
#include "report/report_columns.h"

using namespace zb;

namespace {

constexpr uint32_t kPluginInfoReturn = 2;  // the decoder's two inputs, MA and SLO
constexpr char kProtocolName[] = "BiSS-C";
constexpr char kDisplayName[] = "BiSS";
constexpr uint32_t kExtendedListRequest = 0x9694;
constexpr uint32_t kMaxQuickSetEntries = 7;
constexpr size_t kQuickSetEntrySize = 8;

enum class ChannelInput : uint32_t { Ma = 0, Slo = 1 };

// The quick-set choices a host may offer for this decoder: the plug-in offers none, so the
// provider reports a count of 0 and the extended part of the record stays untouched.
struct QuickSetList {
    uint32_t count = 0;
    uint32_t value = 0;
    const char* names[kMaxQuickSetEntries] = {};
};
QuickSetList ProvideQuickSetList() {
    return QuickSetList{};
}

// Copies `text` into buf[size], cut to size - 1 bytes and terminated.
void CopyCut(const char* text, char* buf, size_t size) {
    if (buf == nullptr || size == 0) return;
    size_t length = std::strlen(text);
    if (length > size - 1) length = size - 1;
    std::memcpy(buf, text, length);
    buf[length] = '\0';
}

// The UTF-8 name of decoder input `index`: "MA", "SLO", or the captured channel number stored for
// it. The table has 256 entries; an index past it has no channel and yields the empty text.
void ChannelText(const DecoderSettings& settings, uint32_t index, char* out, size_t size) {
    if (index == static_cast<uint32_t>(ChannelInput::Ma)) {
        CopyCut("MA", out, size);
    } else if (index == static_cast<uint32_t>(ChannelInput::Slo)) {
        CopyCut("SLO", out, size);
    } else if (index < kChannelTableEntries) {
        const int written =
            std::snprintf(out, size, "%d", static_cast<int32_t>(settings.channelTable[index]));
        if (written < 0) CopyCut("", out, size);
    } else {
        CopyCut("", out, size);
    }
}

}  // namespace

ZB_EXPORT uint32_t ZB_CALL GetPluginInfo(PluginInfo* info) {
    if (info != nullptr) {
        std::memset(info, 0, sizeof *info);
        info->recordSize = sizeof(PluginInfo);
        info->value512 = 512;
        info->value220 = 220;
        info->channelCount = kPluginInfoReturn;
        info->allOnes = 0xFFFFFFFFu;
        std::memcpy(info->name, kProtocolName, sizeof kProtocolName);
        info->columnWidths = ColumnWidthTable();
    }
    return kPluginInfoReturn;
}

ZB_EXPORT uint32_t ZB_CALL GetDisplayName(char* buffer) {
    if (buffer == nullptr) return kRefused;
    std::memcpy(buffer, kDisplayName, sizeof kDisplayName);  // the host's buffer holds 32 bytes
    return kDone;
}

ZB_EXPORT uint32_t ZB_CALL GetQuickSetInfo(QuickSetInfo* info) {
    if (info == nullptr) return kRefused;
    const bool extended = (info->request >> 16) == kExtendedListRequest;
    // Only the first 16 bytes are written unless an extended list is actually delivered: a host
    // that does not ask for it may hand a shorter record.
    info->request = 2;
    info->value1600 = 1600;
    info->sampleRate = 200000000;
    if (extended) {
        const QuickSetList list = ProvideQuickSetList();
        if (list.count >= 1 && list.count <= kMaxQuickSetEntries) {
            info->entryCount = list.count;
            info->entryValue = list.value;
            for (uint32_t i = 0; i < list.count; ++i) {
                info->entries[i][0] = '\0';
                CopyCut(list.names[i] != nullptr ? list.names[i] : "", info->entries[i], kQuickSetEntrySize);
            }
        }
    }
    return kDone;
}

ZB_EXPORT uint32_t ZB_CALL ChannelName(HostRecord* host, uint32_t index, char* buffer, uint32_t size) {
    if (host == nullptr) return kRefused;
    return Guarded(kRefused, [&] {
        SettingsFrame frame(*host);
        if (buffer != nullptr && size > 0) {
            ChannelText(frame.Block(), index, buffer, size);
            ConvertForHostInPlace(host, buffer, size);
        }
        frame.CopyBack();
        return kDone;
    });
}

ZB_EXPORT uint32_t ZB_CALL DefaultSettings(HostRecord* host) {
    if (host == nullptr) return kRefused;
    return Guarded(kRefused, [&] {
        SettingsFrame frame(*host);
        frame.View().ApplyDefaults();
        frame.CopyBack();
        return kDone;
    });
}

ZB_EXPORT uint32_t ZB_CALL GetReportColumnStr(HostRecord* host, char* buffer, int32_t size) {
    if (host == nullptr) return kRefused;
    return Guarded(kRefused, [&] {
        // The header depends on the settings but changes none of them: nothing is copied back.
        SettingsFrame frame(*host);
        if (buffer != nullptr && size > 0) {
            BuildColumnHeader(frame.Block(), buffer, size);
            ConvertForHostInPlace(host, buffer, static_cast<size_t>(size));
        }
        return kDone;
    });
}

ZB_EXPORT void ZB_CALL SetMsgInfo(uint64_t message, const void* data) {
    Guarded(kRefused, [&] {
        StoreHostMessage(Module().messages, message, data);
        return kDone;
    });
}

// The host calls these around its own drawing and when it deletes a decoder; the plug-in has
// nothing to do then. One function, exported under both names.
ZB_EXPORT uint32_t ZB_CALL DrawIt() noexcept {
    return kDone;
}
ZB_EXPORT uint32_t ZB_CALL DeleteNotify() noexcept __attribute__((alias("DrawIt")));
