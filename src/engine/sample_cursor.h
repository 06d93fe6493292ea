// SampleCursor: the reader over the host's samples for one walk. It asks the host's sampleQuery
// callback for the channel levels change by change, clamps the walk to what the host can deliver
// and skips reported positions at which no channel actually changed.
#pragma once

#include <cstdint>
#include <cstring>

#include "abi/call_context.h"
#include "abi/host_record.h"
#include "engine/host_access.h"

namespace zb {

class SampleCursor {
  public:
    static constexpr int64_t kNone = -1;  // all ones: the host knows no further change

    // The cursor reads the host record of `call` and sets its status.
    explicit SampleCursor(CallContext& call) : call_(call) {}
    // The cursor points into its own buffers, so it stays where it was made.
    SampleCursor(const SampleCursor&) = delete;
    SampleCursor& operator=(const SampleCursor&) = delete;

    // Opens the cursor on the call's host record for [from, to): the start is no earlier than
    // the host's first valid sample, the end no later than its last valid sample (or lastSample).
    // False (status NoHost) without a host record or without a sampleQuery callback.
    bool OpenCursor(int64_t from, int64_t to);
    // The levels at max(from, start) into state (and State()); false when from lies beyond the
    // end, when the cursor is not open or state is null.
    bool FirstSample(int64_t from, uint8_t* state);
    // The next position at which any channel changes, and the levels from there on (into state
    // and State()). False at the end of the range; pos is then where the walk stopped (the end, or
    // the first change beyond it).
    bool NextChange(int64_t& pos, uint8_t* state) {
        NoProgress none;
        return Steps(pos, state, none, StopAtFirst{});
    }
    // NextChange for a walk that has checked once that the cursor is open and that sets the status
    // Ok once itself: the step itself (see Run), with the levels left in State() (and the watched
    // channels' levels in Levels()) only.
    bool Advance(int64_t& pos) {
        NoProgress none;
        return Run(pos, none, StopAtFirst{});
    }
    // Steps from change to change until the range ends, with onStep(pos, levels, changed) called
    // for every change (levels as Levels() gives them, changed = the bits of levels that differ
    // from the previous change's); an onStep that returns false ends the walk at its change, with
    // pos at that change. The walk reports its progress through `progress` (see Run). The
    // cursor's State() and Levels() are brought up to date when the walk ends, not at every
    // change (onStep reads the levels it is given); the final state goes into state too.
    template <class OnStep>
    void Walk(int64_t& pos, uint8_t* state, ProgressGate& progress, OnStep&& onStep) {
        Steps(pos, state, progress, onStep);
    }
    // The levels of the watched channels in the last reported state: the first channel's at bit
    // 0, the second's at bit 1 (0 for a channel that is not watched).
    uint32_t Levels() const { return levels_; }
    // The levels of the last reported state (FirstSample or the last change), as the host wrote
    // them; valid until the next step.
    const uint8_t* State() const { return last_; }
    // The channels whose bytes decide first whether a step is a change (see Advance): the walk's
    // MA and SLO lines. A channel outside 0..127 is not watched.
    void WatchChannels(int32_t first, int32_t second);
    // A channel's place in the state, looked up once per walk (channels outside 0..127 read 0).
    struct ChannelBit {
        int byte;
        uint32_t shift;
        uint32_t mask;  // 1 for a channel in the state, else 0
    };
    static ChannelBit BitOf(int32_t channel) {
        if (channel < 0 || channel >= 128) return ChannelBit{0, 0, 0};
        return ChannelBit{channel >> 3, static_cast<uint32_t>(channel & 7), 1u};
    }
    // The level of a channel in a state (0 for channels outside 0..127).
    static uint32_t LevelIn(const uint8_t* state, ChannelBit bit) {
        return (static_cast<uint32_t>(state[bit.byte]) >> bit.shift) & bit.mask;
    }
    void CloseCursor() { open_ = false; }
    int64_t CursorStart() const { return cursorStart_; }
    int64_t CursorEnd() const { return cursorEnd_; }

