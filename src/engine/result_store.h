// ResultStore: a growable array of 4- or 8-byte elements for the decoded records. It keeps two
// blocks of 1,048,576 elements in memory, spills older blocks to a temporary file and, when
// finished, maps that file so the host reads the records in place. Memory stays bounded however
// long the capture is.
//
// When the temporary file cannot be used (it cannot be created, a write fails, the map fails) the
// store falls back to memory for that fill: the spilled elements are kept in a growing in-memory
// array, Degraded() turns true, and FinishStore returns that array instead of a mapped file. Nothing
// is lost and nothing is retried forever. Only when the in-memory array would pass its limit (or
// memory runs out) are elements lost: Failed() turns true, lost elements read as 0, and FinishStore
// returns a single zero element. A caller that sees Failed() after a fill must not publish
// StoreCount() elements; it resets the stores and publishes the one-record failure result.
#pragma once

#include <cstdint>
#include <memory>

namespace zb {

constexpr uint32_t kStoreBlockElements = 1u << 20;
constexpr uint32_t kStoreCacheElements = 1u << 16;
// Default limit of the in-memory fallback: 64 Mi elements (256 MiB of codes, 512 MiB of positions).
constexpr uint64_t kStoreMemoryFallbackElements = uint64_t{1} << 26;
// What AppendElement returns when it refuses (the store is finished: reset it first).
constexpr uint64_t kStoreRefused = ~uint64_t{0};

template <typename T>
class ResultStore {
  public:
    ResultStore();
    ~ResultStore();  // DestroyStore
    ResultStore(const ResultStore&) = delete;
    ResultStore& operator=(const ResultStore&) = delete;

    // Empties the store and makes sure its temporary file is open for writing. The first reset
    // names and creates the file in `directory` (a prefix used as given, normally ending in a path
    // separator; "" or null is the current directory); later resets reuse it, written over from
    // the start (FinishStore cuts it to the records of the fill). Releases the array that the last
    // FinishStore returned.
    void ResetStore(const char* directory);
    // Appends and returns the new element's index (kStoreRefused after FinishStore). The common
    // case, a free slot in the current block, is inline; a block that fills up switches blocks
    // (spilling the older one) at once, out of line.
    uint64_t AppendElement(T value) {
        if (fill_ != fillEnd_) {
            const uint64_t index = StoreCount();
            *fill_ = value;
            if (++fill_ == fillEnd_) MakeRoom();
            return index;
        }
        return AppendSlow(value);
    }
    // Appending through free slots, for a writer that fills several stores in step and checks
    // their room once per record for all of them (RecordOutput). FreeSlots() is how many elements
    // the current block still takes (0 for a finished store or one without blocks); AppendFree
    // writes one of them, with no check and no block switch, so a block may be left full until
    // the writer calls MakeRoom, which switches it (spilling the older block) or allocates the
    // blocks on the first append. FreeSlots() stays 0 after MakeRoom when the store is finished
    // or has no blocks (memory ran out): AppendElement then gives the defined outcome (refused,
    // or counted as lost).
    uint32_t FreeSlots() const { return static_cast<uint32_t>(fillEnd_ - fill_); }
    void AppendFree(T value) { *fill_++ = value; }
    void MakeRoom();

    // Any index below StoreCount(), while filling or after finishing; 0 when it cannot be read.
    T ElementAt(uint64_t index);
    uint64_t StoreCount() const { return countBase_ + static_cast<uint64_t>(fill_ - fillStart_); }
    // Writes what is still in memory, maps the file and returns the mapped array (stable until the
    // next ResetStore or DestroyStore). Never null: without a usable file the array is in memory
    // (Degraded), and after a loss it is one zero element (Failed). A second call returns the
    // same pointer. The blocks' memory stays the store's for the next fill (until DestroyStore).
    const T* FinishStore();
    // Tells the system that the finished array's elements before `index` are not needed for now: a
    // mapped file gives those pages back and reads them again from the file when they are touched,
    // so every element still reads the same. An array in memory (Degraded) is left as it is.
    void ReleaseBefore(uint64_t index);
    // Frees memory, unmaps, closes and deletes the file. The store may be reset again afterwards
    // and then takes a new name.
    void DestroyStore();

    // True when this fill keeps its records in memory because the temporary file could not be
    // created, written or mapped. All records are intact. Cleared by ResetStore.
    bool Degraded() const;
    // True when records of this fill were lost (the in-memory fallback reached its limit or
    // memory ran out). Cleared by ResetStore.
    bool Failed() const;
    // The temporary file's full name, "" while the store has none.
    const char* FilePath() const;
    // Limit of the in-memory fallback in elements (tests use a small one).
    void SetMemoryFallbackLimit(uint64_t elements);

  private:
    struct Impl;
    // The append path's own copy of the fill state: the next free slot of the current block and
    // the block's end (both null while no block is allocated, after a failed allocation and once
    // finished, which sends every append to AppendSlow), and where the slots were when they were
    // handed out, with the element count at that time: the count follows from the slot pointer,
    // so an append keeps no count of its own. The out-of-line operations bring Impl up to date
    // from them (SyncFill) and hand them back (PublishFill).
    T* fill_ = nullptr;
    T* fillEnd_ = nullptr;
    T* fillStart_ = nullptr;
    uint64_t countBase_ = 0;
    std::unique_ptr<Impl> impl_;

    uint64_t AppendSlow(T value);
    void SyncFill();
    void PublishFill();
};

extern template class ResultStore<uint32_t>;
extern template class ResultStore<int64_t>;

using CodeStore = ResultStore<uint32_t>;
using PositionStore = ResultStore<int64_t>;

}  // namespace zb
