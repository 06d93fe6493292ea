// A Windows host stand-in for the Analysis export: it loads the DLL named on its command line,
// lays out a host record byte by byte (win_host.h), serves a generated capture through its own
// sampleQuery callback and checks the records the plug-in publishes in the mapped arrays. Exits
// non-zero on any failure.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bissgen/generator.h"
#include "support/default_frames.h"
#include "win/win_host.h"

namespace {

using namespace zbwin;

using AnalysisFn = uint32_t(WINAPI*)(void*);

// The capture the callbacks serve: MA on channel 3, SLO on channel 9.
bissgen::Capture capture;
constexpr int kMaChannel = 3, kSloChannel = 9;
uint32_t abortAnswer = 0;
uint32_t abortCalls = 0;

uint64_t WINAPI SampleQuery(uint64_t position, uint8_t* state) {
    std::memset(state, 0, 16);
    const auto& ch = capture.changes;
    const int64_t pos = static_cast<int64_t>(position);
    auto it = std::upper_bound(ch.begin(), ch.end(), pos,
                               [](int64_t p, const bissgen::Change& c) { return p < c.position; });
    const bissgen::Change& now = it == ch.begin() ? ch.front() : *(it - 1);
    if (now.ma) state[kMaChannel / 8] |= 1u << (kMaChannel % 8);
    if (now.slo) state[kSloChannel / 8] |= 1u << (kSloChannel % 8);
    return it == ch.end() ? ~uint64_t{0} : static_cast<uint64_t>(it->position);
}

uint32_t WINAPI AbortPoll() {
    ++abortCalls;
    return abortAnswer;
}

// The host record with the host's stop word beside it.
struct Record : RecordBuffer {
    uint32_t stopWord = 0;
    Record() {
        Put(kSampleQuery, &SampleQuery);
        Put(kAbortPoll, &AbortPoll);
        Put(kLastSample, capture.lastSample);
        Put(kSampleRate, capture.sampleRate);
        Put<uint32_t>(kChannelTable, kMaChannel);
        Put<uint32_t>(kChannelTable + 4, kSloChannel);
        // Never-initialised settings would be defaulted (MA 0, SLO 1): the tests initialise them.
        Put(kStopFlag, &stopWord);
    }
};

// Five frames: multi-turn 0x3, single-turn 0x40 + i.
void MakeCapture() {
    capture = zbtest::DefaultLayoutFrames(0x40);
}

// Settings version 4, initialised, with the default layout but MA and SLO on channels 3 and 9:
// optionWord = mode 2 (SCD) | data length 12 | auto length; auxWord 0; 8 single-turn bits, CRC 6
// bits 0x43 initial 0.
void InitialiseSettings(Record& r, uint32_t rangeFrom = 0, uint32_t rangeTo = 0) {
    Put<uint16_t>(r.data(), kSettingsState, 9);
    const uint32_t option = rangeFrom | (rangeTo << 4) | (2u << 8) | (12u << 12) | (1u << 29);
    Put(r.data(), kOptionWord, option);
    Put<int32_t>(r.data(), kSingleTurnBits, 8);
    Put<int32_t>(r.data(), kCrcBits, 6);
    Put<uint32_t>(r.data(), kCrcPolynomial, 0x43);
}

void CheckAbortAtEntry(AnalysisFn analysis) {
    Record r;
    InitialiseSettings(r);
    r.stopWord = 5;
    abortAnswer = 1;
    std::vector<uint8_t> before(r.data(), r.data() + kRecordSize);
    Expect(analysis(r.data()) == 0, "aborted Analysis returned non-zero");
    Expect(std::memcmp(before.data(), r.data(), kRecordSize) == 0, "aborted Analysis changed the record");
    Expect(r.stopWord == 5, "aborted Analysis touched the stop word");
    abortAnswer = 0;
}

void CheckDecode(AnalysisFn analysis) {
    Record r;
    InitialiseSettings(r);
    r.stopWord = 1;
    abortCalls = 0;
    const uint32_t count = analysis(r.data());
    Expect(count > 20, "record count %u", count);
    Expect(r.stopWord == 0, "stop word not cleared");
    Expect(abortCalls >= 1, "abortPoll never called");
    Expect(Get<uint32_t>(r.data(), kProgress) == 1000, "progress %u", Get<uint32_t>(r.data(), kProgress));
    Expect(Get<uint16_t>(r.data(), kSettingsState) == 9, "settingsState %u",
           Get<uint16_t>(r.data(), kSettingsState));
    const uint32_t aux = Get<uint32_t>(r.data(), kAuxWord);
    Expect(((aux >> 4) & 0x3F) == 12, "detected length %u", (aux >> 4) & 0x3F);
    const auto* codes = Get<const uint32_t*>(r.data(), kCodeArray);
    const auto* positions = Get<const int64_t*>(r.data(), kPositionArray);
    Expect(codes != nullptr && positions != nullptr, "no record arrays");
    if (codes == nullptr || positions == nullptr) return;
    Expect(codes[0] >> 24 == 0xF1, "first record 0x%08X is not FirstFrame", codes[0]);
    std::vector<uint32_t> single, multi;
    int crcs = 0, mismatches = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t kind = codes[i] >> 24;
        if (kind == 0xBC) single.push_back(codes[i] & 0xFFFFFF);
        if (kind == 0xBE) multi.push_back(codes[i] & 0xFFFFFF);
        if (kind == 0x90) {
            ++crcs;
            mismatches += (codes[i] & 0x100) != 0;
        }
        if (i > 0) Expect(positions[i] >= positions[i - 1], "positions fall at record %u", i);
    }
    Expect(single == std::vector<uint32_t>({0x40, 0x41, 0x42, 0x43, 0x44}), "single-turn values differ");
    Expect(multi == std::vector<uint32_t>(5, 0x3), "multi-turn values differ");
    Expect(crcs == 5 && mismatches == 0, "%d CRC records, %d mismatches", crcs, mismatches);
}

