// The report step around its rows: the MA clock text, progress through the records, a stop request
// and an empty record list. The rows themselves are golden data (tests/golden/rows_*).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "abi/record_code.h"
#include "report/report_entry.h"
#include "report/report_rows.h"

namespace zb {
namespace {

std::vector<std::string> lines;
int endCalls = 0;

int32_t ZB_CALL Row(const char* text, uint32_t length) {
    if (text == nullptr) {
        ++endCalls;
    } else {
        lines.emplace_back(text, length);
    }
    return 1;
}

class ReportRows : public ::testing::Test {
  protected:
    void SetUp() override {
        lines.clear();
        endCalls = 0;
        host_.reportRow = &Row;
        host_.stopFlag = &stopWord_;
        call_.Remember(&host_);
        SettingsView(&settings_).ApplyDefaults();
    }
    // The report of these records (every record at position 0).
    void Build(const std::vector<uint32_t>& codes) {
        const std::vector<int64_t> positions(codes.size(), 0);
        BuildReport(call_, widths_, settings_, positions.data(), codes.data(), codes.size());
    }

    HostRecord host_{};
    CallContext call_;
    DecoderSettings settings_{};
    ColumnWidths widths_ = {};
    uint32_t stopWord_ = 0;
};

TEST(FormatClockText, Thresholds) {
    struct Case {
        uint64_t sampleRate;
        uint32_t period;
        const char* text;  // nullptr: no text
    } cases[] = {
        {9999999, 10, "MA 1000.000 kHz"},  // 999,999.9 Hz stays in kHz
        {1000000, 1, "MA 1.00 MHz"},
        {100000000, 3, "MA 33.33 MHz"},
        {9994, 10, "MA 999 Hz"},
        {1000, 1, "MA 1.000 kHz"},
        {0, 5, nullptr},
        {5, 0, nullptr},
    };
    for (const Case& c : cases) {
        char text[64] = {};
        EXPECT_EQ(FormatClockText(c.sampleRate, c.period, text, sizeof text), c.text != nullptr) << c.period;
        if (c.text != nullptr) {
            EXPECT_STREQ(text, c.text);
        }
    }
}

// The gate the record loop uses: the host sees 1000 * i / count at every record, as if progress
// were written for each one; at the end the last record's value.
TEST_F(ReportRows, ProgressFollowsTheRecords) {
    for (uint64_t count : {1ull, 3ull, 999ull, 1000ull, 1001ull, 4567ull}) {
        SetProgressRange(call_, 0, kProgressPerMille, static_cast<int64_t>(count));
        ProgressGate gate(call_, 0, static_cast<int64_t>(count));
        for (uint64_t i = 0; i < count; ++i) {
            if (static_cast<int64_t>(i) >= gate.Next()) gate.Report(static_cast<int64_t>(i));
            ASSERT_EQ(host_.progress, 1000 * i / count) << count << " at " << i;
        }
    }
    Build(std::vector<uint32_t>(7, MakeCode(RecordKind::Ack)));
    EXPECT_EQ(host_.progress, 1000u * 6 / 7);
}

// No records make no report. A stop request ends the record loop but the report still closes: the
// frame rows with their header only, the register rows with the note that no control data was seen.
TEST_F(ReportRows, NoRecordsOrAStopRequest) {
    Build({});
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(endCalls, 0);
    stopWord_ = 1;
    Build({MakeCode(RecordKind::Ack), MakeStatus(StatusCode::Idle)});
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(endCalls, 1);
    EXPECT_EQ(call_.reportWriter, nullptr);

    lines.clear();
    SettingsView(&settings_).SetMode(static_cast<uint32_t>(DecodeMode::RegisterSlave));
    Build({MakeCode(RecordKind::Idl, 0x1FF)});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("\"No control data\""), std::string::npos);
}

}  // namespace
}  // namespace zb
