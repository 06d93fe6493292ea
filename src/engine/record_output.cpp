// The record output's out-of-line steps: placing a record that must move, asking the stores for
// room, the three records of a value, and emptying the stores.
#include "engine/record_output.h"

namespace zb {

int64_t RecordOutput::Place(int64_t pos) {
    last_ = pos > last_ ? pos : PositionAfter(last_, 1);
    return last_;
}

void RecordOutput::Append(uint32_t code, int64_t p) {
    if (!HasRoom()) {
        positionStore.MakeRoom();
        codeStore.MakeRoom();
    }
    if (HasRoom()) {
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
    if (pos > last_ && HasRoom(3)) {
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
    last_ = INT64_MIN;
}

void RecordOutput::StoreFailure(const char* directory) {
    Reset(directory);
    Store(MakeCode(RecordKind::Failure), 0);
}

}  // namespace zb
