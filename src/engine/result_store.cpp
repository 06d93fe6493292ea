// ResultStore: two in-memory blocks, spills of the older block to the store's temporary file, a
// read cache for spilled elements, and the mapping of the finished file for the host. Also the
// fallback that keeps a fill in memory when the file lets the store down (see result_store.h).
#include "engine/result_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/platform.h"

namespace zb {

namespace {

constexpr size_t kPathSize = 260;
// The directory prefix is cut to what a host message can carry: 259 bytes.
constexpr size_t kDirectorySize = 260;
// A name is tried this many times per reset. A clash needs another file of the same prefix, the
// same millisecond stamp and the same counter value, so a few tries settle it; when every try
// fails the directory itself is at fault (missing, unwritable, full) and more tries would not
// help: the fill then runs in memory.
constexpr int kNameAttempts = 8;
constexpr int64_t kMillisecondsPerSecond = 1000;
constexpr uint32_t kCounterMask = 0x7FFFFFFF;  // the counter is printed as a signed 32-bit number

// Module-wide: incremented before every naming attempt of every store.
uint32_t g_nameCounter = 0;

// The directory prefix (the host's message 0), used as given: an empty text puts the file in the
// current directory. The text is read no further than its terminator or kDirectorySize - 1 bytes.
void DirectoryText(const char* directory, char (&out)[kDirectorySize]) {
    size_t length = 0;
    if (directory != nullptr) {
        while (length < kDirectorySize - 1 && directory[length] != '\0') ++length;
        std::memcpy(out, directory, length);
    }
    out[length] = '\0';
}

// Takes a new name "<directory>Zb<milliseconds>_<counter>.tmp" that no file has yet and creates
// the file. On failure `path` is left empty and `file` closed.
bool CreateNamedFile(const char* directory, platform::File& file, char (&path)[kPathSize]) {
    char prefix[kDirectorySize];
    DirectoryText(directory, prefix);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        g_nameCounter = (g_nameCounter + 1) & kCounterMask;
        const long long stamp = static_cast<long long>(platform::NowSeconds()) * kMillisecondsPerSecond;
        const int n = std::snprintf(path, kPathSize, "%sZb%lld_%ld.tmp", prefix, stamp,
                                    static_cast<long>(g_nameCounter));
        if (n < 0 || static_cast<size_t>(n) >= kPathSize) break;  // a longer name will not fit either
        file = platform::File::Create(path, true);
        if (file.IsOpen()) return true;
    }
    path[0] = '\0';
    return false;
}

}  // namespace

template <typename T>
struct ResultStore<T>::Impl {
    // Filling: block[currentBlock] takes the appends; the other block, when not empty, is full and
    // holds the 1,048,576 elements before it; elements [0, flushedCount) are in the file (or, in
    // the fallback, in `memory`).
    // Both blocks; pages are committed as the blocks fill. The buffer is taken at the store's
    // first append and kept until the store is destroyed: a finished fill only ends the blocks'
    // use (FreeBlocks), and the next fill writes over them. A buffer given back and taken anew
    // costs every decode its pages' faults and zeroing (24 MiB for the two stores); one kept but
    // marked free for the system to reclaim was slower still to write into again. So between
    // decodes the two stores hold their 24 MiB.
    platform::PageBuffer blockBuffer;
    T* block[2] = {nullptr, nullptr};
    uint32_t blockCount[2] = {0, 0};
    uint64_t flushedCount = 0;
    uint64_t totalCount = 0;
    int currentBlock = 0;

    platform::File file;
    char path[kPathSize] = "";

    // Finished: `view` holds `viewCount` readable elements (the mapping, `memory`, or `empty`).
    bool finished = false;
    platform::FileMapping mapping;
    const T* view = nullptr;
    uint64_t viewCount = 0;
    uint64_t releasedCount = 0;  // a mapped view's elements whose pages were given back (ReleaseBefore)

    std::vector<T> cache;
    uint64_t cacheBase = 0;
    uint32_t cacheCount = 0;

