// The record output's out-of-line steps: the three records of a value, and emptying the stores.
#include "engine/record_output.h"

namespace zb {

void RecordOutput::StoreValue(const ValueTriple& triple, uint64_t value, int64_t pos) {
    const int64_t p = NextPos(pos);
    const uint32_t codes[3] = {MakeCode(triple.high, TripleHighPayload(value)),
                               MakeCode(triple.mid, TripleMidPayload(value)),
                               MakeCode(triple.low, TripleLowPayload(value))};
    for (uint32_t code : codes) {
        positionStore.AppendElement(p);
        codeStore.AppendElement(code);
    }
    lastPos_ = p;
}

void RecordOutput::Reset(const char* directory) {
    codeStore.ResetStore(directory);
    positionStore.ResetStore(directory);
    lastPos_ = 0;
}

void RecordOutput::StoreFailure(const char* directory) {
    Reset(directory);
    Store(MakeCode(RecordKind::Failure), 0);
}

}  // namespace zb
