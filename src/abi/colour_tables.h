// The 16 label and report colours (COLORREF, 0x00BBGGRR) and the text colour to write on each.
// The settings store indices into these tables, never colours.
#pragma once

#include <cstdint>

namespace zb {

constexpr int kColourCount = 16;
constexpr uint32_t kWhiteIndex = 7;   // plain, no emphasis
constexpr uint32_t kGreenIndex = 11;  // CRC matches
constexpr uint32_t kRedIndex = 14;    // an error

extern const uint32_t colorTable[kColourCount];
extern const uint32_t textColorTable[kColourCount];

// Fill colour of an index 0..15; 0 for any other index (taken as unsigned).
uint32_t GetItemColor(uint32_t index);
// Text colour for an index 0..15 (black, white on red and black); 0 for any other index.
uint32_t GetItemTextColor(uint32_t index);

}  // namespace zb
