// Parsing of the report wire format. Header: "||" and colour hex pairs (text, background; the first
// pair 000000FFFFFF built in), "||Clock," and the names. Row: "|@", one colour digit per colour
// ('0'-'9', 'A'-'Z' = 10-35) for the Clock cell and each cell (text then background), "|@", the
// clock, then each cell in double quotes with \" and \\ escaped; " " (quote, blank, quote) is empty.
#include "report_table.h"

#include <cstdio>
#include <cstdlib>

#include "text_buffer.h"

namespace zbhost {

namespace {

int ColourDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return -1;
}

bool ParseHexColour(std::string_view s, size_t at, uint32_t& out) {
    if (at + 6 > s.size()) return false;
    uint32_t v = 0;
    for (size_t i = at; i < at + 6; ++i) {
        const char c = s[i];
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return false;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    out = v;
    return true;
}

bool ParseHeader(std::string_view line, ReportTable& table, std::string& error) {
    if (line.compare(0, 2, "||") != 0) {
        error = "report header does not start with ||";
        return false;
    }
    const size_t names = line.find("||", 2);
    if (names == std::string::npos || (names - 2) % 6 != 0) {
        error = "report header colour table is malformed";
        return false;
    }
    for (size_t at = 2; at < names; at += 6) {
        uint32_t colour = 0;
        if (!ParseHexColour(line, at, colour)) {
            error = "report header colour is not six hex digits";
            return false;
        }
        table.colours.push_back(colour);
    }
    std::string_view rest = line.substr(names + 2);
    if (rest.compare(0, 5, "Clock") != 0) {
        error = "report header lacks the Clock column";
        return false;
    }
    rest = rest.substr(5);
    while (!rest.empty()) {
        if (rest[0] != ',') {
            error = "report header names are malformed";
            return false;
        }
        const size_t next = rest.find(',', 1);
        table.columns.emplace_back(
            rest.substr(1, next == std::string_view::npos ? std::string_view::npos : next - 1));
        rest = next == std::string_view::npos ? std::string_view() : rest.substr(next);
    }
    return true;
}

// Parses a row into `row`, reusing its cells' strings.
bool ParseRow(std::string_view line, const ReportTable& table, ReportRowData& row, std::string& error) {
    const size_t columns = table.columns.size();
    if (line.compare(0, 2, "|@") != 0) {
        error = "row does not start with |@";
        return false;
    }
    const size_t digitsEnd = 2 + 2 + 2 * columns;
    if (line.size() < digitsEnd + 2 || line.compare(digitsEnd, 2, "|@") != 0) {
        error = "row colour digits do not match the column count";
        return false;
    }
    auto colour = [&](size_t at, uint32_t& out) {
        const int d = ColourDigit(line[at]);
        if (d < 0 || static_cast<size_t>(d) >= table.colours.size()) return false;
        out = table.colours[static_cast<size_t>(d)];
        return true;
    };
    row.cells.resize(columns);
    for (size_t i = 0; i < columns; ++i) {
        if (!colour(4 + 2 * i, row.cells[i].textColour) || !colour(5 + 2 * i, row.cells[i].backColour)) {
            error = "row colour digit outside the colour table";
            return false;
        }
    }
    size_t at = digitsEnd + 2;
    const size_t comma = line.find(',', at);
    const std::string clock(
        line.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
    char* end = nullptr;
    row.clock = std::strtoll(clock.c_str(), &end, 10);
    if (clock.empty() || *end != '\0') {
        error = "row clock is not a number";
        return false;
    }
    at = comma;
    for (size_t i = 0; i < columns; ++i) {
        if (at == std::string::npos || at + 1 >= line.size() || line[at] != ',' || line[at + 1] != '"') {
            error = "row has fewer cells than columns";
            return false;
        }
        std::string& text = row.cells[i].text;
        text.clear();
        size_t p = at + 2;
        for (;;) {
            if (p >= line.size()) {
                error = "row cell without its closing quote";
                return false;
            }
            const char c = line[p];
            if (c == '\\' && p + 1 < line.size()) {
                text.push_back(line[p + 1]);
                p += 2;
            } else if (c == '"') {
                ++p;
                break;
            } else {
                text.push_back(c);
                ++p;
            }
        }
        if (text == " ") text.clear();
        at = p < line.size() ? p : std::string_view::npos;
    }
    if (at != std::string::npos) {
        error = "row has more cells than columns";
        return false;
    }
    return true;
}

}  // namespace

bool ReportReader::Lines(std::string_view wire, std::string& error) {
    if (failed_) return false;
    size_t start = 0;
    while (start < wire.size()) {
        size_t end = wire.find('\n', start);
        if (end == std::string_view::npos) end = wire.size();
        std::string_view line = wire.substr(start, end - start);
        start = end + 1;
        ++number_;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (number_ == 1) {
            if (!ParseHeader(line, header_, error)) {
                failed_ = true;
                return false;
            }
            continue;
        }
        if (line.empty()) continue;
        if (!ParseRow(line, header_, row_, error)) {
            error = "report line " + std::to_string(number_) + ": " + error;
            failed_ = true;
            return false;
        }
        visit_(row_);
    }
    return true;
}

bool ReadReport(std::string_view wire, ReportTable& header,
                const std::function<void(const ReportRowData&)>& visit, std::string& error) {
    header = ReportTable{};
    if (wire.empty()) {
        error = "the report is empty";
        return false;
    }
    ReportReader reader(visit);
    const bool read = reader.Lines(wire, error);
    header = reader.Header();
    return read;
}

bool ParseReport(std::string_view wire, ReportTable& table, std::string& error) {
    std::vector<ReportRowData> rows;
    if (!ReadReport(
            wire, table, [&](const ReportRowData& row) { rows.push_back(row); }, error))
        return false;
    table.rows = std::move(rows);
    return true;
}

std::string CssColour(uint32_t c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return text;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

namespace {

void CsvHeader(const ReportTable& table, TextBuffer& out, bool withColours) {
    out.Put("Clock");
    for (const auto& name : table.columns) {
        out.Put(',');
        out.CsvField(name);
        if (withColours) {
            out.Put(',');
            out.CsvField(name + " colour");
        }
    }
    out.Put('\n');
}

void CsvRow(const ReportRowData& row, TextBuffer& out, bool withColours) {
    out.Decimal(row.clock);
    for (const auto& cell : row.cells) {
        out.Put(',');
        out.CsvField(cell.text);
        if (withColours) {
            out.Put(',');
            out.Colour(cell.backColour);
        }
    }
    out.Put('\n');
}

}  // namespace

void WriteReportCsv(const ReportTable& table, std::ostream& out, bool withColours) {
    TextBuffer text(out);
    CsvHeader(table, text, withColours);
    for (const auto& row : table.rows) CsvRow(row, text, withColours);
}

ReportCsvWriter::ReportCsvWriter(std::ostream& out, bool withColours)
    : text_(std::make_unique<TextBuffer>(out)),
      withColours_(withColours),
      reader_([this](const ReportRowData& row) {
          if (!headed_) CsvHeader(reader_.Header(), *text_, withColours_);
          headed_ = true;
          CsvRow(row, *text_, withColours_);
      }) {}

ReportCsvWriter::~ReportCsvWriter() = default;

bool ReportCsvWriter::Finish(std::string& error) {
    if (!reader_.Started()) {
        error = "the report is empty";
        return false;
    }
    if (!headed_) CsvHeader(reader_.Header(), *text_, withColours_);
    headed_ = true;
    text_->Flush();
    return true;
}

bool WriteReportCsv(std::string_view wire, std::ostream& out, bool withColours, std::string& error) {
    if (wire.empty()) {
        error = "the report is empty";
        return false;
    }
    ReportCsvWriter csv(out, withColours);
    return csv.Lines(wire, error) && csv.Finish(error);
}

}  // namespace zbhost
