// The channel edit control and the selector that links it with its spin button.
#include "dialog/channel_edit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "abi/host_record.h"
#include "dialog/text_number.h"

namespace zb {

namespace {

constexpr unsigned kBackspace = 8;
constexpr size_t kKillFocusTextLimit = 259;
constexpr size_t kParseTextLimit = 31;
constexpr int kShowBufferSize = 16;

bool IsDigitChar(unsigned ch) {
    return ch >= '0' && ch <= '9';
}
bool IsGroupLetter(unsigned ch) {
    return ch == 'A' || ch == 'B' || ch == 'a' || ch == 'b';
}
char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool ZbChCEdit::IsCharAllowed(bool letterMode, int position, unsigned ch) {
    if (!letterMode) return ch == kBackspace || IsDigitChar(ch);
    // The letter stays in front: only a letter at position 0, and backspace cannot reach it.
    if (position <= 0) return IsGroupLetter(ch);
    if (position == 1) return IsDigitChar(ch) || IsGroupLetter(ch);
    return ch == kBackspace || IsDigitChar(ch) || IsGroupLetter(ch);
}

std::string ZbChCEdit::TidyText(bool letterMode, uint32_t channelCount, const std::string& text) {
    if (text.empty()) return letterMode ? "A0" : "0";
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(), Upper);
    std::string prefix;
    size_t pos = 0;
    if (letterMode) {
        prefix = (upper[0] == 'A' || upper[0] == 'B') ? std::string(1, upper[0]) : std::string("A");
        pos = 1;
    }
    bool anyDigit = false;
    int64_t n = ParseDecimal(upper, pos, true, anyDigit);
    if (channelCount != kNoChannelLimit && n >= static_cast<int64_t>(channelCount)) {
        n = static_cast<int64_t>(channelCount) - 1;
    }
    if (n < 0) n = 0;
    return prefix + DecimalText(static_cast<int32_t>(n));
}

bool ZbChCEdit::OnChar(unsigned ch) {
    return IsCharAllowed(letterMode_, GetSelStart(), ch);
}

void ZbChCEdit::OnKillFocus() {
    std::string text = GetText();
    if (text.size() > kKillFocusTextLimit) text.resize(kKillFocusTextLimit);
    SetText(TidyText(letterMode_, channelCount_, text));
}

void ChannelSelector::Bind(ui::Edit* edit, ui::Spin* spin, uint32_t channelCount, uint32_t hostFlags) {
    edit_ = edit;
    spin_ = spin;
    flags_ = hostFlags;
    highest_ = channelCount >= 1 ? static_cast<int32_t>(std::min<uint32_t>(channelCount - 1, INT32_MAX))
                                 : kDefaultHighestChannel;
    if (spin_) spin_->SetRange32(0, highest_);
    if (auto* channelEdit = dynamic_cast<ZbChCEdit*>(edit_)) {
        channelEdit->SetChannelCount(channelCount);
        channelEdit->SetLetterMode(UsesLetters());
    }
}

bool ChannelSelector::UsesLetters() const {
    return (flags_ & HostFlag::kChannelLetters) != 0;
}

char ChannelSelector::BaseLetter() const {
    return (flags_ & HostFlag::kLettersFromB) ? 'B' : 'A';
}

void ChannelSelector::FormatChannel(int32_t n, char* buffer, int size) const {
    if (buffer == nullptr || size <= 0) return;
    int written;
    if (UsesLetters()) {
        written =
            std::snprintf(buffer, static_cast<size_t>(size), "%c%d", BaseLetter() + n / kChannelsPerLetter,
                          static_cast<int>(n % kChannelsPerLetter));
    } else {
        written = std::snprintf(buffer, static_cast<size_t>(size), "%d", static_cast<int>(n));
    }
    if (written < 0) buffer[0] = '\0';
}

bool ChannelSelector::ParseChannel(int32_t& n) const {
    if (edit_ == nullptr || !edit_->IsWindow()) return false;
    std::string text = edit_->GetText();
    if (text.size() > kParseTextLimit) text.resize(kParseTextLimit);
    if (text.empty()) return false;
    size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    int64_t offset = 0;
    if (UsesLetters()) {
        if (pos >= text.size()) return false;
        const char letter = Upper(text[pos]);
        if (letter < 'A' || letter > 'Z') return false;
        offset = static_cast<int64_t>(letter - BaseLetter()) * kChannelsPerLetter;
        ++pos;
    }
    if (pos >= text.size() || !IsDigitChar(static_cast<unsigned char>(text[pos]))) return false;
    bool anyDigit = false;
    const int64_t value = offset + ParseDecimal(text, pos, false, anyDigit);
    n = static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(value, 0), highest_));
    return true;
}

void ChannelSelector::ShowChannel(int32_t n) {
    if (edit_ == nullptr) return;
    char buffer[kShowBufferSize];
    buffer[0] = '\0';
    FormatChannel(n, buffer, sizeof buffer);
    edit_->SetText(buffer);
}

void ChannelSelector::SetChannel(int32_t n) {
    n = std::min<int32_t>(static_cast<int32_t>(static_cast<uint32_t>(n) & 0xFFFFu), highest_);
    if (spin_) spin_->SetPos(static_cast<int16_t>(n));
    ShowChannel(n);
}

int32_t ChannelSelector::GetChannel() const {
    int32_t n = 0;
    if (ParseChannel(n)) return n;
    if (spin_) return std::min(std::max(spin_->GetPos32(), 0), highest_);
    return 0;
}

bool ChannelSelector::HandleSpinStep(const ui::SpinStep* step, intptr_t& result) {
    if (spin_ == nullptr || step == nullptr || step->id != spin_->Id()) return false;
    int lower = 0, upper = highest_;
    spin_->GetRange32(lower, upper);
    int64_t n = static_cast<int64_t>(GetChannel()) + step->delta;
    n = std::max<int64_t>(n, lower);
    n = std::min<int64_t>(n, upper);
    spin_->SetPos(static_cast<int16_t>(n));
    ShowChannel(static_cast<int32_t>(n));
    result = 1;
    return true;
}

}  // namespace zb
