// The decode's and the report's way back to the host during an Analysis call: the stop poll and
// the per-mille progress field, both through the remembered host record.
#pragma once

#include <cstdint>

namespace zb {

namespace StopBit {
constexpr uint32_t kAbortPoll = 1;  // the host's abortPoll callback reported bit 0
constexpr uint32_t kStopFlag = 2;   // the host's stop word is non-zero
}  // namespace StopBit

// Bit 0: abortPoll said abort; bit 1: the stop word is set. Without a host record: 1.
uint32_t PollStop();
// Progress = base + (span - base) * (pos - start) / range, written by ReportProgress.
void SetProgressRange(uint32_t base, uint32_t span, int64_t range, int64_t start = 0);
void ReportProgress(int64_t position);

}  // namespace zb