    // The fallback: the file is not used for the rest of this fill.
    bool degraded = false;
    bool failed = false;
    std::vector<T> memory;
    uint64_t memoryLimit = kStoreMemoryFallbackElements;
    T empty[1] = {T{}};

    int OtherBlock() const { return 1 - currentBlock; }

    // After a fill: the blocks' contents are no longer needed (their memory is kept, see
    // blockBuffer), nor the read cache.
    void FreeBlocks() {
        block[0] = block[1] = nullptr;
        std::vector<T>().swap(cache);
        cacheBase = 0;
        cacheCount = 0;
    }

    // Keeps `count` elements at the end of `memory`. On failure the fill is marked failed and
    // `memory` stays as it was: elements from there on read as 0.
    bool KeepInMemory(const T* data, size_t count) {
        if (failed) return false;
        if (memory.size() + count > memoryLimit) {
            failed = true;
            return false;
        }
        try {
            memory.insert(memory.end(), data, data + count);
        } catch (const std::bad_alloc&) {
            failed = true;
            return false;
        }
        return true;
    }

    // Gives up the file for this fill: brings what it holds, [0, flushedCount), into memory and
    // empties the file (on a full disk that gives the space back). A part of a block that a failed
    // write left behind is never read.
    void FallBackToMemory() {
        if (degraded) return;
        degraded = true;
        cacheCount = 0;
        std::vector<T>().swap(memory);
        if (flushedCount > 0) {
            if (flushedCount > memoryLimit) {
                failed = true;
            } else {
                try {
                    memory.resize(static_cast<size_t>(flushedCount));
                    const size_t bytes = static_cast<size_t>(flushedCount) * sizeof(T);
                    if (file.ReadAt(0, memory.data(), bytes) != bytes) {
                        failed = true;
                        std::vector<T>().swap(memory);
                    }
                } catch (const std::bad_alloc&) {
                    failed = true;
                }
            }
        }
        if (file.IsOpen() && !file.Truncate()) file.Close();
    }

    // Gets the current block ready to take an element: places both blocks in the block buffer on
    // the first append of a fill (taking the buffer if the store has none yet), and when the
    // current block is full makes the other one current; when that one is full too it holds the
    // older elements, which go out to make room. Without memory for the blocks (now or earlier in
    // this fill) the fill has failed and the store stays without them.
    void PrepareBlock() {
        if (block[0] == nullptr) {
            if (failed || (blockBuffer.Data() == nullptr &&
                           !blockBuffer.Allocate(size_t{2} * kStoreBlockElements * sizeof(T)))) {
                failed = true;
                return;
            }
            block[0] = static_cast<T*>(blockBuffer.Data());
            block[1] = block[0] + kStoreBlockElements;
        }
        if (blockCount[currentBlock] == kStoreBlockElements) {
            currentBlock = OtherBlock();
            if (blockCount[currentBlock] == kStoreBlockElements) SpillBlock(currentBlock);
        }
    }

    // Moves the full, older block out of memory: to the file, or to the fallback array.
    void SpillBlock(int which) {
        const size_t bytes = size_t{kStoreBlockElements} * sizeof(T);
        if (!degraded && !(file.IsOpen() && file.WriteAt(flushedCount * sizeof(T), block[which], bytes)))
            FallBackToMemory();
        if (degraded) KeepInMemory(block[which], kStoreBlockElements);
        flushedCount += kStoreBlockElements;
        blockCount[which] = 0;
    }

    // Reads element i (below flushedCount) from the file through the 65,536-element cache.
    T CachedFileElement(uint64_t i) {
        if (!(i >= cacheBase && i < cacheBase + cacheCount)) {
            cacheCount = 0;
            if (!file.IsOpen()) return T{};
            if (cache.empty()) {
                try {
                    cache.resize(kStoreCacheElements);
                } catch (const std::bad_alloc&) {
                    return T{};
                }
            }
            const uint64_t base = i / kStoreCacheElements * kStoreCacheElements;
            const uint64_t available = std::min<uint64_t>(flushedCount - base, kStoreCacheElements);
            const size_t got =
                file.ReadAt(base * sizeof(T), cache.data(), static_cast<size_t>(available) * sizeof(T));
            cacheBase = base;
            cacheCount = static_cast<uint32_t>(got / sizeof(T));
            if (i >= cacheBase + cacheCount) return T{};
        }
        return cache[static_cast<size_t>(i - cacheBase)];
    }

