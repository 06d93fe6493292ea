// Loads the decoder plug-in by file name (dlopen / LoadLibrary) and resolves its exports; zbhost
// calls the plug-in only through these function pointers, as a logic-analyzer host does.
#pragma once

#include <string>

#include "abi/calling.h"
#include "abi/host_record.h"

namespace zbhost {

struct PluginExports {
    uint32_t(ZB_CALL* GetPluginInfo)(zb::PluginInfo*) = nullptr;
    uint32_t(ZB_CALL* GetDisplayName)(char*) = nullptr;
    uint32_t(ZB_CALL* GetQuickSetInfo)(zb::QuickSetInfo*) = nullptr;
    uint32_t(ZB_CALL* ChannelName)(zb::HostRecord*, uint32_t, char*, uint32_t) = nullptr;
    void(ZB_CALL* ConfigDialog)(zb::HostRecord*) = nullptr;
    uint32_t(ZB_CALL* DefaultSettings)(zb::HostRecord*) = nullptr;
    uint32_t(ZB_CALL* Analysis)(zb::HostRecord*) = nullptr;
    uint32_t(ZB_CALL* DataConv)(zb::HostRecord*, uint64_t, char*, uint32_t) = nullptr;
    uint32_t(ZB_CALL* GetReportColumnStr)(zb::HostRecord*, char*, int32_t) = nullptr;
    uint32_t(ZB_CALL* DrawIt)() = nullptr;
    void(ZB_CALL* SetMsgInfo)(uint64_t, const void*) = nullptr;
};

class PluginLibrary {
  public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads the library and resolves the exports that zbhost needs; false with a message otherwise.
    bool Load(const std::string& path, std::string& error);
    const PluginExports& Exports() const { return exports_; }
    // Any export of the loaded library by name; nullptr when it has none of that name.
    void* Symbol(const char* name) const;

    // The plug-in file next to the running program (ZbBiSS64.so or ZbBiSS64.dll).
    static std::string DefaultPath();

  private:
    void* handle_ = nullptr;
    PluginExports exports_;
};

}  // namespace zbhost
