// Text conversion for the host: which texts pass unchanged (UTF-8 host, pure ASCII, invalid UTF-8,
// unencodable), the UTF-8 check itself, real conversions into the code pages this machine offers,
// and that no buffer size (0, 1, 2, tiny) is ever overrun.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <langinfo.h>
#include <stdlib.h>

#include <filesystem>
#endif

#include "labels/text_for_host.h"
#include "platform/platform.h"

namespace zb {
namespace {

// ---- The UTF-8 check -------------------------------------------------------------------------

TEST(Utf8, WellFormednessFollowsTheShortestFormRules) {
    struct Row {
        const char* name;
        const char* text;
        bool valid;
    };
    const Row rows[] = {
        {"empty", "", true},
        {"smallest two-byte U+0080", "\xC2\x80", true},
        {"smallest three-byte U+0800", "\xE0\xA0\x80", true},
        {"last before surrogates U+D7FF", "\xED\x9F\xBF", true},
        {"first after surrogates U+E000", "\xEE\x80\x80", true},
        {"U+FFFF", "\xEF\xBF\xBF", true},
        {"smallest four-byte U+10000", "\xF0\x90\x80\x80", true},
        {"largest U+10FFFF", "\xF4\x8F\xBF\xBF", true},
        {"stray continuation", "\x80", false},
        {"overlong slash C0 AF", "\xC0\xAF", false},
        {"overlong three-byte", "\xE0\x9F\xBF", false},
        {"overlong four-byte", "\xF0\x8F\xBF\xBF", false},
        {"surrogate U+D800", "\xED\xA0\x80", false},
        {"surrogate U+DFFF", "\xED\xBF\xBF", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"lead F5", "\xF5\x80\x80\x80", false},
        {"cut two-byte at the end", "a\xC3", false},
        {"cut four-byte at the end", "\xF0\x9F\x98", false},
        {"ASCII where a continuation belongs", "\xE2\x28\xA1", false},
    };
    for (const Row& r : rows) EXPECT_EQ(platform::IsValidUtf8(r.text), r.valid) << r.name;
    EXPECT_FALSE(platform::IsValidUtf8(nullptr));
}

// ---- Code pages available here -----------------------------------------------------------------

enum class CodePage { Ascii, Utf8, Latin1 };

#if !defined(_WIN32)
// Machines often carry no Latin-1 locale. glibc's localedef can build one from the system's locale
// sources into a private directory in half a second; LOCPATH then points setlocale at it. Nothing
// is installed: the directory is removed when the test process ends.
class PrivateLatin1Locale {
  public:
    static const char* Name() { return "en_US.ISO-8859-1"; }
    // Sets the locale; false when it cannot be built here.
    bool Use() {
        if (dir_.empty() && !Build()) return false;
        setenv("LOCPATH", dir_.c_str(), 1);
        const bool ok = std::setlocale(LC_ALL, Name()) != nullptr;
        unsetenv("LOCPATH");  // the locale is loaded; later setlocale calls use the system's again
        return ok;
    }
    ~PrivateLatin1Locale() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }

  private:
    bool Build() {
        std::string pattern = ::testing::TempDir() + "zb_latin1_XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) return false;
        dir_ = pattern;
        const std::string command =
            "localedef -i en_US -f ISO-8859-1 '" + dir_ + "/" + Name() + "' >/dev/null 2>&1";
        // localedef exits non-zero for mere warnings; what counts is whether the locale exists.
        if (std::system(command.c_str()) == -1) return false;
        return std::filesystem::exists(dir_ + "/" + Name());
    }
    std::string dir_;
};
#endif

// On POSIX the conversion follows the process locale, so a test can choose among the locales the
// machine has; on Windows it follows the system's ANSI code page, which a test can only inspect.
bool UseCodePage(CodePage page) {
#if defined(_WIN32)
    const UINT acp = GetACP();
    return page == CodePage::Ascii  ? acp == 20127
           : page == CodePage::Utf8 ? acp == CP_UTF8
                                    : acp == 1252 || acp == 28591;
#else
    struct Names {
        std::vector<const char*> locales;
        std::string codeset;
    };
    static const Names kNames[] = {
        {{"C"}, "ANSI_X3.4-1968"},
        {{"C.UTF-8", "C.utf8", "en_US.UTF-8"}, "UTF-8"},
        {{"en_US.ISO-8859-1", "en_US.iso88591", "de_DE.ISO-8859-1", "de_DE.iso88591"}, "ISO-8859-1"},
    };
    const Names& names = kNames[static_cast<int>(page)];
    const auto codesetMatches = [&names] { return nl_langinfo(CODESET) == names.codeset; };
    for (const char* name : names.locales) {
        if (std::setlocale(LC_ALL, name) != nullptr && codesetMatches()) return true;
    }
    if (page == CodePage::Latin1) {
        static PrivateLatin1Locale privateLocale;
        if (privateLocale.Use() && codesetMatches()) return true;
    }
    std::setlocale(LC_ALL, "C");
    return false;
#endif
}

// A buffer with guard bytes after the part the callee may use.
class GuardedBuffer {
  public:
    GuardedBuffer(const std::string& content, size_t size) : bytes_(size + 16, kGuard), size_(size) {
        std::memcpy(bytes_.data(), content.data(), std::min(content.size(), size));
        if (content.size() < size) bytes_[content.size()] = '\0';
    }
    char* data() { return bytes_.data(); }
    size_t size() const { return size_; }
    std::string Text() const { return std::string(bytes_.data(), strnlen(bytes_.data(), size_)); }
    bool GuardIntact() const {
        return std::all_of(bytes_.begin() + size_, bytes_.end(), [](char c) { return c == kGuard; });
    }

