// Collects the signal changes of MA and SLO while a capture file is read: one entry per position at
// which either level changes. Memory grows with the number of changes only, and is capped so that a
// hostile file cannot exhaust it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "bissgen/capture.h"

namespace zbhost {

// Every reader failure: a message for the user, never a crash.
class CaptureError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

constexpr uint64_t kDefaultMaxChanges = 50'000'000;

class ChangeBuilder {
  public:
    ChangeBuilder(bissgen::Capture& capture, uint64_t maxChanges)
        : capture_(capture), maxChanges_(maxChanges) {
        capture_.changes.clear();
    }

    // The levels hold from `position` on. Positions must not decrease; several settings at one
    // position keep the last, and a setting that repeats the current levels adds nothing.
    void Set(int64_t position, uint8_t ma, uint8_t slo) {
        auto& changes = capture_.changes;
        if (!changes.empty()) {
            bissgen::Change& last = changes.back();
            if (position < last.position) throw CaptureError("signal times go backwards");
            if (position == last.position) {
                last.ma = ma;
                last.slo = slo;
                // The overwrite may have undone the change: drop it unless it is the first entry.
                if (changes.size() >= 2) {
                    const bissgen::Change& before = changes[changes.size() - 2];
                    if (before.ma == ma && before.slo == slo) changes.pop_back();
                }
                return;
            }
            if (last.ma == ma && last.slo == slo) return;
        }
        if (changes.size() >= maxChanges_) {
            throw CaptureError("more than " + std::to_string(maxChanges_) +
                               " signal changes on MA and SLO; raise the limit with --max-changes");
        }
        changes.push_back(bissgen::Change{position, ma, slo});
    }

    bool Empty() const { return capture_.changes.empty(); }

  private:
    bissgen::Capture& capture_;
    uint64_t maxChanges_;
};

}  // namespace zbhost
