// Sample positions as users give and read them: a plain number is a sample index, a number with a
// unit (s, ms, us, ns, ps) is a time turned into samples at the capture's rate once that is known.
// Also the text forms of times for summaries and tables, and axis ticks in sensible units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zbhost {

// One position from the command line, kept until the capture's sample rate is known.
struct PositionArg {
    bool given = false;     // false: the open end of a range
    bool isTime = false;    // seconds below, else samples
    bool relative = false;  // "+50us": counted from the other end of a range
    double seconds = 0;
    int64_t samples = 0;
};

// "123456", "1.2ms", "350us", "2 s", "+50us" (when `allowRelative`); false with a message.
bool ParsePosition(const std::string& text, bool allowRelative, PositionArg& out, std::string& error);

// FROM:TO with either side empty for the capture's start or end and TO possibly "+LENGTH"; "all"
// is the whole capture.
struct RangeArg {
    bool given = false;
    PositionArg from, to;
};
bool ParseRange(const std::string& text, RangeArg& out, std::string& error);
// The range [from, to) in samples.
RangeArg SampleRange(int64_t from, int64_t to);

// Samples of a position at `sampleRate` (0 = unknown, which a time cannot be resolved with); false
// with a message that names `what`.
bool ResolvePosition(const PositionArg& p, uint64_t sampleRate, const char* what, int64_t& samples,
                     std::string& error);
// [from, to) of a range over a capture of `lastSample` + 1 samples: open ends become 0 and the
// end of the capture; a range that leaves the capture or is empty is refused.
bool ResolveRange(const RangeArg& r, uint64_t sampleRate, int64_t lastSample, const char* what, int64_t& from,
                  int64_t& to, std::string& error);

// A duration or time in the unit that suits it, with `digits` significant digits: "2.979 ms".
std::string FormatSeconds(double seconds, int digits = 4);
// A time to `resolution` seconds, in the unit that suits it: "4.200 us" for 4.2 us to 5 ns.
std::string FormatSecondsAt(double seconds, double resolution);
// Seconds of a sample position with as many decimals as one sample needs ("0.000123455"); empty
// when the rate is unknown (0).
std::string SecondsOfSample(int64_t sample, uint64_t sampleRate);

// The same text for many positions at one rate, written into a caller's buffer without printf
// (for the listings of millions of records).
class SampleSeconds {
  public:
    static constexpr size_t kSize = 64;  // the buffer Format needs
    explicit SampleSeconds(uint64_t sampleRate);
    // Writes the seconds of `sample` into `out` and returns the length (0 when the rate is unknown).
    size_t Format(int64_t sample, char* out) const;
    // Whether the text of `sample` is GridSteps(sample) / 10^Decimals() exactly, with Decimals()
    // decimals: then a listing can keep it in a DecimalField.
    bool OnGrid(int64_t sample) const { return sample >= 0 && sample < exactLimit_; }
    uint64_t GridSteps(int64_t sample) const { return static_cast<uint64_t>(sample) * step_; }
    int Decimals() const { return decimals_; }

  private:
    uint64_t rate_;
    int decimals_;
    // When the rate divides 10^decimals, a position's text is position * step_ exactly (below
    // exactLimit_, where the double's error stays far below the last decimal).
    uint64_t step_ = 0;
    int64_t exactLimit_ = 0;
};
// 1234567 -> "1,234,567".
std::string Grouped(int64_t value);

// Ticks of an axis over [from, to] (seconds when `seconds`, else samples): a round step, its
// labels in one unit, and a caption with the origin when the labels count from it.
struct AxisTicks {
    std::vector<double> at;  // positions of the ticks, in the axis' own quantity
    std::vector<std::string> labels;
    std::string origin;  // non-empty: labels are offsets from this point ("t0 = 3.178 240 s")
};
AxisTicks ChooseTicks(double from, double to, bool seconds, int maxTicks);

}  // namespace zbhost
