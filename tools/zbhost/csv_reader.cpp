// Reads logic-analyzer CSV exports: an optional header row with the channel names, then one row
// per sample or one row per transition. A first column named "Time..." (seconds, or the unit in
// brackets such as "Time [us]") or "Sample..." places each row; without one every row is the next
// sample. Comment lines start with ';' or '#'. Each row gives the levels from its position on.
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "capture_readers.h"

namespace zbhost {

namespace {

constexpr size_t kMaxLine = 1 << 16;
constexpr size_t kMaxColumns = 1024;

enum class PositionColumn { None, Time, Sample };

// Reads one line without its end; false at the end of the input.
bool ReadLine(std::streambuf* buf, std::string& line, uint64_t lineNumber) {
    line.clear();
    int c = buf->sbumpc();
    if (c == EOF) return false;
    while (c != EOF && c != '\n') {
        if (line.size() >= kMaxLine)
            throw CaptureError("CSV line " + std::to_string(lineNumber) + " is too long");
        if (c != '\r') line.push_back(static_cast<char>(c));
        c = buf->sbumpc();
    }
    return true;
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    const size_t b = s.find_last_not_of(" \t");
    std::string t = s.substr(a, b - a + 1);
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
    return t;
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t end = line.find(separator, start);
        fields.push_back(
            Trim(line.substr(start, end == std::string::npos ? std::string::npos : end - start)));
        if (fields.size() > kMaxColumns) throw CaptureError("CSV row with more than 1024 columns");
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

bool IsNumber(const std::string& s) {
    if (s.empty()) return false;
    char* end = nullptr;
    std::strtod(s.c_str(), &end);
    return *end == '\0';
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Seconds per unit of a time column, from the unit written after its name.
double TimeUnit(const std::string& header) {
    const std::string h = Lower(header);
    const size_t open = h.find_first_of("[(");
    if (open == std::string::npos) return 1;
    const size_t close = h.find_first_of("])", open);
    std::string unit =
        Trim(h.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
    if (unit == "s") return 1;
    if (unit == "ms") return 1e-3;
    if (unit == "us" || unit == "\xc2\xb5s") return 1e-6;
    if (unit == "ns") return 1e-9;
    if (unit == "ps") return 1e-12;
    throw CaptureError("CSV: unknown time unit in '" + header + "'");
}

// Seconds per unit of a time column named by its unit alone ("nanoseconds"); 0 for other names.
double NamedTimeUnit(const std::string& lower) {
    static const std::pair<const char*, double> kUnits[] = {{"seconds", 1},
                                                            {"milliseconds", 1e-3},
                                                            {"microseconds", 1e-6},
                                                            {"nanoseconds", 1e-9},
                                                            {"picoseconds", 1e-12}};
    for (const auto& [name, seconds] : kUnits) {
        if (lower == name) return seconds;
    }
    return 0;
}

// Comment lines that some exports write before the header: "; Channels (2/2): MA, SLO" and
// "; Samplerate: 200 MHz".
void ReadComment(const std::string& line, std::vector<std::string>& names, uint64_t& rate) {
    const std::string body = Trim(line.substr(1));
    if (body.compare(0, 9, "Channels ") == 0) {
        const size_t colon = body.find("): ");
        if (colon != std::string::npos) names = Split(body.substr(colon + 3), ',');
    } else if (body.compare(0, 11, "Samplerate:") == 0) {
        rate = ParseSampleRate(Trim(body.substr(11)));
    }
}

}  // namespace

bissgen::Capture ReadCsv(std::istream& in, const ReadOptions& options) {
    bissgen::Capture capture;
    capture.sampleRate = options.sampleRate;
    std::streambuf* buf = in.rdbuf();
    std::string line;
    uint64_t lineNumber = 0;
    std::vector<std::string> header;
    char separator = ',';
    std::vector<std::string> firstRow;
    std::vector<std::string> commentNames;
    uint64_t commentRate = 0;
    while (ReadLine(buf, line, ++lineNumber)) {
        const std::string t = Trim(line);
        if (!t.empty() && t[0] == ';') ReadComment(t, commentNames, commentRate);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        separator = line.find(',') != std::string::npos   ? ','
                    : line.find(';') != std::string::npos ? ';'
                                                          : '\t';
        header = Split(line, separator);
        break;
    }
    if (header.empty()) throw CaptureError("CSV: no rows");
    bool allNumbers = true;
    for (const auto& h : header) allNumbers = allNumbers && IsNumber(h);
    if (allNumbers) {
        // No header row: the channels are known by number only.
        firstRow = header;
        for (size_t i = 0; i < header.size(); ++i) header[i] = std::to_string(i);
    }
    PositionColumn positionColumn = PositionColumn::None;
    double timeUnit = 1;
    if (!allNumbers) {
        const std::string first = Lower(header[0]);
        if (first.compare(0, 4, "time") == 0) {
            positionColumn = PositionColumn::Time;
            timeUnit = TimeUnit(header[0]);
        } else if (NamedTimeUnit(first) > 0) {
            positionColumn = PositionColumn::Time;
            timeUnit = NamedTimeUnit(first);
        } else if (first.compare(0, 6, "sample") == 0) {
            positionColumn = PositionColumn::Sample;
        }
    }
    const size_t dataStart = positionColumn == PositionColumn::None ? 0 : 1;
    std::vector<std::string> names(header.begin() + static_cast<std::ptrdiff_t>(dataStart), header.end());
    // Some exports name every column by its type ("logic") and list the channel names in a comment.
    if (commentNames.size() == names.size()) {
        bool typed = true;
        for (const auto& n : names) typed = typed && (Lower(n) == "logic" || IsNumber(n));
        if (typed) names = commentNames;
    }
    if (capture.sampleRate == 0) capture.sampleRate = commentRate;
    if (names.empty()) throw CaptureError("CSV: no channel columns");
    const size_t ma = dataStart + ResolveChannel(options.ma, names, "MA");
    const size_t slo = dataStart + ResolveChannel(options.slo, names, "SLO");
    if (positionColumn == PositionColumn::Time && capture.sampleRate == 0) {
        throw CaptureError("CSV with a time column: give the sample rate with --samplerate");
    }
    ChangeBuilder builder(capture, options.maxChanges);
    int64_t rowIndex = 0;
    int64_t position = 0;
    bool haveOrigin = false;
    long double origin = 0;
    auto level = [&](const std::string& v) -> uint8_t {
        if (v == "0") return 0;
        if (v == "1") return 1;
        throw CaptureError("CSV line " + std::to_string(lineNumber) + ": level '" + v.substr(0, 20) +
                           "' is not 0 or 1");
    };
    auto row = [&](const std::vector<std::string>& f) {
        if (f.size() != header.size()) {
            throw CaptureError("CSV line " + std::to_string(lineNumber) + ": " + std::to_string(f.size()) +
                               " fields, the header has " + std::to_string(header.size()));
        }
        int64_t p = rowIndex;
        if (positionColumn != PositionColumn::None) {
            char* end = nullptr;
            const long double v = std::strtold(f[0].c_str(), &end);
            if (f[0].empty() || *end != '\0' || !std::isfinite(static_cast<double>(v))) {
                throw CaptureError("CSV line " + std::to_string(lineNumber) + ": bad position '" +
                                   f[0].substr(0, 30) + "'");
            }
            if (!haveOrigin) origin = v, haveOrigin = true;
            const long double samples =
                positionColumn == PositionColumn::Time
                    ? (v - origin) * timeUnit * static_cast<long double>(capture.sampleRate)
                    : v - origin;
            if (samples < 0)
                throw CaptureError("CSV line " + std::to_string(lineNumber) + ": time goes backwards");
            if (samples > 4e18L)
                throw CaptureError("CSV line " + std::to_string(lineNumber) + ": position too large");
            p = static_cast<int64_t>(std::llround(static_cast<double>(samples)));
            if (p < position)
                throw CaptureError("CSV line " + std::to_string(lineNumber) + ": time goes backwards");
        }
        builder.Set(p, level(f[ma]), level(f[slo]));
        position = p;
        ++rowIndex;
    };
    if (!firstRow.empty()) row(firstRow);
    while (ReadLine(buf, line, ++lineNumber)) {
        const std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        row(Split(line, separator));
    }
    if (rowIndex == 0) throw CaptureError("CSV: a header but no samples");
    capture.lastSample = position;
    return capture;
}

}  // namespace zbhost
