// Tests of the result stores on real temporary files: block spills and their boundaries, reads
// through the cache, finishing and mapping, reuse of the file across decodes, the file's name from
// the host's directory message, the fallback to memory when the file cannot be created, written
// or mapped, and a writer through free slots (the record output over its two stores).
#include "engine/result_store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/record_output.h"
#include "platform/platform.h"
#include "support/scratch_dir.h"

namespace zb {
namespace {

constexpr uint64_t kBlock = kStoreBlockElements;

// Mixed into every value: a test that reuses a store sets it per fill, so that a fill cannot pass
// by reading what the fill before left in the store's memory or file.
uint64_t g_fillSalt = 0;

template <typename T>
T Value(uint64_t i) {
    return static_cast<T>((i + g_fillSalt) * 0x9E3779B97F4A7C15ull + 1);
}

int64_t FileSize(const char* path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(std::filesystem::u8path(path), ec);
    return ec ? -1 : static_cast<int64_t>(size);
}

struct ParsedName {
    bool ok = false;
    long long stamp = 0;
    long counter = 0;
};

// Splits "<prefix>Zb<stamp>_<counter>.tmp".
ParsedName ParseName(const std::string& path, const std::string& prefix) {
    ParsedName name;
    if (path.compare(0, prefix.size(), prefix) != 0) return name;
    char tail[8] = {};
    const int fields =
        std::sscanf(path.c_str() + prefix.size(), "Zb%lld_%ld%7s", &name.stamp, &name.counter, tail);
    name.ok = fields == 3 && std::string(tail) == ".tmp";
    return name;
}

class ResultStoreFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::InjectedFaults() = platform::Faults{};
        g_fillSalt = 0;
        ASSERT_TRUE(dir_.Ok());
        directory_ = dir_.Path();
    }
    void TearDown() override { platform::InjectedFaults() = platform::Faults{}; }
    // The directory the stores name their files in (the host's message 0).
    const char* Dir() const { return directory_.c_str(); }

    template <typename T>
    void Fill(ResultStore<T>& store, uint64_t from, uint64_t to) {
        for (uint64_t i = from; i < to; ++i) ASSERT_EQ(store.AppendElement(Value<T>(i)), i);
    }

    // Every element by ElementAt (while filling or finished) and, when given, in the array.
    template <typename T>
    void ExpectAll(ResultStore<T>& store, uint64_t count, const T* array = nullptr) {
        ASSERT_EQ(store.StoreCount(), count);
        for (uint64_t i = 0; i < count; ++i) {
            ASSERT_EQ(store.ElementAt(i), Value<T>(i)) << "element " << i;
            if (array != nullptr) {
                ASSERT_EQ(array[i], Value<T>(i)) << "array element " << i;
            }
        }
        EXPECT_EQ(store.ElementAt(count), T{});
    }

    zbtest::ScratchDir dir_{"zb_store"};
    std::string directory_;
};

template <typename T>
class ResultStoreTest : public ResultStoreFiles {};

using ElementTypes = ::testing::Types<uint32_t, int64_t>;
TYPED_TEST_SUITE(ResultStoreTest, ElementTypes);

// Counts around every block boundary: what the file holds while filling (whole older blocks
// only), what every boundary reads, and the finished, mapped array. One store is reused for all
// counts, as the engine reuses its stores from decode to decode.
TYPED_TEST(ResultStoreTest, SpillBoundariesWhileFillingAndAfterFinishing) {
    using T = TypeParam;
    struct Case {
        uint64_t count;
        uint64_t spilledBlocks;  // whole blocks in the file before FinishStore
    };
    const Case cases[] = {
        {1, 0},
        {kBlock - 1, 0},
        {kBlock, 0},  // block 0 full: nothing written yet
        {kBlock + 1, 0},
        {2 * kBlock - 1, 0},
        {2 * kBlock, 1},  // block 1 full: block 0 goes to the file
        {2 * kBlock + 1, 1},
        {3000000, 1},
        {3 * kBlock, 2},
    };
    ResultStore<T> store;
    for (const Case& c : cases) {
        SCOPED_TRACE("count " + std::to_string(c.count));
        ++g_fillSalt;
        store.ResetStore(this->Dir());
        ASSERT_FALSE(store.Degraded());
        this->Fill(store, 0, c.count);
        // The file holds the spilled blocks (and may still be longer from the fill before).
        EXPECT_GE(FileSize(store.FilePath()), static_cast<int64_t>(c.spilledBlocks * kBlock * sizeof(T)));
        for (uint64_t edge = 0; edge <= c.count; edge += kBlock) {
            for (uint64_t i : {edge, edge + 1, edge == 0 ? 0 : edge - 1}) {
                if (i < c.count) {
                    ASSERT_EQ(store.ElementAt(i), Value<T>(i)) << "element " << i;
                }
            }
        }
        ASSERT_EQ(store.ElementAt(c.count - 1), Value<T>(c.count - 1));

        const T* array = store.FinishStore();
        ASSERT_NE(array, nullptr);
        EXPECT_FALSE(store.Degraded());
        EXPECT_FALSE(store.Failed());
        // The whole count is in the file: no partial block is left out, nothing is written twice.
        EXPECT_EQ(FileSize(store.FilePath()), static_cast<int64_t>(c.count * sizeof(T)));
        // Pages given back (past the end: all of them) are read again from the file.
        store.ReleaseBefore(c.count + 1);
        this->ExpectAll(store, c.count, array);
    }
}

