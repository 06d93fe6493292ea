// The report's wire text parsed back into a table (the host's packet list): the colour table of the
// header, the column names, and per row the clock and the cells with their text and colours.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace zbhost {

class TextBuffer;

struct ReportCell {
    std::string text;
    uint32_t textColour = 0;  // COLORREF 0x00BBGGRR
    uint32_t backColour = 0xFFFFFF;
};

struct ReportRowData {
    int64_t clock = 0;
    std::vector<ReportCell> cells;  // the Clock cell excluded
};

struct ReportTable {
    std::vector<uint32_t> colours;     // colour 0, 1, 2, ... as the header numbers them
    std::vector<std::string> columns;  // "Clock" excluded
    std::vector<ReportRowData> rows;
};

// Reads the wire text as it arrives, in pieces of whole lines (lines ended by CR LF; a piece's
// last line may lack its end only when no piece follows): the header's colours and columns into
// Header(), then each row handed to the visitor as soon as it is parsed (the same row object,
// filled again for every row). After a line that cannot be read it reads nothing more.
class ReportReader {
  public:
    using Visit = std::function<void(const ReportRowData&)>;
    explicit ReportReader(Visit visit) : visit_(std::move(visit)) {}
    // False with a message naming the bad line; the rows before it have been visited.
    bool Lines(std::string_view wire, std::string& error);
    const ReportTable& Header() const { return header_; }
    bool Started() const { return number_ > 0; }

  private:
    Visit visit_;
    ReportTable header_;
    ReportRowData row_;
    size_t number_ = 0;  // lines read
    bool failed_ = false;
};

// The CSV of a report written as its wire text arrives (see ReportReader and WriteReportCsv).
class ReportCsvWriter {
  public:
    ReportCsvWriter(std::ostream& out, bool withColours);
    ~ReportCsvWriter();  // writes out what is buffered
    ReportCsvWriter(const ReportCsvWriter&) = delete;
    ReportCsvWriter& operator=(const ReportCsvWriter&) = delete;
    bool Lines(std::string_view wire, std::string& error) { return reader_.Lines(wire, error); }
    // Ends the table: the header alone when no row came. False when no line came at all.
    bool Finish(std::string& error);

  private:
    std::unique_ptr<TextBuffer> text_;
    bool withColours_;
    bool headed_ = false;
    ReportReader reader_;
};

// Reads the whole wire text (lines ended by CR LF) one line at a time: the header's colours and columns
// into `header`, then each row handed to `visit` as soon as it is parsed (the same row object,
// filled again for every row), so that a report of millions of rows needs no table. False with a
// message naming the bad line; the rows before it have been visited.
bool ReadReport(std::string_view wire, ReportTable& header,
                const std::function<void(const ReportRowData&)>& visit, std::string& error);
// The whole table at once.
bool ParseReport(std::string_view wire, ReportTable& table, std::string& error);

// A spreadsheet-friendly CSV: "Clock" and the column names, then one line per row; with
// `withColours` each cell is followed by its background colour as #RRGGBB.
void WriteReportCsv(const ReportTable& table, std::ostream& out, bool withColours);
// The same written row by row as the wire text is read; false (with the message of ReadReport)
// when a line cannot be read, after the rows before it were written.
bool WriteReportCsv(std::string_view wire, std::ostream& out, bool withColours, std::string& error);

// "#RRGGBB" of a COLORREF.
std::string CssColour(uint32_t colorref);
// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);

}  // namespace zbhost