    // Writes what is still in the blocks to the file and maps it. False when a write or the map
    // fails; what was written by then is counted in flushedCount.
    bool FinishOnFile() {
        // The spilled blocks must still all be there (nothing else shortened the file).
        if (file.Size() < static_cast<int64_t>(flushedCount * sizeof(T))) return false;
        const int other = OtherBlock();
        for (const int which : {other, currentBlock}) {
            if (blockCount[which] == 0) continue;
            if (!file.WriteAt(flushedCount * sizeof(T), block[which], size_t{blockCount[which]} * sizeof(T)))
                return false;
            flushedCount += blockCount[which];
            blockCount[which] = 0;
        }
        // The file may still be longer from an earlier fill: it ends where this fill's records end.
        const uint64_t bytes = totalCount * sizeof(T);
        if (!file.Resize(bytes) || file.Size() != static_cast<int64_t>(bytes)) return false;
        mapping = platform::FileMapping::Map(file, bytes);
        if (!mapping.IsMapped()) return false;
        view = static_cast<const T*>(mapping.Data());
        viewCount = totalCount;
        releasedCount = 0;
        return true;
    }

    // The fallback's finish: everything into `memory`, in order.
    void FinishInMemory() {
        FallBackToMemory();
        const int other = OtherBlock();
        for (const int which : {other, currentBlock}) {
            if (blockCount[which] == 0) continue;
            KeepInMemory(block[which], blockCount[which]);
            flushedCount += blockCount[which];
            blockCount[which] = 0;
        }
        if (!failed && !memory.empty()) {
            view = memory.data();
            viewCount = memory.size();
        }
    }
};

template <typename T>
ResultStore<T>::ResultStore() : impl_(std::make_unique<Impl>()) {}

template <typename T>
ResultStore<T>::~ResultStore() {
    DestroyStore();
}

template <typename T>
void ResultStore<T>::ResetStore(const char* directory) {
    SyncFill();
    Impl& s = *impl_;
    // The host's view of the last fill ends here; a mapped file cannot be truncated on every
    // system, so the mapping goes first.
    s.mapping.Release();
    s.view = nullptr;
    s.viewCount = 0;
    s.finished = false;
    s.blockCount[0] = s.blockCount[1] = 0;
    s.flushedCount = 0;
    s.totalCount = 0;
    s.currentBlock = 0;
    s.cacheBase = 0;
    s.cacheCount = 0;
    s.degraded = false;
    s.failed = false;
    std::vector<T>().swap(s.memory);

    // An open file is not emptied here: the fill writes over it from the start and FinishStore cuts
    // it to the records written. The file's own storage stays allocated between decodes, so a
    // decode of the same length writes over it instead of giving it back and taking it anew.
    if (!s.file.IsOpen() && s.path[0] != '\0') s.file = platform::File::Create(s.path, false);
    if (!s.file.IsOpen() && s.path[0] == '\0') CreateNamedFile(directory, s.file, s.path);
    // Without a file this fill runs in memory from the start (nothing to read back).
    s.degraded = !s.file.IsOpen();
    PublishFill();
}

template <typename T>
void ResultStore<T>::SyncFill() {
    Impl& s = *impl_;
    if (fill_ != nullptr)
        s.blockCount[s.currentBlock] = static_cast<uint32_t>(fill_ - s.block[s.currentBlock]);
    s.totalCount = StoreCount();
}

template <typename T>
void ResultStore<T>::PublishFill() {
    Impl& s = *impl_;
    countBase_ = s.totalCount;
    if (s.finished || s.block[0] == nullptr) {
        fill_ = fillEnd_ = fillStart_ = nullptr;
        return;
    }
    T* const current = s.block[s.currentBlock];
    fill_ = fillStart_ = current + s.blockCount[s.currentBlock];
    fillEnd_ = current + kStoreBlockElements;
}

