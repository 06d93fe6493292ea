// ConfigDialog of the native library, loaded with dlopen as a host would: with no window system it
// shows nothing, brings the settings up to date (defaults for a record never initialised, version
// upgrades otherwise), leaves them otherwise unchanged and reports Cancel (dialogResult 2).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "abi/decoder_settings.h"
#include "abi/host_record.h"

namespace {

using ConfigDialogFn = void (*)(zb::HostRecord*);

class ConfigDialogExport : public ::testing::Test {
  protected:
    void SetUp() override {
        library_ = dlopen(ZB_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        configDialog_ = reinterpret_cast<ConfigDialogFn>(dlsym(library_, "ConfigDialog"));
        ASSERT_NE(configDialog_, nullptr);
    }
    void TearDown() override {
        if (library_) dlclose(library_);
    }
    void* library_ = nullptr;
    ConfigDialogFn configDialog_ = nullptr;
};

TEST_F(ConfigDialogExport, NeverInitialisedRecordGetsDefaultsAndCancel) {
    zb::HostRecord record{};
    record.captureChannelCount = 16;
    record.dialogResult = 1;
    configDialog_(&record);
    EXPECT_EQ(record.settingsState, 9);
    EXPECT_EQ(record.dialogResult, 2u);
    EXPECT_EQ(record.captureChannelCount, 16u);

    zb::DecoderSettings expected{};
    zb::SettingsView(&expected).ApplyDefaults();
    EXPECT_EQ(std::memcmp(record.decoderWords,
                          reinterpret_cast<const uint8_t*>(&expected) + zb::kDecoderWordsOffset,
                          zb::kDecoderWordsSize),
              0);
    EXPECT_EQ(record.channelTable[0], 0u);
    EXPECT_EQ(record.channelTable[1], 1u);
}

TEST_F(ConfigDialogExport, InitialisedSettingsOnlyUpgraded) {
    zb::HostRecord record{};
    zb::DecoderSettings block{};
    zb::SettingsView v(&block);
    v.ApplyDefaults();
    v.SetDataLength(20);
    v.SetCombineTurns(true);
    v.SetVersion(1);
    block.channelTable[0] = 7;
    block.channelTable[5] = 99;
    zb::CopySettingsOut(block, record);
    record.reportBlockName[0] = 'x';
    configDialog_(&record);
    EXPECT_EQ(record.settingsState, 9);
    EXPECT_EQ(record.dialogResult, 2u);
    zb::DecoderSettings after{};
    zb::CopySettingsIn(record, after);
    zb::SettingsView a(&after);
    EXPECT_EQ(a.DataLength(), 20);
    EXPECT_FALSE(a.CombineTurns());  // the version-1 upgrade
    EXPECT_EQ(after.channelTable[0], 7u);
    EXPECT_EQ(after.channelTable[5], 99u);
    EXPECT_EQ(record.reportBlockName[0], 'x');
}

TEST_F(ConfigDialogExport, NullRecordDoesNothing) {
    configDialog_(nullptr);
}

}  // namespace
