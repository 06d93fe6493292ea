// The auto-length pass: a first walk over the decode range that keeps the raw bits of up to 24
// frames (SLO at each MA rising edge, from the start bit on) and then tries every data length,
// scoring each by how many frames end in a CRC that matches their data, nErr and nWarn bits.
#include "engine/decode_engine.h"
#include "engine/host_access.h"
#include "engine/sample_cursor.h"

namespace zb {

namespace {

constexpr int kFrameBits = 80;      // bits held per frame
constexpr int kFramesKept = 24;     // the pass ends once this many frames are in
constexpr int kMinFrameBits = 4;    // shorter bursts are not frames
constexpr int kMinFramesTried = 3;  // a length needs this many frames long enough to test it
constexpr int32_t kMaxTriedLength = 62;
constexpr int64_t kGapPeriods = 6;

enum class CaptureState : uint8_t { Idle, Acknowledge, Collecting };

struct RawFrame {
    uint8_t bits[kFrameBits];
    int32_t count;  // may exceed kFrameBits; only the first kFrameBits bits are held
};

struct RawFrames {
    RawFrame frame[kFramesKept];
    int count = 0;
};

// Bits first .. first + n - 1 of a frame as a number, MSB first.
uint64_t Field(const RawFrame& f, int first, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | f.bits[first + i];
    return v;
}

// Walks the range and collects frames; leaves the clock estimate in `estimate`. `levels` holds the
// first sample's levels.
void CollectFrames(CallContext& call, const CaptureLines& lines, SampleCursor& cursor, uint8_t* levels,
                   RawFrames& out, int64_t& estimate) {
    uint32_t prevMa = ChannelLevel(levels, lines.maChannel);
    int64_t lastRise = -1, avg = 0, minPeriod = 0, sum = 0, n = 0;
    CaptureState state = CaptureState::Idle;
    RawFrame current{};
    int64_t pos = 0;
    StopPoll stop(call);
    cursor.WatchChannels(lines.maChannel, lines.sloChannel);  // MA at level bit 0, SLO at bit 1
    for (bool more = cursor.NextChange(pos, levels); more; more = cursor.Advance(pos)) {
        if (stop.Requested()) break;
        const uint32_t ma = cursor.Levels() & 1u;
        const uint32_t slo = cursor.Levels() >> 1;
        const bool rising = prevMa == 0 && ma == 1;
        prevMa = ma;
        if (!rising) continue;
        const bool gap = lastRise >= 0 && avg >= 1 && pos - lastRise > Wide(kGapPeriods) * avg;
        if (lastRise >= 0 && !gap) {
            const int64_t period = pos - lastRise;
            if (minPeriod == 0 || Wide(2) * period < minPeriod) {  // a much shorter period starts over
                minPeriod = period;
                sum = n = avg = 0;
            }
            // Periods of 1.15 x the shortest or more are pauses and stay out of the average.
            if (!(avg > 0 && Wide(20) * period >= Wide(23) * minPeriod)) {
                avg = avg > 0 ? static_cast<int64_t>((Wide(3) * avg + period) / 4) : period;
                sum += period;
                ++n;
            }
        }
        lastRise = pos;
        if (gap) {
            if (state == CaptureState::Collecting && current.count >= kMinFrameBits) {
                out.frame[out.count++] = current;
                if (out.count == kFramesKept) break;
            }
            state = CaptureState::Idle;
            current.count = 0;
        }
        switch (state) {
            case CaptureState::Idle:
                if (slo == 0) state = CaptureState::Acknowledge;
                break;
            case CaptureState::Acknowledge:
                if (slo == 1) {
                    state = CaptureState::Collecting;
                    current.bits[0] = 1;  // the start bit
                    current.count = 1;
                }
                break;
            case CaptureState::Collecting:
                if (current.count < kFrameBits) current.bits[current.count] = static_cast<uint8_t>(slo);
                ++current.count;
                break;
        }
    }
    estimate = n > 0 ? sum / n : avg;
}

}  // namespace

int32_t DetectDataLength(CallContext& call, const CaptureLines& lines, const FrameCrcParams& crc, bool hasCds,
                         int64_t& clockEstimate) {
    // A channel beyond the host's 128 reads as level 0, like in the decode walk.
    if (lines.maChannel < 0 || lines.sloChannel < 0) return -1;
    SampleCursor cursor(call);
    if (!cursor.OpenCursor(lines.rangeStart, lines.rangeEnd)) return -1;
    uint8_t state[kChannelStateBytes];
    if (!cursor.FirstSample(0, state)) {
        cursor.CloseCursor();
        return -1;
    }
    RawFrames frames;
    CollectFrames(call, lines, cursor, state, frames, clockEstimate);
    cursor.CloseCursor();
    if (frames.count < kMinFramesTried) return -1;

    const int c = hasCds ? 1 : 0;
    const uint32_t mask = crc.mask;
    int32_t best = -1;
    int bestHits = 0;
    for (int32_t length = 1; length <= kMaxTriedLength; ++length) {
        // Start bit, CDS, data, nErr, nWarn and CRC must all be held.
        const int need = c + length + 1 + crc.bits + 2;
        if (need > kFrameBits) break;
        int tried = 0, hits = 0;
        for (int i = 0; i < frames.count; ++i) {
            const RawFrame& f = frames.frame[i];
            if (f.count < need) continue;
            const uint64_t data = Field(f, 1 + c, length);
            const uint32_t err = f.bits[c + length + 1];
            const uint32_t warn = f.bits[c + length + 2];
            const uint32_t received = static_cast<uint32_t>(Field(f, c + length + 3, crc.bits));
            ++tried;
            if ((FrameCrc(crc, data, length, err, warn) & mask) == (received & mask)) ++hits;
        }
        // Among lengths that match in most of their frames, the most hits win, then the longer.
        if (tried >= kMinFramesTried && 2 * hits > tried && hits >= bestHits) {
            best = length;
            bestHits = hits;
        }
    }
    return best;
}

}  // namespace zb
