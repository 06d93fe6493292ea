// The report writer: the row builders declare columns and colour pairs, then fill and emit one row
// at a time; the writer turns that into the host's line-oriented report text with its in-band
// colour table and hands it over through the host's row callback or a named shared-memory block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "abi/call_context.h"
#include "abi/host_record.h"
#include "platform/platform.h"

namespace zb {

constexpr int kReportMaxColumns = 48;
constexpr int kReportMaxPairs = 16;
constexpr size_t kReportSlotSize = 256;       // a name or cell: at most 255 bytes and a NUL
constexpr size_t kReportLineSize = 2048;      // a line: at most 2047 bytes (CR LF included) and a NUL
constexpr size_t kReportConvertSize = 4096;   // scratch for the host code-page conversion
constexpr size_t kReportSpoolBuffer = 65536;  // spooled lines are written in chunks of this size
constexpr const char* kReportSpoolPrefix = "BD_Rpt";

// How the text reaches the host, chosen when the writer opens.
enum class ReportDelivery : uint8_t {
    Callback,  // every line to the host's reportRow, then (nullptr, 0)
    Spool,     // lines spooled to a temporary file, published as a named block at the end
};

// What ReportClose did with a spooled report (for diagnosis and tests; the host sees the block).
enum class ReportOutcome : uint8_t {
    None,            // not closed yet
    Delivered,       // callback mode: every line went to reportRow, then the end call
    Published,       // the whole text and its NUL are in the block
    Truncated,       // an older, smaller block of that name: the complete lines that fit, then NUL
    PublishedEmpty,  // the spool could not be created or written: the block holds a single NUL
    NotPublished,    // no block name, or the block could not be created or mapped
};

class ReportWriter {
  public:
    explicit ReportWriter(HostRecord* host);
    ~ReportWriter();  // deletes a spool file that is still there; publishes nothing
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // Chooses the delivery and, in spool mode, creates the spool file. A spool that cannot be
    // created does not make the open fail: the report then ends empty (see Finish).
    void Open();

    // The operations behind the Report* functions below; each returns the status to report.
    bool SetColumnName(int32_t column, const char* text, ReportStatusCode& status);
    bool SetColourPair(int32_t index, uint32_t textColour, uint32_t backColour, ReportStatusCode& status);
    bool FlushHeader();
    void StartRow(int64_t clock);
    // StartRow, then SetCell(column, "") and SetCellColour(column, pair) for every column below
    // `columns`, in one call: the status is that of the last SetCellColour.
    bool StartBlankRow(int64_t clock, int32_t columns, int32_t pair, ReportStatusCode& status);
    bool SetCellColour(int32_t column, int32_t pair, ReportStatusCode& status);
    bool SetCell(int32_t column, const char* text, ReportStatusCode& status);
    bool WriteRow();
    // Emits a pending row, then ends the delivery (end call or publication). Returns the block's
    // handle (-1 when there is none, and always on POSIX).
    intptr_t Finish();

    ReportDelivery Delivery() const { return delivery_; }
    ReportOutcome Outcome() const { return outcome_; }
    int32_t ColumnCount() const { return columnCount_; }
    int32_t PairCount() const { return pairCount_; }
    const char* SpoolPath() const { return spoolPath_; }

  private:
    // Stores `text` converted for the host into `slot`, cut to 255 bytes.
    void StoreText(char* slot, const char* text);
    size_t BuildHeaderLine(char* line) const;
    size_t BuildRowLine(char* line) const;
    bool Emit(const char* line, size_t length);
    bool FlushSpool();
    void ClearSlots();
    void Publish(platform::SharedBlock& block, uint64_t total);
    void DeleteSpool();

    HostRecord* host_;
    int32_t columnCount_ = 0;
    int32_t pairCount_ = 0;
    bool headerPending_ = false;
    bool rowPending_ = false;
    std::array<uint32_t, kReportMaxPairs> textColour_{};
    std::array<uint32_t, kReportMaxPairs> backColour_{};
    std::array<std::array<char, kReportSlotSize>, kReportMaxColumns> slot_{};
    std::array<int32_t, kReportMaxColumns> cellPair_{};
    int64_t rowClock_ = 0;
    ReportDelivery delivery_ = ReportDelivery::Spool;
    ReportOutcome outcome_ = ReportOutcome::None;
    platform::File spool_;
    std::array<char, kReportSpoolBuffer> spoolBuffer_{};
    size_t spoolBuffered_ = 0;
    bool spoolFailed_ = false;  // the spool could not be created, or a line was not written in full
    char spoolPath_[260] = {};
    char blockName_[kReportBlockNameSize + 1] = {};
};

// The nine operations on the writer of a call (call.reportWriter, at most one). Every one sets
// call.status: 0 done, 1 no host record (ReportOpen), 2 no writer, 3 column refused, 4 no text,
// 5 colour pair refused. A refused call changes nothing.
bool ReportOpen(CallContext& call);
bool ReportSetColumnName(CallContext& call, int32_t column, const char* text);
bool ReportSetColourPair(CallContext& call, int32_t index, uint32_t textColour, uint32_t backColour);
bool ReportFlushHeader(CallContext& call);
bool ReportStartRow(CallContext& call, int64_t clock);
// ReportStartRow, then every column below `columns` given the empty text and `pair` (a row builder
// starts each row so).
bool ReportStartBlankRow(CallContext& call, int64_t clock, int32_t columns, int32_t pair);
bool ReportSetCellColour(CallContext& call, int32_t column, int32_t pair);
bool ReportSetCell(CallContext& call, int32_t column, const char* text);
bool ReportWriteRow(CallContext& call);
intptr_t ReportClose(CallContext& call);
// What the last ReportClose did with its report (None before the first close).
ReportOutcome LastReportOutcome();

// Writes the cell `text` as the report wants it: between double quotes, '"' and '\' escaped with a
// backslash, control bytes and bytes of 0x80 and above as '.', an empty text as a quoted space.
// Writes at most `room` bytes and always closes the quote (needs room >= 3); returns the length.
size_t EscapeCell(const char* text, char* out, size_t room);
// One colour digit of a row line: 0-9, then A-Z for 10-35 (0 for any other value).
constexpr char ColourDigit(int value) {
    return value >= 0 && value <= 9     ? static_cast<char>('0' + value)
           : value >= 10 && value <= 35 ? static_cast<char>('A' + (value - 10))
                                        : '0';
}

}  // namespace zb
