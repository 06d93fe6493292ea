// The frame parser: times the MA clock from its rising edges, reads SLO at each edge plus the
// sampling phase, and cuts the bits into acknowledge, start, CDS, data, nErr, nWarn and CRC fields.
// After the last CRC bit it measures the pause on MA, whose longest level gives the master's CDM
// bit, and hands each (CDM, CDS) pair to the register-access assembler. The work per change is
// constant: two 8-entry rings, no allocation. A walk is BeginWalk, OnChange for every change of
// the capture after the first, and EndWalk.
#pragma once

#include <cstdint>

#include "engine/frame_crc.h"
#include "engine/record_output.h"
#include "engine/register_access.h"

namespace zb {

// A sample count widened for products of periods, which a host with huge gaps between its
// changes could push past 64 bits.
constexpr __int128 Wide(int64_t v) {
    return v;
}

// The running average of the clock period: (3 * average + period) / 4, truncated toward zero.
inline int64_t NextAverage(int64_t average, int64_t period) {
    int64_t sum;
    if (!__builtin_mul_overflow(average, int64_t{3}, &sum) && !__builtin_add_overflow(sum, period, &sum)) {
        // Averages and periods are positive, and so is their sum: a shift truncates it. (Written
        // out because the compiler has been seen to emit a division for the inlined sum / 4.)
        return sum >= 0 ? static_cast<int64_t>(static_cast<uint64_t>(sum) >> 2) : sum / 4;
    }
    return static_cast<int64_t>((Wide(3) * average + period) / 4);
}

// The 8 most recent SLO changes, so that a bit can be read at a sample point that lies before the
// MA edge that asked for it (a negative sampling phase).
class SloHistory {
  public:
    static constexpr int kSize = 8;
    SloHistory() { Reset(); }
    void Reset();
    void RecordSloChange(int64_t pos, uint32_t level) { RecordIfChanged(pos, level, level ^ 1u); }
    // Records (pos, level) only when level differs from previous, without a branch (the data bits
    // make that condition unpredictable): the entry is always written to the slot after the
    // newest, and the head moves onto it only on a change. That slot lies outside the kSize
    // entries in use, because the ring has twice as many slots as it keeps. No count is kept per
    // change: the slots the head has not yet visited hold kNoEntry, which ends the search.
    void RecordIfChanged(int64_t pos, uint32_t level, uint32_t previous) {
        const int head = head_;
        const int changed = level != previous ? 1 : 0;
        const int next = (head + 1) & (kSlots - 1);
        pos_[next] = pos;
        level_[next] = level;
        head_ = (head + changed) & (kSlots - 1);
    }
    // The level in force at p: the newest remembered change at or before p; when p lies before all
    // of them, the oldest remembered level; 1 (idle) when nothing is remembered.
    uint32_t SloLevelAt(int64_t p) const {
        int index = head_;
        if (pos_[index] == kNoEntry) return 1u;
        for (int k = 0; k < kSize; ++k) {
            if (pos_[index] <= p) return level_[index];
            const int older = (index - 1) & (kSlots - 1);
            if (k + 1 == kSize || pos_[older] == kNoEntry) break;
            index = older;
        }
        return level_[index];
    }

  private:
    static constexpr int kSlots = 2 * kSize;
    static constexpr int64_t kNoEntry = INT64_MIN;  // a slot the head has never visited
    int64_t pos_[kSlots];
    uint32_t level_[kSlots];
    int head_ = 0;
};

// Sample points still waiting to be read (a positive SLO phase puts the point after the edge).
// The points are appended in increasing order, so the oldest is always the next one due. It is
// kept apart from the later ones (Due), so that a change asks with one comparison whether it has
// reached a point: most changes reach none, and mostly a single point waits.
class PendingSamples {
  public:
    static constexpr int kSize = 8;
    static constexpr int64_t kNoneDue = INT64_MAX;  // Due() while no point waits
    void Clear() {
        first_ = count_ = 0;
        due_ = kNoneDue;
    }
    int Count() const { return count_; }
    bool Full() const { return count_ == kSize; }
    // The oldest point, or kNoneDue when none waits (a point can lie at INT64_MAX too, so Count
    // tells the two apart).
    int64_t Due() const { return due_; }
    void Append(int64_t pos) {
        if (count_ == 0) {
            due_ = pos;
        } else {
            later_[(first_ + count_ - 1) & (kSize - 1)] = pos;
        }
        ++count_;
    }
    int64_t Front() const { return due_; }
    void PopFront() {
        if (--count_ == 0) {
            due_ = kNoneDue;
            return;
        }
        due_ = later_[first_];
        first_ = (first_ + 1) & (kSize - 1);
    }

