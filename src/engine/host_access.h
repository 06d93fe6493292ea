// The decode's and the report's way back to the host during an Analysis call: the stop poll and
// the per-mille progress field, both through the host record of the call's context.
#pragma once

#include <cstdint>

#include "abi/call_context.h"

namespace zb {

namespace StopBit {
constexpr uint32_t kAbortPoll = 1;  // the host's abortPoll callback reported bit 0
constexpr uint32_t kStopFlag = 2;   // the host's stop word is non-zero
}  // namespace StopBit

// Bit 0: abortPoll said abort; bit 1: the stop word is set. Without a host record: 1.
uint32_t PollStop(const CallContext& call);
// Progress = base + (span - base) * (pos - start) / range, written by ReportProgress.
void SetProgressRange(CallContext& call, uint32_t base, uint32_t span, int64_t range, int64_t start = 0);
void ReportProgress(CallContext& call, int64_t position);

// The stop check of the decode walks and the report loop, once per change or record. The host's
// stop word is read every time; the full poll (which also calls the host's abortPoll callback)
// runs the first time and then every kFullPollInterval calls. The loops stop on the stop word
// only, so this ends them where a full poll each time would, without a host callback each time.
class StopPoll {
  public:
    static constexpr uint32_t kFullPollInterval = 4096;
    explicit StopPoll(const CallContext& call);
    bool Requested() {
        if (--countdown_ == 0) return FullPoll();
        return *static_cast<volatile const uint32_t*>(stopWord_) != 0;
    }

  private:
    bool FullPoll();
    static const uint32_t kNoStopWord;  // read instead when the host has no stop word
    const CallContext& call_;
    const uint32_t* stopWord_ = &kNoStopWord;
    uint32_t countdown_ = 1;
};

constexpr uint32_t kProgressPerMille = 1000;
constexpr int64_t kProgressNever = INT64_MAX;

// ReportProgress writes (pos - start) * 1000 / range, which changes only about 1000 times in a
// walk or a report. The loops call it when pos reaches the next position at which the value goes
// up, so the host sees the same values as with a call per change or record, without a 128-bit
// division each time.
class ProgressGate {
  public:
    ProgressGate(CallContext& call, int64_t start, int64_t range)
        : call_(call), start_(start), range_(range) {}
    int64_t Next() const { return next_; }
    void Report(int64_t pos) {
        ReportProgress(call_, pos);
        if (range_ <= 0) {
            next_ = kProgressNever;
            return;
        }
        if (pos < start_) {
            next_ = start_;
            return;
        }
        const __int128 value = static_cast<__int128>(pos - start_) * kProgressPerMille / range_;
        if (value >= kProgressPerMille) {
            next_ = kProgressNever;
            return;
        }
        // The first position at which the value reaches value + 1: ceil((value + 1) * range / 1000).
        const __int128 offset = ((value + 1) * range_ + kProgressPerMille - 1) / kProgressPerMille;
        next_ = start_ + static_cast<int64_t>(offset);
    }

  private:
    CallContext& call_;
    int64_t start_;
    int64_t range_;
    int64_t next_ = 0;
};

}  // namespace zb
