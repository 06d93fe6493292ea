// The report writer and the operations on the writer of a call: builds the header and row lines of the
// report text byte for byte, and delivers them through the host's row callback or a spool file
// that is published as a named shared-memory block when the report closes. Spooled lines are
// gathered in a 64 KiB buffer and written in chunks, so a flushed header or row means "accepted";
// a chunk that cannot be written fails the whole report.
//
// Failure rules of the spooled report. The block is only ever filled with a text that ends in NUL:
// - a spool file that cannot be created, or a line that cannot be written in full, fails the whole
//   report: the block then holds a single NUL byte (an empty report), never a partial text;
// - an older block of the same name that is smaller than the text keeps its size; it receives the
//   complete lines that fit, followed by NUL, and never a byte past its end;
// - without a block name, or when the block cannot be created or mapped, nothing is published.
// In every case the spool file is deleted when the report closes.
#include "report/report_writer.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "labels/text_for_host.h"

namespace zb {
namespace {

constexpr char kBuiltInPair[] = "||000000FFFFFF";  // colour 0 black text, colour 1 white fill
constexpr char kClockName[] = "||Clock";
constexpr char kLineEnd[] = "\r\n";
constexpr size_t kLineEndSize = 2;
// Bytes of a line before its CR LF: the whole line, CR LF included, fits in 2047 bytes.
constexpr size_t kLineBody = kReportLineSize - 1 - kLineEndSize;
// The shortest form of a further cell: its comma and a quoted space.
constexpr size_t kMinCellCost = 4;

ReportOutcome lastOutcome = ReportOutcome::None;

// Appends `text` to line[pos..end), cut at `end`; returns the new position.
size_t AppendText(char* line, size_t pos, size_t end, const char* text) {
    while (*text != '\0' && pos < end) line[pos++] = *text++;
    return pos;
}

// The row clock in decimal, as "%lld" prints it (the whole int64 range, sign included).
size_t AppendClock(char* line, size_t pos, int64_t clock) {
    char digits[24];
    size_t n = 0;
    uint64_t magnitude = clock < 0 ? 0 - static_cast<uint64_t>(clock) : static_cast<uint64_t>(clock);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (clock < 0) line[pos++] = '-';
    while (n > 0) line[pos++] = digits[--n];
    return pos;
}

}  // namespace

size_t EscapeCell(const char* text, char* out, size_t room) {
    if (room < 3) return 0;
    size_t pos = 0;
    out[pos++] = '"';
    if (text[0] == '\0') {
        out[pos++] = ' ';
        out[pos++] = '"';
        return pos;
    }
    // Keep one byte for the closing quote; an escape pair is never split.
    for (const char* p = text; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte == '"' || byte == '\\') {
            if (pos + 2 + 1 > room) break;
            out[pos++] = '\\';
            out[pos++] = static_cast<char>(byte);
        } else {
            if (pos + 1 + 1 > room) break;
            out[pos++] = (byte < 0x20 || byte >= 0x80) ? '.' : static_cast<char>(byte);
        }
    }
    out[pos++] = '"';
    return pos;
}

// ---- ReportWriter -----------------------------------------------------------------------------

ReportWriter::ReportWriter(HostRecord* host) : host_(host) {}

ReportWriter::~ReportWriter() {
    DeleteSpool();
}

void ReportWriter::Open() {
    if (host_ != nullptr) {
        std::memcpy(blockName_, host_->reportBlockName, kReportBlockNameSize);
        blockName_[kReportBlockNameSize] = '\0';
    }
    delivery_ =
        (host_ != nullptr && host_->reportRow != nullptr) ? ReportDelivery::Callback : ReportDelivery::Spool;
    ClearSlots();
    headerPending_ = false;
    rowPending_ = false;
    if (delivery_ != ReportDelivery::Spool) return;

    char dir[260] = {};
    if (!platform::TempDirectory(dir, sizeof dir) ||
        !platform::CreateUniqueTempFile(dir, kReportSpoolPrefix, spoolPath_, sizeof spoolPath_)) {
        spoolPath_[0] = '\0';
        spoolFailed_ = true;
        return;
    }
    spool_ = platform::File::Open(spoolPath_);
    if (!spool_.IsOpen()) spoolFailed_ = true;
}

