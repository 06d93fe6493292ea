// Tests of the platform's file layer on real files: create, append, read back, truncate, map,
// unique temporary names, UTF-8 paths, and the injected create, write and map faults.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/scratch_dir.h"

namespace zb::platform {
namespace {

class PlatformFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        InjectedFaults() = Faults{};
        ASSERT_TRUE(dir_.Ok());
    }
    void TearDown() override { InjectedFaults() = Faults{}; }

    std::string ReadAll(const File& file) {
        const int64_t size = file.Size();
        if (size <= 0) return std::string();
        std::string text(static_cast<size_t>(size), '\0');
        text.resize(file.ReadAt(0, &text[0], text.size()));
        return text;
    }

    zbtest::ScratchDir dir_{"zb_files"};
};

TEST_F(PlatformFiles, AppendReadAtAndSizeRoundTrip) {
    const std::string path = dir_.File("data.bin");
    File file = File::Create(path.c_str(), true);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), 0);
    EXPECT_TRUE(file.Append("hello ", 6));
    EXPECT_TRUE(file.Append("world", 5));
    EXPECT_TRUE(file.Append(nullptr, 0));
    EXPECT_EQ(file.Size(), 11);

    char buffer[16] = {};
    EXPECT_EQ(file.ReadAt(6, buffer, 5), 5u);
    EXPECT_EQ(std::string(buffer, 5), "world");
    // A read moves nothing: the next append still lands at the end.
    EXPECT_TRUE(file.Append("!", 1));
    EXPECT_EQ(ReadAll(file), "hello world!");
    // Reads past the end are short or empty, never out of bounds.
    EXPECT_EQ(file.ReadAt(10, buffer, sizeof buffer), 2u);
    EXPECT_EQ(file.ReadAt(100, buffer, sizeof buffer), 0u);
}

TEST_F(PlatformFiles, CreateMustBeNewRefusesAnExistingFileAndPlainCreateTruncates) {
    const std::string path = dir_.File("twice.bin");
    {
        File first = File::Create(path.c_str(), true);
        ASSERT_TRUE(first.IsOpen());
        ASSERT_TRUE(first.Append("abc", 3));
    }
    EXPECT_FALSE(File::Create(path.c_str(), true).IsOpen());
    File again = File::Create(path.c_str(), false);
    ASSERT_TRUE(again.IsOpen());
    EXPECT_EQ(again.Size(), 0);
}

TEST_F(PlatformFiles, OpenKeepsContentAndAppendsAtTheEnd) {
    const std::string path = dir_.File("open.bin");
    EXPECT_FALSE(File::Open(path.c_str()).IsOpen());
    {
        File file = File::Create(path.c_str(), true);
        ASSERT_TRUE(file.Append("12345", 5));
    }
    File file = File::Open(path.c_str());
    ASSERT_TRUE(file.IsOpen());
    EXPECT_TRUE(file.Append("67", 2));
    EXPECT_EQ(ReadAll(file), "1234567");
}

TEST_F(PlatformFiles, TruncateEmptiesAndTheNextAppendStartsAtZero) {
    const std::string path = dir_.File("trunc.bin");
    File file = File::Create(path.c_str(), true);
    ASSERT_TRUE(file.Append("old content", 11));
    ASSERT_TRUE(file.Truncate());
    EXPECT_EQ(file.Size(), 0);
    ASSERT_TRUE(file.Append("new", 3));
    EXPECT_EQ(ReadAll(file), "new");
}

