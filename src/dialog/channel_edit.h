// The two channel fields of the settings dialog: ZbChCEdit, an edit that accepts only what can
// form a channel name and tidies its text on focus loss, and ChannelSelector, which links such an
// edit with its spin button and converts between channel numbers and their display text
// (plain "5", or a letter per group of 32 channels and a number: "A5", "B8").
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ui/ui.h"

namespace zb {

constexpr uint32_t kNoChannelLimit = 0xFFFFFFFFu;
constexpr int32_t kDefaultHighestChannel = 255;
constexpr int32_t kChannelsPerLetter = 32;

class ZbChCEdit : public ui::Edit {
  public:
    void SetLetterMode(bool on) { letterMode_ = on; }
    void SetChannelCount(uint32_t count) { channelCount_ = count; }
    bool LetterMode() const { return letterMode_; }
    uint32_t ChannelCount() const { return channelCount_; }

    // Drops every character that cannot be part of a channel name at the caret position.
    bool OnChar(unsigned ch) override;
    // Puts the text into canonical form: a number within the channel count (and a letter A or B in
    // letter mode).
    void OnKillFocus() override;

    // The two rules on their own, for the text and caret position given.
    static bool IsCharAllowed(bool letterMode, int position, unsigned ch);
    static std::string TidyText(bool letterMode, uint32_t channelCount, const std::string& text);

  private:
    bool letterMode_ = false;
    uint32_t channelCount_ = kNoChannelLimit;
};

class ChannelSelector {
  public:
    // Links an edit (normally a ZbChCEdit) and its spin; the count of captured channels sets the
    // highest channel (0 means up to 255) and the host flags the naming form.
    void Bind(ui::Edit* edit, ui::Spin* spin, uint32_t channelCount, uint32_t hostFlags);
    bool UsesLetters() const;
    void FormatChannel(int32_t n, char* buffer, int size) const;
    bool ParseChannel(int32_t& n) const;
    void ShowChannel(int32_t n);
    void SetChannel(int32_t n);
    int32_t GetChannel() const;
    // True when the step came from this selector's spin; it is then handled and `result` is 1.
    bool HandleSpinStep(const ui::SpinStep* step, intptr_t& result);

    int32_t HighestChannel() const { return highest_; }

  private:
    char BaseLetter() const;

    ui::Edit* edit_ = nullptr;
    ui::Spin* spin_ = nullptr;
    int32_t highest_ = kDefaultHighestChannel;
    uint32_t flags_ = 0;
};

}  // namespace zb
