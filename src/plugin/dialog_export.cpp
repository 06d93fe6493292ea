// The ConfigDialog export: the settings frame (copy the settings out of the host record, work on
// the copy, copy it back) around the modal settings dialog. The host reads the outcome in
// dialogResult: 1 after OK, 2 after Cancel. The native library shows no dialog: it normalises the
// settings and reports Cancel.
#include "dialog/config_dialog.h"
#include "platform/calling.h"
#include "plugin/decoder_settings.h"
#include "plugin/host_record.h"

using namespace zb;

ZB_EXPORT void ZB_CALL ConfigDialog(HostRecord* host) {
    if (host == nullptr) return;
    try {
        DecoderSettings block;
        CopySettingsIn(*host, block);
        RunSettingsDialog(block);
        CopySettingsOut(block, *host);
    } catch (...) {
        // Nothing may cross the boundary; the host record keeps whatever was copied back.
    }
}
