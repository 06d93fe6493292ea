// Reads logic-analyzer CSV exports: an optional header row with the channel names, then one row
// per sample or one row per transition. A first column named "Time..." (seconds, or the unit in
// brackets such as "Time [us]") or "Sample..." places each row; without one every row is the next
// sample. Comment lines start with ';' or '#'. Each row gives the levels from its position on. The
// header is read when the file is opened, the rows block by block; each block starts at a line whose
// offset and row count make a checkpoint.
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "capture_readers.h"
#include "change_builder.h"

namespace zbhost {

namespace {

constexpr size_t kMaxLine = 1 << 16;
constexpr size_t kMaxColumns = 1024;

enum class PositionColumn { None, Time, Sample };

// Reads one line without its end; false at the end of the input.
bool ReadLine(ByteInput& in, std::string& line, uint64_t lineNumber) {
    line.clear();
    int c = in.Get();
    if (c == EOF) return false;
    while (c != EOF && c != '\n') {
        if (line.size() >= kMaxLine)
            throw CaptureError("CSV line " + std::to_string(lineNumber) + " is too long");
        if (c != '\r') line.push_back(static_cast<char>(c));
        c = in.Get();
    }
    return true;
}

bool IsComment(const std::string& trimmed) {
    return trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#';
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

class CsvStream : public TextChangeStream {
  public:
    CsvStream(ByteInput input, const ReadOptions& options);
    bool Next(ChangeBlock& out) override;
    void Restart(const Checkpoint& from) override;

  private:
    // The sample position and levels of one row; throws for a malformed row.
    int64_t RowPosition(const std::vector<std::string>& f);
    uint8_t Level(const std::string& v) const;

    char separator_ = ',';
    size_t columns_ = 0;
    size_t ma_ = 0;
    size_t slo_ = 0;
    PositionColumn positionColumn_ = PositionColumn::None;
    double timeUnit_ = 1;
    bool haveOrigin_ = false;
    long double origin_ = 0;
    // The parser's place besides the last row's position: rows read, the line number. A line
    // held for the next block is the header line of a file without one, or the row that ended the
    // last block.
    int64_t rows_ = 0;
    uint64_t lineNumber_ = 0;
    std::string line_;
    std::vector<std::string> fields_;
};

CsvStream::CsvStream(ByteInput input, const ReadOptions& options)
    : TextChangeStream(std::move(input), options.sampleRate) {
    std::vector<std::string> header;
    std::vector<std::string> commentNames;
    uint64_t commentRate = 0;
    uint64_t headerOffset = 0;
    for (;;) {
        headerOffset = in_.Offset();
        if (!ReadLine(in_, line_, ++lineNumber_)) break;
        const std::string t = Trim(line_);
        if (!t.empty() && t[0] == ';') ReadComment(t, commentNames, commentRate);
        if (IsComment(t)) continue;
        separator_ = line_.find(',') != std::string::npos   ? ','
                     : line_.find(';') != std::string::npos ? ';'
                                                            : '\t';
        header = Split(line_, separator_);
        break;
    }
    if (header.empty()) throw CaptureError("CSV: no rows");
    columns_ = header.size();
    bool allNumbers = true;
    for (const auto& h : header) allNumbers = allNumbers && IsNumber(h);
    next_.valid = true;
    next_.where = in_.Offset();
    next_.line = lineNumber_;
    if (allNumbers) {
        // No header row: the channels are known by number only, and the line is the first row.
        for (size_t i = 0; i < header.size(); ++i) header[i] = std::to_string(i);
        next_.where = headerOffset;
        next_.line = --lineNumber_;
        holding_ = true;
    } else {
        const std::string first = Lower(header[0]);
        if (first.compare(0, 4, "time") == 0) {
            positionColumn_ = PositionColumn::Time;
            timeUnit_ = TimeUnit(header[0]);
        } else if (NamedTimeUnit(first) > 0) {
            positionColumn_ = PositionColumn::Time;
            timeUnit_ = NamedTimeUnit(first);
        } else if (first.compare(0, 6, "sample") == 0) {
            positionColumn_ = PositionColumn::Sample;
        }
    }
    const size_t dataStart = positionColumn_ == PositionColumn::None ? 0 : 1;
    std::vector<std::string> names(header.begin() + static_cast<std::ptrdiff_t>(dataStart), header.end());
    // Some exports name every column by its type ("logic") and list the channel names in a comment.
    if (commentNames.size() == names.size()) {
        bool typed = true;
        for (const auto& n : names) typed = typed && (Lower(n) == "logic" || IsNumber(n));
        if (typed) names = commentNames;
    }
    if (sampleRate_ == 0) sampleRate_ = commentRate;
    if (names.empty()) throw CaptureError("CSV: no channel columns");
    ma_ = dataStart + ResolveChannel(options.ma, names, "MA");
    slo_ = dataStart + ResolveChannel(options.slo, names, "SLO");
    if (positionColumn_ == PositionColumn::Time && sampleRate_ == 0) {
        throw CaptureError("CSV with a time column: give the sample rate with --samplerate");
    }
}

uint8_t CsvStream::Level(const std::string& v) const {
    if (v == "0") return 0;
    if (v == "1") return 1;
    throw CaptureError("CSV line " + std::to_string(lineNumber_) + ": level '" + v.substr(0, 20) +
                       "' is not 0 or 1");
}

int64_t CsvStream::RowPosition(const std::vector<std::string>& f) {
    const std::string where = "CSV line " + std::to_string(lineNumber_);
    if (f.size() != columns_) {
        throw CaptureError(where + ": " + std::to_string(f.size()) + " fields, the header has " +
                           std::to_string(columns_));
    }
    if (positionColumn_ == PositionColumn::None) return rows_;
    char* end = nullptr;
    const long double v = std::strtold(f[0].c_str(), &end);
    if (f[0].empty() || *end != '\0' || !std::isfinite(static_cast<double>(v))) {
        throw CaptureError(where + ": bad position '" + f[0].substr(0, 30) + "'");
    }
    if (!haveOrigin_) origin_ = v, haveOrigin_ = true;
    const long double samples = positionColumn_ == PositionColumn::Time
                                    ? (v - origin_) * timeUnit_ * static_cast<long double>(sampleRate_)
                                    : v - origin_;
    if (samples < 0) throw CaptureError(where + ": time goes backwards");
    if (samples > 4e18L) throw CaptureError(where + ": position too large");
    const int64_t p = static_cast<int64_t>(std::llround(static_cast<double>(samples)));
    if (p < position_) throw CaptureError(where + ": time goes backwards");
    return p;
}

bool CsvStream::Next(ChangeBlock& out) {
    out.Clear();
    if (ended_) return false;
    builder_.SetOutput(out);
    out.start = next_;
    uint64_t offset = 0;
    for (;;) {
        if (holding_) {
            holding_ = false;
            offset = next_.where;
            ++lineNumber_;
        } else {
            offset = in_.Offset();
            if (!ReadLine(in_, line_, ++lineNumber_)) break;
        }
        if (IsComment(Trim(line_))) continue;
        fields_ = Split(line_, separator_);
        const int64_t p = RowPosition(fields_);
        const uint8_t levels = PackLevels(Level(fields_[ma_]), Level(fields_[slo_]));
        if (builder_.IsOpen() && p > builder_.OpenPosition()) {
            builder_.Commit();
            // A full block ends at a row with a later position: all before it is final.
            if (out.Size() >= kBlockChanges) {
                next_ = Checkpoint{};
                next_.valid = true;
                next_.where = offset;
                next_.position = position_;
                next_.time = static_cast<uint64_t>(rows_);
                next_.line = lineNumber_ - 1;
                builder_.Save(next_);
                holding_ = true;
                --lineNumber_;
                return true;
            }
        }
        builder_.Set(p, levels);
        position_ = p;
        ++rows_;
    }
    if (rows_ == 0) throw CaptureError("CSV: a header but no samples");
    return EndOfText(out);
}

void CsvStream::Restart(const Checkpoint& from) {
    RestartText(from);
    rows_ = static_cast<int64_t>(from.time);
    lineNumber_ = from.line;
}

}  // namespace

std::unique_ptr<ChangeStream> OpenCsv(ByteInput input, const ReadOptions& options) {
    return std::make_unique<CsvStream>(std::move(input), options);
}

}  // namespace zbhost
