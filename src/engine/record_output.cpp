// The record output's out-of-line steps: the three records of a value, and emptying the stores.
#include "engine/record_output.h"

namespace zb {

void RecordOutput::StoreValue(const ValueTriple& triple, uint64_t value, int64_t pos) {
    const int64_t p = NextPos(pos);
    const uint32_t codes[3] = {MakeCode(triple.high, TripleHighPayload(value)),
                               MakeCode(triple.mid, TripleMidPayload(value)),
                               MakeCode(triple.low, TripleLowPayload(value))};
    positionStore.AppendThree(p, p, p);
    codeStore.AppendThree(codes[0], codes[1], codes[2]);
    floor_ = PositionAfter(p, 1);
}

void RecordOutput::Reset(const char* directory) {
    codeStore.ResetStore(directory);
    positionStore.ResetStore(directory);
    floor_ = INT64_MIN;
}

void RecordOutput::StoreFailure(const char* directory) {
    Reset(directory);
    Store(MakeCode(RecordKind::Failure), 0);
}

}  // namespace zb
