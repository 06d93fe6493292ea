// Hand-built MA/SLO lines for the engine's tests: a clock of fixed period whose SLO bits are
// given one by one, pauses with MA held high or low, and a small host that serves the result
// through sampleQuery. Independent of the traffic generator, so parser tests need nothing else.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bissgen/capture.h"
#include "plugin/host_record.h"

namespace zbtest {

// MA idles high. One clock: MA falls at t, SLO takes the bit at t + P/4, MA rises at t + P/2 (the
// edge at which the decoder reads the bit with phase 0), and the next clock starts at t + P.
class LineBuilder {
  public:
    explicit LineBuilder(int64_t period, int64_t start = 100) : period_(period), t_(start) {
        changes_.push_back({0, 1, 1});
    }
    int64_t Period() const { return period_; }
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

// A host stand-in that serves one capture through sampleQuery: MA and SLO on the given channels,
// every other channel 0. One instance answers at a time (the callback has no context).
class ChangeListHost {
  public:
    explicit ChangeListHost(const bissgen::Capture& capture, int maChannel = 0, int sloChannel = 1)
        : capture_(capture), ma_(maChannel), slo_(sloChannel) {
        std::memset(&record_, 0, sizeof record_);
        record_.sampleQuery = &Query;
        record_.abortPoll = &Abort;
        record_.stopFlag = &stopWord_;
        record_.lastSample = capture.lastSample;
        record_.sampleRate = capture.sampleRate;
        Active() = this;
    }
    ~ChangeListHost() {
        if (Active() == this) Active() = nullptr;
    }
    zb::HostRecord& Record() { return record_; }
    void StopAfterQueries(uint64_t n) { stopAfter_ = n; }
    uint64_t Queries() const { return queries_; }
    uint64_t AbortPolls() const { return polls_; }
    void AbortAlways(bool on) { abort_ = on; }

  private:
    static ChangeListHost*& Active() {
        static ChangeListHost* active = nullptr;
        return active;
    }
    static uint64_t ZB_CALL Query(uint64_t position, uint8_t* state) {
        ChangeListHost* h = Active();
        std::memset(state, 0, 16);
        ++h->queries_;
        if (h->stopAfter_ != 0 && h->queries_ >= h->stopAfter_) h->stopWord_ = 1;
        const auto& ch = h->capture_.changes;
        const int64_t pos = static_cast<int64_t>(position);
        auto it = std::upper_bound(ch.begin(), ch.end(), pos,
                                   [](int64_t p, const bissgen::Change& c) { return p < c.position; });
        const bissgen::Change& at = it == ch.begin() ? ch.front() : *(it - 1);
        if (at.ma) state[h->ma_ >> 3] |= static_cast<uint8_t>(1u << (h->ma_ & 7));
        if (at.slo) state[h->slo_ >> 3] |= static_cast<uint8_t>(1u << (h->slo_ & 7));
        return it == ch.end() ? zb::kNoFurtherChange : static_cast<uint64_t>(it->position);
    }
    static uint32_t ZB_CALL Abort() {
        ++Active()->polls_;
        return Active()->abort_ ? 1u : 0u;
    }

    bissgen::Capture capture_;
    int ma_, slo_;
    zb::HostRecord record_;
    uint32_t stopWord_ = 0;
    uint64_t stopAfter_ = 0;
    uint64_t queries_ = 0;
    uint64_t polls_ = 0;
    bool abort_ = false;
};

}  // namespace zbtest
