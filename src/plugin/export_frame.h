// Helpers every export shares: the settings frame (a settings block copied out of the host record
// for the length of one call and, when the export says so, copied back) and the guard that keeps
// exceptions from crossing the C boundary.
#pragma once

#include <cstdint>

#include "abi/decoder_settings.h"
#include "abi/host_record.h"

namespace zb {

// The settings of one call. The plug-in has no framework state of its own to switch to, so the
// frame is only the copy: in at construction, back on CopyBack (Analysis aborted at entry must not
// write anything, so copying back is explicit and not left to the destructor).
class SettingsFrame {
  public:
    explicit SettingsFrame(HostRecord& host) : host_(host) { CopySettingsIn(host, block_); }
    SettingsFrame(const SettingsFrame&) = delete;
    SettingsFrame& operator=(const SettingsFrame&) = delete;

    HostRecord& Host() const { return host_; }
    DecoderSettings& Block() { return block_; }
    SettingsView View() { return SettingsView(&block_); }
    void CopyBack() { CopySettingsOut(block_, host_); }

  private:
    HostRecord& host_;
    DecoderSettings block_;
};

// Runs `work` and returns its result, or `onFailure` when it throws.
template <typename Work>
uint32_t Guarded(uint32_t onFailure, Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return onFailure;
    }
}

// The result of an export that was refused because its record or buffer pointer is null.
constexpr uint32_t kRefused = 0;
constexpr uint32_t kDone = 1;

}  // namespace zb
