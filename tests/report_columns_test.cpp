// Report columns: the header text and the width table for every layout, the register-column count,
// the fixed table address the host keeps, and headers cut to tiny buffers.
#include "report/report_columns.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "abi/decoder_settings.h"
#include "plugin/module_state.h"

namespace zb {
namespace {

struct LayoutCase {
    uint32_t mode;
    int32_t protocol;
    bool combine;
    uint32_t registerColumns;
    ColumnLayout layout;
    std::string header;
    std::vector<uint32_t> widths;
};

std::string DataNames(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += ",D" + std::to_string(i);
    return s;
}
std::vector<uint32_t> Widths(std::vector<uint32_t> head, int dataColumns) {
    head.insert(head.end(), dataColumns, 75);
    head.push_back(500);
    return head;
}

DecoderSettings Settings(uint32_t mode, int32_t protocol, bool combine, uint32_t registerColumns) {
    DecoderSettings block{};
    SettingsView view(&block);
    view.ApplyDefaults();
    view.SetMode(mode);
    view.SetProtocol(protocol);
    view.SetCombineTurns(combine);
    view.SetRegisterColumns(registerColumns);
    return block;
}

const std::string kMaster = "Clock,CTS,ID(IDS),ADR(CMD),Hdr CRC(h),R/W";
const std::string kSlave = "Clock,IDL(h),R/W";

const std::vector<LayoutCase>& Cases() {
    static const std::vector<LayoutCase> cases = {
        {2,
         0,
         false,
         8,
         ColumnLayout::FrameCSeparate,
         "Clock,CDS,Multi-Turn,Single-Turn,nError,nWarning,CRC,CDM,Information",
         {40, 130, 130, 60, 75, 60, 40, 500}},
        {2,
         0,
         true,
         8,
         ColumnLayout::FrameCCombined,
         "Clock,CDS,Data,nError,nWarning,CRC,CDM,Information",
         {40, 130, 60, 75, 60, 40, 500}},
        {2,
         1,
         false,
         16,
         ColumnLayout::FrameBSeparate,
         "Clock,Multi-Turn,Single-Turn,nError,nWarning,CRC,CDM,Information",
         {130, 130, 60, 75, 60, 40, 500}},
        {2,
         1,
         true,
         8,
         ColumnLayout::FrameBCombined,
         "Clock,Data,nError,nWarning,CRC,CDM,Information",
         {130, 60, 75, 60, 40, 500}},
        // Any protocol but BiSS-B counts as BiSS-C; any mode but the two register views is SCD.
        {2,
         7,
         true,
         8,
         ColumnLayout::FrameCCombined,
         "Clock,CDS,Data,nError,nWarning,CRC,CDM,Information",
         {40, 130, 60, 75, 60, 40, 500}},
        {9,
         -1,
         false,
         8,
         ColumnLayout::FrameCSeparate,
         "Clock,CDS,Multi-Turn,Single-Turn,nError,nWarning,CRC,CDM,Information",
         {40, 130, 130, 60, 75, 60, 40, 500}},
        // The register views ignore protocol and combined turns.
        {0, 0, false, 8, ColumnLayout::RegisterMaster, kMaster + DataNames(8) + ",Information",
         Widths({40, 70, 75, 90, 130}, 8)},
        {0, 1, true, 16, ColumnLayout::RegisterMaster, kMaster + DataNames(16) + ",Information",
         Widths({40, 70, 75, 90, 130}, 16)},
        {1, 0, false, 8, ColumnLayout::RegisterSlave, kSlave + DataNames(8) + ",Information",
         Widths({60, 130}, 8)},
        {1, 1, true, 16, ColumnLayout::RegisterSlave, kSlave + DataNames(16) + ",Information",
         Widths({60, 130}, 16)},
    };
    return cases;
}

class ReportColumnsTest : public testing::Test {
  protected:
    ColumnWidths table_ = {};
};

TEST_F(ReportColumnsTest, EveryLayout) {
    for (const LayoutCase& c : Cases()) {
        SCOPED_TRACE(c.header);
        const DecoderSettings block = Settings(c.mode, c.protocol, c.combine, c.registerColumns);
        EXPECT_EQ(LayoutFor(block), c.layout);

        char text[512];
        BuildColumnHeader(block, text, sizeof text);
        EXPECT_EQ(std::string(text), c.header);

        RefreshColumnWidths(block, table_);
        std::vector<uint32_t> widths(table_, table_ + c.widths.size());
        EXPECT_EQ(widths, c.widths);
        EXPECT_EQ(table_[c.widths.size()], 0u);

        const ColumnList list = ReportColumns(block);
        ASSERT_EQ(list.count, c.widths.size());
        std::string joined = "Clock";
        for (uint32_t i = 0; i < list.count; ++i) joined += std::string(",") + list.names[i];
        EXPECT_EQ(joined, c.header);
    }
}

// The table starts with the default layout's widths, and a smaller layout after a larger one ends
// with 0 right after its own widths.
TEST_F(ReportColumnsTest, RefreshRewritesAndTerminates) {
    const uint32_t defaults[] = {40, 130, 130, 60, 75, 60, 40, 500, 0};
    const ModuleState atLoad;  // a fresh module: the table as the host finds it at load
    EXPECT_EQ(std::memcmp(atLoad.columnWidthTable, defaults, sizeof defaults), 0);

    RefreshColumnWidths(Settings(0, 0, false, 16), table_);
    EXPECT_EQ(table_[20], 75u);  // D15
    EXPECT_EQ(table_[21], 500u);
    EXPECT_EQ(table_[22], 0u);

    RefreshColumnWidths(Settings(0, 0, false, 8), table_);
    EXPECT_EQ(table_[13], 500u);
    EXPECT_EQ(table_[14], 0u);
}

TEST_F(ReportColumnsTest, HeaderCutToBuffer) {
    const DecoderSettings block = Settings(2, 1, true, 8);
    const std::string full = "Clock,Data,nError,nWarning,CRC,CDM,Information";
    for (int32_t size :
         {1, 2, 6, 7, 11, static_cast<int32_t>(full.size()), static_cast<int32_t>(full.size() + 1)}) {
        char text[64];
        std::memset(text, '#', sizeof text);
        BuildColumnHeader(block, text, size);
        EXPECT_EQ(std::string(text), full.substr(0, size - 1)) << size;
        for (int32_t i = size; i < static_cast<int32_t>(sizeof text); ++i) ASSERT_EQ(text[i], '#') << size;
    }
    for (int32_t size : {0, -1, -4096}) {
        char text[4] = "xyz";
        BuildColumnHeader(block, text, size);
        EXPECT_STREQ(text, "xyz");
    }
    BuildColumnHeader(block, nullptr, 64);
}

}  // namespace
}  // namespace zb
