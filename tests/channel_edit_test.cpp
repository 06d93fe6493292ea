// The channel edit's character filter and focus-loss tidy-up, and the display text of channel
// numbers in the plain and letter-and-number forms (window-free parts; the bound selector is
// driven through the headless dialog in native/dialog_channels_test.cpp).
#include "dialog/channel_edit.h"

#include <gtest/gtest.h>

#include <string>

#include "abi/host_record.h"

namespace {

using zb::ChannelSelector;
using zb::ZbChCEdit;

struct CharCase {
    bool letters;
    int position;
    std::string allowed;  // every character of 0..127 not listed here must be dropped
};

TEST(ChannelEdit, CharacterFilterByModeAndPosition) {
    const std::string digits = "0123456789";
    const CharCase cases[] = {
        {true, 0, "ABab"},
        {true, 1, digits + "ABab"},
        {true, 2, "\b" + digits + "ABab"},
        {true, 7, "\b" + digits + "ABab"},
        {false, 0, "\b" + digits},
        {false, 3, "\b" + digits},
    };
    for (const CharCase& c : cases) {
        for (unsigned ch = 0; ch < 128; ++ch) {
            const bool expected = c.allowed.find(static_cast<char>(ch)) != std::string::npos;
            EXPECT_EQ(ZbChCEdit::IsCharAllowed(c.letters, c.position, ch), expected)
                << "letters=" << c.letters << " pos=" << c.position << " ch=" << ch;
        }
    }
}

struct TidyCase {
    bool letters;
    uint32_t count;
    std::string in, out;
};

TEST(ChannelEdit, FocusLossTidyUp) {
    const TidyCase cases[] = {
        {true, 16, "", "A0"},
        {false, 16, "", "0"},
        {true, 64, "c7", "A7"},
        {true, 64, "12", "A2"},
        {true, 64, "b40", "B40"},  // the number is checked against the count, not the group
        {true, 64, "B40", "B40"},
        {true, 64, "a", "A0"},
        {false, 16, "99", "15"},
        {false, 16, "  7x", "7"},
        {false, 16, "-4", "0"},
        {false, 0, "5", "0"},  // a count of 0 forces every number to 0
        {false, zb::kNoChannelLimit, "70000", "70000"},
        {false, 16, "99999999999", "15"},
        {true, 32, "Bz", "B0"},
    };
    for (const TidyCase& c : cases) {
        EXPECT_EQ(ZbChCEdit::TidyText(c.letters, c.count, c.in), c.out) << c.in;
    }
}

TEST(ChannelEdit, MembersStartUnlimitedAndPlain) {
    ZbChCEdit edit;
    EXPECT_FALSE(edit.LetterMode());
    EXPECT_EQ(edit.ChannelCount(), 0xFFFFFFFFu);
}

struct FormatCase {
    uint32_t flags;
    int32_t channel;
    const char* text;
};

TEST(ChannelSelector, DisplayTextOfChannels) {
    using zb::HostFlag::kChannelLetters;
    using zb::HostFlag::kLettersFromB;
    const FormatCase cases[] = {
        {0, 5, "5"},
        {kLettersFromB, 5, "5"},  // bit 11 alone changes nothing
        {kChannelLetters, 5, "A5"},
        {kChannelLetters | kLettersFromB, 5, "B5"},
        {kChannelLetters, 0, "A0"},
        {kChannelLetters, 31, "A31"},
        {kChannelLetters, 32, "B0"},
        {kChannelLetters, 40, "B8"},
        {kChannelLetters, 63, "B31"},
        {kChannelLetters | kLettersFromB, 32, "C0"},
    };
    for (const FormatCase& c : cases) {
        ChannelSelector selector;
        selector.Bind(nullptr, nullptr, 128, c.flags);
        char buffer[16] = "unchanged";
        selector.FormatChannel(c.channel, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, c.text) << c.flags << " " << c.channel;
    }
}

TEST(ChannelSelector, FormatCutsToBufferAndIgnoresMissingBuffer) {
    ChannelSelector selector;
    selector.Bind(nullptr, nullptr, 0, zb::HostFlag::kChannelLetters);
    char buffer[3] = {'x', 'x', 'x'};
    selector.FormatChannel(40, buffer, 0);
    EXPECT_EQ(buffer[0], 'x');
    selector.FormatChannel(40, nullptr, 3);
    selector.FormatChannel(40, buffer, 2);
    EXPECT_STREQ(buffer, "B");
}

TEST(ChannelSelector, HighestChannelFromCount) {
    const std::pair<uint32_t, int32_t> cases[] = {{0, 255}, {1, 0}, {16, 15}, {256, 255}, {1000, 999}};
    for (const auto& [count, highest] : cases) {
        ChannelSelector selector;
        selector.Bind(nullptr, nullptr, count, 0);
        EXPECT_EQ(selector.HighestChannel(), highest) << count;
        int32_t n = 99;
        EXPECT_FALSE(selector.ParseChannel(n));  // no edit
        EXPECT_EQ(n, 99);
        EXPECT_EQ(selector.GetChannel(), 0);  // no edit, no spin
    }
}

}  // namespace
