// DataConv through the built plug-in, loaded with dlopen as a host loads it: bare codes and code
// lists, the colour fields of the host record, tiny buffers, and the settings written back.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "abi/decoder_settings.h"
#include "abi/host_record.h"
#include "abi/record_code.h"

namespace zb {
namespace {

using DataConvFn = uint32_t (*)(HostRecord*, uint64_t, char*, uint32_t);

constexpr uint32_t kSentinelColour = 0xA5A5A5A5;
constexpr uint32_t kRed = 0x003333E1, kWhite = 0x00FFFFFF, kSkyBlue = 0x00FFCC00, kBlack = 0;

class DataConvExport : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        library_ = dlopen(ZB_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        dataConv_ = reinterpret_cast<DataConvFn>(dlsym(library_, "DataConv"));
        ASSERT_NE(dataConv_, nullptr) << dlerror();
    }
    static void TearDownTestSuite() {
        if (library_ != nullptr) dlclose(library_);
        library_ = nullptr;
    }

    // A record with default settings, Ack coloured red (slot 0 = 14) and Start sky blue (slot 1 = 13).
    void SetUp() override {
        ASSERT_NE(dataConv_, nullptr);
        DecoderSettings block{};
        SettingsView view(&block);
        view.ApplyDefaults();
        view.SetAutoLength(false);
        view.SetColourSlot(0, 14);
        view.SetColourSlot(1, 13);
        CopySettingsOut(block, record_);
        record_.hostFlags = HostFlag::kUtf8;
        record_.dialogResult = 77;
        record_.labelTextColour = kSentinelColour;
        record_.labelBackColour = kSentinelColour;
        record_.labelColourMask = kSentinelColour;
    }

    std::string Call(uint64_t codeOrList, uint32_t size = 64) {
        std::memset(text_, '#', sizeof text_);
        EXPECT_EQ(dataConv_(&record_, codeOrList, text_, size), 1u);
        for (size_t i = size; i < sizeof text_; ++i) EXPECT_EQ(text_[i], '#') << i;
        return text_[0] == '#' ? "<untouched>" : std::string(text_);
    }
    static uint64_t ListArgument(const uint32_t* list) { return reinterpret_cast<uintptr_t>(list); }

    static void* library_;
    static DataConvFn dataConv_;
    HostRecord record_{};
    char text_[80];
};

void* DataConvExport::library_ = nullptr;
DataConvFn DataConvExport::dataConv_ = nullptr;

TEST_F(DataConvExport, BareCodeUsesLow32BitsAndColours) {
    EXPECT_EQ(Call(0xDEADBEEF00000000ull | MakeCode(RecordKind::Ack)), "ACK");
    EXPECT_EQ(record_.labelColourMask, 24u);
    EXPECT_EQ(record_.labelBackColour, kRed);
    EXPECT_EQ(record_.labelTextColour, kWhite);

    EXPECT_EQ(Call(MakeCode(RecordKind::Start)), "Start");
    EXPECT_EQ(record_.labelBackColour, kSkyBlue);
    EXPECT_EQ(record_.labelTextColour, kBlack);

    // A bare code is a list of one: the first record of a triple shows its name only.
    EXPECT_EQ(Call(MakeCode(RecordKind::MultiTurnHigh)), "Multi-Turn");
}

TEST_F(DataConvExport, CodeList) {
    record_.hostFlags |= HostFlag::kCodeList;
    const uint32_t list[] = {3, MakeCode(RecordKind::MultiTurnHigh), MakeCode(RecordKind::MultiTurnMid),
                             MakeCode(RecordKind::MultiTurnLow, 5)};
    EXPECT_EQ(Call(ListArgument(list)), "Multi-Turn: 5");
    EXPECT_EQ(record_.labelColourMask, 24u);

    record_.hostFlags |= HostFlag::kShortLabels;
    EXPECT_EQ(Call(ListArgument(list)), "5");

    // A count far beyond the codes given: only three codes are ever read.
    const uint32_t huge[] = {0xFFFFFFFF, MakeCode(RecordKind::Crc, 0x105), 0, 0};
    EXPECT_EQ(Call(ListArgument(huge)), "05");
    EXPECT_EQ(record_.labelBackColour, kRed);
}

TEST_F(DataConvExport, NoCodeGivesNoColour) {
    record_.hostFlags |= HostFlag::kCodeList;
    EXPECT_EQ(Call(0), "");
    EXPECT_EQ(record_.labelColourMask, 0u);
    EXPECT_EQ(record_.labelBackColour, kSentinelColour);

    const uint32_t empty[] = {0, MakeCode(RecordKind::Ack)};
    EXPECT_EQ(Call(ListArgument(empty)), "");
    EXPECT_EQ(record_.labelColourMask, 0u);
    EXPECT_EQ(record_.labelTextColour, kSentinelColour);
}

TEST_F(DataConvExport, TinyBuffers) {
    // Size 0: no text, mask 0, colours unchanged.
    EXPECT_EQ(Call(MakeCode(RecordKind::Ack), 0), "<untouched>");
    EXPECT_EQ(record_.labelColourMask, 0u);
    EXPECT_EQ(record_.labelBackColour, kSentinelColour);
    EXPECT_EQ(record_.labelTextColour, kSentinelColour);

    // Size 1: only the terminator fits, but the label still has its colour.
    EXPECT_EQ(Call(MakeCode(RecordKind::Ack), 1), "");
    EXPECT_EQ(record_.labelColourMask, 24u);
    EXPECT_EQ(record_.labelBackColour, kRed);

    EXPECT_EQ(Call(MakeStatus(StatusCode::Timeout, 3), 5), "Time");

    record_.labelColourMask = kSentinelColour;
    EXPECT_EQ(dataConv_(&record_, MakeCode(RecordKind::Ack), nullptr, 64), 1u);
    EXPECT_EQ(record_.labelColourMask, 0u);
}

TEST_F(DataConvExport, SettingsComeBackUnchanged) {
    HostRecord before = record_;
    EXPECT_EQ(Call(MakeCode(RecordKind::Ack)), "ACK");
    EXPECT_EQ(record_.dialogResult, 2u);
    EXPECT_EQ(std::memcmp(record_.decoderWords, before.decoderWords, sizeof before.decoderWords), 0);
    EXPECT_EQ(std::memcmp(record_.channelTable, before.channelTable, sizeof before.channelTable), 0);
    EXPECT_EQ(record_.settingsState, before.settingsState);
    EXPECT_EQ(record_.hostFlags, before.hostFlags);
}

// A never-initialised record is labelled as it is (its colour slots read 0) and not normalised.
TEST_F(DataConvExport, UninitialisedSettingsAreNotNormalised) {
    HostRecord blank{};
    blank.hostFlags = HostFlag::kUtf8;
    char text[16];
    EXPECT_EQ(dataConv_(&blank, MakeCode(RecordKind::Crc, 0x05), text, sizeof text), 1u);
    EXPECT_STREQ(text, "CRC:05");
    EXPECT_EQ(blank.labelBackColour, 0x0000FF00u);  // green: the CRC matched
    EXPECT_EQ(blank.settingsState, 0u);
}

TEST_F(DataConvExport, NullHostTouchesNothing) {
    char text[8] = "keep";
    EXPECT_EQ(dataConv_(nullptr, MakeCode(RecordKind::Ack), text, sizeof text), 1u);
    EXPECT_STREQ(text, "keep");
}

}  // namespace
}  // namespace zb
