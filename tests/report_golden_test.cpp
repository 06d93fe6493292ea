// Golden files for whole decodes: generated captures (single-cycle frames in every layout and value
// format, a three-slave chain, broken frames, register reads, writes, bursts, commands and refusals
// in both views and with 8 and 16 data columns) are decoded and reported; the records with their
// waveform labels and the report text must equal tests/golden/<name>.txt byte for byte.
// ZB_UPDATE_GOLDEN=1 rewrites the files (see tests/golden/README.md).
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bissgen/generator.h"
#include "engine/decode_engine.h"
#include "labels/waveform_label.h"
#include "report/report_entry.h"
#include "support/golden_file.h"
#include "support/golden_scenarios.h"
#include "support/memory_host.h"

namespace zbtest {
namespace {

void ApplyScenario(const ScenarioSettings& st, zb::SettingsView& view, zb::DecoderSettings& block) {
    view.SetMode(st.mode);
    view.SetProtocol(st.protocol);
    view.SetDataLength(st.dataLength);
    view.SetSingleTurnBits(st.singleTurnBits);
    view.SetAlignmentBits(st.alignmentBits);
    view.SetCrcBits(st.crcBits);
    view.SetCrcPolynomial(st.crcPolynomial);
    view.SetCrcInitial(st.crcInitial);
    view.SetCombineTurns(st.combineTurns);
    view.SetAutoLength(st.autoLength);
    view.SetRegisterColumns(st.registerColumns);
    view.SetDataChannels(st.slaves - 1);
    block.hostValueFormat = st.hostValueFormat;
}

// Decodes the scenario's capture as Analysis does, with the report through the row callback, and
// renders the records (position, code, label colour, label) and the report lines.
std::string RenderScenario(const GoldenScenario& scenario, std::vector<std::string>* reportLines) {
    const bissgen::Capture capture = scenario.capture();
    MemoryHost host(capture);
    host.UseReportCallback(true);
    zb::DecoderSettings block{};
    zb::CopySettingsIn(host.Record(), block);
    zb::SettingsView view(&block);
    view.ApplyDefaults();
    ApplyScenario(scenario.settings, view, block);
    host.Record().hostValueFormat = block.hostValueFormat;

    zb::CallContext call;
    zb::DecodeEngine engine(call);
    call.Remember(&host.Record());
    const int64_t* positions = nullptr;
    const uint32_t* codes = nullptr;
    const uint32_t count = zb::AnalyseCapture(engine, &block, &positions, &codes);
    zb::ColumnWidths widths = {};
    zb::BuildReport(call, widths, block, positions, codes, count);

    std::string out = "# " + scenario.name + ": " + scenario.description + "\n";
    out += "# records: position code colour label\n";
    for (uint32_t i = 0; i < count; ++i) {
        char label[160] = {};
        const uint32_t listCount = count - i < 3 ? count - i : 3;
        const uint32_t colour =
            zb::BuildWaveformLabel(call, view, zb::CodeList{listCount, codes + i}, label, sizeof label);
        char line[256];
        std::snprintf(line, sizeof line, "%lld %08X %u %s\n", static_cast<long long>(positions[i]), codes[i],
                      colour, label);
        out += line;
    }
    out += "# report (every line ends in CR LF, not shown)\n";
    for (const std::string& l : host.ReportLines()) {
        out += l.size() >= 2 ? l.substr(0, l.size() - 2) : l;
        out += "\n";
    }
    if (reportLines != nullptr) *reportLines = host.ReportLines();
    EXPECT_TRUE(host.ReportEnded()) << scenario.name;
    return out;
}

class ReportGolden : public ::testing::TestWithParam<GoldenScenario> {};

TEST_P(ReportGolden, RecordsLabelsAndReportMatch) {
    const GoldenScenario& scenario = GetParam();
    std::vector<std::string> lines;
    const std::string actual = RenderScenario(scenario, &lines);
    ASSERT_FALSE(lines.empty());
    for (const std::string& l : lines) {
        ASSERT_GE(l.size(), 2u);
        EXPECT_EQ(l.substr(l.size() - 2), "\r\n");
        EXPECT_EQ(l.find_first_of("\r\n"), l.size() - 2) << l;
    }
    const std::string problem =
        CompareWithGolden(std::string(ZB_GOLDEN_DIR) + "/" + scenario.name + ".txt", actual);
    EXPECT_TRUE(problem.empty()) << problem;
}

INSTANTIATE_TEST_SUITE_P(Captures, ReportGolden, ::testing::ValuesIn(GoldenScenarios()),
                         [](const ::testing::TestParamInfo<GoldenScenario>& info) {
                             return info.param.name;
                         });

TEST(GoldenDiff, ShowsChangedLinesWithContext) {
    std::vector<std::string> a;
    for (int i = 1; i <= 20; ++i) a.push_back(std::to_string(i));
    std::vector<std::string> b = a;
    b[5] = "six";
    b.push_back("21");
    EXPECT_EQ(UnifiedDiff(a, b),
              "@@ -3 +3 @@\n 3\n 4\n 5\n-6\n+six\n 7\n 8\n 9\n@@ -18 +18 @@\n 18\n 19\n 20\n+21\n");
    // Changes six lines apart share one hunk.
    b = a;
    b[5] = "six";
    b[12] = "thirteen";
    EXPECT_EQ(UnifiedDiff(a, b),
              "@@ -3 +3 @@\n 3\n 4\n 5\n-6\n+six\n 7\n 8\n 9\n 10\n 11\n 12\n-13\n+thirteen\n"
              " 14\n 15\n 16\n");
    EXPECT_EQ(UnifiedDiff(a, a), "");
}

}  // namespace
}  // namespace zbtest
