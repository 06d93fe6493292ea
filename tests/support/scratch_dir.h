// A scratch directory for tests that touch real files: made fresh under the system's temporary
// directory, removed with everything in it when the object ends. Its path ends in a separator,
// so it can be used directly as a file-name prefix.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/platform.h"

namespace zbtest {

class ScratchDir {
  public:
    explicit ScratchDir(const std::string& tag = "zbtest") {
        char base[512];
        if (!zb::platform::TempDirectory(base, sizeof base)) return;
        static std::atomic<unsigned> serial{0};
        const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        for (int attempt = 0; attempt < 16 && path_.empty(); ++attempt) {
            const std::string candidate = std::string(base) + tag + "_" + std::to_string(ticks % 1000000007) +
                                          "_" + std::to_string(++serial);
            std::error_code ec;
            if (std::filesystem::create_directory(std::filesystem::u8path(candidate), ec) && !ec) {
                path_ = candidate + Separator();
            }
        }
    }
    ~ScratchDir() {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::u8path(path_), ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool Ok() const { return !path_.empty(); }
    // The directory, ending in a separator ('\\' on Windows, '/' elsewhere).
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + name; }
    // Number of entries in the directory.
    size_t EntryCount() const {
        std::error_code ec;
        size_t n = 0;
        for (auto it = std::filesystem::directory_iterator(std::filesystem::u8path(path_), ec);
             !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            ++n;
        }
        return n;
    }

    static std::string Separator() {
        return std::string(1, static_cast<char>(std::filesystem::path::preferred_separator));
    }

  private:
    std::string path_;
};

}  // namespace zbtest
