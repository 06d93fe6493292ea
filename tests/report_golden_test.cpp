// The one runner of the golden cases (tests/golden/cases.conf): each case's generated capture is
// decoded and reported as Analysis does; the records with their waveform labels and the report
// text must equal tests/golden/<name>.txt byte for byte. ZB_UPDATE_GOLDEN=1 rewrites the files
// (see tests/golden/README.md).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

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

TEST(GoldenCases, TheCaseFileReads) {
    std::string error;
    EXPECT_FALSE(GoldenScenarios(GoldenDirectory(), &error).empty());
    EXPECT_EQ(error, "");
}

}  // namespace
}  // namespace zbtest
