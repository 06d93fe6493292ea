// Where the frame parser and the register-access assembler put their records: the two result
// stores, filled in step, with positions that strictly increase (apart from the three records of
// one 64-bit value, which share theirs). The host receives both stores' arrays after the decode.
#pragma once

#include <cstdint>

#include "abi/record_code.h"
#include "engine/result_store.h"

namespace zb {

// Sample position `pos` moved by `n` samples, held at the ends of the signed 64-bit range: a capture
// that reaches INT64_MAX puts the records that would lie beyond it at INT64_MAX instead of
// overflowing.
constexpr int64_t PositionAfter(int64_t pos, int64_t n) {
    if (n >= 0) return pos > INT64_MAX - n ? INT64_MAX : pos + n;
    return pos < INT64_MIN - n ? INT64_MIN : pos + n;
}

class RecordOutput {
  public:
    // Appends (code, pos); a position not after the last stored one moves one sample past it.
    // Inline: the parser stores about one record for every three changes. The first position a
    // record may take is kept here rather than derived from the position store: this is the only
    // writer between two resets, so it always follows the store's last element.
    void Store(uint32_t code, int64_t pos) {
        const int64_t p = NextPos(pos);
        positionStore.AppendElement(p);
        codeStore.AppendElement(code);
        floor_ = PositionAfter(p, 1);
    }
    // A 64-bit value as three records sharing one position.
    void StoreValue(const ValueTriple& triple, uint64_t value, int64_t pos);
    // Empties both stores. A store that has no file yet names and creates one in `directory`.
    void Reset(const char* directory);
    // Empties both stores and leaves in them only the failure record (0, code 0).
    void StoreFailure(const char* directory);

    CodeStore codeStore;
    PositionStore positionStore;

  private:
    // Where a record for `pos` goes: one sample past the last stored one when it would not lie
    // after it. (At INT64_MAX the floor stays there, which is where such a record goes.)
    int64_t NextPos(int64_t pos) const { return pos < floor_ ? floor_ : pos; }

    // One sample past the last stored position; before the first record, no position is too early.
    int64_t floor_ = INT64_MIN;
};

}  // namespace zb
