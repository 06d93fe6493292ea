// The report's wire text parsed back into a table (the host's packet list): the colour table of the
// header, the column names, and per row the clock and the cells with their text and colours.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace zbhost {

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

// Reads the wire text (lines ended by CR LF) one line at a time: the header's colours and columns
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
