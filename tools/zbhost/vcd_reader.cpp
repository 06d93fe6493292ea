// Reads value change dumps (VCD): the header declares the time unit ($timescale) and the wires
// ($var ... $end); the body lists times (#n) and value changes ("1!", "b101 !"). Times become sample
// positions through a sample rate (by default one sample per time unit). Scalar values 0 and 1 are
// levels; x reads as 0 and z as 1 (an undriven line held by its pull-up).
#include <cerrno>
#include <cstring>
#include <map>

#include "capture_readers.h"

namespace zbhost {

namespace {

constexpr size_t kMaxToken = 4096;
constexpr size_t kMaxVars = 100000;

class Tokenizer {
  public:
    explicit Tokenizer(std::istream& in) : buf_(in.rdbuf()) {}
    // The next whitespace-separated token; false at the end of the input.
    bool Next(std::string& token) {
        token.clear();
        int c;
        while ((c = buf_->sbumpc()) != EOF && IsSpace(c)) {
        }
        if (c == EOF) return false;
        do {
            if (token.size() >= kMaxToken) throw CaptureError("VCD token longer than 4096 characters");
            token.push_back(static_cast<char>(c));
        } while ((c = buf_->sbumpc()) != EOF && !IsSpace(c));
        return true;
    }

  private:
    static bool IsSpace(int c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
    }
    std::streambuf* buf_;
};

// Collects the tokens up to "$end".
std::vector<std::string> UntilEnd(Tokenizer& tokens, const char* what) {
    std::vector<std::string> out;
    std::string t;
    while (tokens.Next(t)) {
        if (t == "$end") return out;
        if (out.size() < 64) out.push_back(t);
    }
    throw CaptureError(std::string("VCD ends inside ") + what);
}

struct Timescale {
    uint64_t multiplier = 0;  // 1, 10 or 100
    unsigned exponent = 0;    // the unit is multiplier * 10^-exponent seconds
};

Timescale ParseTimescale(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& p : parts) text += p;
    size_t i = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    const std::string number = text.substr(0, i);
    const std::string unit = text.substr(i);
    Timescale ts;
    if (number == "1")
        ts.multiplier = 1;
    else if (number == "10")
        ts.multiplier = 10;
    else if (number == "100")
        ts.multiplier = 100;
    static const std::pair<const char*, unsigned> kUnits[] = {{"s", 0},  {"ms", 3},  {"us", 6},
                                                              {"ns", 9}, {"ps", 12}, {"fs", 15}};
    bool known = false;
    for (const auto& [name, exponent] : kUnits) {
        if (unit == name) {
            ts.exponent = exponent;
            known = true;
        }
    }
    if (ts.multiplier == 0 || !known) throw CaptureError("VCD: bad $timescale '" + text + "'");
    return ts;
}

uint64_t Pow10(unsigned e) {
    uint64_t v = 1;
    while (e-- > 0) v *= 10;
    return v;
}

// The level of a scalar value character; -1 for a character that is not a value.
int Level(char c) {
    switch (c) {
        case '0':
        case 'x':
        case 'X':
            return 0;
        case '1':
        case 'z':
        case 'Z':
            return 1;
        default:
            return -1;
    }
}

}  // namespace

