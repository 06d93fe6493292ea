// Running the settings dialog for the ConfigDialog export.
#include "dialog/config_dialog.h"

#include "dialog/settings_dialog.h"
#include "platform/ui/ui.h"

namespace zb {

void RunSettingsDialog(CallContext& call, DecoderSettings& block) {
    block.dialogAccepted = 0;
    if (ui::CanShowDialogs()) {
        cZbBiSSDlg dialog(call, &block);
        if (dialog.DoModal() != ui::DialogResult::Failed) return;
    }
    // No dialog could be shown: the settings are brought up to date and otherwise left as they
    // were, and the host is told that the dialog was cancelled.
    SettingsView(&block).Normalise();
    block.dialogAccepted = 0;
}

}  // namespace zb
