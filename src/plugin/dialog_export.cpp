// The ConfigDialog export: the settings frame (copy the settings out of the host record, work on
// the copy, copy it back) around the modal settings dialog. The host reads the outcome in
// dialogResult: 1 after OK, 2 after Cancel. The native library shows no dialog: it normalises the
// settings, leaves them otherwise unchanged and reports Cancel.
#include "abi/calling.h"
#include "abi/host_record.h"
#include "dialog/config_dialog.h"
#include "plugin/export_frame.h"
#include "plugin/module_state.h"

using namespace zb;

ZB_EXPORT void ZB_CALL ConfigDialog(HostRecord* host) {
    if (host == nullptr) return;
    Guarded(kRefused, [&] {
        SettingsFrame frame(*host);
        // Whatever the outcome, the block goes back: opening may have upgraded it and Default may
        // have reset it even when the user then cancels.
        RunSettingsDialog(Module().call, frame.Block());
        frame.CopyBack();
        return kDone;
    });
}
