// zbhost's windowed sample source against the whole change list in memory: a capture file (sigrok
// session, VCD, CSV, raw samples) read as the decode goes gives the records and the report of the
// same capture served from memory, through the built plug-in driven by its exports.
#include <gtest/gtest.h>

#include <cstdio>

#include "host_session.h"
#include "host_settings.h"
#include "native/zbhost_files.h"
#include "plugin_library.h"
#include "record_pages.h"
#include "traffic.h"

namespace {

struct Decoded {
    std::vector<int64_t> positions;
    std::vector<uint32_t> codes;
    std::string wire;
};

class ZbhostStreamed : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(plugin_.Load(zbtest::TestPlugin(), error)) << error;
    }

    Decoded Decode(zbhost::SampleSource& source, const std::vector<zbhost::SettingArg>& extra) {
        Decoded out;
        const std::string dir = ::testing::TempDir();
        plugin_.Exports().SetMsgInfo(0, dir.c_str());
        zbhost::HostSession session(plugin_.Exports(), source);
        zbhost::HostSettings settings;
        std::string error;
        std::vector<zbhost::SettingArg> args = {{"data-length", "25"}, {"st-bits", "13"}};
        args.insert(args.end(), extra.begin(), extra.end());
        for (const auto& a : args) EXPECT_TRUE(settings.Apply(a, error)) << error;
        settings.StoreInto(session.Record());
        EXPECT_TRUE(session.Analyse(zbhost::ReportVia::Block, error)) << error;
        for (uint32_t i = 0; i < session.RecordCount(); ++i) {
            out.positions.push_back(session.PositionAt(i));
            out.codes.push_back(session.CodeAt(i));
        }
        // The records lie in shared views of the plug-in's files, whose pages a listing may give
        // back (they are read again from the file); pages of ordinary memory never may.
        EXPECT_TRUE(zbhost::InSharedFileMapping(session.Record().positionArray));
        EXPECT_FALSE(zbhost::InSharedFileMapping(out.positions.data()));
        out.wire = session.Report();
        return out;
    }

    zbhost::PluginLibrary plugin_;
};

// With the length detected (a first walk, then the decode from the start; in a capture of 12
// frames the first walk reaches the end), with the range between two cursors or ending beyond the
// capture, and up to the end of a capture whose length the reader learns only there.
TEST_P(ZbhostStreamed, DecodeEqualsTheWholeList) {
    for (const int frames : {300, 12}) {
        zbhost::BulkTraffic spec;
        spec.frames = frames;
        spec.minSamples = 0;
        spec.registerEvery = 10;
        bissgen::Capture c = zbhost::MakeBulkTraffic(spec).Finish();
        // Cut inside the last frame: the walk ends with a frame open, a few samples after its last
        // change, so the records there depend on where exactly the walk ends.
        c.changes.resize(c.changes.size() - 25);
        c.lastSample = c.changes.back().position + 7;
        const std::string path = zbtest::TempFile(std::string("streamed.") + GetParam());
        zbtest::WriteCaptureFile(c, zbhost::FormatFromPath(path), path);
        const std::string middle = std::to_string(c.lastSample / 2), late = std::to_string(c.lastSample - 1),
                          beyond = std::to_string(c.lastSample + 1000);
        const std::vector<std::vector<zbhost::SettingArg>> settings = {
            {{"data-length", "auto"}},
            {{"data-length", "auto"}, {"mode", "slave"}},
            {{"range-from", "A"}, {"range-to", "B"}, {"cursor", "A=" + middle}, {"cursor", "B=" + late}},
            {{"range-from", "A"}, {"cursor", "A=" + middle}, {"data-length", "auto"}},
            {{"range-to", "B"}, {"cursor", "B=" + beyond}, {"data-length", "auto"}},
        };
        const bool raw = std::string(GetParam()) == "bin";
        const zbhost::ReadOptions o{raw ? "0" : "MA", raw ? "1" : "SLO", 200000000};
        for (const auto& s : settings) {
            zbhost::SampleSource whole(c);
            const Decoded want = Decode(whole, s);
            zbhost::SampleSource streamed(zbhost::OpenCapture(path, zbhost::CaptureFormat::Auto, o));
            const Decoded got = Decode(streamed, s);
            EXPECT_EQ(got.positions, want.positions) << frames << " frames, " << s[0].first;
            EXPECT_EQ(got.codes, want.codes);
            EXPECT_EQ(got.wire, want.wire);
        }
        std::remove(path.c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ZbhostStreamed, ::testing::Values("sr", "vcd", "csv", "bin"));

}  // namespace
