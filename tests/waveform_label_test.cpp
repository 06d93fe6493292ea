// Waveform labels through their host interface: which codes of the list are read, what comes back
// without a code or a buffer, labels cut to the host's buffer, and the Gray flags without a host
// record. The label and colour of every kind of record are golden data (tests/golden/labels_*).
#include "labels/waveform_label.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "abi/decoder_settings.h"
#include "abi/record_code.h"

namespace zb {
namespace {

class WaveformLabelTest : public testing::Test {
  protected:
    void SetUp() override {
        SettingsView view(&block_);
        view.ApplyDefaults();
        view.SetAutoLength(false);
        view.SetSingleTurnBits(8);  // 12 data bits: Multi-Turn 4, Single-Turn 8
        call_.Remember(&host_);
    }
    // Labels a code list into a guarded buffer; checks nothing is written past `size`.
    uint32_t Label(const std::vector<uint32_t>& codes, uint32_t count, uint32_t size = 64) {
        char buffer[96];
        std::memset(buffer, '#', sizeof buffer);
        const uint32_t colour =
            BuildWaveformLabel(call_, SettingsView(&block_), CodeList{count, codes.data()}, buffer, size);
        for (uint32_t i = size; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#') << i;
        text_ = buffer[0] == '#' ? "<untouched>" : std::string(buffer);
        return colour;
    }

    CallContext call_;
    HostRecord host_{};
    DecoderSettings block_{};
    std::string text_;
};

const std::vector<uint32_t> kTriple = {MakeCode(RecordKind::MultiTurnHigh),
                                       MakeCode(RecordKind::MultiTurnMid),
                                       MakeCode(RecordKind::MultiTurnLow, 5)};

// The codes after the first count only when the list holds three; more are never read.
TEST_F(WaveformLabelTest, TheCountDecidesWhichCodesAreRead) {
    const std::pair<uint32_t, const char*> rows[] = {
        {1, "Multi-Turn"}, {2, "Multi-Turn"}, {3, "Multi-Turn: 5"}, {0xFFFFFFFF, "Multi-Turn: 5"}};
    for (const auto& [count, text] : rows) {
        Label(kTriple, count);
        EXPECT_EQ(text_, text) << count;
    }
}

TEST_F(WaveformLabelTest, NoCodeOrNoBufferGivesNoColourAndTextsAreCut) {
    const std::vector<uint32_t> ack = {MakeCode(RecordKind::Ack)};
    EXPECT_EQ(Label(ack, 0), kNoColourIndex);
    EXPECT_EQ(text_, "");
    EXPECT_EQ(Label(ack, 1, 0), kNoColourIndex);
    EXPECT_EQ(text_, "<untouched>");
    char buffer[8] = "keep";
    EXPECT_EQ(BuildWaveformLabel(call_, SettingsView(&block_), CodeList{1, nullptr}, buffer, sizeof buffer),
              kNoColourIndex);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(BuildWaveformLabel(call_, SettingsView(&block_), CodeList{1, ack.data()}, nullptr, 64),
              kNoColourIndex);

    EXPECT_EQ(Label(kTriple, 3, 4), 5u);  // slot 3's default colour
    EXPECT_EQ(text_, "Mul");
    EXPECT_EQ(Label(ack, 1, 1), 0u);  // no room for text, still a colour
    EXPECT_EQ(text_, "");
}

// Values follow the Gray flags of the call's host record; without one the settings' copy of the
// host flags is used instead.
TEST_F(WaveformLabelTest, WithoutAHostRecordTheSettingsFlagsCount) {
    block_.hostFlags = HostFlag::kFromGray;
    call_.Remember(nullptr);
    Label({MakeCode(RecordKind::MultiTurnLow, 0x8)}, 1);
    EXPECT_EQ(text_, "F");
    EXPECT_EQ(call_.status, ReportStatusCode::NoHost);
}

}  // namespace
}  // namespace zb
