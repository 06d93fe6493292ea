// The in-memory test host: serves a generated two-line capture through the record's sampleQuery
// callback, answers abortPoll, owns the stop word and collects report lines handed to reportRow.
#include "support/memory_host.h"

#include <algorithm>
#include <cstring>

namespace zbtest {

namespace {

// The callbacks carry no context, so one host at a time answers them.
MemoryHost* activeHost = nullptr;
// Per-host query cursor: index of the change that holds the levels at the last queried position.
struct QueryCursor {
    const MemoryHost* host = nullptr;
    size_t index = 0;
};
QueryCursor queryCursor;

constexpr char kCallbackReportName[] = "ZbTestReport";

void SetChannel(uint8_t* state16, int channel, uint8_t level) {
    if (channel < 0 || channel >= 128 || level == 0) return;
    state16[channel / 8] = static_cast<uint8_t>(state16[channel / 8] | (1u << (channel % 8)));
}

}  // namespace

MemoryHost::MemoryHost(const bissgen::Capture& capture, int maChannel, int sloChannel)
    : capture_(capture), maChannel_(maChannel), sloChannel_(sloChannel) {
    record_.sampleQuery = &MemoryHost::SampleQuery;
    record_.abortPoll = &MemoryHost::AbortPoll;
    record_.reportRow = nullptr;
    record_.captureChannelCount = 128;
    record_.lastSample = capture_.lastSample;
    record_.sampleRate = capture_.sampleRate;
    record_.stopFlag = &stopWord_;
    Activate();
}

MemoryHost::~MemoryHost() {
    if (activeHost == this) activeHost = nullptr;
    if (queryCursor.host == this) queryCursor = QueryCursor{};
}

void MemoryHost::Activate() {
    activeHost = this;
    queryCursor = QueryCursor{this, 0};
}

void MemoryHost::AbortFromPoll(uint64_t n) {
    abortFrom_ = n;
    abortPolls_ = 0;
}

void MemoryHost::StopAfterQueries(uint64_t n) {
    stopAfter_ = n;
}

void MemoryHost::UseReportCallback(bool on) {
    record_.reportRow = on ? &MemoryHost::ReportRow : nullptr;
    // A report is only built when a block is named, so callback mode needs a name as well.
    if (on && record_.reportBlockName[0] == '\0') {
        std::memcpy(record_.reportBlockName, kCallbackReportName, sizeof kCallbackReportName);
    }
}

uint64_t MemoryHost::SampleQuery(uint64_t position, uint8_t* state16) {
    MemoryHost* host = activeHost;
    if (state16 != nullptr) std::memset(state16, 0, 16);
    if (host == nullptr) return zb::kNoFurtherChange;
    ++host->queries_;
    if (host->stopAfter_ != 0 && host->queries_ >= host->stopAfter_) host->stopWord_ = 1;

    const std::vector<bissgen::Change>& changes = host->capture_.changes;
    if (changes.empty()) return zb::kNoFurtherChange;
    // Positions beyond the signed range read as the end of the capture.
    const int64_t pos =
        position > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(position);

    // The decoder asks once per change, in order: try the remembered change and the one after it
    // before falling back to a binary search.
    size_t index = queryCursor.host == host ? queryCursor.index : 0;
    auto holds = [&](size_t i) {
        return i < changes.size() && changes[i].position <= pos &&
               (i + 1 == changes.size() || changes[i + 1].position > pos);
    };
    if (!holds(index)) {
        if (holds(index + 1)) {
            ++index;
        } else {
            auto after = std::upper_bound(changes.begin(), changes.end(), pos,
                                          [](int64_t p, const bissgen::Change& c) { return p < c.position; });
            // Before the first change the starting levels apply.
            index = after == changes.begin() ? 0 : static_cast<size_t>(after - changes.begin()) - 1;
        }
    }
    queryCursor = QueryCursor{host, index};

    const bissgen::Change& now = changes[index];
    if (state16 != nullptr) {
        SetChannel(state16, host->maChannel_, now.ma);
        SetChannel(state16, host->sloChannel_, now.slo);
    }
    if (index + 1 < changes.size()) {
        // A query before the first change reports the first change as the next one.
        const size_t next = changes[index].position > pos ? index : index + 1;
        return static_cast<uint64_t>(changes[next].position);
    }
    return zb::kNoFurtherChange;
}

uint32_t MemoryHost::AbortPoll() {
    MemoryHost* host = activeHost;
    if (host == nullptr) return 0;
    ++host->abortPolls_;
    return (host->abortFrom_ != 0 && host->abortPolls_ >= host->abortFrom_) ? 1u : 0u;
}

int32_t MemoryHost::ReportRow(const char* text, uint32_t length) {
    MemoryHost* host = activeHost;
    if (host == nullptr) return 0;
    if (text == nullptr) {
        host->reportEnded_ = true;
        return 1;
    }
    host->reportLines_.emplace_back(text, length);
    return 1;
}

}  // namespace zbtest
