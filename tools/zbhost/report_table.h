// The report's wire text parsed back into a table (the host's packet list): the colour table of the
// header, the column names, and per row the clock and the cells with their text and colours.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
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

// Parses the wire text (lines ended by CR LF); false with a message naming the bad line.
bool ParseReport(const std::string& wire, ReportTable& table, std::string& error);

// A spreadsheet-friendly CSV: "Clock" and the column names, then one line per row; with
// `withColours` each cell is followed by its background colour as #RRGGBB.
void WriteReportCsv(const ReportTable& table, std::ostream& out, bool withColours);

// "#RRGGBB" of a COLORREF.
std::string CssColour(uint32_t colorref);
// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);

}  // namespace zbhost
