// SampleCursor: the reader over the host's samples for one walk. It asks the host's sampleQuery
// callback for the channel levels change by change, clamps the walk to what the host can deliver
// and skips reported positions at which no channel actually changed.
#pragma once

#include <cstdint>
#include <cstring>

#include "plugin/host_record.h"
#include "plugin/module_state.h"

namespace zb {

class SampleCursor {
  public:
    static constexpr int64_t kNone = -1;  // all ones: the host knows no further change

    // Opens the cursor on the remembered host record for [from, to): the start is no earlier than
    // the host's first valid sample, the end no later than its last valid sample (or lastSample).
    // False (status NoHost) without a remembered record or without a sampleQuery callback.
    bool OpenCursor(int64_t from, int64_t to);
    // The levels at max(from, start) into state; false when from lies beyond the end, when the
    // cursor is not open or state is null.
    bool FirstSample(int64_t from, uint8_t* state);
    // The next position at which any channel changes, and the levels from there on. False at the
    // end of the range; pos is then where the walk stopped (the end, or the first change beyond it).
    bool NextChange(int64_t& pos, uint8_t* state) {
        if (!open_ || state == nullptr) return Refuse(state == nullptr);
        module_->reportStatus = ReportStatusCode::Ok;
        return Advance(pos, state);
    }
    // NextChange for a walk that has checked once that the cursor is open and state is not null,
    // and that sets the status Ok once itself: the step itself, nothing else.
    bool Advance(int64_t& pos, uint8_t* state) {
        if (nextChange_ == kNone || nextChange_ >= cursorEnd_) {
            pos = nextChange_ == kNone ? cursorEnd_ : nextChange_;
            return false;
        }
        for (;;) {
            reportedPos_ = nextChange_;
            nextChange_ = Query(reportedPos_, state);
            const uint64_t low = Gather(state) & channelMask_[0];
            const uint64_t high = Gather(state + 8) & channelMask_[1];
            if (low != lastState_[0] || high != lastState_[1]) {
                lastState_[0] = low;
                lastState_[1] = high;
                break;
            }
            // The host reported a position at which nothing changed: go on to the following one,
            // but never past the end of the range.
            if (nextChange_ == kNone) break;
            if (nextChange_ >= cursorEnd_) {
                pos = nextChange_;
                return false;
            }
        }
        if (nextChange_ == kNone) nextChange_ = cursorEnd_;
        pos = reportedPos_;
        return true;
    }
    // The level of a channel in the state last read, masked; channels outside 0..127 read 0.
    uint32_t Level(int32_t channel) const {
        if (channel < 0 || channel >= 128) return 0;
        return static_cast<uint32_t>(lastState_[channel >> 6] >> (channel & 63)) & 1u;
    }
    // A channel's place in the state and its bit of the channel mask, looked up once per walk
    // (channels outside 0..127 read 0).
    struct ChannelBit {
        int byte;
        uint32_t shift;
        uint32_t mask;  // 1 when the channel is compared, else 0
    };
    ChannelBit BitOf(int32_t channel) const {
        if (channel < 0 || channel >= 128) return ChannelBit{0, 0, 0};
        const uint32_t shift = static_cast<uint32_t>(channel & 7);
        return ChannelBit{channel >> 3, shift,
                          static_cast<uint32_t>(channelMask_[channel >> 6] >> (channel & 63)) & 1u};
    }
    // The level of a channel in `state` as the last successful NextChange or FirstSample left it,
    // masked: the same value as Level(channel). It is read from the state's own byte because the
    // host has just written that byte, so a byte load takes it straight from the pending store,
    // while the word that the cursor compared would first have to reach the cache.
    static uint32_t LevelIn(const uint8_t* state, ChannelBit bit) {
        return (static_cast<uint32_t>(state[bit.byte]) >> bit.shift) & bit.mask;
    }
    void CloseCursor() { open_ = false; }
    bool IsOpen() const { return open_; }
    int64_t CursorStart() const { return cursorStart_; }
    int64_t CursorEnd() const { return cursorEnd_; }

  private:
    // One call of the host. A host that answers with a position not after the one asked for would
    // make the walk go round for ever; such an answer counts as "no further change".
    int64_t Query(int64_t position, uint8_t* state) {
        const uint64_t next = host_->sampleQuery(static_cast<uint64_t>(position), state);
        if (next == kNoFurtherChange) return kNone;
        const int64_t n = static_cast<int64_t>(next);
        return n > position ? n : kNone;
    }
    // The host has just written the state, typically byte by byte. It is read back byte by byte
    // (each load then takes its value straight from the pending store, where one wide load would
    // wait for all of them to reach the cache) into a word: bytes 0..7 or 8..15, little-endian.
    static uint64_t Gather(const uint8_t* in) {
        uint64_t v;
        std::memcpy(&v, in, sizeof v);
        return v;
    }
    bool Refuse(bool missingOutput);

    HostRecord* host_ = nullptr;
    ModuleState* module_ = &Module();  // where the status goes, looked up once
    bool open_ = false;
    int64_t cursorStart_ = 0;
    int64_t cursorEnd_ = 0;
    int64_t nextChange_ = 0;
    int64_t reportedPos_ = 0;
    // Channel state words: channels 0..63 in word 0 and 64..127 in word 1, channel c at bit c % 64
    // (the host's byte order read as little-endian words).
    uint64_t channelMask_[2] = {};
    uint64_t lastState_[2] = {};
};

// The walks' stop check, once per change. The host's stop word is read at every change; the full
// poll (which also calls the host's abortPoll callback) runs at the first change and then every
// kFullPollInterval changes. The walks stop on the stop word only, so this gives the same
// decode as a full poll per change without a host callback per change.
class StopPoll {
  public:
    static constexpr uint32_t kFullPollInterval = 4096;
    StopPoll();
    bool Requested() {
        if (--countdown_ == 0) return FullPoll();
        return *static_cast<volatile const uint32_t*>(stopWord_) != 0;
    }

  private:
    bool FullPoll();
    static const uint32_t kNoStopWord;  // read instead when the host has no stop word
    const uint32_t* stopWord_ = &kNoStopWord;
    uint32_t countdown_ = 1;
};

}  // namespace zb
