// The record output's out-of-line steps: placing a record that must move, asking the stores for
// room, the three records of a value, and emptying the stores.
#include "engine/record_output.h"

namespace zb {

// Both stores report changes of their fill to room_, so that Store never writes past a block or
// into a store that was finished or reset behind this object's back.
RecordOutput::RecordOutput() {
    codeStore.SetWriterRoom(&room_);
    positionStore.SetWriterRoom(&room_);
}

int64_t RecordOutput::Place(int64_t pos) {
    const int64_t p = stored_ && pos <= last_ ? PositionAfter(last_, 1) : pos;
    last_ = p;
    stored_ = true;
    return p;
}

void RecordOutput::Append(uint32_t code, int64_t p) {
    if (room_ == 0) {
        positionStore.MakeRoom();
        codeStore.MakeRoom();
        const uint32_t positionRoom = positionStore.FreeSlots();
        const uint32_t codeRoom = codeStore.FreeSlots();
        room_ = positionRoom < codeRoom ? positionRoom : codeRoom;
    }
    if (room_ != 0) {
        --room_;
        positionStore.AppendFree(p);
        codeStore.AppendFree(code);
        return;
    }
    positionStore.AppendElement(p);
    codeStore.AppendElement(code);
}

void RecordOutput::StoreChecked(uint32_t code, int64_t pos) {
    Append(code, Place(pos));
}

void RecordOutput::StoreValue(const ValueTriple& triple, uint64_t value, int64_t pos) {
    const uint32_t high = MakeCode(triple.high, TripleHighPayload(value));
    const uint32_t mid = MakeCode(triple.mid, TripleMidPayload(value));
    const uint32_t low = MakeCode(triple.low, TripleLowPayload(value));
    if (room_ >= 3 && pos > last_) {
        room_ -= 3;
        last_ = pos;
        positionStore.AppendFree(pos);
        positionStore.AppendFree(pos);
        positionStore.AppendFree(pos);
        codeStore.AppendFree(high);
        codeStore.AppendFree(mid);
        codeStore.AppendFree(low);
        return;
    }
    const int64_t p = Place(pos);
    Append(high, p);
    Append(mid, p);
    Append(low, p);
}

void RecordOutput::Reset(const char* directory) {
    codeStore.ResetStore(directory);
    positionStore.ResetStore(directory);
    // The resets have set room_ to 0; last_ counts again from the next record on.
    stored_ = false;
}

void RecordOutput::StoreFailure(const char* directory) {
    Reset(directory);
    Store(MakeCode(RecordKind::Failure), 0);
}

}  // namespace zb
