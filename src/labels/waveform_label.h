// The waveform label of one record: a short text and a colour index that the host draws over the
// waveform. It reads only the record's code, the two codes after it and the settings.
#pragma once

#include <cstdint>

#include "abi/call_context.h"
#include "abi/decoder_settings.h"

namespace zb {

// The colour index of a label that has no colour (no text buffer, or no code to label).
constexpr uint32_t kNoColourIndex = 0xFFFFFFFFu;

// A host code list: `count` codes, the record to label first, then the codes that follow it.
// Only as many codes as `count` says exist are read, and never more than three.
struct CodeList {
    uint32_t count;
    const uint32_t* codes;
};

// Writes the label of list.codes[0] into text[size] (cut to size - 1 characters and a terminator)
// and returns its colour index 0..15, or kNoColourIndex when text is null, size is 0 or the list
// holds no code (the text is then empty when there is room for it). The long or short form follows
// hostFlags bit 10 of the settings. Values go through FormatValue32/64, so they follow the Gray
// flags of the call's host record; without one the settings' own hostFlags are used. `length`, when
// given, receives the length of the text written (0 without text).
uint32_t BuildWaveformLabel(CallContext& call, const SettingsView& settings, CodeList list, char* text,
                            uint32_t size, uint32_t* length = nullptr);

}  // namespace zb
