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
#include "report/report_columns.h"
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
    view.SetValueType(st.valueType);
    for (uint32_t k = 0; k < st.colourSlots.size(); ++k) view.SetColourSlot(k, st.colourSlots[k]);
    block.hostValueFormat = st.hostValueFormat;
    block.hostFlags = st.hostFlags;
}

// A record's waveform label in the form the settings ask for: "colour label".
std::string Label(zb::CallContext& call, zb::DecoderSettings block, uint32_t flags, const uint32_t* codes,
                  uint32_t count) {
    block.hostFlags = flags;
    char label[160] = {};
    const uint32_t colour = zb::BuildWaveformLabel(call, zb::SettingsView(&block), zb::CodeList{count, codes},
                                                   label, sizeof label);
    return std::to_string(colour) + " " + label;
}

// Decodes the scenario's capture as Analysis does, or takes its record list, makes the report
// through the row callback, and renders the records (position, code, label colour, label; a record
// list shows the long and the short label) and the report lines.
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
    host.Record().hostFlags = block.hostFlags;

    zb::CallContext call;
    zb::DecodeEngine engine(call);
    call.Remember(&host.Record());
    const int64_t* positions = scenario.positions.data();
    const uint32_t* codes = scenario.codes.data();
    uint32_t count = static_cast<uint32_t>(scenario.codes.size());
    const bool listed = count > 0;
    if (!listed) count = zb::AnalyseCapture(engine, &block, &positions, &codes);
    zb::ColumnWidths widths = {};
    zb::BuildReport(call, widths, block, positions, codes, count);

    std::string out = "# " + scenario.name + ": " + scenario.description + "\n";
    out += listed ? "# records: position code colour long label | short label\n"
                  : "# records: position code colour label\n";
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t listCount = count - i < 3 ? count - i : 3;
        out += std::to_string(positions[i]);
        char code[16];
        std::snprintf(code, sizeof code, " %08X ", codes[i]);
        out += code + Label(call, block, block.hostFlags, codes + i, listCount);
        if (listed) {
            const std::string shortLabel =
                Label(call, block, block.hostFlags | zb::HostFlag::kShortLabels, codes + i, listCount);
            out += " | " + shortLabel.substr(shortLabel.find(' ') + 1);
        }
        out += "\n";
    }
    if (listed) {  // the column header the host asks for, and the column widths it draws
        char header[512];
        zb::BuildColumnHeader(block, header, sizeof header);
        out += std::string("# columns: ") + header + "\n# widths:";
        for (uint32_t i = 0; widths[i] != 0; ++i) out += " " + std::to_string(widths[i]);
        out += "\n";
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

std::vector<GoldenScenario> AllCases() {
    std::vector<GoldenScenario> all = GoldenScenarios();
    for (GoldenScenario& c : GoldenScenarios(GoldenDirectory(), nullptr, "records.conf")) all.push_back(c);
    return all;
}

INSTANTIATE_TEST_SUITE_P(Captures, ReportGolden, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<GoldenScenario>& info) {
                             return info.param.name;
                         });

TEST(GoldenCases, TheCaseFilesRead) {
    for (const char* name : {"cases.conf", "records.conf"}) {
        std::string error;
        EXPECT_FALSE(GoldenScenarios(GoldenDirectory(), &error, name).empty()) << name;
        EXPECT_EQ(error, "") << name;
    }
}

}  // namespace
}  // namespace zbtest
