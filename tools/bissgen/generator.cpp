// The BiSS master and slave model. The master starts a frame with a falling edge of MA and clocks
// one bit per period; the slave launches each bit on SLO at a rising edge of MA, seen by the master
// after the line delay. After the last CRC bit MA stays high for a period, then either stays high
// (CDM 0) or is held low for the pause (CDM 1); the slave holds SLO low for its timeout.
#include "bissgen/generator.h"

#include <algorithm>
#include <cmath>

namespace bissgen {

namespace {

constexpr int kMaxSlaves = 8;
constexpr double kMinSamplesPerClock = 4.0;
constexpr double kMinPauseClocks = 10.0;
// In the pause the master lets MA rise again this many periods before the next frame's first
// falling edge, and the slave's timeout must end a period before that.
constexpr double kPauseTailClocks = 2.0;

uint64_t FieldMask(int bits) {
    if (bits <= 0) return 0;
    return bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
}

uint64_t ShiftLeft(uint64_t v, int n) {
    return n >= 64 ? 0 : v << n;
}

void PushBits(std::vector<uint8_t>& bits, uint64_t value, int count) {
    for (int i = count - 1; i >= 0; --i) bits.push_back(static_cast<uint8_t>((value >> i) & 1u));
}

double NsToSamples(double ns, uint64_t rate) {
    return ns * static_cast<double>(rate) / 1e9;
}

}  // namespace

Generator::Generator(const Timing& timing, const Layout& layout, uint64_t seed)
    : timing_(timing), layout_(layout), random_(seed) {
    if (timing_.sampleRate == 0) timing_.sampleRate = 1;
    if (!(timing_.clockHz > 0)) timing_.clockHz = 1;
    period_ = std::max(static_cast<double>(timing_.sampleRate) / timing_.clockHz, kMinSamplesPerClock);
    jitter_ = std::clamp(timing_.jitter, 0.0, period_ / 4.0 - 0.5);
    if (timing_.lineDelay < 0) timing_.lineDelay = 0;
    layout_.multiTurnBits = std::clamp(layout_.multiTurnBits, 0, 64);
    layout_.singleTurnBits = std::clamp(layout_.singleTurnBits, 0, 64 - layout_.multiTurnBits);
    layout_.alignBits = std::clamp(layout_.alignBits, 0, 64 - layout_.multiTurnBits - layout_.singleTurnBits);
    layout_.crc.bits = std::clamp(layout_.crc.bits, 1, 32);
    next_ = std::max(NsToSamples(timing_.leadNs, timing_.sampleRate), period_);
}

int64_t Generator::EdgeAt(double t) {
    if (jitter_ > 0) t += (random_.Unit() * 2.0 - 1.0) * jitter_;
    int64_t pos = static_cast<int64_t>(std::llround(t));
    if (pos <= lastMa_) pos = lastMa_ + 1;
    lastMa_ = pos;
    return pos;
}

int Generator::AddFrame(const Frame& frame) {
    FrameTruth t;
    t.index = static_cast<int>(frames_.size());
    const bool hasCds = layout_.protocol == Protocol::BissC;
    const int64_t delay = timing_.lineDelay;

    // The bits the slave chain will put on SLO, one per clock.
    t.ackClocks = std::max(1, frame.ackClocks);
    t.bits.assign(static_cast<size_t>(t.ackClocks), 0);
    t.startEdge = static_cast<int>(t.bits.size());
    t.bits.push_back(1);
    bool answerUsed = false;
    if (hasCds) {
        t.cdsEdge = static_cast<int>(t.bits.size());
        if (frame.cds >= 0) {
            t.cds = static_cast<uint8_t>(frame.cds & 1);
            answerUsed = true;  // an explicit bit replaces whatever the slave owed
        } else if (answerPending_) {
            t.cds = answer_.step.cds;
            t.cdsAccess = answer_.access;
            answerUsed = true;
        }
        t.bits.push_back(t.cds);
    }
    const int dataBits = layout_.DataBits();
    const uint32_t crcMask = CrcMask(layout_.crc.bits);
    const size_t slaveCount = std::clamp<size_t>(frame.slaves.size(), 1, kMaxSlaves);
    for (size_t s = 0; s < slaveCount; ++s) {
        SlaveTruth st;
        st.word = s < frame.slaves.size() ? frame.slaves[s] : SlaveWord{};
        st.word.multiTurn &= FieldMask(layout_.multiTurnBits);
        st.word.singleTurn &= FieldMask(layout_.singleTurnBits);
        st.word.alignment &= FieldMask(layout_.alignBits);
        st.word.err &= 1u;
        st.word.warn &= 1u;
        st.data = ShiftLeft(st.word.multiTurn, layout_.singleTurnBits + layout_.alignBits) |
                  ShiftLeft(st.word.singleTurn, layout_.alignBits) | st.word.alignment;
        st.crcCorrect = FrameCrc(layout_.crc, st.data, dataBits, st.word.err, st.word.warn);
        st.crc = (st.crcCorrect ^ st.word.crcXor) & crcMask;
        st.dataEdge = static_cast<int>(t.bits.size());
        PushBits(t.bits, st.data, dataBits);
        st.errEdge = static_cast<int>(t.bits.size());
        t.bits.push_back(st.word.err);
        st.warnEdge = static_cast<int>(t.bits.size());
        t.bits.push_back(st.word.warn);
        st.crcEdge = static_cast<int>(t.bits.size());
        PushBits(t.bits, st.crc, layout_.crc.bits);
        t.slaves.push_back(st);
    }

    // The master clocks the frame (or its first cutAfter bits).
    size_t clocks = t.bits.size();
    if (frame.cutAfter >= 0) clocks = std::clamp<size_t>(static_cast<size_t>(frame.cutAfter), 1, clocks);
    t.cut = clocks < t.bits.size();
    const double t0 = next_;
    const double P = period_;
    t.firstFall = EdgeAt(t0);
    Ma(t.firstFall, 0);
    for (size_t k = 0; k < clocks; ++k) {
        const int64_t rise = EdgeAt(t0 + (static_cast<double>(k) + 0.5) * P);
        Ma(rise, 1);
        t.rises.push_back(rise);
        Slo(rise + delay, t.bits[k]);
        if (k + 1 < clocks) Ma(EdgeAt(t0 + static_cast<double>(k + 1) * P), 0);
    }
    if (hasCds && answerUsed && (frame.cds >= 0 || static_cast<int>(clocks) > t.cdsEdge)) {
        if (answerPending_ && answer_.last && t.cdsAccess >= 0) accesses_[t.cdsAccess].lastFrame = t.index;
        answerPending_ = false;
    }
    if (t.cdsAccess >= 0 && static_cast<int>(clocks) <= t.cdsEdge) t.cdsAccess = -1;

    // The pause: MA high for a period after the last rising edge, then low for CDM 1.
    const double lastRise = t0 + (static_cast<double>(clocks) - 0.5) * P;
    const double pauseWanted = frame.pauseNs >= 0 ? frame.pauseNs : timing_.pauseNs;
    const double pause = std::max(NsToSamples(pauseWanted, timing_.sampleRate), kMinPauseClocks * P);
    const double timeoutMax = pause - (kPauseTailClocks + 2.0) * P - static_cast<double>(delay);
    const double timeout =
        std::max(1.0, std::min(NsToSamples(timing_.timeoutNs, timing_.sampleRate), timeoutMax));
    t.timeoutStart = std::llround(lastRise + P) + delay;
    t.timeoutEnd = t.timeoutStart + std::max<int64_t>(1, std::llround(timeout));
    if (!t.cut) {
        if (frame.cdm >= 0) {
            t.cdm = static_cast<uint8_t>(frame.cdm & 1);
        } else if (hasCds && !queue_.empty()) {
            const QueuedStep step = queue_.front();
            queue_.pop_front();
            t.cdm = step.step.cdm;
            t.cdmAccess = step.access;
            if (step.first && step.access >= 0) accesses_[step.access].firstFrame = t.index;
            answer_ = step;
            answerPending_ = true;
        }
        Slo(t.timeoutStart, 0);
        if (t.cdm != 0) {
            // Exactly one period after the actual last rising edge, without jitter, so that the
            // high level before the pause never looks longer than a clock.
            t.pauseLowStart = std::max(t.rises.back() + static_cast<int64_t>(std::llround(P)), lastMa_ + 1);
            lastMa_ = t.pauseLowStart;
            Ma(t.pauseLowStart, 0);
            t.pauseLowEnd = EdgeAt(lastRise + pause - kPauseTailClocks * P);
            Ma(t.pauseLowEnd, 1);
        }
    }
    // After its timeout the slave releases SLO to idle high (also when the master broke off).
    Slo(t.timeoutEnd, 1);
    next_ = lastRise + pause;
    frames_.push_back(std::move(t));
    return frames_.back().index;
}

int Generator::QueueAccess(const RegisterAccess& access, int idleSteps) {
    AccessTruth a;
    a.index = static_cast<int>(accesses_.size());
    a.request = access;
    a.plan = PlanAccess(access);
    for (size_t i = 0; i < a.plan.steps.size(); ++i) {
        queue_.push_back(QueuedStep{a.plan.steps[i], a.index, i == 0, i + 1 == a.plan.steps.size()});
    }
    for (int i = 0; i < idleSteps; ++i) queue_.push_back(QueuedStep{ControlStep{}, -1, false, false});
    accesses_.push_back(std::move(a));
    return accesses_.back().index;
}

void Generator::FlushControl(const Frame& filler) {
    if (layout_.protocol != Protocol::BissC) {
        queue_.clear();
        return;
    }
    Frame f = filler;
    f.cdm = -1;
    f.cds = -1;
    f.cutAfter = -1;
    while (!queue_.empty() || answerPending_) AddFrame(f);
}

void Generator::AddIdleNs(double ns) {
    if (ns > 0) next_ += NsToSamples(ns, timing_.sampleRate);
}

Capture Generator::Finish() const {
    Capture capture;
    capture.sampleRate = timing_.sampleRate;
    std::vector<Event> ma = ma_;
    std::vector<Event> slo = slo_;
    auto byPosition = [](const Event& a, const Event& b) { return a.position < b.position; };
    std::stable_sort(ma.begin(), ma.end(), byPosition);
    std::stable_sort(slo.begin(), slo.end(), byPosition);

    Change now{0, 1, 1};
    capture.changes.push_back(now);
    size_t i = 0, j = 0;
    while (i < ma.size() || j < slo.size()) {
        int64_t pos = INT64_MAX;
        if (i < ma.size()) pos = ma[i].position;
        if (j < slo.size()) pos = std::min(pos, slo[j].position);
        Change next = now;
        next.position = pos;
        while (i < ma.size() && ma[i].position == pos) next.ma = ma[i++].level;
        while (j < slo.size() && slo[j].position == pos) next.slo = slo[j++].level;
        if (next.ma == now.ma && next.slo == now.slo) continue;
        if (pos <= 0) {  // a level at the very start replaces the starting levels
            capture.changes[0].ma = next.ma;
            capture.changes[0].slo = next.slo;
        } else {
            capture.changes.push_back(next);
        }
        now = next;
    }
    capture.lastSample = std::max(LastSample(), capture.changes.back().position + 1);
    return capture;
}

int64_t Generator::LastSample() const {
    int64_t lastEvent = 0;
    for (const std::vector<Event>* line : {&ma_, &slo_}) {
        for (const Event& e : *line) lastEvent = std::max(lastEvent, e.position);
    }
    const double end = next_ + NsToSamples(timing_.leadNs, timing_.sampleRate);
    return std::max(static_cast<int64_t>(std::llround(end)), lastEvent + 1);
}

Capture MakeCapture(const Timing& timing, const Layout& layout, const std::vector<Frame>& frames,
                    uint64_t seed) {
    Generator g(timing, layout, seed);
    for (const Frame& f : frames) g.AddFrame(f);
    return g.Finish();
}

}  // namespace bissgen