  private:
    int64_t due_ = kNoneDue;
    int64_t later_[kSize] = {};  // the points after the oldest, from first_ on
    int first_ = 0;
    int count_ = 0;
};

// Where a walk's sampling phase puts the SLO sample point relative to the MA rising edge. The
// walk is specialised on it. At the edge (phase 0) the level in force is simply the latest SLO
// level. After the edge the point waits in PendingSamples and is read at the first change at or
// past it, where the level is known without looking back (see OnChange). Only a point
// before the edge needs the SLO history. Any: a walk for any phase, which does both.
enum class SamplePoint { AtEdge, Before, After, Any };

// What the parser needs to know of the frames, derived from the settings once per decode.
struct FrameFormat {
    int32_t slaveCount = 1;  // slaves in the daisy chain
    int32_t dataBits = 12;   // data field of one slave, alignment bits included
    int32_t singleTurnBits = 12;
    int32_t alignmentBits = 0;
    int32_t multiTurnBits = 0;
    FrameCrcParams crc{6, 0x43, 0, 0x3F};
    bool combineTurns = false;  // one Data value instead of Multi-Turn and Single-Turn
    bool hasCds = true;         // BiSS-C: a CDS bit follows the start bit
    // Register-access modes: the frames' own records are not kept; the (CDM, CDS) pairs go to the
    // register-access assembler instead.
    bool registerMode = false;
    int32_t sloPhase = 0;       // SLO is read this many samples after the MA rising edge
    uint64_t sampleRate = 0;    // samples per second of the capture, 0 = unknown
    int64_t clockEstimate = 0;  // the auto-length pass's clock period, published at the first frame
};

class FrameParser {
  public:
    FrameParser(RecordOutput& out, RegisterAssembler& control) : out_(out), control_(control) {}
    FrameParser(const FrameParser&) = delete;
    FrameParser& operator=(const FrameParser&) = delete;

    // Forgets everything of an earlier decode and takes the format of the next one.
    void Reset(const FrameFormat& format);
    // The first sample's levels (as for OnChange).
    void BeginWalk(uint32_t levels);
    // One change of the capture, with the levels as the sample cursor gives them (MA at bit 0,
    // SLO at bit 1) and the bits that changed with it (levels ^ the previous change's levels): SLO
    // goes into the history, sample points that have come due are read, and an MA edge is timed and
    // sampled. Inline, as the walk calls it for every change; what is rare goes out of line: every
    // MA edge in the pause after a frame, whose longest level is being measured, and the timing of
    // a rising edge that does not continue a steady clock. Outside that pause a change that is not
    // an MA edge needs nothing more, nor does a falling edge.
    // kPoint: the walk's SamplePoint (it must match the phase, or be Any). Only a phase after the
    // edge defers sample points, and only a phase before it reads the SLO history, so the other
    // walks skip the waiting points or the history.
    template <SamplePoint kPoint = SamplePoint::Any>
    void OnChange(int64_t pos, uint32_t levels, uint32_t changed) {
        constexpr bool kHistory = kPoint == SamplePoint::Before || kPoint == SamplePoint::Any;
        constexpr bool kLate = kPoint == SamplePoint::After || kPoint == SamplePoint::Any;
        const uint32_t before = levels ^ changed;
        if (kHistory) s_.sloHistory.RecordIfChanged(pos, levels >> 1, before >> 1);
        // Waiting sample points reached by this change, oldest first. Each of them lies after the
        // previous change (it would have been read there otherwise), so SLO at the point is the
        // level before this change, or this change's level when the point is this very sample.
        while (kLate && s_.pendingSamples.Due() <= pos && s_.pendingSamples.Count() > 0) {
            const int64_t q = s_.pendingSamples.Front();
            s_.pendingSamples.PopFront();
            FeedSampledBit(q, (q == pos ? levels : before) >> 1);
        }
        if ((changed & 1u) == 0) return;
        if (s_.inPause) {
            OnMaChangeInPause(pos, levels);
            return;
        }
        s_.lastMaChange = pos;
        if ((levels & 1u) != 0) OnRisingEdge<kPoint>(pos, levels);
    }
    // The walk ended after the change at lastPos, whose levels (as for OnChange) hold from there
    // on: waiting sample points are read, and a frame or pause still open is closed.
    void EndWalk(int64_t lastPos, uint32_t levels);

