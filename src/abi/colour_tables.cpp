// The 16 fill colours of labels, report cells and colour pickers, and the text colour that stays
// readable on each: black on the light colours, white on red and on black.
#include "abi/colour_tables.h"

namespace zb {

const uint32_t colorTable[kColourCount] = {
    0x003099FF,  // orange
    0x0099CCFF,  // light orange
    0x0099FFFF,  // light yellow
    0x00CCFFCC,  // light green
    0x00FFFFCC,  // light cyan
    0x00FFCC99,  // light blue
    0x00FF99CC,  // lavender
    0x00FFFFFF,  // white: no emphasis
    0x00FF00FF,  // magenta
    0x0000CCFF,  // amber
    0x0000FFFF,  // yellow
    0x0000FF00,  // green: CRC matches
    0x00FFFF00,  // cyan
    0x00FFCC00,  // sky blue
    0x003333E1,  // red: an error
    0x00000000,  // black
};

namespace {
constexpr uint32_t kBlack = 0x00000000;
constexpr uint32_t kWhite = 0x00FFFFFF;
}  // namespace

const uint32_t textColorTable[kColourCount] = {
    kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack,
    kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kWhite, kWhite,
};

uint32_t GetItemColor(uint32_t index) {
    return index < kColourCount ? colorTable[index] : 0;
}

uint32_t GetItemTextColor(uint32_t index) {
    return index < kColourCount ? textColorTable[index] : 0;
}

}  // namespace zb
