// SampleCursor: the reader over the host's samples for one walk. It asks the host's sampleQuery
// callback for the channel levels change by change, clamps the walk to what the host can deliver
// and skips reported positions at which no channel actually changed.
#pragma once

#include <cstdint>
#include <cstring>

#include "plugin/host_record.h"
#include "plugin/module_state.h"

namespace zb {

class SampleCursor {
  public:
    static constexpr int64_t kNone = -1;  // all ones: the host knows no further change

    // Opens the cursor on the remembered host record for [from, to): the start is no earlier than
    // the host's first valid sample, the end no later than its last valid sample (or lastSample).
    // False (status NoHost) without a remembered record or without a sampleQuery callback.
    bool OpenCursor(int64_t from, int64_t to);
    // The levels at max(from, start) into state; false when from lies beyond the end, when the
    // cursor is not open or state is null.
    bool FirstSample(int64_t from, uint8_t* state);
    // The next position at which any channel changes, and the levels from there on. False at the
    // end of the range; pos is then where the walk stopped (the end, or the first change beyond it).
    bool NextChange(int64_t& pos, uint8_t* state) {
        if (!open_ || state == nullptr) return Refuse(state == nullptr);
        if (nextChange_ == kNone || nextChange_ >= cursorEnd_) {
            pos = nextChange_ == kNone ? cursorEnd_ : nextChange_;
            SetReportStatus(ReportStatusCode::Ok);
            return false;
        }
        for (;;) {
            reportedPos_ = nextChange_;
            nextChange_ = Query(reportedPos_, state);
            if (!SameAsLast(state)) break;
            // The host reported a position at which nothing changed: go on to the following one,
            // but never past the end of the range.
            if (nextChange_ == kNone) break;
            if (nextChange_ >= cursorEnd_) {
                pos = nextChange_;
                SetReportStatus(ReportStatusCode::Ok);
                return false;
            }
        }
        std::memcpy(lastState_, state, sizeof lastState_);
        if (nextChange_ == kNone) nextChange_ = cursorEnd_;
        pos = reportedPos_;
        SetReportStatus(ReportStatusCode::Ok);
        return true;
    }
    void CloseCursor() { open_ = false; }
    bool IsOpen() const { return open_; }
    int64_t CursorStart() const { return cursorStart_; }
    int64_t CursorEnd() const { return cursorEnd_; }

  private:
    // One call of the host. A host that answers with a position not after the one asked for would
    // make the walk go round for ever; such an answer counts as "no further change".
    int64_t Query(int64_t position, uint8_t* state) {
        const uint64_t next = host_->sampleQuery(static_cast<uint64_t>(position), state);
        if (next == kNoFurtherChange) return kNone;
        const int64_t n = static_cast<int64_t>(next);
        return n > position ? n : kNone;
    }
    bool SameAsLast(uint8_t* state) {
        uint64_t a[2], b[2], m[2];
        std::memcpy(a, state, 16);
        std::memcpy(m, channelMask_, 16);
        a[0] &= m[0];
        a[1] &= m[1];
        std::memcpy(state, a, 16);
        std::memcpy(b, lastState_, 16);
        return a[0] == b[0] && a[1] == b[1];
    }
    bool Refuse(bool missingOutput);

    HostRecord* host_ = nullptr;
    bool open_ = false;
    int64_t cursorStart_ = 0;
    int64_t cursorEnd_ = 0;
    int64_t nextChange_ = 0;
    int64_t reportedPos_ = 0;
    uint8_t channelMask_[16] = {};
    uint8_t lastState_[16] = {};
};

}  // namespace zb
