// Turns the level settings of a text capture into changes. A text file may set a line several times
// at one position (and an export may repeat levels that did not change), so the change at the
// current position stays open until a later position arrives: only then is it known whether it
// changed anything. Committed changes go to the block given with SetOutput.
#pragma once

#include <cstdint>

#include "change_block.h"

namespace zbhost {

class ChangeBuilder {
  public:
    void SetOutput(ChangeBlock& out) { out_ = &out; }

    // The levels hold from `position` on. Positions must not decrease; several settings at one
    // position keep the last, and a position whose final levels repeat the previous ones adds
    // nothing (the first position always gives a change).
    void Set(int64_t position, uint8_t levels) {
        if (open_) {
            if (position == openPosition_) {
                openLevels_ = levels;
                return;
            }
            if (position < openPosition_) throw CaptureError("signal times go backwards");
            Commit();
        } else if (hasLast_ && position <= lastPosition_) {
            throw CaptureError("signal times go backwards");
        }
        open_ = true;
        openPosition_ = position;
        openLevels_ = levels;
    }

    // Closes the open position (at the end of the data, or when the next position is known to
    // come later).
    void Commit() {
        if (!open_) return;
        open_ = false;
        if (hasLast_ && openLevels_ == lastLevels_) return;
        out_->Push(openPosition_, openLevels_);
        hasLast_ = true;
        lastPosition_ = openPosition_;
        lastLevels_ = openLevels_;
    }

    bool IsOpen() const { return open_; }
    int64_t OpenPosition() const { return openPosition_; }

    // The last committed change, as a checkpoint keeps it; and back from one.
    void Save(Checkpoint& c) const {
        c.inForcePosition = hasLast_ ? lastPosition_ : -1;
        c.inForceLevels = lastLevels_;
    }
    void Restore(const Checkpoint& c) {
        open_ = false;
        hasLast_ = c.inForcePosition >= 0;
        lastPosition_ = c.inForcePosition;
        lastLevels_ = c.inForceLevels;
    }

  private:
    ChangeBlock* out_ = nullptr;
    bool open_ = false;
    int64_t openPosition_ = 0;
    uint8_t openLevels_ = 0;
    bool hasLast_ = false;
    int64_t lastPosition_ = -1;
    uint8_t lastLevels_ = 0;
};

}  // namespace zbhost
