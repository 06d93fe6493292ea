// Pieces the capture readers share: format choice by name, channel look-up by name or number,
// sample-rate text, and the dispatch to the right reader.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "capture_readers.h"

namespace zbhost {

namespace {
std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

CaptureFormat ParseFormatName(const std::string& name) {
    const std::string n = Lower(name);
    if (n == "auto") return CaptureFormat::Auto;
    if (n == "sr" || n == "srzip") return CaptureFormat::Srzip;
    if (n == "vcd") return CaptureFormat::Vcd;
    if (n == "csv") return CaptureFormat::Csv;
    if (n == "binary" || n == "bin" || n == "raw") return CaptureFormat::Binary;
    throw CaptureError("unknown capture format '" + name + "' (use sr, vcd, csv or binary)");
}

CaptureFormat FormatFromPath(const std::string& path) {
    const std::string p = Lower(path);
    if (EndsWith(p, ".sr") || EndsWith(p, ".srzip")) return CaptureFormat::Srzip;
    if (EndsWith(p, ".vcd")) return CaptureFormat::Vcd;
    if (EndsWith(p, ".csv")) return CaptureFormat::Csv;
    if (EndsWith(p, ".bin") || EndsWith(p, ".raw")) return CaptureFormat::Binary;
    if (path == "-") throw CaptureError("standard input needs --format vcd|csv|binary");
    throw CaptureError("cannot tell the format of '" + path +
                       "' from its name; use --format sr|vcd|csv|binary");
}

size_t ResolveChannel(const std::string& spec, const std::vector<std::string>& names, const char* role) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (!names[i].empty() && names[i] == spec) return i;
    }
    if (!spec.empty() && spec.size() <= 6 &&
        std::all_of(spec.begin(), spec.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const size_t n = static_cast<size_t>(std::strtoul(spec.c_str(), nullptr, 10));
        if (n < names.size()) return n;
    }
    std::string list;
    for (size_t i = 0; i < names.size() && i < 64; ++i) {
        list += (i ? ", " : "") + std::to_string(i) + (names[i].empty() ? "" : "=" + names[i]);
    }
    throw CaptureError(std::string("no channel '") + spec + "' for " + role + " (channels: " + list + ")");
}

uint64_t ParseSampleRate(const std::string& text) {
    const char* s = text.c_str();
    char* end = nullptr;
    const double value = std::strtod(s, &end);
    if (end == s || !(value > 0) || !std::isfinite(value)) return 0;
    std::string unit = Lower(end);
    unit.erase(std::remove_if(unit.begin(), unit.end(),
                              [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
               unit.end());
    double scale = 0;
    if (unit.empty() || unit == "hz")
        scale = 1;
    else if (unit == "khz" || unit == "k")
        scale = 1e3;
    else if (unit == "mhz" || unit == "m")
        scale = 1e6;
    else if (unit == "ghz" || unit == "g")
        scale = 1e9;
    else
        return 0;
    const double rate = value * scale;
    if (rate < 1 || rate > 1e15) return 0;
    return static_cast<uint64_t>(std::llround(rate));
}

namespace {
std::unique_ptr<ChangeStream> OpenText(ByteInput input, CaptureFormat format, const ReadOptions& options) {
    std::unique_ptr<ChangeStream> reader;
    if (format == CaptureFormat::Vcd)
        reader = OpenVcd(std::move(input), options);
    else if (format == CaptureFormat::Csv)
        reader = OpenCsv(std::move(input), options);
    else
        reader = OpenBinary(std::move(input), options);
    return std::make_unique<ThreadedStream>(std::move(reader));
}
}  // namespace

std::unique_ptr<ChangeStream> OpenCapture(const std::string& path, CaptureFormat format,
                                          const ReadOptions& options) {
    if (format == CaptureFormat::Auto) format = FormatFromPath(path);
    if (path == "-") {
        if (format == CaptureFormat::Srzip) {
            throw CaptureError("a sigrok session file cannot be read from standard input; give its name");
        }
        return OpenText(ByteInput::StandardInput(), format, options);
    }
    if (format == CaptureFormat::Srzip) return OpenSrzip(path, options);
    return OpenText(ByteInput::File(path), format, options);
}

std::unique_ptr<ChangeStream> OpenCaptureBytes(std::string bytes, CaptureFormat format,
                                               const ReadOptions& options, bool canSeek) {
    if (format == CaptureFormat::Auto || format == CaptureFormat::Srzip) {
        throw CaptureError("captures in memory are VCD, CSV or raw samples");
    }
    return OpenText(ByteInput::Memory(std::move(bytes), canSeek), format, options);
}

bissgen::Capture ReadCapture(const std::string& path, CaptureFormat format, const ReadOptions& options) {
    return ReadAll(*OpenCapture(path, format, options));
}

}  // namespace zbhost