void ReportWriter::StoreText(char* slot, const char* text) {
    // A cell is set per value of every row, and nearly all are short ASCII texts: they are copied
    // in one pass that notes any byte above 0x7F. Only a text with such a byte, or one longer than
    // a slot, takes the conversion below (which leaves ASCII and, for a UTF-8 host, any text as it
    // is).
    unsigned char highBits = 0;
    size_t length = 0;
    for (; length < kReportSlotSize - 1 && text[length] != '\0'; ++length) {
        slot[length] = text[length];
        highBits |= static_cast<unsigned char>(text[length]);
    }
    if (text[length] == '\0' && highBits < 0x80) {
        slot[length] = '\0';
        return;
    }
    char scratch[kReportConvertSize];
    const uint32_t flags = host_ != nullptr ? host_->hostFlags : 0;
    const char* converted = ConvertForHost(flags, text, scratch, sizeof scratch);
    size_t n = 0;
    while (n < kReportSlotSize - 1 && converted[n] != '\0') {
        slot[n] = converted[n];
        ++n;
    }
    slot[n] = '\0';
}

bool ReportWriter::SetColumnName(int32_t column, const char* text, ReportStatusCode& status) {
    if (column < 0 || column >= kReportMaxColumns) {
        status = ReportStatusCode::ColumnRefused;
        return false;
    }
    if (text == nullptr) {
        status = ReportStatusCode::NoText;
        return false;
    }
    StoreText(slot_[column].data(), text);
    columnCount_ = std::max(columnCount_, column + 1);
    headerPending_ = true;
    return true;
}

bool ReportWriter::SetColourPair(int32_t index, uint32_t textColour, uint32_t backColour,
                                 ReportStatusCode& status) {
    if (index < 0 || index >= kReportMaxPairs) {
        status = ReportStatusCode::PairRefused;
        return false;
    }
    textColour_[index] = textColour;
    backColour_[index] = backColour;
    pairCount_ = std::max(pairCount_, index + 1);
    headerPending_ = true;
    return true;
}

size_t ReportWriter::BuildHeaderLine(char* line) const {
    size_t pos = AppendText(line, 0, kLineBody, kBuiltInPair);
    for (int32_t k = 0; k < pairCount_; ++k) {
        char colours[16];
        const int n = std::snprintf(colours, sizeof colours, "%06" PRIX32 "%06" PRIX32,
                                    textColour_[k] & 0xFFFFFFu, backColour_[k] & 0xFFFFFFu);
        if (n > 0) pos = AppendText(line, pos, kLineBody, colours);
    }
    pos = AppendText(line, pos, kLineBody, kClockName);
    // Names are copied as stored; a header too long for one line is cut.
    for (int32_t i = 0; i < columnCount_; ++i) {
        pos = AppendText(line, pos, kLineBody, ",");
        pos = AppendText(line, pos, kLineBody, slot_[i].data());
    }
    std::memcpy(line + pos, kLineEnd, kLineEndSize);
    pos += kLineEndSize;
    line[pos] = '\0';
    return pos;
}

size_t ReportWriter::BuildRowLine(char* line) const {
    size_t pos = 0;
    line[pos++] = '|';
    line[pos++] = '@';
    line[pos++] = ColourDigit(0);
    line[pos++] = ColourDigit(1);
    for (int32_t i = 0; i < columnCount_; ++i) {
        line[pos++] = ColourDigit(2 * cellPair_[i] + 2);
        line[pos++] = ColourDigit(2 * cellPair_[i] + 3);
    }
    line[pos++] = '|';
    line[pos++] = '@';
    pos = AppendClock(line, pos, rowClock_);
    // Each cell may use what is left after keeping the shortest form of every later cell, so a
    // line that would be too long has its cell texts cut but keeps every cell and its quotes.
    for (int32_t i = 0; i < columnCount_; ++i) {
        line[pos++] = ',';
        const size_t reserve = static_cast<size_t>(columnCount_ - 1 - i) * kMinCellCost;
        const size_t room = kLineBody - pos - reserve;
        pos += EscapeCell(slot_[i].data(), line + pos, room);
    }
    std::memcpy(line + pos, kLineEnd, kLineEndSize);
    pos += kLineEndSize;
    line[pos] = '\0';
    return pos;
}

bool ReportWriter::Emit(const char* line, size_t length) {
    if (delivery_ == ReportDelivery::Callback) {
        return host_->reportRow(line, static_cast<uint32_t>(length)) != 0;
    }
    // Spooled lines are gathered and written in large chunks; a failed chunk fails the report.
    if (spoolFailed_) return false;
    if (spoolBuffered_ + length > spoolBuffer_.size() && !FlushSpool()) return false;
    std::memcpy(spoolBuffer_.data() + spoolBuffered_, line, length);
    spoolBuffered_ += length;
    return true;
}