TYPED_TEST(ResultStoreTest, ReadsOfSpilledElementsGoThroughTheAlignedCache) {
    using T = TypeParam;
    ResultStore<T> store;
    store.ResetStore(this->Dir());
    this->Fill(store, 0, 3000000);
    EXPECT_EQ(store.ElementAt(5), Value<T>(5));              // from the file, cache base 0
    EXPECT_EQ(store.ElementAt(2999999), Value<T>(2999999));  // the current block
    EXPECT_EQ(store.ElementAt(kBlock), Value<T>(kBlock));    // the full older block

    // Empty the file behind the store's back: the cached window still answers, a read outside it
    // finds nothing and yields 0.
    {
        platform::File other = platform::File::Open(store.FilePath());
        ASSERT_TRUE(other.IsOpen());
        ASSERT_TRUE(other.Truncate());
    }
    EXPECT_EQ(store.ElementAt(kStoreCacheElements - 1), Value<T>(kStoreCacheElements - 1));
    EXPECT_EQ(store.ElementAt(kStoreCacheElements), T{});
    EXPECT_EQ(store.ElementAt(6), T{});  // the window moved away and cannot be loaded again

    // The finished file no longer adds up: the records are reported lost, the array is one zero.
    const T* array = store.FinishStore();
    ASSERT_NE(array, nullptr);
    EXPECT_TRUE(store.Failed());
    EXPECT_EQ(array[0], T{});
    EXPECT_EQ(store.ElementAt(5), T{});
    store.ResetStore(this->Dir());
    EXPECT_FALSE(store.Failed());
}

// A finished store refuses appends and hands out the same array again; an empty store and one used
// before any reset (it has no file: it finishes from memory) still finish with an array; a
// destroyed store deletes its file, even while mapped, and a later reset takes a new name.
TYPED_TEST(ResultStoreTest, FinishEmptyAndDestroy) {
    using T = TypeParam;
    std::string second;
    {
        ResultStore<T> store;
        store.ResetStore(this->Dir());
        ASSERT_NE(store.FinishStore(), nullptr);
        EXPECT_EQ(store.StoreCount(), 0u);
        store.ResetStore(this->Dir());
        this->Fill(store, 0, 2 * kBlock + 3);
        const T* first = store.FinishStore();
        EXPECT_EQ(store.FinishStore(), first);
        EXPECT_EQ(store.AppendElement(Value<T>(0)), kStoreRefused);
        EXPECT_EQ(store.StoreCount(), 2 * kBlock + 3);
        EXPECT_EQ(store.ElementAt(~uint64_t{0}), T{});

        ResultStore<T> unreset;
        this->Fill(unreset, 0, 5);
        const T* array = unreset.FinishStore();
        EXPECT_TRUE(unreset.Degraded());
        this->ExpectAll(unreset, 5, array);
        EXPECT_EQ(this->dir_.EntryCount(), 1u);  // only `store`'s file

        const std::string path = store.FilePath();
        store.DestroyStore();
        EXPECT_FALSE(platform::PathExists(path.c_str()));
        EXPECT_STREQ(store.FilePath(), "");
        EXPECT_EQ(store.StoreCount(), 0u);
        store.DestroyStore();
        store.ResetStore(this->Dir());
        second = store.FilePath();
        EXPECT_NE(second, path);
        EXPECT_TRUE(platform::PathExists(second.c_str()));
    }
    EXPECT_FALSE(platform::PathExists(second.c_str()));  // the destructor destroys
    EXPECT_EQ(this->dir_.EntryCount(), 0u);
}

