// The platform layer on the real system, in both builds (natively and under wine): files written,
// read back, cut and mapped; paths, temporary names and UTF-8 paths; page buffers; named shared
// blocks. The injected faults are exercised by the fault loop (fault_injection_test.cpp), the
// report writer's spool test and the analysis driver's lost records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/scratch_dir.h"

namespace zb::platform {
namespace {

class Platform : public ::testing::Test {
  protected:
    void SetUp() override {
        InjectedFaults() = Faults{};
        ASSERT_TRUE(dir_.Ok());
    }
    void TearDown() override { InjectedFaults() = Faults{}; }

    static std::string ReadAll(const File& file) {
        std::string text(static_cast<size_t>(std::max<int64_t>(file.Size(), 0)), '\0');
        text.resize(file.ReadAt(0, text.data(), text.size()));
        return text;
    }
    File NewFile(const std::string& name, const std::string& content = "") {
        File file = File::Create(dir_.File(name).c_str(), true);
        EXPECT_TRUE(file.IsOpen() && file.Append(content.data(), content.size())) << name;
        return file;
    }

    zbtest::ScratchDir dir_{"zb_files"};
};

TEST_F(Platform, FilesAppendReadWriteAtResizeAndTruncate) {
    File file = NewFile("data.bin", "hello ");
    EXPECT_TRUE(file.Append("world", 5));
    EXPECT_TRUE(file.Append(nullptr, 0));
    char buffer[16] = {};
    EXPECT_EQ(file.ReadAt(6, buffer, 5), 5u);
    EXPECT_EQ(std::string(buffer, 5), "world");
    EXPECT_TRUE(file.Append("!", 1));  // a read moves nothing: the append still lands at the end
    EXPECT_EQ(ReadAll(file), "hello world!");
    EXPECT_EQ(file.ReadAt(10, buffer, sizeof buffer), 2u);  // short or empty past the end
    EXPECT_EQ(file.ReadAt(100, buffer, sizeof buffer), 0u);

    // Over what is there and past the end (the gap reads as zeros); the next append at the end.
    EXPECT_TRUE(file.WriteAt(2, "ab", 2));
    EXPECT_TRUE(file.WriteAt(14, "xy", 2));
    EXPECT_TRUE(file.Append("?", 1));
    EXPECT_EQ(ReadAll(file), std::string("heabo world!\0\0xy?", 17));
    EXPECT_FALSE(file.WriteAt(UINT64_MAX - 1, "ab", 2));  // past the largest offset
    EXPECT_FALSE(file.WriteAt(0, nullptr, 1));
    EXPECT_TRUE(file.Resize(4));
    EXPECT_TRUE(file.Resize(6));
    EXPECT_EQ(ReadAll(file), std::string("heab\0\0", 6));
    ASSERT_TRUE(file.Truncate());
    EXPECT_EQ(file.Size(), 0);
    ASSERT_TRUE(file.Append("new", 3));
    EXPECT_EQ(ReadAll(file), "new");
}

TEST_F(Platform, CreateOpenAndClose) {
    const std::string path = dir_.File("twice.bin");
    EXPECT_FALSE(File::Open(path.c_str()).IsOpen());
    { NewFile("twice.bin", "abc"); }
    EXPECT_FALSE(File::Create(path.c_str(), true).IsOpen()) << "must be new";
    {
        File opened = File::Open(path.c_str());
        EXPECT_TRUE(opened.Append("d", 1));
        EXPECT_EQ(ReadAll(opened), "abcd");
    }
    File c = File::Create(path.c_str(), false);
    EXPECT_EQ(c.Size(), 0) << "truncated";
    c.Close();
    c.Close();
    char byte;
    EXPECT_FALSE(c.IsOpen() || c.Append("x", 1) || c.Truncate() || c.Resize(0) || c.WriteAt(0, "a", 1));
    EXPECT_EQ(c.Size(), -1);
    EXPECT_EQ(c.ReadAt(0, &byte, 1), 0u);
}

TEST_F(Platform, PathsAndRemoval) {
    const std::string gone = dir_.File("gone.bin");
    // "grün-Ω" in UTF-8 (on Windows through the wide calls) and "café" in a one-byte code page
    // (not UTF-8, so given to the system as it stands).
    for (const std::string name : {"plain.bin", "gr\xC3\xBCn-\xCE\xA9.bin", "caf\xE9.bin"}) {
        const std::string path = dir_.File(name);
        { NewFile(name, "u"); }
        EXPECT_TRUE(PathExists(path.c_str())) << name;
        EXPECT_EQ(dir_.EntryCount(), 1u) << name;
        EXPECT_TRUE(File::Open(path.c_str()).IsOpen()) << name;
        EXPECT_TRUE(RemoveFile(path.c_str())) << name;
        EXPECT_FALSE(PathExists(path.c_str())) << name;
        EXPECT_EQ(dir_.EntryCount(), 0u) << name;
    }
    for (const char* bad : {gone.c_str(), "", static_cast<const char*>(nullptr)}) {
        EXPECT_FALSE(PathExists(bad));
        EXPECT_FALSE(RemoveFile(bad));
    }
}

TEST_F(Platform, TemporaryDirectoryAndUniqueFiles) {
    char dir[512];
    ASSERT_TRUE(TempDirectory(dir, sizeof dir));
    const char last = dir[std::strlen(dir) - 1];
    EXPECT_TRUE(last == '/' || last == '\\') << dir;
    EXPECT_TRUE(PathExists(dir));
    char tiny[2];
    EXPECT_FALSE(TempDirectory(tiny, sizeof tiny));
    EXPECT_EQ(tiny[0], '\0');

    char a[512], b[512];
    ASSERT_TRUE(CreateUniqueTempFile(dir_.Path().c_str(), "BD_Rpt", a, sizeof a));
    ASSERT_TRUE(CreateUniqueTempFile(dir_.Path().c_str(), "BD_Rpt", b, sizeof b));
    EXPECT_STRNE(a, b);
    for (const std::string name : {a, b}) {
        EXPECT_EQ(name.rfind(dir_.Path() + "BD_", 0), 0u) << name;  // the system may keep 3 characters
        EXPECT_EQ(name.substr(name.size() - 4), ".tmp") << name;
        EXPECT_EQ(File::Open(name.c_str()).Size(), 0) << name;
        EXPECT_TRUE(RemoveFile(name.c_str()));
    }
    // A missing directory, or a buffer too small for the name: no file, an empty name.
    char out[512] = "junk", small[8];
    const std::string missing = dir_.File("no-such-dir") + zbtest::ScratchDir::Separator();
    EXPECT_FALSE(CreateUniqueTempFile(missing.c_str(), "Zb", out, sizeof out));
    EXPECT_EQ(out[0], '\0');
    EXPECT_FALSE(CreateUniqueTempFile(dir_.Path().c_str(), "Zb", small, sizeof small));
    EXPECT_EQ(dir_.EntryCount(), 0u);
}

// The view shows the file and outlives the file's handle; nothing maps with no size or no file.
TEST_F(Platform, MappingsShowTheFile) {
    std::vector<uint32_t> values(5000);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<uint32_t>(i * 2654435761u);
    const size_t bytes = values.size() * sizeof(uint32_t);
    File file = NewFile("map.bin", std::string(reinterpret_cast<const char*>(values.data()), bytes));
    FileMapping mapping = FileMapping::Map(file, bytes);
    file.Close();
    ASSERT_TRUE(mapping.IsMapped());
    EXPECT_EQ(mapping.Size(), bytes);
    EXPECT_EQ(std::memcmp(mapping.Data(), values.data(), bytes), 0);
    mapping.Release();
    EXPECT_FALSE(mapping.IsMapped());
    EXPECT_FALSE(FileMapping::Map(File::Open(dir_.File("map.bin").c_str()), 0).IsMapped());
    EXPECT_FALSE(FileMapping::Map(File(), 16).IsMapped());
}

// Whole pages, zero until written, every usable byte writable; nothing held after a refusal.
TEST_F(Platform, PageBuffers) {
    PageBuffer buffer;
    for (const size_t bytes : {size_t{1}, size_t{4096}, size_t{4097}, size_t{3} << 20}) {
        ASSERT_TRUE(buffer.Allocate(bytes)) << bytes;
        ASSERT_GE(buffer.Size(), bytes);
        auto* p = static_cast<unsigned char*>(buffer.Data());
        EXPECT_EQ(p[0] | p[buffer.Size() - 1], 0) << bytes;
        std::memset(p, 0xA5, buffer.Size());
    }
    for (const size_t refused : {size_t{0}, SIZE_MAX}) {
        EXPECT_FALSE(buffer.Allocate(refused));
        EXPECT_EQ(buffer.Data(), nullptr);
        EXPECT_EQ(buffer.Size(), 0u);
    }
    ASSERT_TRUE(buffer.Allocate(100));
    buffer.Release();
    buffer.Release();
    EXPECT_EQ(buffer.Data(), nullptr);
}

// Blocks refused without a name or a size, and the object name a block name becomes. (A block
// opened again by name while it lives is the report writer's older block, in report_writer_test.cpp
// and fault_injection_test.cpp.)
TEST_F(Platform, NamedSharedBlocks) {
    SharedBlock none;
    EXPECT_FALSE(none.Create("", 10) || none.Create(nullptr, 10) || none.Create("zb_platform", 0));
    EXPECT_EQ(none.View(), nullptr);
    char object[12];
    SharedBlockObjectName("a/b/cdefghijklmnop", object, sizeof object);
#if defined(_WIN32)
    EXPECT_STREQ(object, "a/b/cdefghi");  // the name as given
#else
    EXPECT_STREQ(object, "/a_b_cdefgh");  // a slash, then the name with its slashes replaced
#endif
}

}  // namespace
}  // namespace zb::platform
