// The analysis driver: the engine's entry for the host's Analysis call. It resets the stores,
// derives the frame format and the decode range from the settings, optionally finds the data
// length, walks the capture change by change through a SampleCursor into the frame parser, and
// publishes the records. An unusable setup leaves the single failure record (0, code 0).

#include "engine/decode_engine.h"
#include "engine/host_access.h"
#include "engine/sample_cursor.h"

namespace zb {

namespace {

constexpr int32_t kMaxDataBits = 64;

// The walk over the changes after the first: every change goes to the frame parser until the
// range ends or the host asks to stop; then the parser ends its walk. kPoint as for
// FrameParser::OnChange.
template <SamplePoint kPoint>
void WalkChanges(CallContext& call, FrameParser& parser, SampleCursor& cursor, ProgressGate& progress,
                 uint8_t* state, int64_t start) {
    StopPoll stop(call);
    int64_t pos = start;
    // A stop ends the walk before its change is processed: the parser's walk then ends with the
    // levels before that change.
    constexpr uint32_t kNotStopped = ~0u;
    uint32_t stopLevels = kNotStopped;
    // The cursor watches MA (level bit 0) and SLO (bit 1); a channel beyond the 128 of the host's
    // state reads as level 0.
    cursor.Walk(pos, state, progress, [&](int64_t at, uint32_t levels, uint32_t changed) {
        if (stop.Requested()) {
            stopLevels = levels ^ changed;
            return false;
        }
        parser.OnChange<kPoint>(at, levels, changed);
        return true;
    });
    parser.EndWalk(pos, stopLevels == kNotStopped ? cursor.Levels() : stopLevels);
}

// The decode walk. Returns false when the capture cannot be read; the records are in the stores.
bool WalkCapture(DecodeEngine& e, const CaptureLines& lines, int32_t sloPhase) {
    CallContext& call = e.Call();
    SampleCursor cursor(call);
    if (!cursor.OpenCursor(lines.rangeStart, lines.rangeEnd)) return false;
    const int64_t start = cursor.CursorStart();
    // The host can deliver nothing of the range (its valid samples end before the range starts):
    // the range is empty, and its length is never formed.
    if (cursor.CursorEnd() < start) {
        cursor.CloseCursor();
        return false;
    }
    SetProgressRange(call, 0, kProgressPerMille, cursor.CursorEnd() - start, start);
    uint8_t state[kChannelStateBytes];
    if (!cursor.FirstSample(0, state)) {
        cursor.CloseCursor();
        return false;
    }
    FrameParser& parser = e.Parser();
    cursor.WatchChannels(lines.maChannel, lines.sloChannel);
    parser.BeginWalk(cursor.Levels());
    ProgressGate progress(call, start, cursor.CursorEnd() - start);
    if (sloPhase == 0) {
        WalkChanges<SamplePoint::AtEdge>(call, parser, cursor, progress, state, start);
    } else if (sloPhase < 0) {
        WalkChanges<SamplePoint::Before>(call, parser, cursor, progress, state, start);
    } else {
        WalkChanges<SamplePoint::After>(call, parser, cursor, progress, state, start);
    }
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
    SettingsView view(settings);
    view.Normalise();

    FrameFormat f;
    const int32_t slaves = static_cast<int32_t>(view.DataChannels()) + 1;
    f.slaveCount = slaves < 1 ? 1 : slaves;
    CaptureLines lines;
    lines.maChannel = static_cast<int32_t>(view.Channel(0));
    lines.sloChannel = static_cast<int32_t>(view.Channel(1));
    const uint32_t mode = view.Mode();
    // The data field is at most 64 bits wide; a larger stored length is read as 64.
    f.dataBits = view.DataLength() > kMaxDataBits ? kMaxDataBits : view.DataLength();
    const bool autoLength = view.AutoLength();
    f.singleTurnBits = view.SingleTurnBits();
    f.alignmentBits = view.Alignment();
    f.multiTurnBits = view.MultiTurnBits();
    // The frames are parsed and the lengths scored with the effective CRC: the configured one in
    // single-cycle mode, the 4-bit CRC (x^4 + x + 1, initial value 0) in the register-access modes.
    f.crc = FrameCrcParams{view.EffectiveCrcBits(), view.EffectiveCrcPolynomial(), view.EffectiveCrcInitial(),
                           view.EffectiveCrcMask()};
    f.combineTurns = view.CombineTurns();
    f.sloPhase = view.SloPhase();
    f.hasCds = !view.IsBissB();
    f.sampleRate = view.SampleRate();

    if (f.dataBits < 1) {
        if (!autoLength) return false;
        // Until the auto-length pass finds a length: the widest field, all of it single-turn.
        f.dataBits = kMaxDataBits;
        f.singleTurnBits = kMaxDataBits - f.alignmentBits > 0 ? kMaxDataBits - f.alignmentBits : 0;
        f.multiTurnBits = 0;
    }
    f.registerMode = mode != static_cast<uint32_t>(DecodeMode::SingleCycle);

    // Decode range: buffer head or a cursor, to the buffer tail or a cursor (end exclusive). A cursor
    // number beyond the six the host has reads as position 0.
    const uint32_t from = view.RangeFrom();
    const uint32_t to = view.RangeTo();
    lines.rangeStart = from == 0 ? 0 : view.CursorPosition(from - 1);
    const int64_t last = view.LastSample();
    lines.rangeEnd = to != 0 ? view.CursorPosition(to - 1) : (last == INT64_MAX ? last : last + 1);
    if (lines.rangeEnd <= lines.rangeStart) return false;

    if (autoLength && (!f.registerMode || f.hasCds)) {
        const int32_t length = DetectDataLength(e.Call(), lines, f.crc, f.hasCds, f.clockEstimate);
        if (length >= 1 && length <= kMaxDataBits) {
            f.dataBits = length;
            const int32_t positionBits = length - f.alignmentBits > 0 ? length - f.alignmentBits : 0;
            if (f.singleTurnBits > positionBits) f.singleTurnBits = positionBits;
            // In 64 bits: a stored single-turn count far below zero must not overflow.
            const int64_t multiTurn = int64_t{positionBits} - f.singleTurnBits;
            f.multiTurnBits = multiTurn < 1           ? 0
                              : multiTurn > INT32_MAX ? INT32_MAX
                                                      : static_cast<int32_t>(multiTurn);
            view.SetDetectedLength(static_cast<uint32_t>(length));
        } else {
            view.SetDetectedLength(0);
        }
    }

    e.Parser().Reset(f);
    e.Assembler().Reset(mode == static_cast<uint32_t>(DecodeMode::RegisterSlave), f.sampleRate);
    if (!WalkCapture(e, lines, f.sloPhase)) return false;
    RecordOutput& out = e.Records();
    if (out.positionStore.StoreCount() == 0) out.Store(MakeStatus(StatusCode::Idle), 0);
    return out.positionStore.StoreCount() == out.codeStore.StoreCount();
}

}  // namespace zb
