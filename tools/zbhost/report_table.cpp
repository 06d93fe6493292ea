// Parsing of the report wire format. Header: "||" and colour hex pairs (text, background; the first
// pair 000000FFFFFF built in), "||Clock," and the names. Row: "|@", one colour digit per colour
// ('0'-'9', 'A'-'Z' = 10-35) for the Clock cell and each cell (text then background), "|@", the
// clock, then each cell in double quotes with \" and \\ escaped; " " (quote, blank, quote) is empty.
#include "report_table.h"

#include <cstdio>
#include <cstdlib>

namespace zbhost {

namespace {

int ColourDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return -1;
}

bool ParseHexColour(const std::string& s, size_t at, uint32_t& out) {
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

std::vector<std::string> SplitLines(const std::string& wire) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < wire.size()) {
        size_t end = wire.find('\n', start);
        if (end == std::string::npos) end = wire.size();
        std::string line = wire.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool ParseHeader(const std::string& line, ReportTable& table, std::string& error) {
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
    std::string rest = line.substr(names + 2);
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
        table.columns.push_back(rest.substr(1, next == std::string::npos ? std::string::npos : next - 1));
        rest = next == std::string::npos ? "" : rest.substr(next);
    }
    return true;
}

bool ParseRow(const std::string& line, const ReportTable& table, ReportRowData& row, std::string& error) {
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
    row.cells.assign(columns, ReportCell{});
    for (size_t i = 0; i < columns; ++i) {
        if (!colour(4 + 2 * i, row.cells[i].textColour) || !colour(5 + 2 * i, row.cells[i].backColour)) {
            error = "row colour digit outside the colour table";
            return false;
        }
    }
    size_t at = digitsEnd + 2;
    const size_t comma = line.find(',', at);
    const std::string clock = line.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
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
        std::string text;
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
        row.cells[i].text = text == " " ? "" : text;
        at = p < line.size() ? p : std::string::npos;
    }
    if (at != std::string::npos) {
        error = "row has more cells than columns";
        return false;
    }
    return true;
}

}  // namespace

bool ParseReport(const std::string& wire, ReportTable& table, std::string& error) {
    table = ReportTable{};
    const std::vector<std::string> lines = SplitLines(wire);
    if (lines.empty()) {
        error = "the report is empty";
        return false;
    }
    if (!ParseHeader(lines[0], table, error)) return false;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        ReportRowData row;
        if (!ParseRow(lines[i], table, row, error)) {
            error = "report line " + std::to_string(i + 1) + ": " + error;
            return false;
        }
        table.rows.push_back(std::move(row));
    }
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

void WriteReportCsv(const ReportTable& table, std::ostream& out, bool withColours) {
    out << "Clock";
    for (const auto& name : table.columns) {
        out << ',' << CsvField(name);
        if (withColours) out << ',' << CsvField(name + " colour");
    }
    out << '\n';
    for (const auto& row : table.rows) {
        out << row.clock;
        for (const auto& cell : row.cells) {
            out << ',' << CsvField(cell.text);
            if (withColours) out << ',' << CssColour(cell.backColour);
        }
        out << '\n';
    }
}

}  // namespace zbhost