TYPED_TEST(ResultStoreTest, ResetKeepsTheNameAndReusesTheFile) {
    using T = TypeParam;
    ResultStore<T> store;
    store.ResetStore(this->Dir());
    const std::string path = store.FilePath();
    ASSERT_FALSE(path.empty());
    this->Fill(store, 0, 2 * kBlock + 10);
    store.FinishStore();

    // A reset releases the view and keeps the file as it is: the next fill writes over it.
    const int64_t firstSize = static_cast<int64_t>((2 * kBlock + 10) * sizeof(T));
    store.ResetStore(this->Dir());
    EXPECT_EQ(std::string(store.FilePath()), path);
    EXPECT_EQ(FileSize(path.c_str()), firstSize);
    this->Fill(store, 0, 3000000);

    store.ResetStore(this->Dir());  // a second reset without a finish in between
    EXPECT_EQ(FileSize(path.c_str()), firstSize);
    this->Fill(store, 0, 7);
    const T* array = store.FinishStore();
    EXPECT_EQ(std::string(store.FilePath()), path);
    // Cut to this fill's records: nothing of the longer fills before shows through.
    EXPECT_EQ(FileSize(path.c_str()), static_cast<int64_t>(7 * sizeof(T)));
    this->ExpectAll(store, 7, array);
    EXPECT_EQ(this->dir_.EntryCount(), 1u);
}

// A writer through free slots (the record output) leaves a full block for its next MakeRoom: two
// full blocks in memory and nothing spilled, read while filling and finished in order; a finished
// store has no free slot and refuses, a reset one takes elements again.
TYPED_TEST(ResultStoreTest, AWriterThroughFreeSlotsLeavesTheFullBlockToMakeRoom) {
    using T = TypeParam;
    ResultStore<T> store;
    store.ResetStore(this->Dir());
    for (uint64_t i = 0; i < 2 * kBlock; ++i) {
        if (store.FreeSlots() == 0) {
            store.MakeRoom();
            ASSERT_GT(store.FreeSlots(), 0u) << "element " << i;
        }
        store.AppendFree(Value<T>(i));
    }
    EXPECT_EQ(store.FreeSlots(), 0u);
    EXPECT_EQ(FileSize(store.FilePath()), 0);
    this->ExpectAll(store, 2 * kBlock);
    const T* array = store.FinishStore();
    EXPECT_EQ(FileSize(store.FilePath()), static_cast<int64_t>(2 * kBlock * sizeof(T)));
    this->ExpectAll(store, 2 * kBlock, array);

    store.MakeRoom();  // finished: no room
    EXPECT_EQ(store.FreeSlots(), 0u);
    EXPECT_EQ(store.AppendElement(Value<T>(0)), kStoreRefused);
    store.ResetStore(this->Dir());
    for (uint64_t i = 0; i < 2; ++i) EXPECT_EQ(store.AppendElement(Value<T>(i)), i);
}

// The record output asks both stores for room: a store finished behind its back sends the next
// records to AppendElement, which refuses them there, instead of writing into it.
TEST_F(ResultStoreFiles, RecordOutputLooksAgainWhenAStoreIsFinishedBehindItsBack) {
    for (const bool finishCodes : {true, false}) {
        SCOPED_TRACE(finishCodes ? "code store finished" : "position store finished");
        RecordOutput out;
        out.Reset(Dir());
        out.Store(MakeCode(RecordKind::Start), 1);
        if (finishCodes) {
            out.codeStore.FinishStore();
        } else {
            out.positionStore.FinishStore();
        }
        out.Store(MakeCode(RecordKind::Start), 2);
        out.StoreValue(kDataTriple, 5, 3);
        EXPECT_EQ(out.codeStore.StoreCount(), finishCodes ? 1u : 5u);
        EXPECT_EQ(out.positionStore.StoreCount(), finishCodes ? 5u : 1u);
        EXPECT_EQ(out.positionStore.ElementAt(finishCodes ? 4 : 0), finishCodes ? 3 : 1);
    }
}

// ---- The temporary file's name ---------------------------------------------------------------

