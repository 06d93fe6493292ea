// Report columns through the host's width table and header text: the table the host finds at load,
// a smaller layout after a larger one ending right after its widths, and the header cut to the
// caller's buffer. The header and widths of every layout are golden data (tests/golden/rows_* and
// labels_*, "# columns" and "# widths").
#include "report/report_columns.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "abi/decoder_settings.h"
#include "plugin/module_state.h"

namespace zb {
namespace {

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

TEST(ReportColumns, TheWidthTableAtLoadAndAfterARefresh) {
    const uint32_t defaults[] = {40, 130, 130, 60, 75, 60, 40, 500, 0};
    const ModuleState atLoad;  // a fresh module: the table as the host finds it at load
    EXPECT_EQ(std::memcmp(atLoad.columnWidthTable, defaults, sizeof defaults), 0);

    ColumnWidths table = {};
    RefreshColumnWidths(Settings(0, 0, false, 16), table);
    EXPECT_EQ(table[21], 500u);
    EXPECT_EQ(table[22], 0u);
    RefreshColumnWidths(Settings(0, 0, false, 8), table);
    EXPECT_EQ(table[13], 500u);
    EXPECT_EQ(table[14], 0u);
}

TEST(ReportColumns, HeaderCutToBuffer) {
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
