// The in-memory host of every native test, fuzz target and benchmark: it owns a HostRecord, serves
// a generated capture through the record's sampleQuery callback as a logic-analyzer host does (a
// walk that asks for one change after another is answered without a search), and records what the
// plug-in hands back (report lines through the reportRow callback, abort and stop requests). A
// capture can be served repeated end to end and from any starting sample, so a long capture, or one
// at the end of the 64-bit range, needs no more memory than its first repetition. The host also
// notes the first breach of the host interface's rules it sees (progress above 1000, a query
// without a state buffer, a report line after the end or longer than a host takes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "abi/host_record.h"
#include "bissgen/capture.h"

namespace zbtest {

// The longest report line a host takes, CR LF included (the NUL not).
constexpr size_t kMaxReportLine = 2047;

class MemoryHost {
  public:
    // MA and SLO are served on capture channels maChannel and sloChannel (0..127); every other
    // channel reads 0. The record's lastSample and sampleRate come from the capture, its settings
    // words are zero (never initialised) and the callbacks point at this host.
    explicit MemoryHost(const bissgen::Capture& capture, int maChannel = 0, int sloChannel = 1);
    ~MemoryHost();
    MemoryHost(const MemoryHost&) = delete;
    MemoryHost& operator=(const MemoryHost&) = delete;

    zb::HostRecord& Record() { return record_; }
    // Makes this host the one whose callbacks answer (the callbacks carry no context pointer).
    void Activate();
    // Serves the capture `times` times end to end, each repetition lastSample + 1 samples long,
    // the first one moved to start at sample `base`; the record's lastSample follows.
    void Repeat(int64_t times, int64_t base = 0);
    // One repetition's length in samples.
    int64_t Period() const { return period_; }

    // abortPoll answers "abort" from its n-th call on (0 = never).
    void AbortFromPoll(uint64_t n);
    // The stop word is set once sampleQuery has been called n times from now on (0 = never); the
    // query count and the stop word start again from 0.
    void StopAfterQueries(uint64_t n);
    // Route the report through reportRow (true) or through the named block (false, the default).
    void UseReportCallback(bool on);
    const std::vector<std::string>& ReportLines() const { return reportLines_; }
    bool ReportEnded() const { return reportEnded_; }
    uint64_t QueryCount() const { return queries_; }
    uint64_t AbortPollCount() const { return abortPolls_; }
    // The first breach of the host interface seen, or empty.
    const std::string& Misuse() const { return misuse_; }

  private:
    static uint64_t ZB_CALL SampleQuery(uint64_t position, uint8_t* state16);
    static uint32_t ZB_CALL AbortPoll();
    static int32_t ZB_CALL ReportRow(const char* text, uint32_t length);
    uint64_t Answer(int64_t position, uint8_t* state16);
    // Answer for the position at next_, the change after the last one answered.
    uint64_t NextAnswer(uint8_t* state16) {
        rep_ = nextRep_;
        index_ = nextIndex_;
        WriteLevels(capture_.changes[index_], state16);
        if (++nextIndex_ == capture_.changes.size()) {
            nextIndex_ = 0;
            if (++nextRep_ == repeats_) return static_cast<uint64_t>(next_ = -1);
        }
        next_ = At(nextRep_, nextIndex_);
        return static_cast<uint64_t>(next_);
    }
    void WriteLevels(const bissgen::Change& change, uint8_t* state16) const {
        if (state16 == nullptr) return;
        // Without a branch: the levels of data bits follow no pattern a branch predictor learns.
        state16[maByte_] |= static_cast<uint8_t>(maBit_ & -static_cast<int>(change.ma != 0));
        state16[sloByte_] |= static_cast<uint8_t>(sloBit_ & -static_cast<int>(change.slo != 0));
    }
    // The change in force at `position` (at or after the first change).
    void Seek(int64_t position);
    int64_t At(int64_t rep, size_t index) const {
        return base_ + rep * period_ + capture_.changes[index].position;
    }
    void NoteMisuse(const std::string& what);
    void NoteProgress();
    __attribute__((noinline, cold)) void NoteNoState() { NoteMisuse("sampleQuery without a state buffer"); }

    bissgen::Capture capture_;
    // Where MA and SLO go in the 16 bytes of levels.
    int maByte_ = 0, sloByte_ = 0;
    uint8_t maBit_ = 0, sloBit_ = 0;
    int64_t period_ = 1;
    int64_t repeats_ = 1;
    int64_t base_ = 0;
    // The change last answered and the next one (at next_, -1 when none was told): a repetition
    // and an index in the capture each.
    int64_t rep_ = 0, nextRep_ = 0, next_ = -1;
    size_t index_ = 0, nextIndex_ = 0;
    zb::HostRecord record_{};
    uint32_t stopWord_ = 0;
    uint64_t abortFrom_ = 0;
    uint64_t abortPolls_ = 0;
    uint64_t stopAfter_ = 0;
    uint64_t queries_ = 0;
    std::vector<std::string> reportLines_;
    bool reportEnded_ = false;
    std::string misuse_;
};

}  // namespace zbtest
