// VCD and CSV writers.
#include "capture_writers.h"

#include <cinttypes>
#include <cstdio>

namespace zbhost {

void WriteVcd(const bissgen::Capture& capture, std::ostream& out, const std::string& timescale,
              uint64_t unitsPerSample) {
    out << "$date generated $end\n$timescale " << timescale << " $end\n";
    out << "$scope module biss $end\n$var wire 1 ! MA $end\n$var wire 1 \" SLO $end\n$upscope $end\n";
    out << "$enddefinitions $end\n";
    bool first = true;
    for (const auto& c : capture.changes) {
        out << '#' << static_cast<uint64_t>(c.position) * unitsPerSample << '\n';
        if (first) out << "$dumpvars\n";
        out << static_cast<int>(c.ma) << "!\n" << static_cast<int>(c.slo) << "\"\n";
        if (first) out << "$end\n";
        first = false;
    }
    out << '#' << static_cast<uint64_t>(capture.lastSample) * unitsPerSample << '\n';
}

void WriteCsvTransitions(const bissgen::Capture& capture, std::ostream& out) {
    out << "Time [s],MA,SLO\n";
    const long double rate = capture.sampleRate ? static_cast<long double>(capture.sampleRate) : 1.0L;
    char line[96];
    auto row = [&](int64_t position, int ma, int slo) {
        const int n = std::snprintf(line, sizeof line, "%.12Lf,%d,%d\n",
                                    static_cast<long double>(position) / rate, ma, slo);
        if (n > 0 && static_cast<size_t>(n) < sizeof line) out << line;
    };
    for (const auto& c : capture.changes) row(c.position, c.ma, c.slo);
    if (!capture.changes.empty() && capture.changes.back().position < capture.lastSample) {
        row(capture.lastSample, capture.changes.back().ma, capture.changes.back().slo);
    }
}

void WriteCsvSamples(const bissgen::Capture& capture, std::ostream& out) {
    out << "MA,SLO\n";
    size_t next = 0;
    int ma = 0, slo = 0;
    for (int64_t p = 0; p <= capture.lastSample; ++p) {
        while (next < capture.changes.size() && capture.changes[next].position <= p) {
            ma = capture.changes[next].ma;
            slo = capture.changes[next].slo;
            ++next;
        }
        out << ma << ',' << slo << '\n';
    }
}

}  // namespace zbhost
