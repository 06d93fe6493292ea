// Parsing and printing of positions and times. A time becomes samples by rounding to the nearest
// sample; printed times use the largest unit in which the value is at least 1.
#include "time_units.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text_buffer.h"

namespace zbhost {

namespace {

constexpr double kMaxSeconds = 1e9;
constexpr int64_t kMaxSamples = int64_t{1} << 62;
// Labels that would need more significant digits than this count from an origin instead.
constexpr double kMaxLabelDigits = 1e5;

struct Unit {
    const char* name;
    double seconds;
};
// Largest first: FormatSeconds and the axis take the first unit a value reaches.
constexpr Unit kUnits[] = {{"s", 1}, {"ms", 1e-3}, {"us", 1e-6}, {"ns", 1e-9}, {"ps", 1e-12}};

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The seconds of one unit name ("\xC2\xB5s" is the micro sign in UTF-8); 0 when unknown.
double UnitSeconds(const std::string& name) {
    if (name == "\xC2\xB5s") return 1e-6;
    for (const Unit& u : kUnits) {
        if (name == u.name) return u.seconds;
    }
    return 0;
}

const Unit& UnitFor(double seconds) {
    for (const Unit& u : kUnits) {
        if (seconds >= u.seconds * (1 - 1e-9)) return u;
    }
    return kUnits[std::size(kUnits) - 1];
}

int DecimalsFor(double step) {
    return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
}

std::string Fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    // No "-0" for a value that rounds to zero.
    if (text[0] == '-' && std::strspn(text + 1, "0.") == std::strlen(text + 1)) return text + 1;
    return text;
}

}  // namespace

bool ParsePosition(const std::string& raw, bool allowRelative, PositionArg& out, std::string& error) {
    out = PositionArg{};
    std::string text = Trim(raw);
    if (text.empty()) return true;  // an open end
    out.given = true;
    if (text[0] == '+') {
        if (!allowRelative) {
            error = "'" + raw + "': only the end of a range can be relative (+LENGTH)";
            return false;
        }
        out.relative = true;
        text = Trim(text.substr(1));
    }
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.')) {
        error = "'" + raw + "' is not a position (samples such as 12000, or a time such as 1.2ms)";
        return false;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    const std::string number = text.substr(0, static_cast<size_t>(end - text.c_str()));
    const std::string unit = Lower(Trim(end));
    if (unit.empty()) {
        if (number.find_first_not_of("0123456789") != std::string::npos) {
            error = "'" + raw + "': a plain number counts samples; give a time with its unit (s, ms, us, ns)";
            return false;
        }
        if (number.size() > 18 || value > static_cast<double>(kMaxSamples)) {
            error = "'" + raw + "' is too large";
            return false;
        }
        out.samples = std::strtoll(number.c_str(), nullptr, 10);
        return true;
    }
    const double scale = UnitSeconds(unit);
    if (scale == 0 || !std::isfinite(value) || value * scale > kMaxSeconds) {
        error = "'" + raw + "' is not a position (units: s, ms, us, ns, ps; plain numbers are samples)";
        return false;
    }
    out.isTime = true;
    out.seconds = value * scale;
    return true;
}

bool ParseRange(const std::string& text, RangeArg& out, std::string& error) {
    out = RangeArg{};
    out.given = true;
    if (Lower(Trim(text)) == "all") return true;
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        error = "'" + text + "' is not a range (FROM:TO, e.g. 1.2ms:1.5ms, 12000:+800, 2s: or all)";
        return false;
    }
    return ParsePosition(text.substr(0, colon), false, out.from, error) &&
           ParsePosition(text.substr(colon + 1), true, out.to, error);
}

RangeArg SampleRange(int64_t from, int64_t to) {
    RangeArg r;
    r.given = r.from.given = r.to.given = true;
    r.from.samples = from;
    r.to.samples = to;
    return r;
}

bool ResolvePosition(const PositionArg& p, uint64_t sampleRate, const char* what, int64_t& samples,
                     std::string& error) {
    if (!p.isTime) {
        samples = p.samples;
        return true;
    }
    if (sampleRate == 0) {
        error = std::string(what) + " is given as a time, but the capture has no sample rate: " +
                "give it in samples, or the rate with --samplerate";
        return false;
    }
    const double s = std::round(p.seconds * static_cast<double>(sampleRate));
    if (s > static_cast<double>(kMaxSamples)) {
        error = std::string(what) + " lies far beyond any capture";
        return false;
    }
    samples = static_cast<int64_t>(s);
    return true;
}

bool ResolveRange(const RangeArg& r, uint64_t sampleRate, int64_t lastSample, const char* what, int64_t& from,
                  int64_t& to, std::string& error) {
    from = 0;
    to = lastSample + 1;
    if (r.from.given && !ResolvePosition(r.from, sampleRate, what, from, error)) return false;
    if (r.to.given) {
        int64_t end = 0;
        if (!ResolvePosition(r.to, sampleRate, what, end, error)) return false;
        to = r.to.relative ? from + end : end;
    }
    const std::string last =
        Grouped(lastSample) +
        (sampleRate
             ? " (" + FormatSeconds(static_cast<double>(lastSample) / static_cast<double>(sampleRate)) + ")"
             : "");
    if (from > lastSample || to > lastSample + 1) {
        error = std::string(what) + " reaches beyond the capture, whose last sample is " + last;
        return false;
    }
    if (to <= from) {
        error = std::string(what) + " is empty: its end is not after its start";
        return false;
    }
    return true;
}

