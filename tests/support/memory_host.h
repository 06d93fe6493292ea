// An in-memory host for tests: it owns a HostRecord, serves a generated capture through the
// record's sampleQuery callback exactly as a logic-analyzer host does, and records what the plug-in
// hands back (report lines through the reportRow callback, abort and stop requests on demand).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "abi/host_record.h"
#include "bissgen/capture.h"

namespace zbtest {

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

    // abortPoll answers "abort" from its n-th call on (0 = never).
    void AbortFromPoll(uint64_t n);
    // The stop word is set once sampleQuery has been called n times (0 = never).
    void StopAfterQueries(uint64_t n);
    // Route the report through reportRow (true) or through the named block (false, the default).
    void UseReportCallback(bool on);
    const std::vector<std::string>& ReportLines() const { return reportLines_; }
    bool ReportEnded() const { return reportEnded_; }
    uint64_t QueryCount() const { return queries_; }
    uint64_t AbortPollCount() const { return abortPolls_; }

  private:
    static uint64_t SampleQuery(uint64_t position, uint8_t* state16);
    static uint32_t AbortPoll();
    static int32_t ReportRow(const char* text, uint32_t length);

    bissgen::Capture capture_;
    int maChannel_;
    int sloChannel_;
    zb::HostRecord record_{};
    uint32_t stopWord_ = 0;
    uint64_t abortFrom_ = 0;
    uint64_t abortPolls_ = 0;
    uint64_t stopAfter_ = 0;
    uint64_t queries_ = 0;
    std::vector<std::string> reportLines_;
    bool reportEnded_ = false;
};

}  // namespace zbtest
