// Hand-built MA/SLO lines for the engine's tests: a clock of fixed period whose SLO bits are
// given one by one, and pauses with MA held high or low (MemoryHost serves the result through
// sampleQuery). Independent of the traffic generator, so parser tests need nothing else.
#pragma once

#include <cstdint>
#include <vector>

#include "bissgen/capture.h"

namespace zbtest {

// MA idles high. One clock: MA falls at t, SLO takes the bit at t + P/4, MA rises at t + P/2 (the
// edge at which the decoder reads the bit with phase 0), and the next clock starts at t + P.
class LineBuilder {
  public:
    explicit LineBuilder(int64_t period, int64_t start = 100) : period_(period), t_(start) {
        changes_.push_back({0, 1, 1});
    }
    int64_t Period() const { return period_; }
    void SetPeriod(int64_t period) { period_ = period; }
    int64_t Now() const { return t_; }

    // One clock carrying `bit`; returns the position of its rising edge.
    int64_t Clock(int bit) {
        Set(t_, 0, Slo());
        Set(t_ + period_ / 4, 0, bit);
        const int64_t edge = t_ + period_ / 2;
        Set(edge, 1, bit);
        t_ += period_;
        return edge;
    }
    std::vector<int64_t> Clocks(const std::vector<int>& bits) {
        std::vector<int64_t> edges;
        for (int b : bits) edges.push_back(Clock(b));
        return edges;
    }
    // MA stays at `ma` for `samples` from now (SLO set to `slo` now).
    void Hold(int ma, int slo, int64_t samples) {
        Set(t_, ma, slo);
        t_ += samples;
    }
    void SetSloAt(int64_t pos, int slo) { Set(pos, Ma(), slo); }
    void SetAt(int64_t pos, int ma, int slo) { Set(pos, ma, slo); }

    bissgen::Capture Finish(int64_t tail, uint64_t sampleRate = 0) {
        bissgen::Capture c;
        c.sampleRate = sampleRate;
        c.lastSample = t_ + tail;
        c.changes = changes_;
        return c;
    }
    const std::vector<bissgen::Change>& Changes() const { return changes_; }

  private:
    int Ma() const { return changes_.back().ma; }
    int Slo() const { return changes_.back().slo; }
    void Set(int64_t pos, int ma, int slo) {
        bissgen::Change& last = changes_.back();
        if (last.ma == ma && last.slo == slo) return;
        if (last.position == pos) {
            last.ma = static_cast<uint8_t>(ma);
            last.slo = static_cast<uint8_t>(slo);
            return;
        }
        changes_.push_back({pos, static_cast<uint8_t>(ma), static_cast<uint8_t>(slo)});
    }

    int64_t period_;
    int64_t t_;
    std::vector<bissgen::Change> changes_;
};

// The bits of one single-cycle frame as the slave sends them from the first clock on: `idle`
// clocks of 1, `ack` clocks of 0, the start bit, the CDS bit (BiSS-C), the data MSB first, nErr,
// nWarn and the CRC MSB first.
inline std::vector<int> FrameBits(int idle, int ack, int cds, uint64_t data, int dataBits, int err, int warn,
                                  uint32_t crc, int crcBits) {
    std::vector<int> bits(idle, 1);
    bits.insert(bits.end(), ack, 0);
    bits.push_back(1);
    if (cds >= 0) bits.push_back(cds);
    for (int i = dataBits - 1; i >= 0; --i) bits.push_back(static_cast<int>((data >> i) & 1));
    bits.push_back(err);
    bits.push_back(warn);
    for (int i = crcBits - 1; i >= 0; --i) bits.push_back(static_cast<int>((crc >> i) & 1));
    return bits;
}

}  // namespace zbtest