TEST_F(ResultStoreFiles, NameIsPrefixStampAndModuleCounter) {
    const long long before = platform::NowSeconds() * 1000;
    CodeStore a;
    PositionStore b;
    a.ResetStore(Dir());
    b.ResetStore(Dir());
    const long long after = platform::NowSeconds() * 1000;
    const ParsedName na = ParseName(a.FilePath(), dir_.Path());
    const ParsedName nb = ParseName(b.FilePath(), dir_.Path());
    ASSERT_TRUE(na.ok) << a.FilePath();
    ASSERT_TRUE(nb.ok) << b.FilePath();
    EXPECT_GE(na.stamp, before);
    EXPECT_LE(nb.stamp, after);
    EXPECT_EQ(na.stamp % 1000, 0);
    EXPECT_EQ(nb.counter, na.counter + 1);  // one counter for every store of the module

    // The counter moves before every attempt, failed ones included.
    platform::InjectedFaults().createFailures = 3;
    CodeStore c;
    c.ResetStore(Dir());
    EXPECT_FALSE(c.Degraded());
    const ParsedName nc = ParseName(c.FilePath(), dir_.Path());
    ASSERT_TRUE(nc.ok) << c.FilePath();
    EXPECT_EQ(nc.counter, nb.counter + 4);
}

TEST_F(ResultStoreFiles, NonAsciiDirectoryPrefix) {
    const std::string sub = dir_.File("r\xC3\xA9sultats-\xE2\x82\xAC") + zbtest::ScratchDir::Separator();
    ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::u8path(sub)));
    directory_ = sub;
    std::string path;
    {
        PositionStore store;
        store.ResetStore(Dir());
        ASSERT_FALSE(store.Degraded());
        path = store.FilePath();
        EXPECT_TRUE(ParseName(path, sub).ok) << path;
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(path)));
        this->Fill(store, 0, 2 * kBlock + 2);
        ExpectAll(store, 2 * kBlock + 2, store.FinishStore());
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(path)));
}

// ---- Without a usable file -------------------------------------------------------------------

// The directory or the create fails, or the directory text is longer than a host message can
// carry (it is read no further than 259 bytes, and no name fits after them): a bounded number of
// names is tried, then the fill runs in memory and finishes with an in-memory array. No file is
// made, nothing is lost.
TEST_F(ResultStoreFiles, NoFileCanBeCreated) {
    struct Case {
        const char* what;
        std::string directory;  // "" for the scratch directory
        int createFailures;
    };
    const Case cases[] = {
        {"missing directory", dir_.File("missing") + zbtest::ScratchDir::Separator(), 0},
        {"create refused", "", 100},
        {"directory text of 400 bytes", std::string(400, 'a'), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.directory.empty()) directory_ = c.directory;
        platform::InjectedFaults().createFailures = c.createFailures;
        {
            PositionStore store;
            store.ResetStore(Dir());
            EXPECT_TRUE(store.Degraded());
            EXPECT_STREQ(store.FilePath(), "");
            if (c.createFailures > 0) {  // eight names are tried, then the store gives up
                EXPECT_EQ(platform::InjectedFaults().createFailures, c.createFailures - 8);
            }
            Fill(store, 0, 3 * kBlock + 9);
            ExpectAll(store, 3 * kBlock + 9);
            const int64_t* array = store.FinishStore();
            EXPECT_FALSE(store.Failed());
            ExpectAll(store, 3 * kBlock + 9, array);
            EXPECT_EQ(store.FinishStore(), array);
        }
        EXPECT_EQ(dir_.EntryCount(), 0u);
        platform::InjectedFaults() = platform::Faults{};
        directory_ = dir_.Path();
    }
}

TEST_F(ResultStoreFiles, WriteFailsHalfWayThroughASpill) {
    PositionStore store;
    store.ResetStore(Dir());
    const std::string path = store.FilePath();
    // Room for one and a half blocks: the first spill fits, the second stops in the middle.
    platform::InjectedFaults().writeBudget = static_cast<int64_t>(kBlock * sizeof(int64_t) * 3 / 2);
    Fill(store, 0, 3 * kBlock - 1);
    EXPECT_FALSE(store.Degraded());
    Fill(store, 3 * kBlock - 1, 3 * kBlock);
    EXPECT_TRUE(store.Degraded());
    EXPECT_EQ(FileSize(path.c_str()), 0);  // the file is emptied, its half block never read
    Fill(store, 3 * kBlock, 4 * kBlock + 3);
    ExpectAll(store, 4 * kBlock + 3);
    const int64_t* array = store.FinishStore();
    EXPECT_FALSE(store.Failed());
    ExpectAll(store, 4 * kBlock + 3, array);

    // The next decode tries the same file again.
    platform::InjectedFaults() = platform::Faults{};
    store.ResetStore(Dir());
    EXPECT_FALSE(store.Degraded());
    EXPECT_EQ(std::string(store.FilePath()), path);
    store.DestroyStore();
    EXPECT_EQ(dir_.EntryCount(), 0u);
}

