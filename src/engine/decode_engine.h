// The module's single analysis object: it owns the record output with the two result stores, the
// register-access assembler and all decode state of one Analysis call. The driver
// (analysis_driver.cpp, auto_length.cpp) and the frame parser (frame_parser.cpp) work on it, each
// in its own file. It is bound to the call context through
// which it reaches the host (samples, stop word, progress) and finds the temporary directory.
#pragma once

#include <cstdint>

#include "abi/call_context.h"
#include "abi/decoder_settings.h"
#include "abi/record_code.h"
#include "engine/frame_crc.h"
#include "engine/record_output.h"
#include "engine/register_access.h"

namespace zb {

// The per-frame state machine of the frame parser.
enum class FrameState : uint8_t {
    WaitAck = 0,     // waiting for the slave to pull SLO low
    Ack = 1,         // acknowledge (SLO low) seen, waiting for the start bit
    CdsBit = 2,      // BiSS-C: the bit after the start bit is the slave's CDS
    DataBits = 3,    // data field of the current slave
    ErrBit = 4,      // nErr
    WarnBit = 5,     // nWarn
    CrcBits = 6,     // CRC of the current slave
    AfterFrame = 7,  // last CRC bit taken; the pause that follows is being measured
};

// Capture channels the host can deliver: 16 bytes of levels, channel c is bit c%8 of byte c/8.
constexpr int32_t kCaptureChannels = 128;
constexpr int kChannelStateBytes = 16;

// A sample count widened for products of periods, which a host with huge gaps between its
// changes could push past 64 bits.
constexpr __int128 Wide(int64_t v) {
    return v;
}

// The period tests of every rising edge, exact for any sample counts. Real clock periods keep the
// products far inside 64 bits, so they are computed there and only an overflow takes the wide path.
// a > k * b:
inline bool ExceedsMultiple(int64_t a, int64_t k, int64_t b) {
    int64_t product;
    if (!__builtin_mul_overflow(k, b, &product)) return a > product;
    return Wide(a) > Wide(k) * b;
}
// k1 * a >= k2 * b:
inline bool ScaledAtLeast(int64_t k1, int64_t a, int64_t k2, int64_t b) {
    int64_t left;
    int64_t right;
    if (!__builtin_mul_overflow(k1, a, &left) && !__builtin_mul_overflow(k2, b, &right)) return left >= right;
    return Wide(k1) * a >= Wide(k2) * b;
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

// The level of one channel in a 16-byte channel state. A channel outside 0..127 has no bit in the
// state and reads as 0: a line the host does not carry is a line held low.
inline uint32_t ChannelLevel(const uint8_t* state, int32_t channel) {
    if (channel < 0 || channel >= kCaptureChannels) return 0;
    return (state[channel >> 3] >> (channel & 7)) & 1u;
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
    // How many changes are remembered (at most kSize).
    int Count() const {
        int n = 0;
        for (int index = head_; n < kSize && pos_[index] != kNoEntry; index = (index - 1) & (kSlots - 1)) ++n;
        return n;
    }

  private:
    static constexpr int kSlots = 2 * kSize;
    static constexpr int64_t kNoEntry = INT64_MIN;  // a slot the head has never visited
    int64_t pos_[kSlots];
    uint32_t level_[kSlots];
    int head_ = 0;
};

// Sample points still waiting to be read (a positive SLO phase puts the point after the edge).
// The points are appended in increasing order, so the oldest is always the next one due.
class PendingSamples {
  public:
    static constexpr int kSize = 8;
    void Clear() { first_ = count_ = 0; }
    int Count() const { return count_; }
    bool Full() const { return count_ == kSize; }
    void Append(int64_t pos) {
        pos_[(first_ + count_) & (kSize - 1)] = pos;
        ++count_;
    }
    int64_t Front() const { return pos_[first_]; }
    void PopFront() {
        first_ = (first_ + 1) & (kSize - 1);
        --count_;
    }

  private:
    int64_t pos_[kSize] = {};
    int first_ = 0;
    int count_ = 0;
};

// Where a walk's sampling phase puts the SLO sample point relative to the MA rising edge. The
// walk is specialised on it. At the edge (phase 0) the level in force is simply the latest SLO
// level. After the edge the point waits in PendingSamples and is read at the first change at or
// past it, where the level is known without looking back (see OnChange). Only a point
// before the edge needs the SLO history. Any: a walk for any phase, which does both.
enum class SamplePoint { AtEdge, Before, After, Any };

class DecodeEngine {
  public:
    explicit DecodeEngine(CallContext& call);
    ~DecodeEngine() = default;
    DecodeEngine(const DecodeEngine&) = delete;
    DecodeEngine& operator=(const DecodeEngine&) = delete;

    // ---- Records ----------------------------------------------------------------------------
    RecordOutput& Records() { return records_; }
    void StoreRecord(uint32_t code, int64_t pos) { records_.Store(code, pos); }
    void StoreFrameRecord(uint32_t code, int64_t pos) {
        if (!isRegisterMode) StoreRecord(code, pos);
    }
    // A 64-bit value as three records sharing one position (single-cycle mode only).
    void StoreValue(const ValueTriple& triple, uint64_t value, int64_t pos) {
        if (!isRegisterMode) records_.StoreValue(triple, value, pos);
    }
    // Empties both stores. A store that has no file yet names and creates one in the context's
    // temporary directory.
    void ResetRecords() { records_.Reset(call_.tempDirectory); }
    // Empties both stores and leaves in them only the failure record (0, code 0).
    void StoreFailureRecord() { records_.StoreFailure(call_.tempDirectory); }

    // ---- Frame parser (frame_parser.cpp) ----------------------------------------------------
    void ResetEngine();
    void BeginWalk(uint32_t maLevel, uint32_t sloLevel);
    // One change of the capture: SLO goes into the history, sample points that have come due are
    // read, and an MA edge is timed and sampled. Inline, as the walk calls it for every change;
    // what is rare goes out of line: every MA edge in the pause after a frame, whose longest level
    // is being measured. Outside that pause a change that is not an MA edge needs nothing more,
    // nor does a falling edge.
    // kPoint: the walk's SamplePoint (it must match sloPhase, or be Any). Only a phase after the
    // edge defers sample points, and only a phase before it reads the SLO history, so the other
    // walks skip pendingSamples or the history.
    template <SamplePoint kPoint = SamplePoint::Any>
    void OnChange(int64_t pos, uint32_t ma, uint32_t slo) {
        constexpr bool kHistory = kPoint == SamplePoint::Before || kPoint == SamplePoint::Any;
        constexpr bool kLate = kPoint == SamplePoint::After || kPoint == SamplePoint::Any;
        if (kHistory) sloHistory.RecordIfChanged(pos, slo, prevSlo);
        const uint32_t levelBefore = prevSlo;
        prevSlo = slo;
        // Waiting sample points reached by this change, oldest first. Each of them lies after the
        // previous change (it would have been read there otherwise), so SLO at the point is the
        // level before this change, or this change's level when the point is this very sample.
        while (kLate && pendingSamples.Count() > 0 && pendingSamples.Front() <= pos) {
            const int64_t q = pendingSamples.Front();
            pendingSamples.PopFront();
            FeedSampledBit(q, q == pos ? slo : levelBefore);
        }
        if (ma == prevMa) return;
        if (inTimeout) {
            OnMaChangeInPause(pos, ma);
            return;
        }
        lastMaChange = pos;
        const bool rising = prevMa == 0;
        prevMa = ma;
        if (rising) OnRisingEdge<kPoint>(pos);
    }
    void EndWalk(int64_t lastPos);
    void FeedBit(int64_t pos, uint32_t bit);
    // FeedBit with the data field's bits inline: they are the most frequent bits of a frame.
    void FeedSampledBit(int64_t pos, uint32_t bit) {
        if (frameState != FrameState::DataBits) {
            FeedBit(pos, bit);
            return;
        }
        if (bitCount == 0) dataStartPos = pos;
        if (multiTurnBits > 0 && bitCount == multiTurnBits) singleTurnStartPos = pos;
        dataValue = (dataValue << 1) | (bit & 1u);
        ++bitCount;
        if (bitCount >= dataBits) EndOfData();
    }
    void ResetFrame();

    // ---- Register-access assembler (register_access.cpp) ------------------------------------
    RegisterAssembler& Assembler() { return assembler_; }

    // The context of the calls this engine works for.
    CallContext& Call() const { return call_; }

    // ---- Driver fields ------------------------------------------------------------------------
    int64_t rangeStart = 0;
    int64_t rangeEnd = 0;
    int32_t maChannel = 0;
    int32_t sloChannel = 1;
    int32_t mode = static_cast<int32_t>(DecodeMode::SingleCycle);
    bool autoLength = false;
    uint8_t channelState[kChannelStateBytes] = {};

    // ---- Settings copies ------------------------------------------------------------------------
    int32_t slaveCount = 1;
    int32_t dataBits = 12;
    int32_t singleTurnBits = 12;
    int32_t alignmentBits = 0;
    int32_t positionBits = 12;
    int32_t multiTurnBits = 0;
    FrameCrcParams crc{6, 0x43, 0, 0x3F};
    bool combineTurns = false;
    int32_t sloPhase = 0;
    bool hasCds = true;
    bool isRegisterMode = false;
    bool slaveView = false;
    uint64_t sampleRate = 0;  // samples per second of the capture, 0 = unknown

    // ---- Frame parser state -----------------------------------------------------------------------
    FrameState frameState = FrameState::WaitAck;
    int32_t bitCount = 0;
    uint64_t dataValue = 0;
    uint32_t errBit = 0;
    uint32_t warnBit = 0;
    uint32_t crcReceived = 0;
    int64_t dataStartPos = 0;
    int64_t singleTurnStartPos = 0;
    int64_t crcStartPos = 0;
    int32_t ackCount = 0;
    int64_t ackStartPos = 0;
    int64_t ackDuration = 0;
    int32_t slaveIndex = 0;
    bool crcSeen = false;
    bool firstFrame = false;
    int64_t clockPeriod = 0;
    int32_t periodCount = 0;
    int64_t reportedPeriod = 0;
    int64_t periodEstimate = 0;
    bool inTimeout = false;
    bool timeoutSeen = false;
    int64_t timeoutStart = 0;
    int64_t cdmPos = 0;
    int64_t longestLen = 0;
    uint32_t longestLevel = 1;
    bool cdmPending = false;
    uint32_t pendingCdm = 0;
    int64_t pendingCdmPos = 0;
    SloHistory sloHistory;

    // Walk state.
    uint32_t prevMa = 0;
    uint32_t prevSlo = 1;
    int64_t lastMaChange = 0;
    int64_t lastRisingEdge = -1;
    int64_t avgPeriod = 0;
    PendingSamples pendingSamples;

  private:
    // A clock period more than 1.5 times the average (2 x period >= 3 x average) is a pause, not a
    // clock; a rising edge more than 6 average periods after the previous one ends the frame.
    static constexpr int64_t kPauseNum = 3;
    static constexpr int64_t kPauseDen = 2;
    static constexpr int64_t kGapPeriods = 6;

    void OnMaChangeInPause(int64_t pos, uint32_t ma);
    // A rising edge of MA (lastMaChange already moved to it): the clock is timed, or the frame in
    // progress ends at a gap, and SLO is read at the edge plus the sampling phase (kPoint as for
    // OnChange).
    template <SamplePoint kPoint>
    void OnRisingEdge(int64_t pos) {
        if (lastRisingEdge >= 0) {
            const int64_t period = pos - lastRisingEdge;
            if (avgPeriod >= 1 && ExceedsMultiple(period, kGapPeriods, avgPeriod)) {
                EndFrameAtGap();
            } else if (!(avgPeriod > 0 && ScaledAtLeast(kPauseDen, period, kPauseNum, avgPeriod))) {
                avgPeriod = avgPeriod > 0 ? NextAverage(avgPeriod, period) : period;
                clockPeriod = avgPeriod;
                ++periodCount;
            }
        }
        lastRisingEdge = pos;
        // At the edge itself the level in force is the latest one: every remembered SLO change
        // lies at or before this edge.
        if (kPoint == SamplePoint::AtEdge || (kPoint == SamplePoint::Any && sloPhase == 0)) {
            FeedSampledBit(pos, prevSlo);
            return;
        }
        // A point before the edge is looked up in the history; a point after it waits until the
        // walk reaches it, unless 8 are waiting already: then SLO is read at the edge itself.
        const int64_t s = PositionAfter(pos, sloPhase);
        if (kPoint != SamplePoint::After && s < pos) {
            FeedSampledBit(pos, sloHistory.SloLevelAt(s));
        } else if (s > pos && !pendingSamples.Full()) {
            pendingSamples.Append(s);
        } else {
            FeedSampledBit(pos, prevSlo);
        }
    }
    void EndOfData();
    void SplitData();
    void EndOfSlave(int64_t pos);
    void TrackLongestMaLevel(uint32_t level, int64_t from, int64_t to);
    void CloseFrameTimeout(uint32_t level, int64_t from, int64_t to, int64_t period);
    void ReportClockPeriod(int64_t pos);
    uint32_t ClassifyUnfinished() const;
    void EndFrameAtGap();
    void StoreFirstFrameRecords(int64_t pos);

    CallContext& call_;
    RecordOutput records_;
    RegisterAssembler assembler_{records_};
};

// The analysis driver (analysis_driver.cpp).
// Decodes the capture of the context's host record with these settings into the engine's stores
// and hands out the finished arrays; returns the record count (1 with the record (0, code 0) when
// the decode failed).
uint32_t AnalyseCapture(DecodeEngine& engine, DecoderSettings* settings, const int64_t** positions,
                        const uint32_t** codes);
// The decode proper; false when nothing usable was decoded.
bool RunDecode(DecodeEngine& engine, DecoderSettings* settings);
// The auto-length pass: a data length 1..62 found by CRC matches, or -1.
int32_t DetectDataLength(DecodeEngine& engine);

}  // namespace zb