// WriteAt writes over what is there or past the end (the gap reads as zeros), leaves the next
// Append at the end, and Resize cuts or extends; the write budget counts WriteAt as well.
TEST_F(PlatformFiles, WriteAtAndResize) {
    const std::string path = dir_.File("offsets.bin");
    File file = File::Create(path.c_str(), true);
    ASSERT_TRUE(file.Append("0123456789", 10));
    EXPECT_TRUE(file.WriteAt(2, "ab", 2));
    EXPECT_TRUE(file.WriteAt(12, "xy", 2));
    EXPECT_TRUE(file.Append("!", 1));
    EXPECT_EQ(ReadAll(file), std::string("01ab456789\0\0xy!", 15));
    EXPECT_TRUE(file.Resize(4));
    EXPECT_EQ(ReadAll(file), "01ab");
    EXPECT_TRUE(file.Resize(6));
    EXPECT_EQ(ReadAll(file), std::string("01ab\0\0", 6));
    EXPECT_FALSE(file.WriteAt(UINT64_MAX - 1, "ab", 2));  // past the largest offset
    EXPECT_FALSE(file.WriteAt(0, nullptr, 1));

    InjectedFaults().writeBudget = 3;
    EXPECT_FALSE(file.WriteAt(0, "wxyz", 4));  // disk full after 3 bytes
    InjectedFaults().writeBudget = -1;
    EXPECT_EQ(ReadAll(file), std::string("wxyb\0\0", 6));
    file.Close();
    EXPECT_FALSE(file.WriteAt(0, "a", 1));
    EXPECT_FALSE(file.Resize(0));
}

// Page buffers: whole pages, zero until written, every usable byte writable; nothing held after a
// refusal or a release.
TEST(PageBuffer, AllocateWriteAndRelease) {
    PageBuffer buffer;
    EXPECT_FALSE(buffer.Allocate(0));
    EXPECT_EQ(buffer.Data(), nullptr);
    for (const size_t bytes : {size_t{1}, size_t{4096}, size_t{4097}, size_t{3} << 20}) {
        SCOPED_TRACE(bytes);
        ASSERT_TRUE(buffer.Allocate(bytes));
        ASSERT_GE(buffer.Size(), bytes);
        unsigned char* p = static_cast<unsigned char*>(buffer.Data());
        EXPECT_EQ(p[0], 0);
        EXPECT_EQ(p[buffer.Size() - 1], 0);
        std::memset(p, 0xA5, buffer.Size());
        EXPECT_EQ(p[buffer.Size() - 1], 0xA5);
    }
    EXPECT_FALSE(buffer.Allocate(SIZE_MAX));
    EXPECT_EQ(buffer.Data(), nullptr);
    EXPECT_EQ(buffer.Size(), 0u);
    InjectedFaults().pagesFail = true;
    EXPECT_FALSE(buffer.Allocate(100));
    InjectedFaults().pagesFail = false;
    ASSERT_TRUE(buffer.Allocate(100));
    buffer.Release();
    EXPECT_EQ(buffer.Data(), nullptr);
    buffer.Release();
}

TEST_F(PlatformFiles, MovingTransfersTheHandleAndClosingIsIdempotent) {
    const std::string path = dir_.File("move.bin");
    File a = File::Create(path.c_str(), true);
    ASSERT_TRUE(a.IsOpen());
    const intptr_t handle = a.NativeHandle();
    File b(std::move(a));
    EXPECT_FALSE(a.IsOpen());
    EXPECT_EQ(a.NativeHandle(), -1);
    EXPECT_EQ(b.NativeHandle(), handle);
    File c;
    c = std::move(b);
    EXPECT_FALSE(b.IsOpen());
    EXPECT_TRUE(c.Append("x", 1));
    c.Close();
    c.Close();
    EXPECT_FALSE(c.IsOpen());
    EXPECT_FALSE(c.Append("x", 1));
    EXPECT_EQ(c.Size(), -1);
    EXPECT_FALSE(c.Truncate());
    char byte;
    EXPECT_EQ(c.ReadAt(0, &byte, 1), 0u);
}

TEST_F(PlatformFiles, PathExistsAndRemoveFile) {
    const std::string path = dir_.File("gone.bin");
    EXPECT_FALSE(PathExists(path.c_str()));
    EXPECT_FALSE(RemoveFile(path.c_str()));
    { File::Create(path.c_str(), true); }
    EXPECT_TRUE(PathExists(path.c_str()));
    EXPECT_TRUE(RemoveFile(path.c_str()));
    EXPECT_FALSE(PathExists(path.c_str()));
    EXPECT_FALSE(PathExists(""));
    EXPECT_FALSE(PathExists(nullptr));
}

