// Opening the sample cursor, reading its first sample, and the walks' full stop poll; the per-change
// steps are inline in the header because the walks call them once per change.
#include "engine/sample_cursor.h"

#include "engine/host_access.h"

namespace zb {

bool SampleCursor::Refuse(bool missingOutput) {
    SetReportStatus(missingOutput && open_ ? ReportStatusCode::MissingOutput : ReportStatusCode::NoObject);
    return false;
}

bool SampleCursor::OpenCursor(int64_t from, int64_t to) {
    open_ = false;
    HostRecord* host = RememberedHost();
    if (host == nullptr || host->sampleQuery == nullptr) {
        SetReportStatus(ReportStatusCode::NoHost);
        return false;
    }
    host_ = host;
    cursorStart_ = from > host->firstValidSample ? from : host->firstValidSample;
    // Sample positions are indexes from 0 (the host takes them unsigned): a negative cursor or
    // first valid sample starts the walk at 0.
    if (cursorStart_ < 0) cursorStart_ = 0;
    const int64_t last = host->lastValidSample != 0 ? host->lastValidSample : host->lastSample;
    cursorEnd_ = to < last ? to : last;
    channelMask_[0] = channelMask_[1] = ~uint64_t{0};
    lastState_[0] = lastState_[1] = 0;
    nextChange_ = 0;
    reportedPos_ = 0;
    open_ = true;
    SetReportStatus(ReportStatusCode::Ok);
    return true;
}

bool SampleCursor::FirstSample(int64_t from, uint8_t* state) {
    if (!open_ || state == nullptr) return Refuse(state == nullptr);
    SetReportStatus(ReportStatusCode::Ok);
    if (from > cursorEnd_) return false;
    const int64_t p = from > cursorStart_ ? from : cursorStart_;
    nextChange_ = Query(p, state);
    reportedPos_ = nextChange_;
    lastState_[0] = Gather(state) & channelMask_[0];
    lastState_[1] = Gather(state + 8) & channelMask_[1];
    // A host that knows no change after this sample still delivered its levels: the walk then ends
    // at its first step and the decode reports an idle line rather than a failure.
    return true;
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