TEST_F(ResultStoreFiles, WriteOrMapFailsWhenFinishing) {
    struct Case {
        const char* what;
        int64_t writeBudget;
        bool mapFails;
    };
    const Case cases[] = {
        {"disk full before the last block", static_cast<int64_t>(kBlock * sizeof(uint32_t)), false},
        {"disk full in the last 5 elements", static_cast<int64_t>((2 * kBlock + 2) * sizeof(uint32_t)),
         false},
        {"map refused", -1, true},
    };
    CodeStore store;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        store.ResetStore(Dir());
        platform::InjectedFaults().writeBudget = c.writeBudget;
        platform::InjectedFaults().mapFails = c.mapFails;
        Fill(store, 0, 2 * kBlock + 5);  // one spill, then a full block and 5 more to finish
        EXPECT_FALSE(store.Degraded());
        const uint32_t* array = store.FinishStore();
        EXPECT_TRUE(store.Degraded());
        EXPECT_FALSE(store.Failed());
        store.ReleaseBefore(2 * kBlock);  // the array in memory is the only copy: kept
        ExpectAll(store, 2 * kBlock + 5, array);
        EXPECT_EQ(FileSize(store.FilePath()), 0);
        platform::InjectedFaults() = platform::Faults{};
    }
    store.ResetStore(Dir());  // healthy again: back on the same file, mapped
    Fill(store, 0, 10);
    const uint32_t* array = store.FinishStore();
    EXPECT_FALSE(store.Degraded());
    EXPECT_EQ(FileSize(store.FilePath()), static_cast<int64_t>(10 * sizeof(uint32_t)));
    ExpectAll(store, 10, array);
}

TEST_F(ResultStoreFiles, MemoryFallbackLimitLosesRecordsVisibly) {
    platform::InjectedFaults().createFailures = 1000;
    PositionStore store;
    store.SetMemoryFallbackLimit(kBlock);
    store.ResetStore(Dir());
    ASSERT_TRUE(store.Degraded());
    Fill(store, 0, 2 * kBlock);  // first spill: exactly at the limit
    EXPECT_FALSE(store.Failed());
    Fill(store, 2 * kBlock, 3 * kBlock + 1);  // the second spill passes it
    EXPECT_TRUE(store.Failed());
    EXPECT_EQ(store.StoreCount(), 3 * kBlock + 1);
    EXPECT_EQ(store.ElementAt(0), Value<int64_t>(0));                    // kept
    EXPECT_EQ(store.ElementAt(kBlock), int64_t{0});                      // lost
    EXPECT_EQ(store.ElementAt(3 * kBlock), Value<int64_t>(3 * kBlock));  // still in a block
    const int64_t* array = store.FinishStore();
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array[0], 0);
    EXPECT_EQ(store.ElementAt(0), 0);

    // The failure record of the next decode fits easily.
    store.ResetStore(Dir());
    EXPECT_FALSE(store.Failed());
    store.AppendElement(0);
    EXPECT_EQ(store.FinishStore()[0], 0);
    EXPECT_FALSE(store.Failed());
}

// Without memory for the blocks the elements are counted but lost, visibly. The memory is taken
// at the next fill and kept from then on: a fill after it needs none.
TEST_F(ResultStoreFiles, BlockMemoryIsTakenOnce) {
    CodeStore store;
    platform::InjectedFaults().pagesFail = true;
    store.ResetStore(Dir());
    Fill(store, 0, 3);
    EXPECT_TRUE(store.Failed());
    EXPECT_EQ(store.StoreCount(), 3u);
    EXPECT_EQ(store.ElementAt(1), 0u);
    EXPECT_EQ(store.FinishStore()[0], 0u);
    platform::InjectedFaults() = platform::Faults{};
    for (const bool pagesFail : {false, true}) {
        SCOPED_TRACE(pagesFail ? "no memory left" : "memory");
        platform::InjectedFaults().pagesFail = pagesFail;
        ++g_fillSalt;
        store.ResetStore(Dir());
        Fill(store, 0, kBlock + 7);
        EXPECT_FALSE(store.Failed());
        ExpectAll(store, kBlock + 7, store.FinishStore());
    }
}

}  // namespace
}  // namespace zb