TEST_F(PlatformFiles, Utf8PathRoundTrip) {
    // "grün-Ω" in UTF-8: on Windows this path goes through the wide calls.
    const std::string path = dir_.File("gr\xC3\xBCn-\xCE\xA9.bin");
    {
        File file = File::Create(path.c_str(), true);
        ASSERT_TRUE(file.IsOpen());
        ASSERT_TRUE(file.Append("u", 1));
    }
    EXPECT_TRUE(PathExists(path.c_str()));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(path)));
    File reopened = File::Open(path.c_str());
    EXPECT_TRUE(reopened.IsOpen());
    reopened.Close();
    EXPECT_TRUE(RemoveFile(path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(path)));
}

TEST_F(PlatformFiles, NonUtf8PathIsUsedAsCodePageText) {
    // "café" in a single-byte code page: not UTF-8, so it goes to the system as it stands.
    const std::string path = dir_.File("caf\xE9.bin");
    {
        File file = File::Create(path.c_str(), true);
        ASSERT_TRUE(file.IsOpen());
    }
    EXPECT_TRUE(PathExists(path.c_str()));
    EXPECT_EQ(dir_.EntryCount(), 1u);
    EXPECT_TRUE(RemoveFile(path.c_str()));
    EXPECT_EQ(dir_.EntryCount(), 0u);
}

TEST_F(PlatformFiles, NowSecondsIsTheCalendarTime) {
    const int64_t now = NowSeconds();
    EXPECT_GT(now, 1600000000);  // after September 2020
    EXPECT_LT(now, 4102444800);  // before 2100
}

TEST_F(PlatformFiles, TempDirectoryEndsInASeparatorAndExists) {
    char dir[512];
    ASSERT_TRUE(TempDirectory(dir, sizeof dir));
    const size_t n = std::strlen(dir);
    ASSERT_GT(n, 0u);
    EXPECT_TRUE(dir[n - 1] == '/' || dir[n - 1] == '\\') << dir;
    EXPECT_TRUE(PathExists(dir));
    char tiny[2];
    EXPECT_FALSE(TempDirectory(tiny, sizeof tiny));
    EXPECT_EQ(tiny[0], '\0');
}

TEST_F(PlatformFiles, UniqueTempFilesAreNewEmptyAndDistinct) {
    char a[512];
    char b[512];
    ASSERT_TRUE(CreateUniqueTempFile(dir_.Path().c_str(), "BD_Rpt", a, sizeof a));
    ASSERT_TRUE(CreateUniqueTempFile(dir_.Path().c_str(), "BD_Rpt", b, sizeof b));
    EXPECT_STRNE(a, b);
    for (const char* name : {a, b}) {
        const std::string s(name);
        EXPECT_EQ(s.rfind(dir_.Path() + "BD_", 0), 0u) << s;  // the system may keep only 3 characters
        EXPECT_EQ(s.substr(s.size() - 4), ".tmp") << s;
        File file = File::Open(name);
        ASSERT_TRUE(file.IsOpen()) << s;
        EXPECT_EQ(file.Size(), 0);
    }
    EXPECT_EQ(dir_.EntryCount(), 2u);
    EXPECT_TRUE(RemoveFile(a));
    EXPECT_TRUE(RemoveFile(b));
}

TEST_F(PlatformFiles, UniqueTempFileFailsCleanly) {
    char out[512] = "junk";
    const std::string missing = dir_.File("no-such-dir") + zbtest::ScratchDir::Separator();
    EXPECT_FALSE(CreateUniqueTempFile(missing.c_str(), "Zb", out, sizeof out));
    EXPECT_EQ(out[0], '\0');
    // A buffer too small for the name: no file is left behind.
    char small[8];
    EXPECT_FALSE(CreateUniqueTempFile(dir_.Path().c_str(), "Zb", small, sizeof small));
    EXPECT_EQ(dir_.EntryCount(), 0u);
}

