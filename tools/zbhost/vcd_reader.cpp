// Reads value change dumps (VCD): the header declares the time unit ($timescale) and the wires
// ($var ... $end); the body lists times (#n) and value changes ("1!", "b101 !"). Times become sample
// positions through a sample rate (by default one sample per time unit). Scalar values 0 and 1 are
// levels; x reads as 0 and z as 1 (an undriven line held by its pull-up). The header is read when
// the file is opened; the body block by block, each block starting at a time token whose offset
// and state make a checkpoint.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "capture_readers.h"
#include "change_builder.h"

namespace zbhost {

namespace {

constexpr size_t kMaxToken = 4096;
constexpr size_t kMaxVars = 100000;

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The next whitespace-separated token and the offset of its first byte; false at the end.
bool NextToken(ByteInput& in, std::string& token, uint64_t& offset) {
    token.clear();
    int c;
    while ((c = in.Get()) != EOF && IsSpace(c)) {
    }
    if (c == EOF) return false;
    offset = in.Offset() - 1;
    do {
        if (token.size() >= kMaxToken) throw CaptureError("VCD token longer than 4096 characters");
        token.push_back(static_cast<char>(c));
    } while ((c = in.Get()) != EOF && !IsSpace(c));
    return true;
}

bool NextToken(ByteInput& in, std::string& token) {
    uint64_t offset = 0;
    return NextToken(in, token, offset);
}

// Collects the tokens up to "$end".
std::vector<std::string> UntilEnd(ByteInput& in, const char* what) {
    std::vector<std::string> out;
    std::string t;
    while (NextToken(in, t)) {
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

class VcdStream : public TextChangeStream {
  public:
    VcdStream(ByteInput input, const ReadOptions& options);
    bool Next(ChangeBlock& out) override;
    void Restart(const Checkpoint& from) override;

  private:
    void ReadHeader(const ReadOptions& options);
    int64_t TimeToPosition(const std::string& t);
    void Apply(const std::string& code, int level);

    std::string maCode_;
    std::string sloCode_;
    unsigned __int128 numerator_ = 0;
    unsigned __int128 denominator_ = 1;
    uint8_t levels_ = 0;
    uint64_t lastTime_ = 0;
    std::string token_;
    std::string code_;
};

VcdStream::VcdStream(ByteInput input, const ReadOptions& options)
    : TextChangeStream(std::move(input), options.sampleRate) {
    ReadHeader(options);
    next_.valid = true;
    next_.where = in_.Offset();
}

void VcdStream::ReadHeader(const ReadOptions& options) {
    std::string t;
    bool haveTimescale = false;
    Timescale ts;
    std::vector<std::string> names;  // declaration order = channel number
    std::vector<std::string> codes;  // identifier code per declaration
    bool definitionsDone = false;
    while (!definitionsDone && NextToken(in_, t)) {
        if (t == "$timescale") {
            ts = ParseTimescale(UntilEnd(in_, "$timescale"));
            haveTimescale = true;
        } else if (t == "$var") {
            const auto v = UntilEnd(in_, "$var");
            if (v.size() < 4) throw CaptureError("VCD: incomplete $var");
            if (names.size() >= kMaxVars) throw CaptureError("VCD: too many variables");
            codes.push_back(v[2]);
            std::string name = v[3];
            if (v.size() >= 5 && v[4][0] == '[') name += v[4];
            names.push_back(name);
        } else if (t == "$enddefinitions") {
            UntilEnd(in_, "$enddefinitions");
            definitionsDone = true;
        } else if (t[0] == '$') {
            UntilEnd(in_, t.c_str());  // $scope, $upscope, $date, $version, $comment, ...
        } else {
            throw CaptureError("VCD: unexpected '" + t.substr(0, 40) + "' before $enddefinitions");
        }
    }
    if (!definitionsDone) throw CaptureError("VCD: no $enddefinitions (not a VCD file, or cut short)");
    if (!haveTimescale) throw CaptureError("VCD: no $timescale, so times cannot become sample positions");
    maCode_ = codes[ResolveChannel(options.ma, names, "MA")];
    sloCode_ = codes[ResolveChannel(options.slo, names, "SLO")];
    if (sampleRate_ == 0) {
        // Without --samplerate, one sample per time unit: 10^e / multiplier samples per second.
        const uint64_t scale = Pow10(ts.exponent);
        if (scale % ts.multiplier != 0 || scale / ts.multiplier == 0) {
            throw CaptureError("VCD: this $timescale needs --samplerate");
        }
        sampleRate_ = scale / ts.multiplier;
    }
    numerator_ = static_cast<unsigned __int128>(ts.multiplier) * sampleRate_;
    denominator_ = Pow10(ts.exponent);
}

int64_t VcdStream::TimeToPosition(const std::string& t) {
    if (t.size() < 2 || t.size() > 21 || t.find_first_not_of("0123456789", 1) != std::string::npos) {
        throw CaptureError("VCD: bad time '" + t.substr(0, 40) + "'");
    }
    errno = 0;
    const uint64_t time = std::strtoull(t.c_str() + 1, nullptr, 10);
    if (errno == ERANGE) throw CaptureError("VCD: bad time '" + t.substr(0, 40) + "'");
    if (time < lastTime_) throw CaptureError("VCD: time goes backwards at #" + std::to_string(time));
    const unsigned __int128 p =
        (static_cast<unsigned __int128>(time) * numerator_ + denominator_ / 2) / denominator_;
    if (p > static_cast<unsigned __int128>(INT64_MAX / 2))
        throw CaptureError("VCD: time beyond the sample range");
    lastTime_ = time;
    return static_cast<int64_t>(p);
}

void VcdStream::Apply(const std::string& code, int level) {
    if (level < 0) return;
    bool hit = false;
    if (code == maCode_) {
        levels_ = static_cast<uint8_t>((levels_ & ~kMaLevel) | (level ? kMaLevel : 0));
        hit = true;
    }
    if (code == sloCode_) {
        levels_ = static_cast<uint8_t>((levels_ & ~kSloLevel) | (level ? kSloLevel : 0));
        hit = true;
    }
    if (hit) builder_.Set(position_, levels_);
}

bool VcdStream::Next(ChangeBlock& out) {
    out.Clear();
    if (ended_) return false;
    builder_.SetOutput(out);
    out.start = next_;
    // Both lines start low at position 0 until the file says otherwise (only the body's start has
    // no change in force: the first block commits the one at position 0).
    if (next_.inForcePosition < 0) builder_.Set(0, levels_);
    uint64_t offset = 0;
    for (;;) {
        if (holding_) {
            holding_ = false;  // the time token that ended the last block is in token_
            offset = next_.where;
        } else if (!NextToken(in_, token_, offset)) {
            break;
        }
        const char c = token_[0];
        if (c == '#') {
            const uint64_t timeBefore = lastTime_;
            const int64_t p = TimeToPosition(token_);
            if (builder_.IsOpen() && p > builder_.OpenPosition()) {
                builder_.Commit();
                // A full block ends at a time that starts a later position: all before is final.
                if (out.Size() >= kBlockChanges) {
                    next_ = Checkpoint{};
                    next_.valid = true;
                    next_.where = offset;
                    next_.position = position_;
                    next_.time = timeBefore;
                    builder_.Save(next_);
                    holding_ = true;
                    lastTime_ = timeBefore;  // the held token is read again from its text
                    return true;
                }
            }
            position_ = p;
        } else if (c == '$') {
            if (token_ == "$comment") UntilEnd(in_, "$comment");
            // $dumpvars, $dumpall, $dumpon, $dumpoff and their $end only bracket value changes.
        } else if (Level(c) >= 0) {
            code_.assign(token_, 1, std::string::npos);
            Apply(code_, Level(c));
        } else if (c == 'b' || c == 'B') {
            if (!NextToken(in_, code_)) throw CaptureError("VCD ends inside a vector value");
            Apply(code_, Level(token_.back()));
        } else if (c == 'r' || c == 'R') {
            if (!NextToken(in_, code_)) throw CaptureError("VCD ends inside a real value");
        } else {
            throw CaptureError("VCD: unexpected '" + token_.substr(0, 40) + "'");
        }
    }
    return EndOfText(out);
}

void VcdStream::Restart(const Checkpoint& from) {
    RestartText(from);
    lastTime_ = from.time;
    levels_ = from.inForcePosition >= 0 ? from.inForceLevels : 0;
}

}  // namespace

std::unique_ptr<ChangeStream> OpenVcd(ByteInput input, const ReadOptions& options) {
    return std::make_unique<VcdStream>(std::move(input), options);
}

}  // namespace zbhost