  private:
    static constexpr char kGuard = '\xCC';
    std::vector<char> bytes_;
    size_t size_;
};

class TextForHost : public ::testing::Test {
  protected:
    void SetUp() override { savedLocale_ = std::setlocale(LC_ALL, nullptr); }
    void TearDown() override { std::setlocale(LC_ALL, savedLocale_.c_str()); }

    std::string savedLocale_;
};

const char kGruesse[] =
    "Gr\xC3\xBC\xC3\x9F"
    "e \xC2\xB5s";                         // "Grüße µs"
const char kArrow[] = "a \xE2\x86\x92 b";  // "a → b": no Latin-1 code point

// ---- Texts that always pass unchanged ----------------------------------------------------------

TEST_F(TextForHost, UnchangedTextsInEveryCodePage) {
    struct Row {
        const char* name;
        std::string text;
        uint32_t flags;
    };
    const Row rows[] = {
        {"UTF-8 host", kGruesse, HostFlag::kUtf8},
        {"pure ASCII", "Multi-Turn: 5", 0},
        {"invalid UTF-8 byte 0x80",
         "abc\x80"
         "def",
         0},
        {"Latin-1 bytes are not UTF-8",
         "Gr\xFC\xDF"
         "e",
         0},
        {"cut sequence", "abc\xE2\x86", 0},
    };
    for (CodePage page : {CodePage::Ascii, CodePage::Utf8, CodePage::Latin1}) {
        if (!UseCodePage(page)) continue;
        std::vector<Row> all(std::begin(rows), std::end(rows));
        if (page == CodePage::Ascii) all.push_back({"an ASCII code page cannot encode it", kGruesse, 0});
        for (const Row& r : all) {
            HostRecord host{};
            host.hostFlags = r.flags;
            GuardedBuffer buffer(r.text, 64);
            const std::vector<char> before(buffer.data(), buffer.data() + 64);
            ConvertForHostInPlace(&host, buffer.data(), buffer.size());
            EXPECT_EQ(std::memcmp(buffer.data(), before.data(), 64), 0) << r.name;
            EXPECT_TRUE(buffer.GuardIntact()) << r.name;

            char scratch[64];
            EXPECT_EQ(ConvertForHost(r.flags, r.text.c_str(), scratch, sizeof scratch), r.text.c_str())
                << r.name;
        }
    }
}

// ---- Real conversions ----------------------------------------------------------------------------

struct Conversion {
    const char* name;
    std::string text;
    size_t size;
    bool converted;
    std::string expected;  // the result when converted
};

// Each text is converted in place when it fits its buffer (a buffer exactly as long as the text
// holds it unterminated), and always as a copy into a scratch buffer of that size, where a longer
// text must be cut.
void CheckConversions(const std::vector<Conversion>& rows) {
    const HostRecord host{};
    for (const Conversion& r : rows) {
        if (r.text.size() <= r.size) {
            GuardedBuffer buffer(r.text, r.size);
            ConvertForHostInPlace(&host, buffer.data(), buffer.size());
            EXPECT_EQ(buffer.Text(), r.converted ? r.expected : r.text.substr(0, r.size))
                << r.name << " (in place, size " << r.size << ")";
            EXPECT_TRUE(buffer.GuardIntact()) << r.name << " (in place, size " << r.size << ")";
        }
        GuardedBuffer scratch("", r.size);
        const char* result = ConvertForHost(0, r.text.c_str(), scratch.data(), scratch.size());
        EXPECT_EQ(std::string(result), r.converted ? r.expected : r.text)
            << r.name << " (copy, size " << r.size << ")";
        EXPECT_EQ(result == scratch.data(), r.converted) << r.name << " (copy)";
        EXPECT_TRUE(scratch.GuardIntact()) << r.name << " (copy, size " << r.size << ")";
    }
}

TEST_F(TextForHost, Latin1CodePageEncodesAndCutsToTheBuffer) {
    if (!UseCodePage(CodePage::Latin1)) GTEST_SKIP() << "no Latin-1 code page on this machine";
    CheckConversions({
        {"whole text", kGruesse, 32, true,
         "Gr\xFC\xDF"
         "e \xB5s"},
        {"exact fit", kGruesse, 9, true,
         "Gr\xFC\xDF"
         "e \xB5s"},
        {"cut after the third character", kGruesse, 4, true, "Gr\xFC"},
        {"unterminated two bytes", "\xC3\xA9", 2, true, "\xE9"},
        {"room for the terminator only", kGruesse, 1, true, ""},
        {"unencodable character", kArrow, 32, false, ""},
    });
}

TEST_F(TextForHost, Utf8CodePageKeepsTheTextAndCutsOnCharacterBoundaries) {
    if (!UseCodePage(CodePage::Utf8)) GTEST_SKIP() << "no UTF-8 code page on this machine";
    CheckConversions({
        {"whole text", kGruesse, 32, true, kGruesse},
        {"arrow", kArrow, 32, true, kArrow},
        // "Grü" needs 4 bytes and the terminator: with 4 bytes only "Gr" fits.
        {"cut before a two-byte character", kGruesse, 4, true, "Gr"},
        {"cut after a two-byte character", kGruesse, 5, true, "Gr\xC3\xBC"},
        {"unterminated, cut inside the last character", "a\xC3\xA9", 3, true, "a"},
        {"unterminated two bytes", "\xC3\xA9", 2, true, ""},
        {"room for the terminator only", kGruesse, 1, true, ""},
    });
}

// ---- Which host decides --------------------------------------------------------------------------

// No record at all is converted as for a host that does not take UTF-8 (a UTF-8 host keeps the
// text: the first table).
TEST_F(TextForHost, NoHostRecordConvertsAsAPlainHost) {
    if (!UseCodePage(CodePage::Utf8) && !UseCodePage(CodePage::Latin1))
        GTEST_SKIP() << "nothing converts here";
    // Unterminated "aé" in three bytes: any conversion must cut it.
    const HostRecord plainHost{};
    GuardedBuffer converted("a\xC3\xA9", 3), alone("a\xC3\xA9", 3);
    ConvertForHostInPlace(&plainHost, converted.data(), converted.size());
    ConvertForHostInPlace(nullptr, alone.data(), alone.size());
    EXPECT_NE(std::string(converted.data(), 3), "a\xC3\xA9");
    EXPECT_EQ(std::string(alone.data(), 3), std::string(converted.data(), 3));
    EXPECT_TRUE(alone.GuardIntact());
}

// ---- Degenerate arguments ------------------------------------------------------------------------

TEST_F(TextForHost, DegenerateArgumentsWriteNothing) {
    if (!UseCodePage(CodePage::Utf8)) UseCodePage(CodePage::Latin1);
    ConvertForHostInPlace(nullptr, nullptr, 16);
    GuardedBuffer empty(kGruesse, 0);
    ConvertForHostInPlace(nullptr, empty.data(), 0);
    EXPECT_TRUE(empty.GuardIntact());

    EXPECT_EQ(ConvertForHost(0, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(ConvertForHost(0, kGruesse, nullptr, 16), kGruesse);
    GuardedBuffer scratch("", 0);
    EXPECT_EQ(ConvertForHost(0, kGruesse, scratch.data(), 0), kGruesse);
    EXPECT_TRUE(scratch.GuardIntact());

    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_FALSE(platform::Utf8ToHostCodePage(kGruesse, out, 0));
    EXPECT_FALSE(platform::Utf8ToHostCodePage(nullptr, out, sizeof out));
    EXPECT_FALSE(platform::Utf8ToHostCodePage("\x80", out, sizeof out));
    EXPECT_EQ(out[0], 'x');
}

}  // namespace
}  // namespace zb
