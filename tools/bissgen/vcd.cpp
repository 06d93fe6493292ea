// VCD output: a header with the timescale and two one-bit wires, the starting levels as dumpvars,
// then one timestamp per change and a last timestamp at the final sample.
#include "bissgen/vcd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace bissgen {

namespace {

constexpr unsigned kMaxExponent = 15;  // femtoseconds
constexpr const char* kUnitNames[] = {"s", "ms", "us", "ns", "ps", "fs"};

uint64_t Pow10(unsigned k) {
    uint64_t v = 1;
    while (k-- > 0) v *= 10;
    return v;
}

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};

}  // namespace

VcdTimescale ChooseTimescale(uint64_t sampleRate) {
    unsigned k = 9;
    if (sampleRate != 0) {
        k = kMaxExponent;
        for (unsigned e = 0; e <= kMaxExponent; ++e) {
            if (Pow10(e) % sampleRate == 0) {
                k = e;
                break;
            }
        }
    }
    // 10^-k s written as a multiplier of 1, 10 or 100 and a unit.
    const unsigned group = (k + 2) / 3;
    const uint64_t multiplier = Pow10(group * 3 - k);
    VcdTimescale ts;
    ts.exponent = k;
    ts.text = std::to_string(multiplier) + " " + kUnitNames[group];
    return ts;
}

uint64_t VcdTime(int64_t position, uint64_t sampleRate, unsigned exponent) {
    if (position <= 0) return 0;
    if (sampleRate == 0) return static_cast<uint64_t>(position);
    const unsigned __int128 scaled = static_cast<unsigned __int128>(position) * Pow10(exponent);
    return static_cast<uint64_t>((scaled + sampleRate / 2) / sampleRate);
}

bool WriteVcd(const std::string& path, const Capture& capture, std::string* error) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        if (error != nullptr) *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    std::FILE* f = file.get();
    const VcdTimescale ts = ChooseTimescale(capture.sampleRate);
    std::fprintf(f, "$version bissgen $end\n$timescale %s $end\n", ts.text.c_str());
    std::fprintf(f, "$scope module bissgen $end\n$var wire 1 ! MA $end\n$var wire 1 \" SLO $end\n");
    std::fprintf(f, "$upscope $end\n$enddefinitions $end\n");
    Change now{0, 1, 1};
    if (!capture.changes.empty()) now = capture.changes.front();
    std::fprintf(f, "#0\n$dumpvars\n%d!\n%d\"\n$end\n", now.ma, now.slo);
    for (size_t i = 1; i < capture.changes.size(); ++i) {
        const Change& c = capture.changes[i];
        std::fprintf(f, "#%llu\n",
                     static_cast<unsigned long long>(VcdTime(c.position, capture.sampleRate, ts.exponent)));
        if (c.ma != now.ma) std::fprintf(f, "%d!\n", c.ma);
        if (c.slo != now.slo) std::fprintf(f, "%d\"\n", c.slo);
        now = c;
    }
    const int64_t lastChange = capture.changes.empty() ? 0 : capture.changes.back().position;
    if (capture.lastSample > lastChange) {
        std::fprintf(
            f, "#%llu\n",
            static_cast<unsigned long long>(VcdTime(capture.lastSample, capture.sampleRate, ts.exponent)));
    }
    if (std::ferror(f) != 0 || std::fclose(file.release()) != 0) {
        if (error != nullptr) *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace bissgen