bissgen::Capture ReadVcd(std::istream& in, const ReadOptions& options) {
    Tokenizer tokens(in);
    std::string t;
    bool haveTimescale = false;
    Timescale ts;
    std::vector<std::string> names;  // declaration order = channel number
    std::vector<std::string> codes;  // identifier code per declaration
    std::vector<std::string> scopes;
    bool definitionsDone = false;
    while (!definitionsDone && tokens.Next(t)) {
        if (t == "$timescale") {
            ts = ParseTimescale(UntilEnd(tokens, "$timescale"));
            haveTimescale = true;
        } else if (t == "$var") {
            const auto v = UntilEnd(tokens, "$var");
            if (v.size() < 4) throw CaptureError("VCD: incomplete $var");
            if (names.size() >= kMaxVars) throw CaptureError("VCD: too many variables");
            codes.push_back(v[2]);
            std::string name = v[3];
            if (v.size() >= 5 && v[4][0] == '[') name += v[4];
            names.push_back(name);
        } else if (t == "$scope") {
            const auto v = UntilEnd(tokens, "$scope");
            scopes.push_back(v.size() >= 2 ? v[1] : "");
        } else if (t == "$upscope") {
            UntilEnd(tokens, "$upscope");
            if (!scopes.empty()) scopes.pop_back();
        } else if (t == "$enddefinitions") {
            UntilEnd(tokens, "$enddefinitions");
            definitionsDone = true;
        } else if (t[0] == '$') {
            UntilEnd(tokens, t.c_str());
        } else {
            throw CaptureError("VCD: unexpected '" + t.substr(0, 40) + "' before $enddefinitions");
        }
    }
    if (!definitionsDone) throw CaptureError("VCD: no $enddefinitions (not a VCD file, or cut short)");
    if (!haveTimescale) throw CaptureError("VCD: no $timescale, so times cannot become sample positions");
    const size_t ma = ResolveChannel(options.ma, names, "MA");
    const size_t slo = ResolveChannel(options.slo, names, "SLO");
    const std::string maCode = codes[ma];
    const std::string sloCode = codes[slo];

    bissgen::Capture capture;
    if (options.sampleRate != 0) {
        capture.sampleRate = options.sampleRate;
    } else {
        // One sample per time unit: 10^e / multiplier samples per second.
        const uint64_t scale = Pow10(ts.exponent);
        if (scale % ts.multiplier != 0 || scale / ts.multiplier == 0) {
            throw CaptureError("VCD: this $timescale needs --samplerate");
        }
        capture.sampleRate = scale / ts.multiplier;
    }
    const unsigned __int128 numerator = static_cast<unsigned __int128>(ts.multiplier) * capture.sampleRate;
    const unsigned __int128 denominator = Pow10(ts.exponent);

    ChangeBuilder builder(capture, options.maxChanges);
    uint8_t levels[2] = {0, 0};
    int64_t position = 0;
    bool seenTime = false;
    uint64_t lastTime = 0;
    auto apply = [&](const std::string& code, int level) {
        if (level < 0) return;
        bool hit = false;
        if (code == maCode) levels[0] = static_cast<uint8_t>(level), hit = true;
        if (code == sloCode) levels[1] = static_cast<uint8_t>(level), hit = true;
        if (hit) builder.Set(position, levels[0], levels[1]);
    };
    builder.Set(0, 0, 0);
    while (tokens.Next(t)) {
        const char c = t[0];
        if (c == '#') {
            if (t.size() < 2 || t.size() > 21 || t.find_first_not_of("0123456789", 1) != std::string::npos) {
                throw CaptureError("VCD: bad time '" + t.substr(0, 40) + "'");
            }
            errno = 0;
            const uint64_t time = std::strtoull(t.c_str() + 1, nullptr, 10);
            if (errno == ERANGE) throw CaptureError("VCD: bad time '" + t.substr(0, 40) + "'");
            if (seenTime && time < lastTime) {
                throw CaptureError("VCD: time goes backwards at #" + std::to_string(time));
            }
            const unsigned __int128 p =
                (static_cast<unsigned __int128>(time) * numerator + denominator / 2) / denominator;
            if (p > static_cast<unsigned __int128>(INT64_MAX / 2))
                throw CaptureError("VCD: time beyond the sample range");
            position = static_cast<int64_t>(p);
            seenTime = true;
            lastTime = time;
        } else if (c == '$') {
            if (t == "$comment") UntilEnd(tokens, "$comment");
            // $dumpvars, $dumpall, $dumpon, $dumpoff and their $end only bracket value changes.
        } else if (Level(c) >= 0) {
            apply(t.substr(1), Level(c));
        } else if (c == 'b' || c == 'B') {
            std::string code;
            if (!tokens.Next(code)) throw CaptureError("VCD ends inside a vector value");
            apply(code, Level(t.back()));
        } else if (c == 'r' || c == 'R') {
            std::string code;
            if (!tokens.Next(code)) throw CaptureError("VCD ends inside a real value");
        } else {
            throw CaptureError("VCD: unexpected '" + t.substr(0, 40) + "'");
        }
    }
    capture.lastSample = position;
    return capture;
}

}  // namespace zbhost
