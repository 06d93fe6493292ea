// Stop poll and progress reporting through the remembered host record.
#include "engine/host_access.h"

#include "plugin/module_state.h"

namespace zb {

uint32_t PollStop() {
    const HostRecord* host = RememberedHost();
    if (host == nullptr) return StopBit::kAbortPoll;
    uint32_t result = 0;
    if (host->abortPoll != nullptr && (host->abortPoll() & 1) != 0) result |= StopBit::kAbortPoll;
    if (host->stopFlag != nullptr && *host->stopFlag != 0) result |= StopBit::kStopFlag;
    return result;
}

void SetProgressRange(uint32_t base, uint32_t span, int64_t range, int64_t start) {
    Module().progress = ProgressScale{base, span, range, start};
}

void ReportProgress(int64_t position) {
    const ProgressScale& p = Module().progress;
    HostRecord* host = RememberedHost();
    if (p.range <= 0 || host == nullptr) return;
    // 128-bit intermediate: positions near 2^63 must not overflow the product.
    const __int128 done = static_cast<__int128>(position - p.start) * (p.span - p.base);
    int64_t value = static_cast<int64_t>(p.base) + static_cast<int64_t>(done / p.range);
    if (value < 0) value = 0;
    if (value > 1000) value = 1000;
    host->progress = static_cast<uint32_t>(value);
}

const uint32_t StopPoll::kNoStopWord = 0;

StopPoll::StopPoll() {
    const HostRecord* host = RememberedHost();
    if (host != nullptr && host->stopFlag != nullptr) stopWord_ = host->stopFlag;
}

bool StopPoll::FullPoll() {
    countdown_ = kFullPollInterval;
    return (PollStop() & StopBit::kStopFlag) != 0;
}

}  // namespace zb
