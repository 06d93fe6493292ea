// The work of the ConfigDialog export on the export's settings block: the modal settings dialog
// where one can be shown; elsewhere (the native library without a window system) the block is
// only normalised and the outcome is Cancel.
#pragma once

#include "abi/call_context.h"
#include "abi/decoder_settings.h"

namespace zb {

// Runs the settings dialog on the block. Afterwards dialogAccepted is 1 after OK, else 0; the
// block is always normalised (settingsState initialised, version 4).
void RunSettingsDialog(CallContext& call, DecoderSettings& block);

}  // namespace zb
