// Pieces the capture readers share: format choice by name, channel look-up (by name, number,
// sigrok name or the line's usual names), sample-rate text, and the dispatch to the right reader.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "capture_readers.h"
#include "channel_pick.h"

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

namespace {

// Probe names a user would give the two lines, compared without case and without any character
// but letters and digits ("MA+", "biss_ma" and "Clock" all count).
const char* const kMaAliases[] = {"ma", "clk", "clock", "sclk", "sck", "scl", "bissma", "maclk"};
const char* const kSloAliases[] = {"slo", "sl", "data", "dat", "sda", "sdo", "dout", "miso", "bissslo"};

std::string Folded(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

template <size_t N>
bool FindAlias(const std::vector<std::string>& names, const char* const (&aliases)[N], size_t& index) {
    for (const char* alias : aliases) {
        for (size_t i = 0; i < names.size(); ++i) {
            if (Folded(names[i]) == alias) {
                index = i;
                return true;
            }
        }
    }
    return false;
}

bool IsNumber(const std::string& s) {
    return !s.empty() && s.size() <= 6 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

ChannelPicks& Picks() {
    static ChannelPicks picks;
    return picks;
}

std::string ChannelList(const std::vector<std::string>& names) {
    std::string list;
    for (size_t i = 0; i < names.size() && i < 64; ++i) {
        list += (i ? ", " : "") + std::to_string(i) + (names[i].empty() ? "" : "=" + names[i]);
    }
    return list;
}

// The channel for one line: by exact name, by name without case, by number, as sigrok's "D3"
// (channel 3) or, for an empty text, by the usual names of the line.
ChannelPick PickChannel(const std::string& spec, const std::vector<std::string>& names, bool isMa,
                        const ChannelPick& other) {
    ChannelPick pick;
    pick.valid = true;
    auto found = [&](size_t i, PickedBy how) {
        pick.index = i;
        pick.name = names[i];
        pick.how = how;
        return pick;
    };
    if (spec.empty()) {
        size_t i = 0;
        if (isMa ? FindAlias(names, kMaAliases, i) : FindAlias(names, kSloAliases, i))
            return found(i, PickedBy::Alias);
        // No usual name: the lowest channel that the other line does not use, or would find by name.
        size_t taken = names.size();
        if (other.valid)
            taken = other.index;
        else if (isMa)
            FindAlias(names, kSloAliases, taken);
        for (i = 0; i < names.size(); ++i) {
            if (i != taken) return found(i, PickedBy::Default);
        }
        pick.valid = false;
        return pick;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (!names[i].empty() && names[i] == spec) return found(i, PickedBy::Name);
    }
    size_t match = names.size(), matches = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        if (!names[i].empty() && Lower(names[i]) == Lower(spec)) match = i, ++matches;
    }
    if (matches == 1) return found(match, PickedBy::Name);
    if (IsNumber(spec)) {
        const size_t n = static_cast<size_t>(std::strtoul(spec.c_str(), nullptr, 10));
        if (n < names.size()) return found(n, PickedBy::Number);
    }
    if (spec.size() > 1 && (spec[0] == 'D' || spec[0] == 'd') && IsNumber(spec.substr(1))) {
        const size_t n = static_cast<size_t>(std::strtoul(spec.c_str() + 1, nullptr, 10));
        if (n < names.size()) return found(n, PickedBy::SigrokName);
    }
    pick.valid = false;
    return pick;
}
}  // namespace

const ChannelPicks& LastChannelPicks() {
    return Picks();
}

void ForgetChannelPicks() {
    Picks() = ChannelPicks{};
}

size_t ResolveChannel(const std::string& spec, const std::vector<std::string>& names, const char* role) {
    const bool isMa = std::string(role) == "MA";
    ChannelPicks& picks = Picks();
    // MA comes first in every read: it starts a new record of the read's choices.
    if (isMa) picks = ChannelPicks{names, {}, {}};
    const ChannelPick pick = PickChannel(spec, names, isMa, isMa ? ChannelPick{} : picks.ma);
    if (!pick.valid) {
        throw CaptureError(std::string("no channel '") + spec + "' for " + role +
                           " (channels: " + ChannelList(names) + ")");
    }
    if (!isMa && picks.ma.valid && picks.names == names && picks.ma.index == pick.index) {
        throw CaptureError(
            "MA and SLO would both be channel " + std::to_string(pick.index) +
            (pick.name.empty() ? "" : " (" + pick.name + ")") +
            ": give two different channels with --ma and --slo (channels: " + ChannelList(names) + ")");
    }
    (isMa ? picks.ma : picks.slo) = pick;
    return pick.index;
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
