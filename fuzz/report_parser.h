// A strict reader of the report text a host receives: the header line with its colour table and
// column names, and the row lines with their colour digits, clock and quoted cells. The fuzz
// targets parse every line the writer emits with it, so a line that a host could not read is
// found at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/memory_host.h"

namespace zbfuzz {

using zbtest::kMaxReportLine;  // CR LF included, the NUL not

struct ParsedHeader {
    std::vector<std::string> colours;  // the colour table after the built-in pair, 6 digits each
    std::string names;                 // everything after "||Clock" up to CR LF
};

struct ParsedRow {
    std::vector<int> pairs;  // the colour pair of each cell
    std::string clock;
    std::vector<std::string> cells;  // unescaped contents; an empty slot reads as " "
};

// A digit or upper-case letter as a number of base 36; -1 for any other character.
inline int DigitValue(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'Z' ? c - 'A' + 10 : -1;
}

inline bool EndsInCrLf(const std::string& line) {
    return line.size() >= 2 && line[line.size() - 2] == '\r' && line[line.size() - 1] == '\n';
}

inline bool ParseHeaderLine(const std::string& line, ParsedHeader& out) {
    static const std::string kStart = "||000000FFFFFF";
    static const std::string kClock = "||Clock";
    if (line.size() > kMaxReportLine || !EndsInCrLf(line)) return false;
    if (line.compare(0, kStart.size(), kStart) != 0) return false;
    size_t pos = kStart.size();
    out.colours.clear();
    while (line.compare(pos, kClock.size(), kClock) != 0) {
        if (pos + 12 > line.size() - 2) return false;
        for (size_t i = 0; i < 12; ++i) {
            if (DigitValue(line[pos + i]) < 0 || DigitValue(line[pos + i]) > 15) return false;
        }
        out.colours.push_back(line.substr(pos, 6));
        out.colours.push_back(line.substr(pos + 6, 6));
        pos += 12;
    }
    pos += kClock.size();
    out.names = line.substr(pos, line.size() - 2 - pos);
    return true;
}

inline bool ParseRowLine(const std::string& line, ParsedRow& out) {
    if (line.size() > kMaxReportLine || !EndsInCrLf(line)) return false;
    const size_t end = line.size() - 2;
    if (line.compare(0, 4, "|@01") != 0) return false;
    size_t pos = 4;
    out.pairs.clear();
    out.cells.clear();
    while (pos + 1 < end && !(line[pos] == '|' && line[pos + 1] == '@')) {
        const int a = DigitValue(line[pos]);
        const int b = DigitValue(line[pos + 1]);
        if (a < 2 || a % 2 != 0 || b != a + 1) return false;
        out.pairs.push_back((a - 2) / 2);
        pos += 2;
    }
    if (pos + 1 >= end) return false;
    pos += 2;
    const size_t clockStart = pos;
    if (pos < end && line[pos] == '-') ++pos;
    while (pos < end && line[pos] >= '0' && line[pos] <= '9') ++pos;
    out.clock = line.substr(clockStart, pos - clockStart);
    if (out.clock.empty() || out.clock == "-") return false;
    for (size_t i = 0; i < out.pairs.size(); ++i) {
        if (pos + 1 >= end || line[pos] != ',' || line[pos + 1] != '"') return false;
        pos += 2;
        std::string cell;
        for (;;) {
            if (pos >= end) return false;
            const auto c = static_cast<unsigned char>(line[pos]);
            if (c == '"') break;
            if (c == '\\') {
                if (pos + 1 >= end || (line[pos + 1] != '"' && line[pos + 1] != '\\')) return false;
                cell.push_back(line[pos + 1]);
                pos += 2;
                continue;
            }
            if (c < 0x20 || c >= 0x80) return false;
            cell.push_back(static_cast<char>(c));
            ++pos;
        }
        ++pos;  // the closing quote
        // An empty slot is written as a quoted space; "" only where a full line cut a cell.
        out.cells.push_back(cell);
    }
    return pos == end;
}

// The cell text as the writer shows it: control bytes and bytes of 0x80 and above become '.'.
inline std::string VisibleCell(const std::string& text) {
    if (text.empty()) return " ";
    std::string s;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        s.push_back(c < 0x20 || c >= 0x80 ? '.' : ch);
    }
    return s;
}

}  // namespace zbfuzz
