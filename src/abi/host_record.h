// The host's per-decoder record, as far as the plug-in reads and writes it, and the two
// identification records the host asks for before any capture exists. The offsets are fixed by
// the host interface; every one the plug-in touches is checked at compile time below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/calling.h"

namespace zb {

// Host callbacks. sampleQuery fills 16 bytes with the levels of up to 128 channels at `position`
// (channel c is bit c%8 of byte c/8) and returns the next position at which any level changes, or
// all ones when nothing changes any more.
using SampleQueryFn = uint64_t(ZB_CALL*)(uint64_t position, uint8_t* state16);
// Bit 0 of the result set: the user asked to abort.
using AbortPollFn = uint32_t(ZB_CALL*)();
// Receives one report line (without NUL) or (nullptr, 0) at the end; non-zero means accepted.
using ReportRowFn = int32_t(ZB_CALL*)(const char* text, uint32_t length);

constexpr uint64_t kNoFurtherChange = ~uint64_t{0};

// Bits of HostRecord::hostFlags that the plug-in reads.
namespace HostFlag {
constexpr uint32_t kToGray = 0x1;             // displayed values converted to Gray code
constexpr uint32_t kCodeList = 0x2;           // DataConv receives a code list pointer
constexpr uint32_t kFromGray = 0x8;           // displayed values converted from Gray code
constexpr uint32_t kShortLabels = 0x400;      // waveform labels in their short form
constexpr uint32_t kLettersFromB = 0x800;     // channel letters begin at B
constexpr uint32_t kChannelLetters = 0x1000;  // channels named letter + number
constexpr uint32_t kUtf8 = 0x20000;           // host takes UTF-8 text
}  // namespace HostFlag

constexpr size_t kReportBlockNameSize = 0x128 - 0x108;
constexpr size_t kChannelTableEntries = 256;
constexpr size_t kDecoderWordsSize = 128;
constexpr size_t kCursorCount = 6;

struct HostRecord {
    uint8_t hostReserved0[0x018];
    SampleQueryFn sampleQuery;  // 0x018
    AbortPollFn abortPoll;      // 0x020
    ReportRowFn reportRow;      // 0x028
    uint8_t hostReserved1[0x050 - 0x030];
    uint32_t captureChannelCount;  // 0x050
    uint8_t hostReserved2[0x060 - 0x054];
    int64_t lastSample;                    // 0x060
    int64_t cursorPosition[kCursorCount];  // 0x068
    uint32_t hostValueFormat;              // 0x098
    uint32_t hostFlags;                    // 0x09C
    uint32_t decoderChannelCount;          // 0x0A0
    uint8_t hostReserved3[0x0A8 - 0x0A4];
    uint64_t carried0A8;  // 0x0A8: stored with the settings, never interpreted
    uint8_t hostReserved4[0x0B8 - 0x0B0];
    int64_t firstValidSample;  // 0x0B8
    int64_t lastValidSample;   // 0x0C0: 0 means lastSample
    uint8_t hostReserved5[0x0F8 - 0x0C8];
    uint32_t dialogResult;                       // 0x0F8: 1 right after OK in the dialog, else 2
    uint32_t carried0FC;                         // 0x0FC: stored with the settings, never interpreted
    uint64_t sampleRate;                         // 0x100: samples per second, 0 when unknown
    char reportBlockName[kReportBlockNameSize];  // 0x108: empty = no report wanted
    const uint32_t* codeArray;                   // 0x128
    const int64_t* positionArray;                // 0x130
    uint8_t hostReserved6[0x144 - 0x138];
    uint32_t labelTextColour;  // 0x144
    uint32_t labelBackColour;  // 0x148
    uint32_t labelColourMask;  // 0x14C: 24 when the two colours are valid
    uint8_t hostReserved7[0x194 - 0x150];
    uint16_t settingsState;  // 0x194
    uint16_t hostReserved8;
    uint32_t channelTable[kChannelTableEntries];  // 0x198
    uint8_t hostReserved9[0x698 - 0x598];
    uint8_t decoderWords[kDecoderWordsSize];  // 0x698
    uint8_t hostReserved10[0x738 - 0x718];
    uint32_t progress;  // 0x738: per mille
    uint32_t hostReserved11;
    uint32_t* stopFlag;  // 0x740: host-owned word, non-zero asks the decode to stop
};

static_assert(offsetof(HostRecord, sampleQuery) == 0x018);
static_assert(offsetof(HostRecord, abortPoll) == 0x020);
static_assert(offsetof(HostRecord, reportRow) == 0x028);
static_assert(offsetof(HostRecord, captureChannelCount) == 0x050);
static_assert(offsetof(HostRecord, lastSample) == 0x060);
static_assert(offsetof(HostRecord, cursorPosition) == 0x068);
static_assert(offsetof(HostRecord, hostValueFormat) == 0x098);
static_assert(offsetof(HostRecord, hostFlags) == 0x09C);
static_assert(offsetof(HostRecord, decoderChannelCount) == 0x0A0);
static_assert(offsetof(HostRecord, carried0A8) == 0x0A8);
static_assert(offsetof(HostRecord, firstValidSample) == 0x0B8);
static_assert(offsetof(HostRecord, lastValidSample) == 0x0C0);
static_assert(offsetof(HostRecord, dialogResult) == 0x0F8);
static_assert(offsetof(HostRecord, carried0FC) == 0x0FC);
static_assert(offsetof(HostRecord, sampleRate) == 0x100);
static_assert(offsetof(HostRecord, reportBlockName) == 0x108);
static_assert(offsetof(HostRecord, codeArray) == 0x128);
static_assert(offsetof(HostRecord, positionArray) == 0x130);
static_assert(offsetof(HostRecord, labelTextColour) == 0x144);
static_assert(offsetof(HostRecord, labelBackColour) == 0x148);
static_assert(offsetof(HostRecord, labelColourMask) == 0x14C);
static_assert(offsetof(HostRecord, settingsState) == 0x194);
static_assert(offsetof(HostRecord, channelTable) == 0x198);
static_assert(offsetof(HostRecord, decoderWords) == 0x698);
static_assert(offsetof(HostRecord, progress) == 0x738);
static_assert(offsetof(HostRecord, stopFlag) == 0x740);
static_assert(sizeof(HostRecord) == 0x748);

// Filled by GetPluginInfo.
struct PluginInfo {
    uint32_t recordSize;    // 0x00: 176
    uint32_t value512;      // 0x04
    uint32_t value220;      // 0x08
    uint32_t channelCount;  // 0x0C: 2
    uint32_t allOnes;       // 0x10
    char name[16];          // 0x14: "BiSS-C"
    uint32_t reserved24;
    const uint32_t* columnWidths;  // 0x28
    uint8_t reserved30[176 - 0x30];
};
static_assert(offsetof(PluginInfo, name) == 0x14);
static_assert(offsetof(PluginInfo, columnWidths) == 0x28);
static_assert(sizeof(PluginInfo) == 176);

// Filled by GetQuickSetInfo.
struct QuickSetInfo {
    uint32_t request;     // 0x00 in: upper half 0x9694 asks for the extended list; out: 2
    uint32_t value1600;   // 0x04
    uint64_t sampleRate;  // 0x08: 200 MHz
    uint32_t entryCount;  // 0x10: extended list only, 1..7
    uint32_t entryValue;  // 0x14: extended list only
    char entries[7][8];   // 0x18: extended list only
};
static_assert(offsetof(QuickSetInfo, sampleRate) == 0x08);
static_assert(offsetof(QuickSetInfo, entryCount) == 0x10);
static_assert(offsetof(QuickSetInfo, entries) == 0x18);

}  // namespace zb