TEST_F(PlatformFiles, MappingShowsTheFileAndWritesThrough) {
    const std::string path = dir_.File("map.bin");
    File file = File::Create(path.c_str(), true);
    std::vector<uint32_t> values(5000);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<uint32_t>(i * 2654435761u);
    ASSERT_TRUE(file.Append(values.data(), values.size() * sizeof(uint32_t)));

    FileMapping mapping = FileMapping::Map(file, values.size() * sizeof(uint32_t));
    ASSERT_TRUE(mapping.IsMapped());
    EXPECT_EQ(mapping.Size(), values.size() * sizeof(uint32_t));
    EXPECT_EQ(std::memcmp(mapping.Data(), values.data(), values.size() * sizeof(uint32_t)), 0);

    // The view stays valid after the file is closed, and moves with its object.
    File reader = File::Open(path.c_str());
    file.Close();
    FileMapping moved(std::move(mapping));
    EXPECT_FALSE(mapping.IsMapped());
    auto* view = static_cast<uint32_t*>(moved.Data());
    EXPECT_EQ(view[4999], values[4999]);
    view[0] = 0xDEADBEEF;
    FileMapping assigned;
    assigned = std::move(moved);
    assigned.Release();
    EXPECT_FALSE(assigned.IsMapped());

    uint32_t first = 0;
    ASSERT_EQ(reader.ReadAt(0, &first, sizeof first), sizeof first);
    EXPECT_EQ(first, 0xDEADBEEFu);
}

TEST_F(PlatformFiles, MappingNothingFails) {
    const std::string path = dir_.File("empty.bin");
    File file = File::Create(path.c_str(), true);
    EXPECT_FALSE(FileMapping::Map(file, 0).IsMapped());
    EXPECT_FALSE(FileMapping::Map(File(), 16).IsMapped());
}

// ---- Injected faults --------------------------------------------------------------------------

TEST_F(PlatformFiles, CreateFailuresAreConsumedOneByOne) {
    const std::string path = dir_.File("fault.bin");
    char out[512];
    InjectedFaults().createFailures = 2;
    EXPECT_FALSE(File::Create(path.c_str(), false).IsOpen());
    EXPECT_FALSE(CreateUniqueTempFile(dir_.Path().c_str(), "Zb", out, sizeof out));
    EXPECT_EQ(InjectedFaults().createFailures, 0);
    EXPECT_EQ(dir_.EntryCount(), 0u);
    EXPECT_TRUE(File::Create(path.c_str(), false).IsOpen());
}

TEST_F(PlatformFiles, WriteBudgetWritesWhatFitsThenFails) {
    struct Case {
        int64_t budget;
        size_t write;
        bool ok;
        int64_t sizeAfter;
    };
    const Case cases[] = {
        {-1, 100, true, 100},   // unlimited
        {100, 100, true, 100},  // exactly fits
        {60, 100, false, 60},   // disk full half-way
        {0, 100, false, 0},     // disk already full
    };
    const std::vector<char> data(100, 'z');
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = dir_.File("budget" + std::to_string(n++) + ".bin");
        File file = File::Create(path.c_str(), true);
        ASSERT_TRUE(file.IsOpen());
        InjectedFaults().writeBudget = c.budget;
        EXPECT_EQ(file.Append(data.data(), c.write), c.ok) << "budget " << c.budget;
        EXPECT_EQ(file.Size(), c.sizeAfter) << "budget " << c.budget;
        if (c.budget >= 0) {
            EXPECT_EQ(InjectedFaults().writeBudget, c.budget - c.sizeAfter);
        }
        InjectedFaults().writeBudget = -1;
    }
}

TEST_F(PlatformFiles, MapFailureLeavesNothingMapped) {
    const std::string path = dir_.File("nomap.bin");
    File file = File::Create(path.c_str(), true);
    ASSERT_TRUE(file.Append("abcd", 4));
    InjectedFaults().mapFails = true;
    EXPECT_FALSE(FileMapping::Map(file, 4).IsMapped());
    InjectedFaults().mapFails = false;
    EXPECT_TRUE(FileMapping::Map(file, 4).IsMapped());
}

}  // namespace
}  // namespace zb::platform
