// CSV writers: transitions with their times, or one row per sample.
#include "capture_writers.h"

#include <cinttypes>
#include <cstdio>

namespace zbhost {

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
