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
    // Inline: on dense traffic the parser stores about one record per change. The common case, a
    // position after the last one and a free slot in both stores' current blocks, is a check of
    // each and a write to each store; a position that must move and full, finished or missing
    // blocks go out of line. (The two stores fill in step, but each is asked: a store may have
    // been finished or reset on its own.)
    void Store(uint32_t code, int64_t pos) {
        if (pos > last_ && HasRoom()) {
            last_ = pos;
            positionStore.AppendFree(pos);
            codeStore.AppendFree(code);
            return;
        }
        StoreChecked(code, pos);
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
    // Store's out-of-line path.
    void StoreChecked(uint32_t code, int64_t pos);
    // Where a record for `pos` goes, which then counts as the last stored position: `pos`, or one
    // sample past the last stored position when `pos` would not lie after it (held at INT64_MAX:
    // records that cannot move further share that position).
    int64_t Place(int64_t pos);
    // Appends a placed record: into free slots when both stores have them (after making room), else
    // through AppendElement, which refuses a finished store or counts a record it has no memory for.
    void Append(uint32_t code, int64_t p);
    // Both stores have a free slot, or `count` of them.
    bool HasRoom(uint32_t count = 1) const {
        return positionStore.FreeSlots() >= count && codeStore.FreeSlots() >= count;
    }

    // The last stored position. Before the first record of a fill it is INT64_MIN: positions are
    // sample indexes, never negative, so every one lies after it.
    int64_t last_ = INT64_MIN;
};

}  // namespace zb
