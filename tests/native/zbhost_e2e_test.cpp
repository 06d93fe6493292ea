// End to end through zbhost's host side: generator traffic -> capture file (sigrok session, VCD,
// CSV) -> reader -> the built plug-in driven through its exports, as zbhost drives it -> records
// and report compared with what the generator sent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "abi/record_code.h"
#include "bissgen/srzip.h"
#include "bissgen/vcd.h"
#include "capture_readers.h"
#include "capture_writers.h"
#include "host_session.h"
#include "host_settings.h"
#include "plugin_library.h"
#include "report_table.h"
#include "traffic.h"

namespace {

struct Decoded {
    std::vector<std::pair<uint64_t, uint64_t>> positions;  // (multi-turn, single-turn) per frame
    zbhost::ReportTable report;
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

    Decoded Decode(const bissgen::Capture& capture, zbhost::ReportVia via,
                   const std::vector<zbhost::SettingArg>& extra = {}) {
        Decoded out;
        const std::string dir = TempDir();
        plugin_.Exports().SetMsgInfo(0, dir.c_str());
        zbhost::HostSession session(plugin_.Exports(), capture);
        zbhost::HostSettings settings;
        std::string error;
        std::vector<zbhost::SettingArg> args = {{"data-length", "25"}, {"st-bits", "13"}};
        args.insert(args.end(), extra.begin(), extra.end());
        for (const auto& a : args) EXPECT_TRUE(settings.Apply(a, error)) << error;
        settings.StoreInto(session.Record());
        EXPECT_TRUE(session.Analyse(via, error)) << error;
        using zb::RecordKind;
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

bissgen::Capture WriteAndRead(const bissgen::Capture& c, const std::string& ext) {
    const std::string path = TempDir() + "zbhost_e2e_" + std::to_string(getpid()) + "." + ext;
    std::string error;
    if (ext == "sr") {
        EXPECT_TRUE(bissgen::WriteSrzip(path, c, &error)) << error;
    } else {
        std::ofstream out(path, std::ios::binary);
        if (ext == "vcd")
            bissgen::WriteVcd(out, c);
        else
            zbhost::WriteCsvTransitions(c, out);
    }
    zbhost::ReadOptions o;
    o.ma = "MA";
    o.slo = "SLO";
    o.sampleRate = 200000000;
    bissgen::Capture back = zbhost::ReadCapture(path, zbhost::CaptureFormat::Auto, o);
    std::remove(path.c_str());
    return back;
}

TEST_P(ZbhostEndToEnd, PositionsAndReportMatchTheGenerator) {
    zbhost::BulkTraffic spec;
    spec.frames = 60;
    spec.minSamples = 0;
    spec.registerEvery = 0;
    const bissgen::Generator g = zbhost::MakeBulkTraffic(spec);
    const bissgen::Capture generated = g.Finish();
    const bissgen::Capture capture = WriteAndRead(generated, GetParam());
    ASSERT_EQ(capture.changes.size(), generated.changes.size());
    ASSERT_EQ(capture.lastSample, generated.lastSample);

    const Decoded d = Decode(
        capture, std::string(GetParam()) == "csv" ? zbhost::ReportVia::Callback : zbhost::ReportVia::Block);
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
    const bissgen::Capture capture = WriteAndRead(g.Finish(), GetParam());
    const Decoded d = Decode(capture, zbhost::ReportVia::Block, {{"mode", "master"}});
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

INSTANTIATE_TEST_SUITE_P(Formats, ZbhostEndToEnd, ::testing::Values("sr", "vcd", "csv"));

}  // namespace
