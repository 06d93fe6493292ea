// The frame parser: times the MA clock from its rising edges, reads SLO at each edge plus the
// sampling phase, and cuts the bits into acknowledge, start, CDS, data, nErr, nWarn and CRC fields.
// After the last CRC bit it measures the pause on MA, whose longest level gives the master's CDM
// bit, and hands each (CDM, CDS) pair to the register-access assembler. The work per change is
// constant: two 8-entry rings, no allocation.
#include "engine/decode_engine.h"

namespace zb {

DecodeEngine::DecodeEngine(CallContext& call) : call_(call) {
    ResetEngine();
}

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

void DecodeEngine::ResetEngine() {
    frameState = FrameState::WaitAck;
    bitCount = 0;
    dataValue = 0;
    errBit = warnBit = crcReceived = 0;
    dataStartPos = singleTurnStartPos = crcStartPos = 0;
    ackCount = 0;
    ackStartPos = ackDuration = 0;
    slaveIndex = 0;
    crcSeen = false;
    firstFrame = false;
    clockPeriod = 0;
    periodCount = 0;
    reportedPeriod = 0;
    periodEstimate = 0;
    inTimeout = timeoutSeen = false;
    timeoutStart = cdmPos = longestLen = 0;
    longestLevel = 1;
    cdmPending = false;
    pendingCdm = 0;
    pendingCdmPos = 0;
    sloHistory.Reset();
    prevMa = 0;
    prevSlo = 1;
    lastMaChange = 0;
    lastRisingEdge = -1;
    avgPeriod = 0;
    pendingSamples.Clear();
}

void DecodeEngine::ResetFrame() {
    frameState = FrameState::WaitAck;
    bitCount = 0;
    dataValue = 0;
    errBit = warnBit = crcReceived = 0;
    dataStartPos = crcStartPos = singleTurnStartPos = 0;
    slaveIndex = 0;
}

void DecodeEngine::BeginWalk(uint32_t maLevel, uint32_t sloLevel) {
    prevMa = maLevel & 1u;
    prevSlo = sloLevel & 1u;
    sloHistory.RecordSloChange(0, prevSlo);
    firstFrame = true;
    lastRisingEdge = -1;
    avgPeriod = 0;
    lastMaChange = 0;
    pendingSamples.Clear();
}

// An MA edge in the pause after a frame: every level is measured, and a level longer than the
// pause threshold decides the CDM bit and closes the pause.
void DecodeEngine::OnMaChangeInPause(int64_t pos, uint32_t ma) {
    const int64_t stretch = pos - lastMaChange;
    TrackLongestMaLevel(prevMa, lastMaChange, pos);
    if (avgPeriod >= 1 && Wide(kPauseDen) * stretch > Wide(kPauseNum) * avgPeriod) {
        longestLen = stretch;
        longestLevel = prevMa;
        timeoutSeen = true;
    }
    lastMaChange = pos;
    const uint32_t before = prevMa;
    if (before == 0) OnRisingEdge<SamplePoint::Any>(pos);
    if (inTimeout && timeoutSeen) {
        CloseFrameTimeout(before, lastMaChange, pos, avgPeriod);
        if (frameState == FrameState::AfterFrame) ResetFrame();
    }
    prevMa = ma;
}

void DecodeEngine::StoreFirstFrameRecords(int64_t pos) {
    firstFrame = false;
    StoreRecord(MakeCode(RecordKind::FirstFrame), pos);
    StoreRecord(MakeStatus(StatusCode::Idle), pos);
    if (periodEstimate > 0) {
        clockPeriod = periodEstimate;
        reportedPeriod = periodEstimate;
        StoreRecord(MakeCode(RecordKind::ClockPeriod, static_cast<uint32_t>(periodEstimate) & kPayloadMask),
                    pos);
        StoreRecord(MakeStatus(StatusCode::Idle), pos);
    }
}

void DecodeEngine::FeedBit(int64_t pos, uint32_t bit) {
    bit &= 1u;
    switch (frameState) {
        case FrameState::WaitAck:
            if (bit != 0) return;
            ackCount = 1;
            ackStartPos = pos;
            if (firstFrame) StoreFirstFrameRecords(pos);
            StoreFrameRecord(MakeCode(RecordKind::Ack), pos);
            frameState = FrameState::Ack;
            return;
        case FrameState::Ack:
            if (bit == 0) {
                ++ackCount;
                ackDuration = pos - ackStartPos;
                return;
            }
            dataValue = 0;
            bitCount = 0;
            if (!hasCds) dataStartPos = PositionAfter(pos, 1);
            StoreFrameRecord(MakeCode(RecordKind::Start), pos);
            frameState = hasCds ? FrameState::CdsBit : FrameState::DataBits;
            return;
        case FrameState::CdsBit:
            // The slave's CDS answers the master's CDM of the pause before this frame.
            if (cdmPending) {
                cdmPending = false;
                if (isRegisterMode) assembler_.Feed(pendingCdmPos, pendingCdm, bit);
            }
            dataStartPos = PositionAfter(pos, 1);
            StoreFrameRecord(MakeCode(RecordKind::Cds, bit), pos);
            frameState = FrameState::DataBits;
            return;
        case FrameState::DataBits:
            FeedSampledBit(pos, bit);  // the data field's step is kept inline there
            return;
        case FrameState::ErrBit:
            errBit = bit;
            StoreFrameRecord(MakeCode(RecordKind::Err, bit), pos);
            frameState = FrameState::WarnBit;
            return;
        case FrameState::WarnBit:
            warnBit = bit;
            crcReceived = 0;
            bitCount = 0;
            StoreFrameRecord(MakeCode(RecordKind::Warn, bit), pos);
            frameState = FrameState::CrcBits;
            return;
        case FrameState::CrcBits:
            if (bitCount == 0) crcStartPos = pos;
            crcReceived = ((crcReceived << 1) | bit) & crc.mask;
            ++bitCount;
            if (bitCount >= crc.bits) EndOfSlave(pos);
            return;
        case FrameState::AfterFrame:
            return;
    }
}

// The data field is complete: its values are stored and nErr follows.
void DecodeEngine::EndOfData() {
    SplitData();
    frameState = FrameState::ErrBit;
}

// The CRC field of one slave is complete: check it, then either the next slave of the chain
// follows at once (no acknowledge, start or CDS bit of its own) or the frame is over and the pause
// after it is measured.
void DecodeEngine::EndOfSlave(int64_t pos) {
    crcSeen = true;
    const uint32_t expected = FrameCrc(crc, dataValue, dataBits, errBit, warnBit);
    uint32_t payload = crcReceived & 0xFF;
    if (expected != crcReceived) payload |= kCrcMismatchFlag;
    StoreFrameRecord(MakeCode(RecordKind::Crc, payload), crcStartPos);
    ++slaveIndex;
    if (slaveIndex < slaveCount) {
        StoreFrameRecord(MakeStatus(StatusCode::SlaveSeparator), PositionAfter(pos, 1));
        dataValue = 0;
        bitCount = 0;
        errBit = warnBit = crcReceived = 0;
        dataStartPos = singleTurnStartPos = 0;
        frameState = FrameState::DataBits;
        return;
    }
    const int64_t period = clockPeriod >= 1 ? clockPeriod : 1;
    StoreFrameRecord(MakeCode(RecordKind::Stop, 0), PositionAfter(pos, period));
    inTimeout = true;
    timeoutSeen = false;
    cdmPos = PositionAfter(PositionAfter(pos, period), period);
    timeoutStart = pos;
    longestLen = 0;
    longestLevel = 1;
    frameState = FrameState::AfterFrame;
}

// The data field is laid out multi-turn bits first, then single-turn bits, then alignment bits,
// each MSB first.
void DecodeEngine::SplitData() {
    const uint64_t v = ShiftRight(dataValue, alignmentBits);
    if (combineTurns) {
        StoreValue(kDataTriple, v, dataStartPos);
        return;
    }
    const int32_t st = singleTurnBits < 0 ? 0 : singleTurnBits;
    uint64_t singleTurn = v;
    uint64_t multiTurn = 0;
    if (st < kMaxShift) {
        singleTurn = v & ((uint64_t{1} << st) - 1);
        multiTurn = v >> st;
    }
    if (multiTurnBits > 0) StoreValue(kMultiTurnTriple, multiTurn, dataStartPos);
    if (st >= 1)
        StoreValue(kSingleTurnTriple, singleTurn, multiTurnBits > 0 ? singleTurnStartPos : dataStartPos);
}

void DecodeEngine::TrackLongestMaLevel(uint32_t level, int64_t from, int64_t to) {
    if (!inTimeout) return;
    if (from < timeoutStart) from = timeoutStart;
    const int64_t len = to - from;
    if (len > longestLen) {
        longestLen = len;
        longestLevel = level;
    }
}

// The pause after a frame is over: its longest MA level gives the master's CDM bit (low = 1).
void DecodeEngine::CloseFrameTimeout(uint32_t level, int64_t from, int64_t to, int64_t period) {
    if (!inTimeout) return;
    TrackLongestMaLevel(level, from, to);
    const uint32_t cdm = (longestLen > 0 && longestLevel == 0) ? 1u : 0u;
    StoreFrameRecord(MakeCode(RecordKind::Cdm, cdm), cdmPos);
    if (hasCds) {
        cdmPending = true;
        pendingCdm = cdm;
        pendingCdmPos = cdmPos;
    }
    ReportClockPeriod(PositionAfter(cdmPos, 1));
    StoreFrameRecord(MakeStatus(StatusCode::Idle), PositionAfter(cdmPos, period >= 1 ? period : 1));
    inTimeout = false;
    timeoutSeen = false;
    longestLen = 0;
    longestLevel = 1;
}

void DecodeEngine::ReportClockPeriod(int64_t pos) {
    if (clockPeriod <= 0 || periodCount < kPeriodsBeforeReport) return;
    if (reportedPeriod > 0) {
        const int64_t drift =
            clockPeriod > reportedPeriod ? clockPeriod - reportedPeriod : reportedPeriod - clockPeriod;
        if (Wide(drift) * 10 <= reportedPeriod) return;
    }
    reportedPeriod = clockPeriod;
    StoreRecord(MakeCode(RecordKind::ClockPeriod, static_cast<uint32_t>(clockPeriod) & kPayloadMask), pos);
}

// A frame that stopped before its end: Error when it never got past a one-clock acknowledge or no
// CRC has been seen yet; otherwise Busy, or Timeout when the acknowledge lasted over 40 us.
uint32_t DecodeEngine::ClassifyUnfinished() const {
    StatusCode status = StatusCode::Timeout;
    if (!(crcSeen && ackCount > 1)) {
        status = StatusCode::Error;
    } else if (!(sampleRate >= 1 && ackDuration >= 1 &&
                 static_cast<double>(ackDuration) * kNsPerSecond / static_cast<double>(sampleRate) >
                     kTimeoutAckNs)) {
        status = StatusCode::Busy;
    }
    return MakeStatus(status, static_cast<uint32_t>(ackCount) & 0xFF);
}

void DecodeEngine::EndFrameAtGap() {
    switch (frameState) {
        case FrameState::WaitAck:
            return;
        case FrameState::AfterFrame:
            if (!inTimeout) StoreFrameRecord(MakeStatus(StatusCode::Idle), PositionAfter(lastRisingEdge, 1));
            break;
        default: {
            const int64_t p = (frameState == FrameState::DataBits && dataStartPos > 0)
                                  ? dataStartPos
                                  : PositionAfter(lastRisingEdge, 1);
            StoreFrameRecord(ClassifyUnfinished(), p);
            StoreFrameRecord(MakeStatus(StatusCode::Idle), PositionAfter(lastRisingEdge, 1));
            break;
        }
    }
    ResetFrame();
}

void DecodeEngine::EndWalk(int64_t lastPos) {
    // The points still waiting lie after the last change: the last SLO level holds at each.
    while (pendingSamples.Count() > 0) {
        const int64_t q = pendingSamples.Front();
        pendingSamples.PopFront();
        FeedBit(q, prevSlo);
    }
    if (frameState == FrameState::AfterFrame) {
        const int64_t end = PositionAfter(cdmPos, clockPeriod >= 1 ? clockPeriod : 1);
        const int64_t afterLast = PositionAfter(lastPos, 1);
        StoreFrameRecord(MakeStatus(StatusCode::Idle), end < afterLast ? end : afterLast);
        ResetFrame();
    } else if (frameState != FrameState::WaitAck) {
        const int64_t p = (frameState == FrameState::DataBits && dataStartPos > 0)
                              ? dataStartPos
                              : PositionAfter(lastPos, 1);
        StoreFrameRecord(ClassifyUnfinished(), p);
        StoreFrameRecord(MakeStatus(StatusCode::Idle), PositionAfter(lastPos, 2));
        ResetFrame();
    } else if (inTimeout) {
        CloseFrameTimeout(prevMa, lastMaChange, PositionAfter(lastPos, 1), avgPeriod);
    }
}

}  // namespace zb