bool ReportWriter::FlushSpool() {
    if (spoolFailed_) return false;
    if (spoolBuffered_ == 0) return true;
    const bool written = spool_.Append(spoolBuffer_.data(), spoolBuffered_);
    spoolBuffered_ = 0;
    if (!written) spoolFailed_ = true;
    return written;
}

void ReportWriter::ClearSlots() {
    for (auto& slot : slot_) slot[0] = '\0';
}

bool ReportWriter::FlushHeader() {
    if (!headerPending_) return false;
    char line[kReportLineSize];
    const size_t length = BuildHeaderLine(line);
    const bool emitted = Emit(line, length);
    ClearSlots();
    headerPending_ = false;
    return emitted;
}

void ReportWriter::StartRow(int64_t clock) {
    rowClock_ = clock;
    rowPending_ = true;
}

bool ReportWriter::StartBlankRow(int64_t clock, int32_t columns, int32_t pair, ReportStatusCode& status) {
    StartRow(clock);
    if (columns < 1) return true;
    for (int32_t column = 0; column < std::min(columns, columnCount_); ++column) slot_[column][0] = '\0';
    const bool pairValid = pair >= 0 && pair < pairCount_;
    if (pairValid)
        std::fill(cellPair_.begin(), cellPair_.begin() + std::min(columns, kReportMaxColumns), pair);
    if (columns > kReportMaxColumns) {
        status = ReportStatusCode::ColumnRefused;
        return false;
    }
    if (!pairValid) status = ReportStatusCode::PairRefused;
    return pairValid;
}

bool ReportWriter::SetCellColour(int32_t column, int32_t pair, ReportStatusCode& status) {
    if (column < 0 || column >= kReportMaxColumns) {
        status = ReportStatusCode::ColumnRefused;
        return false;
    }
    if (pair < 0 || pair >= pairCount_) {
        status = ReportStatusCode::PairRefused;
        return false;
    }
    cellPair_[column] = pair;
    return true;
}

bool ReportWriter::SetCell(int32_t column, const char* text, ReportStatusCode& status) {
    if (column < 0 || column >= columnCount_) {
        status = ReportStatusCode::ColumnRefused;
        return false;
    }
    if (text == nullptr) {
        status = ReportStatusCode::NoText;
        return false;
    }
    StoreText(slot_[column].data(), text);
    rowPending_ = true;
    return true;
}

bool ReportWriter::WriteRow() {
    if (!rowPending_) return false;
    if (headerPending_) FlushHeader();
    char line[kReportLineSize];
    const size_t length = BuildRowLine(line);
    const bool emitted = Emit(line, length);
    ClearSlots();
    rowPending_ = false;
    return emitted;
}

intptr_t ReportWriter::Finish() {
    if (rowPending_) WriteRow();
    if (delivery_ == ReportDelivery::Callback) {
        host_->reportRow(nullptr, 0);
        outcome_ = ReportOutcome::Delivered;
        return -1;
    }
    intptr_t handle = -1;
    if (blockName_[0] == '\0') {
        outcome_ = ReportOutcome::NotPublished;
    } else {
        // The text is followed by one NUL; the block is exactly as long as both.
        const char nul = '\0';
        if (!Emit(&nul, 1) || !FlushSpool()) spoolFailed_ = true;
        const int64_t fileSize = spoolFailed_ ? 1 : spool_.Size();
        if (fileSize < 1) spoolFailed_ = true;
        const uint64_t total = spoolFailed_ ? 1 : static_cast<uint64_t>(fileSize);
        platform::SharedBlock block;
        if (!block.Create(blockName_, total) || block.View() == nullptr || block.ViewSize() == 0) {
            outcome_ = ReportOutcome::NotPublished;
        } else {
            Publish(block, total);
            block.ReleaseView();
            handle = block.Detach();
        }
    }
    return handle;  // the spool goes with the writer (ReportClose deletes it)
}

