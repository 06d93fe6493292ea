// The settings dialog's window-free rules, in both builds: decimal texts read with saturation, the
// channel edit's character filter by mode and caret position, and channel texts cut to a buffer.
// The dialog itself is driven headless by the scripts in tests/dialog/ (native/dialog_script_test).
#include <gtest/gtest.h>

#include <string>

#include "abi/host_record.h"
#include "dialog/channel_edit.h"
#include "dialog/text_number.h"

namespace {

TEST(DialogText, DecimalReading) {
    const std::pair<const char*, int32_t> cases[] = {
        {"12", 12},
        {"  7", 7},
        {"\t-5x", -5},
        {"+9", 9},
        {"-", 0},
        {"abc", 0},
        {"3 4", 3},
        {"0012", 12},
        {"-0", 0},
        {"\n\r\v\f8", 8},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(zb::ParseDecimal(text), value) << text;
}

// Every character of 0..127 is dropped unless listed for the mode and the caret position: in the
// letter-and-number form a letter A or B first, then digits (a backspace only after the first two).
TEST(ChannelEdit, CharacterFilterByModeAndPosition) {
    const std::string digits = "0123456789";
    const std::tuple<bool, int, std::string> cases[] = {
        {true, 0, "ABab"},
        {true, 1, digits + "ABab"},
        {true, 2, "\b" + digits + "ABab"},
        {true, 7, "\b" + digits + "ABab"},
        {false, 0, "\b" + digits},
        {false, 3, "\b" + digits},
    };
    for (const auto& [letters, position, allowed] : cases) {
        for (unsigned ch = 0; ch < 128; ++ch) {
            EXPECT_EQ(zb::ZbChCEdit::IsCharAllowed(letters, position, ch),
                      allowed.find(static_cast<char>(ch)) != std::string::npos)
                << "letters " << letters << " at " << position << ": " << ch;
        }
    }
}

TEST(ChannelSelector, TextCutToTheBuffer) {
    zb::ChannelSelector selector;
    selector.Bind(nullptr, nullptr, 0, zb::HostFlag::kChannelLetters);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    selector.FormatChannel(40, buffer, 0);
    selector.FormatChannel(40, nullptr, 3);
    EXPECT_EQ(buffer[0], 'x');
    selector.FormatChannel(40, buffer, 2);
    EXPECT_STREQ(buffer, "B");
    selector.FormatChannel(40, buffer, 4);
    EXPECT_STREQ(buffer, "B8");
}

}  // namespace