  private:
    // The per-frame state machine.
    enum class FrameState : uint8_t {
        WaitAck,     // waiting for the slave to pull SLO low
        Ack,         // acknowledge (SLO low) seen, waiting for the start bit
        CdsBit,      // BiSS-C: the bit after the start bit is the slave's CDS
        DataBits,    // data field of the current slave
        ErrBit,      // nErr
        WarnBit,     // nWarn
        CrcBits,     // CRC of the current slave
        AfterFrame,  // last CRC bit taken; the pause that follows is being measured
    };
    // The fields of the slave being read; a new frame, and the next slave of a chain, start from
    // these values.
    struct SlaveFields {
        FrameState state = FrameState::WaitAck;
        int32_t bitCount = 0;  // bits of the current field
        uint64_t dataValue = 0;
        uint32_t errBit = 0;
        uint32_t warnBit = 0;
        uint32_t crcReceived = 0;
        int64_t dataStartPos = 0;
        int64_t singleTurnStartPos = 0;
        int64_t crcStartPos = 0;
        int32_t slaveIndex = 0;
    };

    // A clock period more than 1.5 times the average (2 x period >= 3 x average) is a pause, not a
    // clock; a rising edge more than 6 average periods after the previous one ends the frame.
    static constexpr int64_t kPauseNum = 3;
    static constexpr int64_t kPauseDen = 2;
    static constexpr int64_t kGapPeriods = 6;

    // A rising edge of MA (s_.lastMaChange already moved to it; levels as for OnChange): the clock
    // is timed, or the frame in progress ends at a gap, and SLO is read at the edge plus the
    // sampling phase (kPoint as for OnChange).
    template <SamplePoint kPoint>
    void OnRisingEdge(int64_t pos, uint32_t levels) {
        // A period of a steady clock (see steadyLimit) goes into the average here; every other
        // edge is timed out of line: the first ones (steadyLimit stays 0 until a clock period has
        // been measured), and those after a gap or a pause. Unsigned, so that the difference to
        // lastRisingEdge = -1 (no edge yet) cannot overflow.
        const uint64_t period = static_cast<uint64_t>(pos) - static_cast<uint64_t>(s_.lastRisingEdge);
        if (period <= s_.steadyLimit) {
            TakeClockPeriod((s_.tripleAverage + static_cast<int64_t>(period)) >> 2);
        } else {
            TimeEdge(pos);
        }
        s_.lastRisingEdge = pos;
        // At the edge itself the level in force is the latest one: every remembered SLO change
        // lies at or before this edge.
        if (kPoint == SamplePoint::AtEdge || (kPoint == SamplePoint::Any && f_.sloPhase == 0)) {
            FeedSampledBit(pos, levels >> 1);
            return;
        }
        // A point before the edge is looked up in the history; a point after it waits until the
        // walk reaches it, unless 8 are waiting already: then SLO is read at the edge itself.
        const int64_t s = PositionAfter(pos, f_.sloPhase);
        if (kPoint != SamplePoint::After && s < pos) {
            FeedSampledBit(pos, s_.sloHistory.SloLevelAt(s));
        } else if (s > pos && !s_.pendingSamples.Full()) {
            s_.pendingSamples.Append(s);
        } else {
            FeedSampledBit(pos, levels >> 1);
        }
    }
    // FeedBit with the data field's and the CRC's bits inline: they are the most frequent bits of
    // a frame, and each of them needs a few instructions where a call costs more.
    void FeedSampledBit(int64_t pos, uint32_t bit) {
        if (s_.cur.state != FrameState::DataBits) {
            if (s_.cur.state == FrameState::CrcBits) {
                FeedCrcBit(pos, bit);
                return;
            }
            FeedBit(pos, bit);
            return;
        }
        if (s_.cur.bitCount == 0) s_.cur.dataStartPos = pos;
        if (s_.cur.bitCount == singleTurnFirstBit_) s_.cur.singleTurnStartPos = pos;
        s_.cur.dataValue = (s_.cur.dataValue << 1) | (bit & 1u);
        ++s_.cur.bitCount;
        if (s_.cur.bitCount >= f_.dataBits) EndOfData();
    }
    void FeedBit(int64_t pos, uint32_t bit);
    void FeedCrcBit(int64_t pos, uint32_t bit) {
        SlaveFields& c = s_.cur;
        if (c.bitCount == 0) c.crcStartPos = pos;
        c.crcReceived = ((c.crcReceived << 1) | (bit & 1u)) & f_.crc.mask;
        ++c.bitCount;
        if (c.bitCount >= f_.crc.bits) EndOfSlave(pos);
    }
    // A measured clock period has made `average` the clock's average period.
    void TakeClockPeriod(int64_t average) {
        if (average != s_.avgPeriod) SetAverage(average);
        s_.clockPeriod = average;
        ++s_.periodCount;
    }
    void SetAverage(int64_t average);
    void TimeEdge(int64_t pos);
    void OnMaChangeInPause(int64_t pos, uint32_t levels);
    void EndOfData();
    void StoreValue(const ValueTriple& triple, uint64_t value, int64_t pos);
    void EndOfSlave(int64_t pos);
    void TrackLongestMaLevel(uint32_t level, int64_t from, int64_t to);
    void ClosePause(uint32_t level, int64_t from, int64_t to, int64_t period);
    void ReportClockPeriod(int64_t pos);
    uint32_t ClassifyUnfinished() const;
    void EndFrameAtGap();
    void StoreFirstFrameRecords(int64_t pos);
    // The frame's own records are kept only in single-cycle mode.
    void StoreFrameRecord(uint32_t code, int64_t pos) {
        if (!f_.registerMode) out_.Store(code, pos);
    }