std::string FormatSeconds(double seconds, int digits) {
    if (seconds == 0 || !std::isfinite(seconds)) return "0 s";
    const double magnitude = std::fabs(seconds);
    const Unit& u = UnitFor(magnitude);
    const double v = seconds / u.seconds;
    const int whole = static_cast<int>(std::floor(std::log10(std::fabs(v)) + 1e-12)) + 1;
    return Fixed(v, std::max(0, digits - whole)) + " " + u.name;
}

std::string FormatSecondsAt(double seconds, double resolution) {
    if (seconds == 0 || !std::isfinite(seconds)) return "0 s";
    const Unit& u = UnitFor(std::fabs(seconds));
    return Fixed(seconds / u.seconds, std::min(12, DecimalsFor(resolution / u.seconds))) + " " + u.name;
}

namespace {

constexpr uint64_t kPow10[13] = {1,           10,           100,          1000,      10000,
                                 100000,      1000000,      10000000,     100000000, 1000000000,
                                 10000000000, 100000000000, 1000000000000};

}  // namespace

SampleSeconds::SampleSeconds(uint64_t sampleRate)
    : rate_(sampleRate),
      decimals_(
          sampleRate == 0
              ? 0
              : std::clamp(static_cast<int>(std::ceil(std::log10(static_cast<double>(sampleRate)))), 0, 12)) {
    if (rate_ != 0 && kPow10[decimals_] % rate_ == 0) {
        step_ = kPow10[decimals_] / rate_;
        exactLimit_ = static_cast<int64_t>((uint64_t{1} << 52) / step_);
    }
}

size_t SampleSeconds::Format(int64_t sample, char* out) const {
    if (rate_ == 0) return 0;
    // At a rate that divides 10^decimals the exact quotient lies on the decimal grid, and the
    // double is within 2^-53 of it relatively: below 2^52 grid steps that is far less than half a
    // step, so printf rounds the double back to the exact quotient.
    if (OnGrid(sample)) return FixedPoint(GridSteps(sample), decimals_, out);
    const double v = static_cast<double>(sample) / static_cast<double>(rate_);
    if (sample < 0 || !(v < 1e6)) {
        const std::string text = Fixed(v, decimals_);
        const size_t n = std::min(text.size(), kSize - 1);
        std::memcpy(out, text.data(), n);
        return n;
    }
    // The double v is mantissa * 2^-shift exactly; v * 10^decimals rounded to an integer, half to
    // even on that exact value, is what printf shows (without its decimal point). Below a million
    // seconds the mantissa times 10^12 fits in 128 bits and the result in 64.
    __extension__ typedef unsigned __int128 Wide;
    uint64_t scaled = 0;
    if (v > 0) {
        int exponent = 0;
        const double fraction = std::frexp(v, &exponent);  // v = fraction * 2^exponent, 0.5 <= fraction < 1
        const auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
        const int shift = 53 - exponent;  // at least 33, as v < 2^20
        const Wide wide = static_cast<Wide>(mantissa) * kPow10[decimals_];
        if (shift < 128) {
            scaled = static_cast<uint64_t>(wide >> shift);
            const Wide rest = wide & ((Wide{1} << shift) - 1);
            const Wide half = Wide{1} << (shift - 1);
            if (rest > half || (rest == half && (scaled & 1) != 0)) ++scaled;
        }
    }
    return FixedPoint(scaled, decimals_, out);
}

std::string SecondsOfSample(int64_t sample, uint64_t sampleRate) {
    char text[SampleSeconds::kSize];
    return std::string(text, SampleSeconds(sampleRate).Format(sample, text));
}

std::string Grouped(int64_t value) {
    const std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return value < 0 ? "-" + out : out;
}

AxisTicks ChooseTicks(double from, double to, bool seconds, int maxTicks) {
    AxisTicks ticks;
    const double span = to - from;
    if (!(span > 0) || maxTicks < 1) return ticks;
    const double raw = span / maxTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude * 10;
    for (double m : {1.0, 2.0, 5.0}) {
        if (magnitude * m >= raw) {
            step = magnitude * m;
            break;
        }
    }
    if (!seconds) step = std::max(1.0, std::round(step));
    // Counted, not summed: far from zero a small step may be below the values' precision.
    const double first = std::ceil(from / step - 1e-9) * step;
    for (int k = 0; k <= maxTicks + 1; ++k) {
        const double t = first + k * step;
        if (t > to + step * 1e-9) break;
        if (ticks.at.empty() || t > ticks.at.back()) ticks.at.push_back(t);
    }
    if (ticks.at.empty()) return ticks;

    const double largest = std::max(std::fabs(ticks.at.front()), std::fabs(ticks.at.back()));
    const bool offsets = largest / step >= kMaxLabelDigits;
    // Offsets are in the step's unit; absolute labels in the unit of the largest value.
    const Unit unit = !seconds ? Unit{"", 1} : offsets ? UnitFor(step) : UnitFor(std::max(largest, step));
    const int decimals = DecimalsFor(step / unit.seconds);
    const double origin = offsets ? ticks.at.front() : 0;
    const std::string suffix = seconds ? std::string(" ") + unit.name : std::string();
    for (double t : ticks.at) {
        const std::string v = Fixed((t - origin) / unit.seconds, decimals);
        ticks.labels.push_back((offsets ? "+" : "") + v + suffix);
    }
    if (offsets) {
        // The origin to the precision of the step: in seconds with the step's decimals, or samples.
        ticks.origin =
            seconds ? "t0 = " + Fixed(origin, DecimalsFor(step)) + " s" : "t0 = sample " + Fixed(origin, 0);
    }
    return ticks;
}

}  // namespace zbhost
