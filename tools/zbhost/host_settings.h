// Decoder settings from the command line, written into the host record's settings words the way a
// host restores a saved project: a complete, initialised (version 4) settings area, started either
// from the plug-in's defaults (SettingsView::ApplyDefaults, linked from the host interface) or from
// what the plug-in's DefaultSettings export wrote.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "abi/decoder_settings.h"
#include "abi/host_record.h"

namespace zbhost {

// One "--name value" setting; applied in the order given.
using SettingArg = std::pair<std::string, std::string>;

// True when `name` (without the dashes) is a decoder setting that Apply understands.
bool IsSettingName(const std::string& name);
// The help text of all settings.
const char* SettingsHelp();

class HostSettings {
  public:
    // Starts from the plug-in's defaults.
    HostSettings();
    // Starts from the settings area of `record` (for instance after the DefaultSettings export).
    void LoadFrom(const zb::HostRecord& record);
    // Applies one setting; false with a message for an unknown name or a bad value.
    bool Apply(const SettingArg& arg, std::string& error);
    // Writes the settings words, the MA/SLO channel entries and the state word into `record`.
    void StoreInto(zb::HostRecord& record) const;

    zb::DecoderSettings& Block() { return block_; }
    uint32_t HostFlags() const { return block_.hostFlags; }
    void SetHostFlags(uint32_t flags) { block_.hostFlags = flags; }

  private:
    zb::DecoderSettings block_{};
};

}  // namespace zbhost
