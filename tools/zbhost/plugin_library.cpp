// The two ways to load a shared library by name: LoadLibrary on Windows, dlopen elsewhere.
#include "plugin_library.h"

#include <cstring>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace zbhost {

namespace {
#if defined(_WIN32)
constexpr const char* kPluginFile = "ZbBiSS64.dll";
#else
constexpr const char* kPluginFile = "ZbBiSS64.so";
#endif

template <typename Fn>
void Bind(Fn& fn, void* symbol) {
    static_assert(sizeof(Fn) == sizeof(void*), "function pointers must be pointer-sized");
    std::memcpy(&fn, &symbol, sizeof fn);
}
}  // namespace

PluginLibrary::~PluginLibrary() {
    if (handle_ == nullptr) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
}

void* PluginLibrary::Symbol(const char* name) const {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    return dlsym(handle_, name);
#endif
}

bool PluginLibrary::Load(const std::string& path, std::string& error) {
#if defined(_WIN32)
    handle_ = LoadLibraryA(path.c_str());
    if (handle_ == nullptr) {
        error = "cannot load '" + path + "' (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
#else
    // A path without a slash would make dlopen search the library path instead of this file.
    const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        error = "cannot load '" + path + "': " + (why ? why : "unknown error");
        return false;
    }
#endif
    std::string missing;
    auto bind = [&](auto& fn, const char* name) {
        void* s = Symbol(name);
        if (s == nullptr) missing += std::string(missing.empty() ? "" : ", ") + name;
        Bind(fn, s);
    };
    bind(exports_.GetPluginInfo, "GetPluginInfo");
    bind(exports_.GetDisplayName, "GetDisplayName");
    bind(exports_.GetQuickSetInfo, "GetQuickSetInfo");
    bind(exports_.ChannelName, "ChannelName");
    bind(exports_.ConfigDialog, "ConfigDialog");
    bind(exports_.DefaultSettings, "DefaultSettings");
    bind(exports_.Analysis, "Analysis");
    bind(exports_.DataConv, "DataConv");
    bind(exports_.GetReportColumnStr, "GetReportColumnStr");
    bind(exports_.DrawIt, "DrawIt");
    bind(exports_.SetMsgInfo, "SetMsgInfo");
    // The decode needs these; the rest are optional for zbhost.
    if (!exports_.Analysis || !exports_.DataConv || !exports_.SetMsgInfo) {
        error = "'" + path + "' lacks exports: " + missing;
        return false;
    }
    return true;
}

std::string PluginLibrary::DefaultPath() {
#if defined(_WIN32)
    std::vector<char> buf(MAX_PATH * 4);
    const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    std::string self(buf.data(), n < buf.size() ? n : 0);
    const size_t slash = self.find_last_of("\\/");
#else
    std::vector<char> buf(4096);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    std::string self(buf.data(), n > 0 ? static_cast<size_t>(n) : 0);
    const size_t slash = self.find_last_of('/');
#endif
    const std::string dir = slash == std::string::npos ? std::string(".") : self.substr(0, slash);
    // The build puts the tool in tools/zbhost under the tree whose top holds the plug-in.
    for (const char* up : {"/", "/../../"}) {
        const std::string candidate = dir + up + kPluginFile;
#if defined(_WIN32)
        if (GetFileAttributesA(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) return candidate;
#else
        if (access(candidate.c_str(), R_OK) == 0) return candidate;
#endif
    }
    return dir + "/" + kPluginFile;
}

}  // namespace zbhost
