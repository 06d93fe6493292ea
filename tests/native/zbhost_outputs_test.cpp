// Tests of zbhost's SVG labels: which form of a label a box of a given width shows (long whole,
// short whole, short cut) and, through the built plug-in, that the picture never shows a cut long
// label; and of the label listing's number writers.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "abi/record_code.h"
#include "host_session.h"
#include "host_settings.h"
#include "native/zbhost_files.h"
#include "outputs.h"
#include "plugin_library.h"
#include "text_buffer.h"
#include "traffic.h"

namespace {

using zbhost::FitLabel;
using zbhost::LabelFont;

TEST(ZbhostSvgLabels, LongFormWhenItFitsElseShortElseCut) {
    // An 11 px character is 6.6 px wide, a 9 px one 5.4 px; 2 px of a box stay empty.
    struct Case {
        const char* longForm;
        const char* shortForm;
        double width;
        const char* shown;
        LabelFont font;
        bool shortAsked;
    };
    const Case cases[] = {
        {"nErr:1", "1", 50, "nErr:1", LabelFont::Normal, false},
        {"nErr:1", "1", 41.7, "nErr:1", LabelFont::Normal, false},  // 6 normal characters just fit
        {"nErr:1", "1", 40, "nErr:1", LabelFont::Small, false},     // 6 small ones fit
        {"nErr:1", "1", 34, "1", LabelFont::Normal, true},          // 5 small ones: short form
        {"CRC:3F", "3F", 15.3, "3F", LabelFont::Normal, true},
        {"CRC:3F", "3F", 14, "3F", LabelFont::Small, true},
        {"CRC:3F", "3F", 12, "3", LabelFont::Small, true},  // even the short form is cut
        {"CRC:3F", "3F", 1, "", LabelFont::Small, true},
        {"Stop", "", 20, "Sto", LabelFont::Small, true},  // no short form: the long one is cut
    };
    for (const Case& c : cases) {
        bool asked = false;
        const zbhost::FittedLabel f = FitLabel(c.longForm, c.width, [&] {
            asked = true;
            return std::string(c.shortForm);
        });
        EXPECT_EQ(f.text, c.shown) << c.longForm << " in " << c.width;
        EXPECT_EQ(f.font, c.font) << c.longForm << " in " << c.width;
        EXPECT_EQ(asked, c.shortAsked) << c.longForm << " in " << c.width;
    }
}

class ZbhostSvgPlugin : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(plugin_.Load(zbtest::TestPlugin(), error)) << error;
        plugin_.Exports().SetMsgInfo(0, ::testing::TempDir().c_str());
    }
    zbhost::PluginLibrary plugin_;
};

