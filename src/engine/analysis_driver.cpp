// The analysis driver: the engine's entry for the host's Analysis call. It resets the stores,
// copies the settings into the engine, fixes the decode range, optionally finds the data length,
// walks the capture change by change through a SampleCursor into the frame parser, and publishes
// the records. An unusable setup leaves the single failure record (0, code 0).

#include "engine/decode_engine.h"
#include "engine/host_access.h"
#include "engine/sample_cursor.h"

namespace zb {

namespace {

constexpr int32_t kMaxDataBits = 64;

// The walk over the changes after the first: every change goes to the frame parser until the
// range ends or the host asks to stop. kPoint as for DecodeEngine::OnChange.
template <SamplePoint kPoint>
int64_t WalkChanges(DecodeEngine& e, SampleCursor& cursor, ProgressGate& progress, int64_t pos) {
    StopPoll stop(e.Call());
    // A channel beyond the 128 of the host's state reads as level 0 (BitOf masks it out).
    const SampleCursor::ChannelBit maBit = cursor.BitOf(e.maChannel);
    const SampleCursor::ChannelBit sloBit = cursor.BitOf(e.sloChannel);
    // The first step through NextChange checks the cursor and sets the status; the rest advance
    // and read the levels where the cursor keeps them.
    bool more = cursor.NextChange(pos, e.channelState);
    for (; more; more = cursor.Advance(pos)) {
        if (stop.Requested()) break;  // this change is not processed
        const uint8_t* const state = cursor.State();
        e.OnChange<kPoint>(pos, SampleCursor::LevelIn(state, maBit), SampleCursor::LevelIn(state, sloBit));
        if (pos >= progress.Next()) progress.Report(pos);
    }
    return pos;
}

// The decode walk. Returns false when the capture cannot be read; the records are in the stores.
bool WalkCapture(DecodeEngine& e) {
    SampleCursor cursor(e.Call());
    if (!cursor.OpenCursor(e.rangeStart, e.rangeEnd)) return false;
    const int64_t start = cursor.CursorStart();
    // The host can deliver nothing of the range (its valid samples end before the range starts):
    // the range is empty, and its length is never formed.
    if (cursor.CursorEnd() < start) {
        cursor.CloseCursor();
        return false;
    }
    SetProgressRange(e.Call(), 0, kProgressPerMille, cursor.CursorEnd() - start, start);
    if (!cursor.FirstSample(0, e.channelState)) {
        cursor.CloseCursor();
        return false;
    }
    e.BeginWalk(ChannelLevel(e.channelState, e.maChannel), ChannelLevel(e.channelState, e.sloChannel));
    cursor.WatchChannels(e.maChannel, e.sloChannel);
    ProgressGate progress(e.Call(), start, cursor.CursorEnd() - start);
    const int64_t end = e.sloPhase == 0  ? WalkChanges<SamplePoint::AtEdge>(e, cursor, progress, start)
                        : e.sloPhase < 0 ? WalkChanges<SamplePoint::Before>(e, cursor, progress, start)
                                         : WalkChanges<SamplePoint::After>(e, cursor, progress, start);
    e.EndWalk(end);
    cursor.CloseCursor();
    return true;
}

}  // namespace

uint32_t AnalyseCapture(DecodeEngine& engine, DecoderSettings* settings, const int64_t** positions,
                        const uint32_t** codes) {
    if (settings == nullptr) return 0;
    engine.ResetRecords();
    if (!RunDecode(engine, settings)) {
        engine.StoreFailureRecord();
    }
    RecordOutput& out = engine.Records();
    const int64_t* p = out.positionStore.FinishStore();
    const uint32_t* c = out.codeStore.FinishStore();
    if (out.positionStore.Failed() || out.codeStore.Failed()) {
        // Records were lost on the way (the in-memory fallback reached its limit, memory ran out or
        // the spill file could not be read back): the host gets the failure record, never a count
        // larger than the arrays behind it.
        engine.StoreFailureRecord();
        p = out.positionStore.FinishStore();
        c = out.codeStore.FinishStore();
    }
    if (positions != nullptr) *positions = p;
    if (codes != nullptr) *codes = c;
    const uint64_t count = out.positionStore.StoreCount();
    return count > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(count);
}

bool RunDecode(DecodeEngine& e, DecoderSettings* settings) {
    if (settings == nullptr) return false;
    e.ResetEngine();
    SettingsView view(settings);
    view.Normalise();

    const int32_t slaves = static_cast<int32_t>(view.DataChannels()) + 1;
    e.slaveCount = slaves < 1 ? 1 : slaves;
    e.maChannel = static_cast<int32_t>(view.Channel(0));
    e.sloChannel = static_cast<int32_t>(view.Channel(1));
    e.mode = static_cast<int32_t>(view.Mode());
    // The data field is at most 64 bits wide; a larger stored length is read as 64.
    e.dataBits = view.DataLength() > kMaxDataBits ? kMaxDataBits : view.DataLength();
    e.autoLength = view.AutoLength();
    e.singleTurnBits = view.SingleTurnBits();
    e.alignmentBits = view.Alignment();
    e.positionBits = view.PositionBits();
    e.multiTurnBits = view.MultiTurnBits();
    // The frames are parsed and the lengths scored with the effective CRC: the configured one in
    // single-cycle mode, the 4-bit CRC (x^4 + x + 1, initial value 0) in the register-access modes.
    e.crc = FrameCrcParams{view.EffectiveCrcBits(), view.EffectiveCrcPolynomial(), view.EffectiveCrcInitial(),
                           view.EffectiveCrcMask()};
    e.combineTurns = view.CombineTurns();
    e.sloPhase = view.SloPhase();
    e.hasCds = !view.IsBissB();
    e.sampleRate = view.SampleRate();

    if (e.dataBits < 1) {
        if (!e.autoLength) return false;
        e.dataBits = kMaxDataBits;
        e.positionBits = kMaxDataBits - e.alignmentBits > 0 ? kMaxDataBits - e.alignmentBits : 0;
        e.singleTurnBits = e.positionBits;
        e.multiTurnBits = 0;
    }
    e.isRegisterMode = e.mode != static_cast<int32_t>(DecodeMode::SingleCycle);
    e.slaveView = e.mode == static_cast<int32_t>(DecodeMode::RegisterSlave);
    e.Assembler().Reset(e.slaveView, e.sampleRate);

    // Decode range: buffer head or a cursor, to the buffer tail or a cursor (end exclusive). A cursor
    // number beyond the six the host has reads as position 0.
    const uint32_t from = view.RangeFrom();
    const uint32_t to = view.RangeTo();
    e.rangeStart = from == 0 ? 0 : view.CursorPosition(from - 1);
    const int64_t last = view.LastSample();
    e.rangeEnd = to != 0 ? view.CursorPosition(to - 1) : (last == INT64_MAX ? last : last + 1);
    if (e.rangeEnd <= e.rangeStart) return false;

    if (e.autoLength && (e.mode == static_cast<int32_t>(DecodeMode::SingleCycle) || e.hasCds)) {
        const int32_t length = DetectDataLength(e);
        if (length >= 1 && length <= kMaxDataBits) {
            e.dataBits = length;
            e.positionBits = length - e.alignmentBits > 0 ? length - e.alignmentBits : 0;
            if (e.singleTurnBits > e.positionBits) e.singleTurnBits = e.positionBits;
            // In 64 bits: a stored single-turn count far below zero must not overflow.
            const int64_t multiTurn = int64_t{e.positionBits} - e.singleTurnBits;
            e.multiTurnBits = multiTurn < 1           ? 0
                              : multiTurn > INT32_MAX ? INT32_MAX
                                                      : static_cast<int32_t>(multiTurn);
            view.SetDetectedLength(static_cast<uint32_t>(length));
        } else {
            view.SetDetectedLength(0);
        }
    }

    if (!WalkCapture(e)) return false;
    RecordOutput& out = e.Records();
    if (out.positionStore.StoreCount() == 0) e.StoreRecord(MakeStatus(StatusCode::Idle), 0);
    return out.positionStore.StoreCount() == out.codeStore.StoreCount();
}

}  // namespace zb
