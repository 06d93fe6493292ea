// End to end through zbhost's host side: generator traffic -> capture file (sigrok session, VCD,
// CSV, raw samples) -> reader and sample source -> the built plug-in driven through its exports, as
// zbhost drives it -> records and report compared with what the generator sent, and with the same
// decode served from the whole change list in memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "bissgen/samples.h"
#include "bissgen/srzip.h"
#include "capture_readers.h"
#include "capture_writers.h"
#include "engine/record_code.h"
#include "host_session.h"
#include "host_settings.h"
#include "plugin_library.h"
#include "report_table.h"
#include "traffic.h"

namespace {

struct Decoded {
    std::vector<std::pair<uint64_t, uint64_t>> positions;  // (multi-turn, single-turn) per frame
    zbhost::ReportTable report;
    std::vector<int64_t> recordPositions;
    std::vector<uint32_t> codes;
    std::string wire;
};

std::string TempDir() {
    return ::testing::TempDir();
}

class ZbhostEndToEnd : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        std::string error;
        // ZBHOST_TEST_PLUGIN picks another plug-in file than the one built with the tests.
        const char* other = std::getenv("ZBHOST_TEST_PLUGIN");
        ASSERT_TRUE(plugin_.Load(other != nullptr ? other : ZB_PLUGIN_PATH, error)) << error;
    }

    Decoded Decode(zbhost::SampleSource& source, zbhost::ReportVia via,
                   const std::vector<zbhost::SettingArg>& extra = {}) {
        Decoded out;
        const std::string dir = TempDir();
        plugin_.Exports().SetMsgInfo(0, dir.c_str());
        zbhost::HostSession session(plugin_.Exports(), source);
        zbhost::HostSettings settings;
        std::string error;
        std::vector<zbhost::SettingArg> args = {{"data-length", "25"}, {"st-bits", "13"}};
        args.insert(args.end(), extra.begin(), extra.end());
        for (const auto& a : args) EXPECT_TRUE(settings.Apply(a, error)) << error;
        settings.StoreInto(session.Record());
        EXPECT_TRUE(session.Analyse(via, error)) << error;
        using zb::RecordKind;
        for (uint32_t i = 0; i < session.RecordCount(); ++i) {
            out.recordPositions.push_back(session.PositionAt(i));
            out.codes.push_back(session.CodeAt(i));
        }
        out.wire = session.Report();
        for (uint32_t i = 0; i + 2 < session.RecordCount(); ++i) {
            const uint32_t c = session.CodeAt(i);
            if (zb::KindOf(c) == RecordKind::MultiTurnHigh &&
                zb::KindOf(session.CodeAt(i + 2)) == RecordKind::MultiTurnLow) {
                out.positions.emplace_back(zb::JoinTriple(c, session.CodeAt(i + 1), session.CodeAt(i + 2)),
                                           0);
            } else if (zb::KindOf(c) == RecordKind::SingleTurnHigh && !out.positions.empty()) {
                out.positions.back().second = zb::JoinTriple(c, session.CodeAt(i + 1), session.CodeAt(i + 2));
            }
        }
        EXPECT_TRUE(zbhost::ParseReport(session.Report(), out.report, error)) << error;
        return out;
    }

    zbhost::PluginLibrary plugin_;
};

// The capture written as a file of the kind `ext`; its path.
std::string WriteCapture(const bissgen::Capture& c, const std::string& ext) {
    const std::string path = TempDir() + "zbhost_e2e_" + std::to_string(getpid()) + "." + ext;
    std::string error;
    if (ext == "sr") {
        EXPECT_TRUE(bissgen::WriteSrzip(path, c, &error)) << error;
        return path;
    }
    std::ofstream out(path, std::ios::binary);
    if (ext == "vcd") {
        zbhost::WriteVcd(c, out, "1ns", 5);
    } else if (ext == "csv") {
        zbhost::WriteCsvTransitions(c, out);
    } else {
        std::vector<uint8_t> samples(static_cast<size_t>(c.lastSample + 1));
        bissgen::SampleExpander(c).Fill(0, samples.size(), samples.data());
        out.write(reinterpret_cast<const char*>(samples.data()),
                  static_cast<std::streamsize>(samples.size()));
    }
    return path;
}

// A source that reads the file as the decode goes.
std::unique_ptr<zbhost::SampleSource> OpenSource(const std::string& path) {
    zbhost::ReadOptions o;
    o.ma = "MA";
    o.slo = "SLO";
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".bin") == 0) o.ma = "0", o.slo = "1";
    o.sampleRate = 200000000;
    return std::make_unique<zbhost::SampleSource>(zbhost::OpenCapture(path, zbhost::CaptureFormat::Auto, o));
}

