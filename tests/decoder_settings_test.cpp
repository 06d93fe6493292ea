// Settings block rules: defaults, upgrades, clamps, packed fields and derived values.
#include "plugin/decoder_settings.h"

#include <gtest/gtest.h>

namespace zb {
namespace {

TEST(DecoderSettings, ZeroBlockNormalisesToDefaults) {
    DecoderSettings block{};
    SettingsView view(&block);
    view.Normalise();
    EXPECT_EQ(block.settingsState, 9);
    EXPECT_EQ(view.Mode(), 2u);
    EXPECT_EQ(view.DataLength(), 12);
    EXPECT_TRUE(view.AutoLength());
    EXPECT_EQ(view.ColourSlot(8), 13u);
}

}  // namespace
}  // namespace zb
