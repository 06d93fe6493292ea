// Tests of zbhost's SVG labels: which form of a label a box of a given width shows (long whole,
// short whole, short cut) and, through the built plug-in, that the picture never shows a cut long
// label.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "abi/record_code.h"
#include "host_session.h"
#include "host_settings.h"
#include "native/zbhost_files.h"
#include "outputs.h"
#include "plugin_library.h"
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