void CheckFailures(AnalysisFn analysis) {
    Expect(analysis(nullptr) == 0, "Analysis(nullptr) returned non-zero");
    Record r;
    InitialiseSettings(r, 2, 3);  // Cursor A to Cursor B, B before A
    Put<int64_t>(r.data(), kCursors + 8, 5000);
    Put<int64_t>(r.data(), kCursors + 16, 1000);
    const uint32_t count = analysis(r.data());
    const auto* codes = Get<const uint32_t*>(r.data(), kCodeArray);
    const auto* positions = Get<const int64_t*>(r.data(), kPositionArray);
    Expect(count == 1 && codes != nullptr && positions != nullptr && codes[0] == 0 && positions[0] == 0,
           "reversed range: %u records", count);
    // MA on a channel the host cannot deliver reads as a line held low: no edge, one Idle record.
    Record distant;
    InitialiseSettings(distant);
    Put<uint32_t>(distant.data(), kChannelTable, 200);
    const uint32_t n = analysis(distant.data());
    const auto* c = Get<const uint32_t*>(distant.data(), kCodeArray);
    Expect(n == 1 && c != nullptr && c[0] == 0xFF000000u, "channel 200: %u records", n);
}

}  // namespace

int main(int argc, char** argv) {
    PluginDll plugin;
    const int loaded = plugin.LoadFromCommandLine(argc, argv, "analysis_host");
    if (loaded != kExitPassed) return loaded;
    const auto analysis = plugin.Export<AnalysisFn>("Analysis");
    Expect(analysis != nullptr, "export Analysis is missing");
    if (analysis != nullptr) {
        MakeCapture();
        CheckAbortAtEntry(analysis);
        CheckDecode(analysis);
        CheckFailures(analysis);
    }
    plugin.Free();
    return Finish("analysis_host");
}