TEST_F(ZbhostSvgPlugin, NarrowBoxesShowTheShortFormNeverACutLongOne) {
    const bissgen::Capture capture = zbhost::MakeDemoTraffic().Finish();
    zbhost::SampleSource source(capture);
    zbhost::HostSession session(plugin_.Exports(), source);
    zbhost::HostSettings settings;
    std::string error;
    for (const zbhost::SettingArg& a :
         std::vector<zbhost::SettingArg>{{"data-length", "25"}, {"st-bits", "13"}})
        ASSERT_TRUE(settings.Apply(a, error)) << error;
    settings.StoreInto(session.Record());
    ASSERT_TRUE(session.Analyse(zbhost::ReportVia::None, error)) << error;

    // Every label in both forms; an error bit's short form is its value.
    std::set<std::string> longForms, shortForms;
    int errors = 0;
    for (uint32_t i = 0; i < session.RecordCount(); ++i) {
        const std::string longText = session.LabelOf(i).text;
        const std::string shortText = session.ShortLabelOf(i).text;
        if (zb::KindOf(session.CodeAt(i)) == zb::RecordKind::Err) {
            ++errors;
            EXPECT_EQ(longText, "nErr:" + shortText);
            EXPECT_TRUE(shortText == "0" || shortText == "1") << shortText;
        }
        longForms.insert(longText);
        shortForms.insert(shortText);
    }
    EXPECT_GT(errors, 0);

    // Pictures from roomy to cramped (where frames become blocks): each label text is a whole long
    // form, a whole short form, or (small font only) the beginning of a short form.
    int shortShown = 0;
    for (const double width : {60000.0, 40000.0, 15000.0}) {
        zbhost::SvgRange range;
        range.from = 0;
        range.to = capture.lastSample + 1;
        range.width = width;
        std::ostringstream svg;
        zbhost::WriteSvg(session, capture, range, svg);
        const std::string text = svg.str();
        const std::regex label(
            "y=\"179\" text-anchor=\"middle\"( font-size=\"9\")? fill=\"#[0-9A-F]{6}\">([^<]*)</text>");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), label); it != std::sregex_iterator();
             ++it) {
            const bool small = (*it)[1].matched;
            const std::string shown = (*it)[2];
            if (longForms.count(shown) != 0) continue;
            if (shortForms.count(shown) != 0) {
                ++shortShown;
                continue;
            }
            bool prefix = false;
            for (const std::string& s : shortForms) prefix |= small && s.compare(0, shown.size(), shown) == 0;
            EXPECT_TRUE(prefix) << "width " << width << ": \"" << shown << "\" is no form of any label";
        }
        EXPECT_EQ(text.find(">nErr:<"), std::string::npos) << "width " << width;
    }
    EXPECT_GT(shortShown, 0);  // some boxes hold the short form but not the long one
}

}  // namespace

// The listing's number writers against printf: DecimalField over walks of each kind a listing
// makes (small steps, steps across 10^8 and 10^16, equal values, jumps back, the largest u64) at
// the decimals of the time column, right-aligned and bare; HexAt's word path for 8 digits.
TEST(ZbhostListingNumbers, WordWritersMatchPrintf) {
    std::mt19937_64 rng(29);
    std::vector<uint64_t> walk = {0,
                                  0,
                                  1,
                                  9,
                                  10,
                                  99999999,
                                  100000000,
                                  100000001,
                                  12345678912345678ull,
                                  9999999999999999ull,
                                  10000000000000000ull,
                                  5,
                                  ~uint64_t{0},
                                  7};
    for (uint64_t v = 99999000, i = 0; i < 400; ++i) walk.push_back(v += rng() % 7);
    for (int i = 0; i < 400; ++i) walk.push_back(rng() >> (rng() % 64));
    for (const int decimals : {0, 1, 3, 7, 8, 9, 12}) {
        zbhost::DecimalField field(decimals);
        for (const uint64_t v : walk) {
            field.Show(v);
            uint64_t scale = 1;
            for (int d = 0; d < decimals; ++d) scale *= 10;
            char text[48];
            if (decimals == 0)
                std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(v));
            else
                std::snprintf(text, sizeof text, "%llu.%0*llu", static_cast<unsigned long long>(v / scale),
                              decimals, static_cast<unsigned long long>(v % scale));
            const std::string bareWanted = text;
            const std::string wanted =
                std::string(14 - std::min<size_t>(14, bareWanted.size()), ' ') + bareWanted;
            char got[96];
            const std::string padded(got, field.RightAlignedAt(got, 14));
            const std::string bare(got, field.At(got));
            EXPECT_EQ(padded, wanted) << v << " with " << decimals << " decimals";
            EXPECT_EQ(bare, bareWanted) << v;
        }
    }
    for (const uint32_t v : {0u, 9u, 0xAu, 0x1234ABCDu, 0xFFFFFFFFu, 0x0F0F0F0Fu}) {
        char got[16], want[16];
        std::snprintf(want, sizeof want, "%08X", v);
        EXPECT_EQ(std::string(got, zbhost::HexAt(got, v, 8)), want);
    }
}
