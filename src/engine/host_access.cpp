// Stop poll and progress reporting through the host record of the call.
#include "engine/host_access.h"

namespace zb {

uint32_t PollStop(const CallContext& call) {
    const HostRecord* host = call.host;
    if (host == nullptr) return StopBit::kAbortPoll;
    uint32_t result = 0;
    if (host->abortPoll != nullptr && (host->abortPoll() & 1) != 0) result |= StopBit::kAbortPoll;
    if (host->stopFlag != nullptr && *host->stopFlag != 0) result |= StopBit::kStopFlag;
    return result;
}

void SetProgressRange(CallContext& call, uint32_t base, uint32_t span, int64_t range, int64_t start) {
    call.progress = ProgressScale{base, span, range, start};
}

void ReportProgress(CallContext& call, int64_t position) {
    const ProgressScale& p = call.progress;
    HostRecord* host = call.host;
    if (p.range <= 0 || host == nullptr) return;
    // 128-bit intermediate: positions near 2^63 must not overflow the product.
    const __int128 done = static_cast<__int128>(position - p.start) * (p.span - p.base);
    int64_t value = static_cast<int64_t>(p.base) + static_cast<int64_t>(done / p.range);
    if (value < 0) value = 0;
    if (value > 1000) value = 1000;
    host->progress = static_cast<uint32_t>(value);
}

const uint32_t StopPoll::kNoStopWord = 0;

StopPoll::StopPoll(const CallContext& call) : call_(call) {
    const HostRecord* host = call.host;
    if (host != nullptr && host->stopFlag != nullptr) stopWord_ = host->stopFlag;
}

bool StopPoll::FullPoll() {
    countdown_ = kFullPollInterval;
    return (PollStop(call_) & StopBit::kStopFlag) != 0;
}

}  // namespace zb
