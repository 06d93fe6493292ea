// The labels a host asks for most, kept by code: a host draws the same few kinds of record over
// and over (acknowledge, start, CDS, CDM, flags, CRC, stop, idle), and their labels depend only on
// the code and the settings that a label reads, so each is built once per settings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/host_record.h"

namespace zb {

class LabelMemo {
  public:
    static constexpr uint32_t kTextRoom = 32;  // labels longer than 31 characters are not kept

    // Whether a code's label depends on nothing but the code and the settings and is worth
    // keeping: not the records of a value, whose payload changes from frame to frame (and whose
    // first record reads the codes after it).
    static bool Keeps(uint32_t code);
    // Forgets every label unless the host's label settings (value format, flags, decoder words)
    // are those the labels were made with.
    void Settle(const HostRecord& host);
    // The kept label of `code`: its text and terminator copied into text[size], true with its
    // colour index. False when it is not kept or does not fit.
    bool Find(uint32_t code, char* text, uint32_t size, uint32_t& colour) const;
    // Keeps the label of `code` (its text as the host receives it).
    void Keep(uint32_t code, const char* text, uint32_t length, uint32_t colour);

  private:
    static constexpr unsigned kSlotBits = 8;
    static size_t Slot(uint32_t code) { return (code * 0x9E3779B1u) >> (32 - kSlotBits); }
    struct Entry {
        uint32_t code = 0;
        uint32_t colour = 0;
        uint32_t length = 0;
        bool used = false;
        char text[kTextRoom] = {};
    };
    bool settled_ = false;
    uint32_t hostValueFormat_ = 0;
    uint32_t hostFlags_ = 0;
    uint8_t decoderWords_[kDecoderWordsSize] = {};
    Entry entries_[size_t{1} << kSlotBits];
};

}  // namespace zb
