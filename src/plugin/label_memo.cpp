// LabelMemo: a direct-mapped table of labels by code, emptied when the label settings change.
#include "plugin/label_memo.h"

#include <array>
#include <cstring>
#include <initializer_list>

#include "abi/record_code.h"

namespace zb {

namespace {

constexpr std::array<bool, 256> KeptKinds() {
    std::array<bool, 256> kept{};
    for (bool& k : kept) k = true;
    for (const ValueTriple& t : {kMultiTurnTriple, kSingleTurnTriple, kDataTriple}) {
        for (RecordKind kind : {t.high, t.mid, t.low}) kept[static_cast<uint8_t>(kind)] = false;
    }
    return kept;
}
constexpr std::array<bool, 256> kKeptKinds = KeptKinds();

// Copies n <= 32 bytes exactly, in at most two moves of one size: a label is a few bytes long.
void CopyShort(char* to, const char* from, uint32_t n) {
    if (n >= 16) {
        std::memcpy(to, from, 16);
        std::memcpy(to + n - 16, from + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else {
        for (uint32_t i = 0; i < n; ++i) to[i] = from[i];
    }
}

}  // namespace

bool LabelMemo::Keeps(uint32_t code) {
    return kKeptKinds[static_cast<uint8_t>(KindOf(code))];
}

void LabelMemo::Settle(const HostRecord& host) {
    if (settled_ && host.hostValueFormat == hostValueFormat_ && host.hostFlags == hostFlags_ &&
        std::memcmp(host.decoderWords, decoderWords_, sizeof decoderWords_) == 0)
        return;
    for (Entry& e : entries_) e.used = false;
    hostValueFormat_ = host.hostValueFormat;
    hostFlags_ = host.hostFlags;
    std::memcpy(decoderWords_, host.decoderWords, sizeof decoderWords_);
    settled_ = true;
}

bool LabelMemo::Find(uint32_t code, char* text, uint32_t size, uint32_t& colour) const {
    const Entry& e = entries_[Slot(code)];
    if (!e.used || e.code != code || e.length >= size) return false;
    CopyShort(text, e.text, e.length + 1);
    colour = e.colour;
    return true;
}

void LabelMemo::Keep(uint32_t code, const char* text, uint32_t length, uint32_t colour) {
    if (length >= kTextRoom) return;
    Entry& e = entries_[Slot(code)];
    e.code = code;
    e.colour = colour;
    e.length = length;
    std::memcpy(e.text, text, length);
    e.text[length] = '\0';
    e.used = true;
}

}  // namespace zb
