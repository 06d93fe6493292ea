// VCD output: a header with the timescale and two one-bit wires, the starting levels as dumpvars,
// then one timestamp per change and a last timestamp at the final sample.
#include "bissgen/vcd.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace bissgen {

namespace {

constexpr unsigned kMaxExponent = 15;  // femtoseconds
constexpr const char* kUnitNames[] = {"s", "ms", "us", "ns", "ps", "fs"};

uint64_t Pow10(unsigned k) {
    uint64_t v = 1;
    while (k-- > 0) v *= 10;
    return v;
}

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

void WriteVcd(std::ostream& out, const Capture& capture) {
    const VcdTimescale ts = ChooseTimescale(capture.sampleRate);
    out << "$version bissgen $end\n$timescale " << ts.text << " $end\n";
    out << "$scope module bissgen $end\n$var wire 1 ! MA $end\n$var wire 1 \" SLO $end\n";
    out << "$upscope $end\n$enddefinitions $end\n";
    Change now{0, 1, 1};
    if (!capture.changes.empty()) now = capture.changes.front();
    out << "#0\n$dumpvars\n" << int{now.ma} << "!\n" << int{now.slo} << "\"\n$end\n";
    for (size_t i = 1; i < capture.changes.size(); ++i) {
        const Change& c = capture.changes[i];
        out << '#' << VcdTime(c.position, capture.sampleRate, ts.exponent) << '\n';
        if (c.ma != now.ma) out << int{c.ma} << "!\n";
        if (c.slo != now.slo) out << int{c.slo} << "\"\n";
        now = c;
    }
    const int64_t lastChange = capture.changes.empty() ? 0 : capture.changes.back().position;
    if (capture.lastSample > lastChange) {
        out << '#' << VcdTime(capture.lastSample, capture.sampleRate, ts.exponent) << '\n';
    }
}

bool WriteVcd(const std::string& path, const Capture& capture, std::string* error) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        if (error != nullptr) *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    WriteVcd(file, capture);
    file.close();
    if (!file) {
        if (error != nullptr) *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace bissgen
