// The frame parser's out-of-line steps: the frame state machine for every bit but the data bits,
// the end of each slave's word with its CRC check, the pause after a frame and its CDM bit, the
// clock-period records and the frames that break off.
#include "engine/frame_parser.h"

namespace zb {

namespace {

// ClockPeriod records appear only once the clock has been measured this often.
constexpr int32_t kPeriodsBeforeReport = 16;
// An acknowledge longer than this (in ns) marks a broken frame as a slave time-out.
constexpr double kTimeoutAckNs = 40000.0;
constexpr double kNsPerSecond = 1e9;
constexpr int32_t kMaxShift = 64;

uint64_t ShiftRight(uint64_t v, int32_t n) {
    return n >= kMaxShift ? 0 : (n <= 0 ? v : v >> n);
}

}  // namespace

void SloHistory::Reset() {
    for (int i = 0; i < kSlots; ++i) {
        pos_[i] = kNoEntry;
        level_[i] = 1;
    }
    head_ = 0;
}

void FrameParser::Reset(const FrameFormat& format) {
    f_ = format;
    crcTable_.Build(format.crc, format.dataBits);
    singleTurnFirstBit_ = format.multiTurnBits > 0 ? format.multiTurnBits : -1;
    s_ = State{};
}

void FrameParser::SetAverage(int64_t average) {
    s_.avgPeriod = average;
    s_.tripleAverage = -1;
    if (average < 1) {
        s_.gapLimit = s_.clockLimit = INT64_MAX;
        return;
    }
    // A clock period is at most 1.5 x average, so the sum stays below 4.5 x average.
    if (average <= INT64_MAX / 5) s_.tripleAverage = 3 * average;
    // period > kGapPeriods x average; a product beyond 64 bits is above every period.
    s_.gapLimit = average > INT64_MAX / kGapPeriods ? INT64_MAX : average * kGapPeriods;
    // kPauseDen x period < kPauseNum x average, for whole periods: period <= (3 x average - 1) / 2.
    const __int128 clock = (Wide(kPauseNum) * average - 1) / kPauseDen;
    s_.clockLimit = clock > INT64_MAX ? INT64_MAX : static_cast<int64_t>(clock);
    s_.steadyLimit = s_.tripleAverage >= 0 ? static_cast<uint64_t>(s_.clockLimit) : 0;
}

// A rising edge that does not continue a steady clock (see OnRisingEdge): the first edge of the
// walk, one after a gap, which ends the frame in progress, one after a pause, which is no clock
// period, or a clock period whose average must be formed the general way.
void FrameParser::TimeEdge(int64_t pos) {
    if (s_.lastRisingEdge < 0) return;
    const int64_t period = pos - s_.lastRisingEdge;
    if (period > s_.gapLimit) {
        EndFrameAtGap();
    } else if (period <= s_.clockLimit) {
        TakeClockPeriod(s_.avgPeriod > 0 ? NextAverage(s_.avgPeriod, period) : period);
    }
}

void FrameParser::BeginWalk(uint32_t levels) {
    s_.sloHistory.RecordSloChange(0, (levels >> 1) & 1u);
    s_.firstFrame = true;
}

// An MA edge in the pause after a frame: every level is measured, and a level longer than the
// pause threshold decides the CDM bit and closes the pause. `levels` as for OnChange: MA has taken
// its new level; the level that just ended is the other one.
void FrameParser::OnMaChangeInPause(int64_t pos, uint32_t levels) {
    const uint32_t before = (levels & 1u) ^ 1u;
    const int64_t stretch = pos - s_.lastMaChange;
    TrackLongestMaLevel(before, s_.lastMaChange, pos);
    if (s_.avgPeriod >= 1 && Wide(kPauseDen) * stretch > Wide(kPauseNum) * s_.avgPeriod) {
        s_.longestLen = stretch;
        s_.longestLevel = before;
        s_.pauseDecided = true;
    }
    s_.lastMaChange = pos;
    if (before == 0) OnRisingEdge<SamplePoint::Any>(pos, levels);
    if (s_.inPause && s_.pauseDecided) {
        ClosePause(before, s_.lastMaChange, pos, s_.avgPeriod);
        if (s_.cur.state == FrameState::AfterFrame) s_.cur = SlaveFields{};
    }
}

void FrameParser::StoreFirstFrameRecords(int64_t pos) {
    s_.firstFrame = false;
    out_.Store(MakeCode(RecordKind::FirstFrame), pos);
    out_.Store(MakeStatus(StatusCode::Idle), pos);
    if (f_.clockEstimate > 0) {
        s_.clockPeriod = f_.clockEstimate;
        s_.reportedPeriod = f_.clockEstimate;
        out_.Store(MakeCode(RecordKind::ClockPeriod, static_cast<uint32_t>(f_.clockEstimate) & kPayloadMask),
                   pos);
        out_.Store(MakeStatus(StatusCode::Idle), pos);
    }
}

void FrameParser::FeedBit(int64_t pos, uint32_t bit) {
    bit &= 1u;
    SlaveFields& c = s_.cur;
    switch (c.state) {
        case FrameState::WaitAck:
            if (bit != 0) return;
            s_.ackCount = 1;
            s_.ackStartPos = pos;
            if (s_.firstFrame) StoreFirstFrameRecords(pos);
            StoreFrameRecord(MakeCode(RecordKind::Ack), pos);
            c.state = FrameState::Ack;
            return;
        case FrameState::Ack:
            if (bit == 0) {
                ++s_.ackCount;
                s_.ackDuration = pos - s_.ackStartPos;
                return;
            }
            c.dataValue = 0;
            c.bitCount = 0;
            if (!f_.hasCds) c.dataStartPos = PositionAfter(pos, 1);
            StoreFrameRecord(MakeCode(RecordKind::Start), pos);
            c.state = f_.hasCds ? FrameState::CdsBit : FrameState::DataBits;
            return;
        case FrameState::CdsBit:
            // The slave's CDS answers the master's CDM of the pause before this frame.
            if (s_.cdmPending) {
                s_.cdmPending = false;
                if (f_.registerMode) control_.Feed(s_.pendingCdmPos, s_.pendingCdm, bit);
            }
            c.dataStartPos = PositionAfter(pos, 1);
            StoreFrameRecord(MakeCode(RecordKind::Cds, bit), pos);
            c.state = FrameState::DataBits;
            return;
        case FrameState::DataBits:
            FeedSampledBit(pos, bit);  // the data field's step is kept inline there
            return;
        case FrameState::ErrBit:
            c.errBit = bit;
            StoreFrameRecord(MakeCode(RecordKind::Err, bit), pos);
            c.state = FrameState::WarnBit;
            return;
        case FrameState::WarnBit:
            c.warnBit = bit;
            c.crcReceived = 0;
            c.bitCount = 0;
            StoreFrameRecord(MakeCode(RecordKind::Warn, bit), pos);
            c.state = FrameState::CrcBits;
            return;
        case FrameState::CrcBits:
            FeedCrcBit(pos, bit);  // kept inline for FeedSampledBit
            return;
        case FrameState::AfterFrame:
            return;
    }
}

void FrameParser::StoreValue(const ValueTriple& triple, uint64_t value, int64_t pos) {
    if (!f_.registerMode) out_.StoreValue(triple, value, pos);
}

// The data field is complete: its values are stored and nErr follows. The field is laid out
// multi-turn bits first, then single-turn bits, then alignment bits, each MSB first.
void FrameParser::EndOfData() {
    SlaveFields& c = s_.cur;
    c.state = FrameState::ErrBit;
    const uint64_t v = ShiftRight(c.dataValue, f_.alignmentBits);
    if (f_.combineTurns) {
        StoreValue(kDataTriple, v, c.dataStartPos);
        return;
    }
    const int32_t st = f_.singleTurnBits < 0 ? 0 : f_.singleTurnBits;
    uint64_t singleTurn = v;
    uint64_t multiTurn = 0;
    if (st < kMaxShift) {
        singleTurn = v & ((uint64_t{1} << st) - 1);
        multiTurn = v >> st;
    }
    if (f_.multiTurnBits > 0) StoreValue(kMultiTurnTriple, multiTurn, c.dataStartPos);
    if (st >= 1)
        StoreValue(kSingleTurnTriple, singleTurn,
                   f_.multiTurnBits > 0 ? c.singleTurnStartPos : c.dataStartPos);
}

// The CRC field of one slave is complete: check it, then either the next slave of the chain
// follows at once (no acknowledge, start or CDS bit of its own) or the frame is over and the pause
// after it is measured.
void FrameParser::EndOfSlave(int64_t pos) {
    SlaveFields& c = s_.cur;
    s_.crcSeen = true;
    const uint32_t expected = crcTable_.Crc(c.dataValue, f_.dataBits, c.errBit, c.warnBit);
    uint32_t payload = c.crcReceived & 0xFF;
    if (expected != c.crcReceived) payload |= kCrcMismatchFlag;
    StoreFrameRecord(MakeCode(RecordKind::Crc, payload), c.crcStartPos);
    const int32_t next = c.slaveIndex + 1;
    if (next < f_.slaveCount) {
        StoreFrameRecord(MakeStatus(StatusCode::SlaveSeparator), PositionAfter(pos, 1));
        c = SlaveFields{};
        c.slaveIndex = next;
        c.state = FrameState::DataBits;
        return;
    }
    const int64_t period = s_.clockPeriod >= 1 ? s_.clockPeriod : 1;
    StoreFrameRecord(MakeCode(RecordKind::Stop, 0), PositionAfter(pos, period));
    s_.inPause = true;
    s_.pauseDecided = false;
    s_.cdmPos = PositionAfter(PositionAfter(pos, period), period);
    s_.pauseStart = pos;
    s_.longestLen = 0;
    s_.longestLevel = 1;
    c.state = FrameState::AfterFrame;
}

void FrameParser::TrackLongestMaLevel(uint32_t level, int64_t from, int64_t to) {
    if (!s_.inPause) return;
    if (from < s_.pauseStart) from = s_.pauseStart;
    const int64_t len = to - from;
    if (len > s_.longestLen) {
        s_.longestLen = len;
        s_.longestLevel = level;
    }
}

// The pause after a frame is over: its longest MA level gives the master's CDM bit (low = 1).
void FrameParser::ClosePause(uint32_t level, int64_t from, int64_t to, int64_t period) {
    if (!s_.inPause) return;
    TrackLongestMaLevel(level, from, to);
    const uint32_t cdm = (s_.longestLen > 0 && s_.longestLevel == 0) ? 1u : 0u;
    StoreFrameRecord(MakeCode(RecordKind::Cdm, cdm), s_.cdmPos);
    if (f_.hasCds) {
        s_.cdmPending = true;
        s_.pendingCdm = cdm;
        s_.pendingCdmPos = s_.cdmPos;
    }
    ReportClockPeriod(PositionAfter(s_.cdmPos, 1));
    StoreFrameRecord(MakeStatus(StatusCode::Idle), PositionAfter(s_.cdmPos, period >= 1 ? period : 1));
    s_.inPause = false;
    s_.pauseDecided = false;
    s_.longestLen = 0;
    s_.longestLevel = 1;
}

void FrameParser::ReportClockPeriod(int64_t pos) {
    if (s_.clockPeriod <= 0 || s_.periodCount < kPeriodsBeforeReport) return;
    if (s_.reportedPeriod > 0) {
        const int64_t drift = s_.clockPeriod > s_.reportedPeriod ? s_.clockPeriod - s_.reportedPeriod
                                                                 : s_.reportedPeriod - s_.clockPeriod;
        if (Wide(drift) * 10 <= s_.reportedPeriod) return;
    }
    s_.reportedPeriod = s_.clockPeriod;
    out_.Store(MakeCode(RecordKind::ClockPeriod, static_cast<uint32_t>(s_.clockPeriod) & kPayloadMask), pos);
}

// A frame that stopped before its end: Error when it never got past a one-clock acknowledge or no
// CRC has been seen yet; otherwise Busy, or Timeout when the acknowledge lasted over 40 us.
uint32_t FrameParser::ClassifyUnfinished() const {
    StatusCode status = StatusCode::Timeout;
    if (!(s_.crcSeen && s_.ackCount > 1)) {
        status = StatusCode::Error;
    } else if (!(f_.sampleRate >= 1 && s_.ackDuration >= 1 &&
                 static_cast<double>(s_.ackDuration) * kNsPerSecond / static_cast<double>(f_.sampleRate) >
                     kTimeoutAckNs)) {
        status = StatusCode::Busy;
    }
    return MakeStatus(status, static_cast<uint32_t>(s_.ackCount) & 0xFF);
}

void FrameParser::EndFrameAtGap() {
    switch (s_.cur.state) {
        case FrameState::WaitAck:
            return;
        case FrameState::AfterFrame:
            if (!s_.inPause)
                StoreFrameRecord(MakeStatus(StatusCode::Idle), PositionAfter(s_.lastRisingEdge, 1));
            break;
        default: {
            const int64_t p = (s_.cur.state == FrameState::DataBits && s_.cur.dataStartPos > 0)
                                  ? s_.cur.dataStartPos
                                  : PositionAfter(s_.lastRisingEdge, 1);
            StoreFrameRecord(ClassifyUnfinished(), p);
            StoreFrameRecord(MakeStatus(StatusCode::Idle), PositionAfter(s_.lastRisingEdge, 1));
            break;
        }
    }
    s_.cur = SlaveFields{};
}

void FrameParser::EndWalk(int64_t lastPos, uint32_t levels) {
    // The points still waiting lie after the last change: the last SLO level holds at each.
    while (s_.pendingSamples.Count() > 0) {
        const int64_t q = s_.pendingSamples.Front();
        s_.pendingSamples.PopFront();
        FeedBit(q, levels >> 1);
    }
    if (s_.cur.state == FrameState::AfterFrame) {
        const int64_t end = PositionAfter(s_.cdmPos, s_.clockPeriod >= 1 ? s_.clockPeriod : 1);
        const int64_t afterLast = PositionAfter(lastPos, 1);
        StoreFrameRecord(MakeStatus(StatusCode::Idle), end < afterLast ? end : afterLast);
        s_.cur = SlaveFields{};
    } else if (s_.cur.state != FrameState::WaitAck) {
        const int64_t p = (s_.cur.state == FrameState::DataBits && s_.cur.dataStartPos > 0)
                              ? s_.cur.dataStartPos
                              : PositionAfter(lastPos, 1);
        StoreFrameRecord(ClassifyUnfinished(), p);
        StoreFrameRecord(MakeStatus(StatusCode::Idle), PositionAfter(lastPos, 2));
        s_.cur = SlaveFields{};
    } else if (s_.inPause) {
        ClosePause(levels & 1u, s_.lastMaChange, PositionAfter(lastPos, 1), s_.avgPeriod);
    }
}

}  // namespace zb
