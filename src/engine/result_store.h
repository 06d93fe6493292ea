// ResultStore: a growable array of 4- or 8-byte elements for the decoded records. It keeps two
// blocks of 1,048,576 elements in memory, spills older blocks to a temporary file and, when
// finished, maps that file so the host reads the records in place. Memory stays bounded however
// long the capture is.
#pragma once

#include <cstdint>

namespace zb {

constexpr uint32_t kStoreBlockElements = 1u << 20;
constexpr uint32_t kStoreCacheElements = 1u << 16;

template <typename T>
class ResultStore {
public:
    ResultStore();
    ~ResultStore();  // DestroyStore
    ResultStore(const ResultStore&) = delete;
    ResultStore& operator=(const ResultStore&) = delete;

    // Empties the store and makes sure its temporary file is open for writing.
    void ResetStore();
    // Appends and returns the new element's index.
    uint64_t AppendElement(T value);
    // Any index below StoreCount(), while filling or after finishing; 0 when it cannot be read.
    T ElementAt(uint64_t index);
    uint64_t StoreCount() const;
    // Writes what is still in memory, maps the file and returns the mapped array (stable until the
    // next ResetStore). Never null: see the implementation for what happens without a file.
    const T* FinishStore();
    // Frees memory, unmaps, closes and deletes the file.
    void DestroyStore();

private:
    struct Impl;
    Impl* impl_;
};

extern template class ResultStore<uint32_t>;
extern template class ResultStore<int64_t>;

using CodeStore = ResultStore<uint32_t>;
using PositionStore = ResultStore<int64_t>;

}  // namespace zb
