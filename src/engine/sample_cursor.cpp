// Opening the sample cursor, reading its first sample, and the walks' full stop poll; the per-change
// steps are inline in the header because the walks call them once per change.
#include "engine/sample_cursor.h"

#include "engine/host_access.h"

namespace zb {

bool SampleCursor::Refuse(bool missingOutput) {
    call_.status = missingOutput && open_ ? ReportStatusCode::MissingOutput : ReportStatusCode::NoObject;
    return false;
}

bool SampleCursor::OpenCursor(int64_t from, int64_t to) {
    open_ = false;
    HostRecord* host = call_.host;
    if (host == nullptr || host->sampleQuery == nullptr) {
        call_.status = ReportStatusCode::NoHost;
        return false;
    }
    host_ = host;
    cursorStart_ = from > host->firstValidSample ? from : host->firstValidSample;
    // Sample positions are indexes from 0 (the host takes them unsigned): a negative cursor or
    // first valid sample starts the walk at 0.
    if (cursorStart_ < 0) cursorStart_ = 0;
    const int64_t last = host->lastValidSample != 0 ? host->lastValidSample : host->lastSample;
    cursorEnd_ = to < last ? to : last;
    // The last reported state starts as all zeros.
    std::memset(buffer_, 0, sizeof buffer_);
    answer_ = buffer_[0];
    last_ = buffer_[1];
    watchByte_[0] = watchByte_[1] = kZeroByte;
    std::memset(levelOf_, 0, sizeof levelOf_);
    levels_ = 0;
    nextChange_ = 0;
    open_ = true;
    call_.status = ReportStatusCode::Ok;
    return true;
}

bool SampleCursor::FirstSample(int64_t from, uint8_t* state) {
    if (!open_ || state == nullptr) return Refuse(state == nullptr);
    call_.status = ReportStatusCode::Ok;
    if (from > cursorEnd_) return false;
    const int64_t p = from > cursorStart_ ? from : cursorStart_;
    const int64_t next = Query(p, buffer_[0]);
    nextChange_ = next == kNone ? cursorEnd_ : next;
    answer_ = buffer_[1];
    last_ = buffer_[0];
    levels_ = WatchedLevels(last_);
    std::memcpy(state, State(), kStateBytes);
    // A host that knows no change after this sample still delivered its levels: the walk then ends
    // at its first step and the decode reports an idle line rather than a failure.
    return true;
}

void SampleCursor::WatchChannels(int32_t first, int32_t second) {
    const int32_t channels[2] = {first, second};
    for (int k = 0; k < 2; ++k) {
        const int32_t c = channels[k];
        const bool watched = c >= 0 && c < 128;
        watchByte_[k] = watched ? c >> 3 : kZeroByte;
        for (uint32_t v = 0; v < 256; ++v) levelOf_[k][v] = watched ? ((v >> (c & 7)) & 1u) << k : 0u;
    }
    levels_ = WatchedLevels(last_);
}

}  // namespace zb