TEST_P(ZbhostEndToEnd, PositionsAndReportMatchTheGenerator) {
    zbhost::BulkTraffic spec;
    spec.frames = 60;
    spec.minSamples = 0;
    spec.registerEvery = 0;
    const bissgen::Generator g = zbhost::MakeBulkTraffic(spec);
    const bissgen::Capture generated = g.Finish();
    const std::string path = WriteCapture(generated, GetParam());
    const auto source = OpenSource(path);
    const Decoded d = Decode(
        *source, std::string(GetParam()) == "csv" ? zbhost::ReportVia::Callback : zbhost::ReportVia::Block);
    std::remove(path.c_str());
    EXPECT_EQ(source->Stats().changes, generated.changes.size());
    EXPECT_EQ(source->LastSample(), generated.lastSample);
    const auto& frames = g.Frames();
    ASSERT_EQ(d.positions.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(d.positions[i].first, frames[i].slaves[0].word.multiTurn) << "frame " << i;
        EXPECT_EQ(d.positions[i].second, frames[i].slaves[0].word.singleTurn) << "frame " << i;
    }
    // One report row per frame carries its single-turn value in hexadecimal.
    size_t column = d.report.columns.size();
    for (size_t k = 0; k < d.report.columns.size(); ++k) {
        if (d.report.columns[k].rfind("Single-Turn", 0) == 0) column = k;
    }
    ASSERT_LT(column, d.report.columns.size());
    size_t next = 0;
    for (const auto& row : d.report.rows) {
        if (row.cells[column].text.empty()) continue;
        ASSERT_LT(next, frames.size());
        char hex[16];
        std::snprintf(hex, sizeof hex, "%04llX",
                      static_cast<unsigned long long>(frames[next].slaves[0].word.singleTurn));
        EXPECT_EQ(row.cells[column].text, hex) << "row " << next;
        ++next;
    }
    EXPECT_EQ(next, frames.size());
}

TEST_P(ZbhostEndToEnd, RegisterAccessesSeenFromTheMaster) {
    zbhost::BulkTraffic spec;
    spec.frames = 400;
    spec.minSamples = 0;
    spec.registerEvery = 10;
    const bissgen::Generator g = zbhost::MakeBulkTraffic(spec);
    const std::string path = WriteCapture(g.Finish(), GetParam());
    const Decoded d = Decode(*OpenSource(path), zbhost::ReportVia::Block, {{"mode", "master"}});
    std::remove(path.c_str());
    size_t rw = d.report.columns.size();
    for (size_t k = 0; k < d.report.columns.size(); ++k) {
        if (d.report.columns[k] == "R/W") rw = k;
    }
    ASSERT_LT(rw, d.report.columns.size());
    std::vector<std::string> seen;
    for (const auto& row : d.report.rows) {
        if (!row.cells[rw].text.empty()) seen.push_back(row.cells[rw].text);
    }
    // Accesses still running when the capture ends are not complete.
    size_t complete = 0;
    for (const auto& a : g.Accesses()) complete += a.lastFrame >= 0 ? 1 : 0;
    ASSERT_GT(complete, 5u);
    ASSERT_GE(seen.size(), complete);
    for (size_t i = 0; i < complete; ++i) {
        EXPECT_EQ(seen[i], g.Accesses()[i].request.kind == bissgen::AccessKind::Read ? "Read" : "Write") << i;
    }
}

// Read from the file as the decode goes, the records and the report are those of the whole change
// list in memory: with the length detected (a first walk, then the decode from the start; in a
// capture of 12 frames the first walk reaches the end), with the range between two cursors or
// ending beyond the capture, and up to the end of a capture whose length the reader learns only
// there.
TEST_P(ZbhostEndToEnd, StreamedDecodeEqualsTheWholeList) {
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
        const std::string path = WriteCapture(c, GetParam());
        // The range also ends between the last change and the last sample, or beyond the capture.
        const std::string middle = std::to_string(c.lastSample / 2), late = std::to_string(c.lastSample - 1),
                          beyond = std::to_string(c.lastSample + 1000);
        const std::vector<std::vector<zbhost::SettingArg>> settings = {
            {{"data-length", "auto"}},
            {{"data-length", "auto"}, {"mode", "slave"}},
            {{"range-from", "A"}, {"range-to", "B"}, {"cursor", "A=" + middle}, {"cursor", "B=" + late}},
            {{"range-from", "A"}, {"cursor", "A=" + middle}, {"data-length", "auto"}},
            {{"range-to", "B"}, {"cursor", "B=" + beyond}, {"data-length", "auto"}},
        };
        for (const auto& s : settings) {
            zbhost::SampleSource whole(c);
            const Decoded want = Decode(whole, zbhost::ReportVia::Block, s);
            const Decoded got = Decode(*OpenSource(path), zbhost::ReportVia::Block, s);
            EXPECT_EQ(got.recordPositions, want.recordPositions) << frames << " frames, " << s[0].first;
            EXPECT_EQ(got.codes, want.codes);
            EXPECT_EQ(got.wire, want.wire);
        }
        std::remove(path.c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ZbhostEndToEnd, ::testing::Values("sr", "vcd", "csv", "bin"));

}  // namespace
