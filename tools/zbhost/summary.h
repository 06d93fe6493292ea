// The summary at the end of every decode: what the capture held, what was decoded (frames with
// their CRC results, flags and broken frames, or register accesses), the clock and data length
// used, the wall time of reading and of decoding, and what to try when the result looks wrong.
// Printed on stderr and written as JSON with --summary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "channel_pick.h"
#include "decoded_frames.h"
#include "sample_source.h"

namespace zbhost {

// What reading the capture took and found.
struct FrameCounts {
    uint64_t frames = 0, crcGood = 0, crcBad = 0, cutShort = 0, busy = 0, timeouts = 0;
    uint64_t nErrActive = 0, nWarnActive = 0;  // frames in which a slave reported it (bit 0 on the line)
    uint64_t cdmSet = 0;                       // frames after which the master sent CDM 1
};

struct AccessCounts {
    uint64_t accesses = 0, reads = 0, writes = 0, commands = 0;
    uint64_t crcErrors = 0, refused = 0, timeouts = 0, incomplete = 0;
};

struct DecodeSummary {
    std::string capture;
    ReadStats read;
    ChannelPicks channels;
    DecodeLayout layout;
    uint32_t records = 0;
    double decodeSeconds = 0;
    int64_t clockPeriod = 0;  // samples, 0 = not measured
    FrameCounts frames;
    AccessCounts accesses;
    std::vector<std::string> notes;  // things worth knowing
    std::vector<std::string> hints;  // what to try when the result looks wrong
};

// Counts the frames or accesses of the records and adds the notes and hints.
DecodeSummary Summarise(const RecordView& records, const DecodeLayout& layout, const ChannelPicks& channels,
                        const ReadStats& read, double decodeSeconds);

void PrintSummary(const DecodeSummary& s, std::FILE* out);
void WriteSummaryJson(const DecodeSummary& s, std::ostream& out);

// A JSON string literal of `text` (quotes included).
std::string JsonString(const std::string& text);

}  // namespace zbhost