template <typename T>
void ResultStore<T>::MakeRoom() {
    SyncFill();
    Impl& s = *impl_;
    if (!s.finished) s.PrepareBlock();
    PublishFill();
}

// An append without a free slot at hand: the store is finished, its blocks are not allocated yet
// or could not be, or a writer through AppendFree left the current block full.
template <typename T>
uint64_t ResultStore<T>::AppendSlow(T value) {
    MakeRoom();
    if (fill_ != fillEnd_) return AppendElement(value);
    if (impl_->finished) return kStoreRefused;
    // No memory for the blocks: the element is counted (so the two stores stay in step) but lost.
    SyncFill();
    const uint64_t index = impl_->totalCount++;
    PublishFill();
    return index;
}

template <typename T>
T ResultStore<T>::ElementAt(uint64_t index) {
    SyncFill();
    Impl& s = *impl_;
    if (index >= s.totalCount) return T{};
    if (s.finished) return index < s.viewCount ? s.view[index] : T{};
    if (index >= s.flushedCount) {
        if (s.block[0] == nullptr) return T{};
        // Counted back from the newest element: the current block, then the full older one.
        const uint64_t back = s.totalCount - index;
        const uint32_t inCurrent = s.blockCount[s.currentBlock];
        if (back <= inCurrent) return s.block[s.currentBlock][inCurrent - back];
        const int other = s.OtherBlock();
        const uint64_t backInOther = back - inCurrent;
        if (backInOther > s.blockCount[other]) return T{};
        return s.block[other][s.blockCount[other] - backInOther];
    }
    if (s.degraded) return index < s.memory.size() ? s.memory[static_cast<size_t>(index)] : T{};
    return s.CachedFileElement(index);
}

template <typename T>
const T* ResultStore<T>::FinishStore() {
    SyncFill();
    Impl& s = *impl_;
    if (s.finished) return s.view;
    s.finished = true;
    s.view = s.empty;
    s.viewCount = 0;
    if (s.totalCount > 0 && !s.failed) {
        if (s.degraded || !s.FinishOnFile()) s.FinishInMemory();
    }
    if (s.failed) {
        s.view = s.empty;
        s.viewCount = 0;
        std::vector<T>().swap(s.memory);
    }
    s.FreeBlocks();
    PublishFill();
    return s.view;
}

template <typename T>
void ResultStore<T>::ReleaseBefore(uint64_t index) {
    Impl& s = *impl_;
    if (!s.finished || s.view == nullptr || s.view != s.mapping.Data()) return;
    const uint64_t to = std::min(index, s.viewCount);
    if (to <= s.releasedCount) return;
    s.mapping.ReleasePages(s.releasedCount * sizeof(T), to * sizeof(T));
    s.releasedCount = to;
}

template <typename T>
void ResultStore<T>::DestroyStore() {
    SyncFill();
    Impl& s = *impl_;
    s.FreeBlocks();
    s.blockBuffer.Release();
    std::vector<T>().swap(s.memory);
    s.mapping.Release();
    s.view = nullptr;
    s.viewCount = 0;
    s.file.Close();
    if (s.path[0] != '\0') platform::RemoveFile(s.path);
    s.path[0] = '\0';
    s.blockCount[0] = s.blockCount[1] = 0;
    s.flushedCount = 0;
    s.totalCount = 0;
    s.currentBlock = 0;
    s.finished = false;
    s.degraded = false;
    s.failed = false;
    PublishFill();
}

template <typename T>
bool ResultStore<T>::Degraded() const {
    return impl_->degraded;
}

template <typename T>
bool ResultStore<T>::Failed() const {
    return impl_->failed;
}

template <typename T>
const char* ResultStore<T>::FilePath() const {
    return impl_->path;
}

template <typename T>
void ResultStore<T>::SetMemoryFallbackLimit(uint64_t elements) {
    impl_->memoryLimit = elements;
}

template class ResultStore<uint32_t>;
template class ResultStore<int64_t>;

}  // namespace zb