    RecordOutput& out_;
    RegisterAssembler& control_;
    FrameFormat f_;
    FrameCrcTable crcTable_;  // f_.crc's table
    // The data bit at which the single-turn field starts after a multi-turn field; -1 without one.
    int32_t singleTurnFirstBit_ = -1;

    // Everything a decode changes; Reset puts it back to these values.
    struct State {
        // The walk: the clock timing and the sample points.
        int64_t lastMaChange = 0;
        int64_t lastRisingEdge = -1;
        int64_t avgPeriod = 0;
        // From avgPeriod (SetAverage): a period above gapLimit ends the frame (more than
        // kGapPeriods average periods); one up to clockLimit is a clock period and goes into the
        // average (2 x period < 3 x average); between them lies a pause. Both are INT64_MAX while
        // there is no average: every period then counts.
        int64_t gapLimit = INT64_MAX;
        int64_t clockLimit = INT64_MAX;
        // 3 x avgPeriod while the next average is (3 x avgPeriod + period) / 4 without overflow
        // (SetAverage); -1 otherwise, and then NextAverage takes the general way.
        int64_t tripleAverage = -1;
        // clockLimit while tripleAverage holds, else 0: a period up to it is a clock period that
        // goes into the average as (tripleAverage + period) / 4 (see OnRisingEdge). Such a period
        // is at least 1 and below 1.5 average periods, so the sum fits and is positive, and a
        // shift truncates it.
        uint64_t steadyLimit = 0;
        int64_t clockPeriod = 0;  // the clock period of the records; the estimate until measured
        int32_t periodCount = 0;  // clock periods measured
        int64_t reportedPeriod = 0;
        PendingSamples pendingSamples;
        SloHistory sloHistory;

        SlaveFields cur;
        int32_t ackCount = 0;
        int64_t ackStartPos = 0;
        int64_t ackDuration = 0;
        bool crcSeen = false;     // a CRC has been read since the decode began
        bool firstFrame = false;  // the next acknowledge is the decode's first

        // The pause after a frame, whose longest MA level is the master's CDM bit.
        bool inPause = false;
        bool pauseDecided = false;  // a level longer than the pause threshold has been seen
        int64_t pauseStart = 0;
        int64_t cdmPos = 0;
        int64_t longestLen = 0;
        uint32_t longestLevel = 1;
        // The CDM bit waits for the slave's CDS answer in the next frame.
        bool cdmPending = false;
        uint32_t pendingCdm = 0;
        int64_t pendingCdmPos = 0;
    };
    State s_;
};

}  // namespace zb