void ReportWriter::Publish(platform::SharedBlock& block, uint64_t total) {
    auto* view = static_cast<char*>(block.View());
    const uint64_t viewSize = block.ViewSize();
    const uint64_t wanted = std::min(total, viewSize);
    uint64_t done = 0;
    while (!spoolFailed_ && done < wanted) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(wanted - done, 1u << 30));
        const size_t got = spool_.ReadAt(done, view + done, chunk);
        if (got == 0) spoolFailed_ = true;
        done += got;
    }
    // What the block holds from `from` to its end becomes NULs.
    char* const end = view + viewSize;
    auto clearFrom = [end](char* from) { std::fill(from, end, '\0'); };
    if (spoolFailed_) {
        clearFrom(view);
        outcome_ = ReportOutcome::PublishedEmpty;
        return;
    }
    if (wanted == total) {
        clearFrom(view + wanted);
        outcome_ = ReportOutcome::Published;
        return;
    }
    // The block is too small: keep the complete lines that fit before a NUL.
    uint64_t keep = 0;
    for (uint64_t i = viewSize - 1; i >= 2; --i) {
        if (view[i - 1] == '\n' && view[i - 2] == '\r') {
            keep = i;
            break;
        }
    }
    clearFrom(view + keep);
    outcome_ = ReportOutcome::Truncated;
}

void ReportWriter::DeleteSpool() {
    spool_.Close();
    if (spoolPath_[0] != '\0') {
        platform::RemoveFile(spoolPath_);
        spoolPath_[0] = '\0';
    }
}

// ---- The operations on the writer of a call ----------------------------------------------------

bool ReportOpen(CallContext& call) {
    call.status = ReportStatusCode::Ok;
    HostRecord* host = call.host;
    if (host == nullptr) {
        call.status = ReportStatusCode::NoHost;
        return false;
    }
    // A writer left open by an earlier report is dropped with its spool; it publishes nothing.
    delete call.reportWriter;
    call.reportWriter = nullptr;
    auto* writer = new (std::nothrow) ReportWriter(host);
    if (writer == nullptr) {
        call.status = ReportStatusCode::NoObject;
        return false;
    }
    writer->Open();
    call.reportWriter = writer;
    return true;
}

// Runs `op` on the call's writer and records the outcome as the last status: "no object"
// without a writer, otherwise what the operation reports (Ok unless it refused).
namespace {

template <typename Op>
bool WithWriter(CallContext& call, Op op) {
    ReportStatusCode status = ReportStatusCode::Ok;
    bool done = false;
    if (ReportWriter* w = call.reportWriter) {
        done = op(*w, status);
    } else {
        status = ReportStatusCode::NoObject;
    }
    call.status = status;
    return done;
}

}  // namespace

bool ReportSetColumnName(CallContext& call, int32_t column, const char* text) {
    return WithWriter(call,
                      [&](ReportWriter& w, ReportStatusCode& s) { return w.SetColumnName(column, text, s); });
}

bool ReportSetColourPair(CallContext& call, int32_t index, uint32_t textColour, uint32_t backColour) {
    return WithWriter(call, [&](ReportWriter& w, ReportStatusCode& s) {
        return w.SetColourPair(index, textColour, backColour, s);
    });
}

bool ReportFlushHeader(CallContext& call) {
    return WithWriter(call, [](ReportWriter& w, ReportStatusCode&) { return w.FlushHeader(); });
}

bool ReportStartRow(CallContext& call, int64_t clock) {
    return WithWriter(call, [&](ReportWriter& w, ReportStatusCode&) {
        w.StartRow(clock);
        return true;
    });
}

bool ReportStartBlankRow(CallContext& call, int64_t clock, int32_t columns, int32_t pair) {
    return WithWriter(
        call, [&](ReportWriter& w, ReportStatusCode& s) { return w.StartBlankRow(clock, columns, pair, s); });
}

bool ReportSetCellColour(CallContext& call, int32_t column, int32_t pair) {
    return WithWriter(call,
                      [&](ReportWriter& w, ReportStatusCode& s) { return w.SetCellColour(column, pair, s); });
}

bool ReportSetCell(CallContext& call, int32_t column, const char* text) {
    return WithWriter(call, [&](ReportWriter& w, ReportStatusCode& s) { return w.SetCell(column, text, s); });
}

bool ReportWriteRow(CallContext& call) {
    return WithWriter(call, [](ReportWriter& w, ReportStatusCode&) { return w.WriteRow(); });
}

intptr_t ReportClose(CallContext& call) {
    call.status = ReportStatusCode::Ok;
    ReportWriter* w = call.reportWriter;
    if (w == nullptr) {
        call.status = ReportStatusCode::NoObject;
        return -1;
    }
    const intptr_t handle = w->Finish();
    lastOutcome = w->Outcome();
    delete w;
    call.reportWriter = nullptr;
    return handle;
}

ReportOutcome LastReportOutcome() {
    return lastOutcome;
}

}  // namespace zb
