// How the engine appends records to its two stores: positions strictly increase (a record that
// would land on or before the last one moves one sample past it), the three records of a 64-bit
// value share one position, and frame or control records are kept only in their own modes.
#include "engine/decode_engine.h"

namespace zb {

DecodeEngine::DecodeEngine(CallContext& call) : call_(call) {
    ResetEngine();
}

void DecodeEngine::ResetRecords() {
    codeStore.ResetStore(call_.tempDirectory);
    positionStore.ResetStore(call_.tempDirectory);
    lastStoredPos_ = 0;
}

void DecodeEngine::StoreValue(const ValueTriple& triple, uint64_t value, int64_t pos) {
    if (isRegisterMode) return;
    const int64_t p = NextStoredPos(pos);
    const uint32_t codes[3] = {MakeCode(triple.high, TripleHighPayload(value)),
                               MakeCode(triple.mid, TripleMidPayload(value)),
                               MakeCode(triple.low, TripleLowPayload(value))};
    for (uint32_t code : codes) {
        positionStore.AppendElement(p);
        codeStore.AppendElement(code);
    }
    lastStoredPos_ = p;
}

}  // namespace zb
