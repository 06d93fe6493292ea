// The report as the plug-in hands it over through the row callback, written out while the plug-in
// builds it: the lines are gathered into chunks on the plug-in's thread and passed through a short
// queue to a writer thread, which writes the wire text (--report) and turns it into the CSV
// (--report-csv). Neither the whole text nor the table is ever held, whatever the capture's length.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "report_table.h"

namespace zbhost {

// Where HostSession hands the report's lines when they are not to be collected.
class ReportSink {
  public:
    virtual ~ReportSink() = default;
    // Whole lines, each ended by CR LF, in order.
    virtual void Lines(std::string_view text) = 0;
};

// Lines are handed to the writer in chunks of at least this many bytes.
constexpr size_t kReportChunkBytes = size_t{1} << 18;

class ReportStream : public ReportSink {
  public:
    // Either stream may be null (that output is not wanted); both must outlive Finish.
    ReportStream(std::ostream* wire, std::ostream* csv, bool withColours,
                 size_t chunkBytes = kReportChunkBytes);
    ~ReportStream() override;  // finishes (and waits for the writer) if Finish was not called
    ReportStream(const ReportStream&) = delete;
    ReportStream& operator=(const ReportStream&) = delete;

    void Lines(std::string_view text) override;
    // Hands over what is left and waits for the writer: "" when all was written, else why the
    // report could not be read (as WriteReportCsv says it).
    std::string Finish();

  private:
    void Hand(std::string&& chunk);
    void Run();

    std::ostream* wire_;
    size_t chunkBytes_;
    std::unique_ptr<ReportCsvWriter> csv_;
    std::string chunk_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> queue_;
    std::vector<std::string> spare_;  // written chunks, kept for their memory
    bool ended_ = false;
    bool finished_ = false;
    std::string error_;
    std::thread writer_;
};

}  // namespace zbhost
