// The in-memory test host: serves a generated two-line capture (repeated, moved) through the
// record's sampleQuery callback, answers abortPoll, owns the stop word, collects report lines
// handed to reportRow and notes the first breach of the interface's rules.
#include "support/memory_host.h"

#include <algorithm>
#include <cstring>

namespace zbtest {

namespace {

// The callbacks carry no context, so one host at a time answers them.
MemoryHost* activeHost = nullptr;

constexpr char kCallbackReportName[] = "ZbTestReport";

}  // namespace

MemoryHost::MemoryHost(const bissgen::Capture& capture, int maChannel, int sloChannel) : capture_(capture) {
    // A channel outside 0..127 reads 0: its bit is 0 in byte 0.
    auto bitOf = [](int channel, int& byte, uint8_t& bit) {
        byte = channel >= 0 && channel < 128 ? channel / 8 : 0;
        bit = static_cast<uint8_t>(channel >= 0 && channel < 128 ? 1u << (channel % 8) : 0u);
    };
    bitOf(maChannel, maByte_, maBit_);
    bitOf(sloChannel, sloByte_, sloBit_);
    record_.sampleQuery = &MemoryHost::SampleQuery;
    record_.abortPoll = &MemoryHost::AbortPoll;
    record_.reportRow = nullptr;
    record_.captureChannelCount = 128;
    record_.sampleRate = capture_.sampleRate;
    record_.stopFlag = &stopWord_;
    Repeat(1);
    Activate();
}

MemoryHost::~MemoryHost() {
    if (activeHost == this) activeHost = nullptr;
}

void MemoryHost::Activate() {
    activeHost = this;
    rep_ = 0;
    index_ = 0;
    next_ = -1;
}

void MemoryHost::Repeat(int64_t times, int64_t base) {
    repeats_ = std::max<int64_t>(times, 1);
    base_ = base;
    // A repetition covers its last sample and every change.
    const int64_t lastChange = capture_.changes.empty() ? 0 : capture_.changes.back().position;
    period_ = std::max(capture_.lastSample, lastChange) + 1;
    record_.lastSample = static_cast<int64_t>(
        static_cast<uint64_t>(base) + static_cast<uint64_t>(repeats_ - 1) * static_cast<uint64_t>(period_) +
        static_cast<uint64_t>(capture_.lastSample));
    rep_ = 0;
    index_ = 0;
    next_ = -1;
}

void MemoryHost::AbortFromPoll(uint64_t n) {
    abortFrom_ = n;
    abortPolls_ = 0;
}

void MemoryHost::StopAfterQueries(uint64_t n) {
    stopAfter_ = n;
    queries_ = 0;
    stopWord_ = 0;
}

void MemoryHost::UseReportCallback(bool on) {
    record_.reportRow = on ? &MemoryHost::ReportRow : nullptr;
    // A report is only built when a block is named, so callback mode needs a name as well.
    if (on && record_.reportBlockName[0] == '\0') {
        std::memcpy(record_.reportBlockName, kCallbackReportName, sizeof kCallbackReportName);
    }
}

void MemoryHost::NoteMisuse(const std::string& what) {
    if (misuse_.empty()) misuse_ = what;
}

// Out of line and cold, so that the checks in every callback stay a compare and a branch each.
__attribute__((noinline, cold)) void MemoryHost::NoteProgress() {
    NoteMisuse("progress " + std::to_string(record_.progress) + " above 1000");
}

void MemoryHost::Seek(int64_t position) {
    const std::vector<bissgen::Change>& c = capture_.changes;
    const int64_t offset = position - base_;
    rep_ = std::min(offset / period_, repeats_ - 1);
    const int64_t within = offset - rep_ * period_;
    const auto after = std::upper_bound(c.begin(), c.end(), within,
                                        [](int64_t p, const bissgen::Change& ch) { return p < ch.position; });
    if (after == c.begin()) {
        // Before this repetition's first change: the last change of the one before holds.
        --rep_;
        index_ = c.size() - 1;
    } else {
        index_ = static_cast<size_t>(after - c.begin()) - 1;
    }
}

// Out of line: the sequential step (NextAnswer) is the one that counts.
__attribute__((noinline)) uint64_t MemoryHost::Answer(int64_t pos, uint8_t* state16) {
    if (capture_.changes.empty()) return zb::kNoFurtherChange;
    nextRep_ = nextIndex_ = 0;
    if (pos < At(0, 0)) {
        // Before the first change its levels apply, and it is the next change.
        rep_ = index_ = 0;
        WriteLevels(capture_.changes[0], state16);
        return static_cast<uint64_t>(next_ = At(0, 0));
    }
    Seek(pos);
    nextRep_ = rep_;
    nextIndex_ = index_;
    return NextAnswer(state16);
}

uint64_t ZB_CALL MemoryHost::SampleQuery(uint64_t position, uint8_t* state16) {
    MemoryHost* host = activeHost;
    if (state16 != nullptr) std::memset(state16, 0, 16);
    if (host == nullptr) return zb::kNoFurtherChange;
    if (state16 == nullptr) host->NoteNoState();
    if (host->record_.progress > 1000) host->NoteProgress();
    ++host->queries_;
    if (host->stopAfter_ != 0 && host->queries_ >= host->stopAfter_) host->stopWord_ = 1;
    // Positions beyond the signed range read as the end of the capture.
    const int64_t pos =
        position > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(position);
    // A walk asks for the change it was told of last: no search.
    return pos == host->next_ ? host->NextAnswer(state16) : host->Answer(pos, state16);
}

uint32_t ZB_CALL MemoryHost::AbortPoll() {
    MemoryHost* host = activeHost;
    if (host == nullptr) return 0;
    if (host->record_.progress > 1000) host->NoteProgress();
    ++host->abortPolls_;
    return (host->abortFrom_ != 0 && host->abortPolls_ >= host->abortFrom_) ? 1u : 0u;
}

int32_t ZB_CALL MemoryHost::ReportRow(const char* text, uint32_t length) {
    MemoryHost* host = activeHost;
    if (host == nullptr) return 0;
    if (host->reportEnded_)
        host->NoteMisuse(text == nullptr ? "second end of the report" : "report line after the end");
    if (text == nullptr) {
        if (length != 0) host->NoteMisuse("end of the report with a length");
        host->reportEnded_ = true;
        return 1;
    }
    if (length > kMaxReportLine) host->NoteMisuse("report line of " + std::to_string(length) + " bytes");
    host->reportLines_.emplace_back(text, length);
    return 1;
}

}  // namespace zbtest