  private:
    static constexpr int kStateBytes = 16;
    // Run for a caller that has not checked the cursor (NextChange, Walk): refused (false, with
    // the status) when the cursor is not open or state is null; else the status is Ok, and the
    // final state goes into state too.
    template <class Progress, class OnStep>
    bool Steps(int64_t& pos, uint8_t* state, Progress& progress, OnStep&& onStep) {
        if (!open_ || state == nullptr) return Refuse(state == nullptr);
        call_.status = ReportStatusCode::Ok;
        const bool more = Run(pos, progress, onStep);
        std::memcpy(state, State(), kStateBytes);
        return more;
    }
    // Steps from nextChange_ until the range ends (false; pos as for Advance) or onStep(pos,
    // levels, changed) returns false for a change (true; pos at that change). Before the host is
    // asked for a position at or past progress.Next(), progress.Report(position) runs: the range
    // end and the next progress step are one limit, so a step compares its position once. The
    // state a step changes is kept in locals meanwhile and stored back at the end: kept in the
    // cursor, the host's call between two steps would make a walk store and load it again for
    // every change.
    //
    // The host writes each answer into the buffer that does not hold the last reported state, so
    // that state stays at hand for the comparison without being copied; on a change the two
    // buffers swap roles. Whether anything changed is decided on the watched channels' levels
    // first: when one of them differs, so does the whole state and the step is a change, and the
    // levels are the walk's anyway. The host has just written the new state, often byte by byte;
    // single-byte loads take their values straight from those pending stores, while a wide load
    // over all of them would wait until they reach the cache. So the 16 bytes are compared only
    // when the watched levels are equal.
    //
    // nextChange_ is never kNone: FirstSample and every step put the end of the range in its
    // place, so one comparison tells whether the range goes on.
    template <class Progress, class OnStep>
    bool Run(int64_t& pos, Progress& progress, OnStep&& onStep) {
        uint32_t levels = levels_;
        int64_t reported = nextChange_;
        const int64_t end = cursorEnd_;
        int64_t limit = progress.Next() < end ? progress.Next() : end;
        const SampleQueryFn query = host_->sampleQuery;
        // One step with the host's answer going into `answer` while `last` holds the last reported
        // state. The two buffers swap roles after a change; the loop below runs the steps of each
        // role apart, so that no pointers swap from step to step.
        const auto step = [&](uint8_t * answer, const uint8_t* last) __attribute__((always_inline)) {
            if (reported >= limit) {
                if (reported >= end) {
                    pos = reported;
                    return Took::End;
                }
                progress.Report(reported);
                limit = progress.Next() < end ? progress.Next() : end;
            }
            // The host's answer as it came; on a change, one comparison with the position asked
            // for (see Query) decides between the next change and the end of the range.
            const int64_t answered = static_cast<int64_t>(query(static_cast<uint64_t>(reported), answer));
            const uint32_t now = WatchedLevels(answer);
            const uint32_t changed = now ^ levels;
            if (changed != 0 || Gather(answer) != Gather(last) || Gather(answer + 8) != Gather(last + 8)) {
                levels = now;  // the answer is now the last reported state
                const int64_t at = reported;
                reported = answered > at ? answered : end;
                if (onStep(at, now, changed)) return Took::Change;
                pos = at;
                return Took::StopAtChange;
            }
            // The host reported a position at which nothing changed: go on to the following one
            // (its answer goes into the same buffer), but never past the end of the range. When
            // the host knows no further change, the step ends here as a change: the walk sees the
            // last levels once more at this position, and then the end of the range.
            if (!(answered > reported)) {
                const int64_t at = reported;
                reported = end;
                if (onStep(at, levels, 0u)) return Took::Same;
                pos = at;
                return Took::StopAtSame;
            }
            if (answered >= end) {
                reported = answered;
                pos = answered;
                return Took::End;
            }
            reported = answered;
            return Took::Same;
        };
        // The steps alternate between the two buffers: answers go into the first buffer until a
        // change, then into the second until a change, and so on; the walk begins with the one
        // answer_ points to. The buffers are named by their place in the cursor rather than
        // through answer_ and last_: a cursor that lives on the walk's stack then needs no
        // registers for them. After a change that ends the walk, the buffer that took it holds
        // the last reported state.
        uint8_t* const first = buffer_[0];
        uint8_t* const second = buffer_[1];
        bool intoFirst = answer_ == first;
        Took took;
        for (;;) {
            if (intoFirst) {
                while ((took = step(first, second)) == Took::Same) {
                }
                if (took != Took::Change) {
                    answer_ = took == Took::StopAtChange ? second : first;
                    break;
                }
            }
            intoFirst = true;
            while ((took = step(second, first)) == Took::Same) {
            }
            if (took != Took::Change) {
                answer_ = took == Took::StopAtChange ? first : second;
                break;
            }
        }
        last_ = answer_ == first ? second : first;
        levels_ = levels;
        nextChange_ = reported;
        return took == Took::StopAtChange || took == Took::StopAtSame;
    }
    // How a step of Run ended: a change or a position without one (the walk goes on), the end of
    // the range, or a change (or the last position) after which the walk's step asked to stop.
    enum class Took { Change, Same, End, StopAtChange, StopAtSame };
    // One call of the host. A host that answers with a position not after the one asked for would
    // make the walk go round for ever; such an answer counts as "no further change". Positions
    // asked for are never negative, so "no further change" (all ones, -1 as a signed position)
    // and any answer beyond INT64_MAX fail the same comparison.
    int64_t Query(int64_t position, uint8_t* state) {
        const auto n = static_cast<int64_t>(host_->sampleQuery(static_cast<uint64_t>(position), state));
        return n > position ? n : kNone;
    }
    // The watched channels' levels in a state (see Levels): each channel's byte looked up in its
    // table, which holds the channel's level already at its place in Levels().
    uint32_t WatchedLevels(const uint8_t* state) const {
        return levelOf_[0][state[watchByte_[0]]] | levelOf_[1][state[watchByte_[1]]];
    }
    // Bytes 0..7 or 8..15 of a state as one word, little-endian (channel c at bit c % 64).
    static uint64_t Gather(const uint8_t* in) {
        uint64_t v;
        std::memcpy(&v, in, sizeof v);
        return v;
    }
    bool Refuse(bool missingOutput);
    // The progress of a walk that reports none (NextChange, Advance).
    struct NoProgress {
        static constexpr int64_t Next() { return INT64_MAX; }
        static void Report(int64_t) {}
    };
    // The step of NextChange and Advance: the walk ends at the first change.
    struct StopAtFirst {
        bool operator()(int64_t, uint32_t, uint32_t) const { return false; }
    };

    CallContext& call_;  // the host record to read, and where the status goes
    HostRecord* host_ = nullptr;
    bool open_ = false;
    int64_t cursorStart_ = 0;
    int64_t cursorEnd_ = 0;
    int64_t nextChange_ = 0;
    // The two state buffers: answer_ takes the host's next answer, last_ holds the last reported
    // state. The host writes the first kStateBytes of a buffer; the byte after them stays 0 and is
    // where an unwatched channel, or one outside 0..127, is read.
    static constexpr int kBufferBytes = 2 * kStateBytes;
    static constexpr int kZeroByte = kStateBytes;
    alignas(16) uint8_t buffer_[2][kBufferBytes] = {};
    uint8_t* answer_ = buffer_[0];
    uint8_t* last_ = buffer_[1];
    uint32_t levels_ = 0;  // WatchedLevels(last_)
    // The watched channels' bytes in a buffer, and for each of them the level bit (at the
    // channel's place in Levels()) of every value of that byte: all 0 for a channel not watched.
    int watchByte_[2] = {kZeroByte, kZeroByte};
    uint32_t levelOf_[2][256] = {};
};

}  // namespace zb
