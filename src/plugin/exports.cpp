// The plug-in's C boundary for everything that needs no decode: identification, channel names,
// defaults, host messages, report column headers. Each export checks its arguments and calls the
// C++ core; no exception crosses it.
#include <cstring>

#include "platform/calling.h"
#include "plugin/host_record.h"
#include "plugin/module_state.h"

using namespace zb;

ZB_EXPORT uint32_t ZB_CALL GetPluginInfo(PluginInfo* info) {
    if (info != nullptr) {
        std::memset(info, 0, sizeof *info);
        info->recordSize = sizeof(PluginInfo);
        info->value512 = 512;
        info->value220 = 220;
        info->channelCount = 2;
        info->allOnes = 0xFFFFFFFFu;
        std::memcpy(info->name, "BiSS-C", 7);
        info->columnWidths = ColumnWidthTable();
    }
    return 2;
}

ZB_EXPORT uint32_t ZB_CALL DrawIt() { return 1; }
ZB_EXPORT uint32_t ZB_CALL DeleteNotify() __attribute__((alias("DrawIt")));
