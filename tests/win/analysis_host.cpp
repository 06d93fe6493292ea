// A Windows host stand-in for the Analysis export: it loads the DLL named on its command line,
// lays out a host record byte by byte (offsets written as numbers here, not taken from the
// plug-in's declarations), serves a generated capture through its own sampleQuery callback and
// checks the records the plug-in publishes in the mapped arrays. Exits non-zero on any failure.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bissgen/generator.h"

namespace {

using AnalysisFn = uint32_t(WINAPI*)(void*);

constexpr size_t kRecordSize = 0x748;
constexpr size_t kSampleQuery = 0x018;
constexpr size_t kAbortPoll = 0x020;
constexpr size_t kLastSample = 0x060;
constexpr size_t kCursors = 0x068;
constexpr size_t kSampleRate = 0x100;
constexpr size_t kCodeArray = 0x128;
constexpr size_t kPositionArray = 0x130;
constexpr size_t kSettingsState = 0x194;
constexpr size_t kChannelTable = 0x198;
constexpr size_t kDecoderWords = 0x698;
constexpr size_t kProgress = 0x738;
constexpr size_t kStopFlag = 0x740;

int failures = 0;

void Expect(bool ok, const char* format, ...) {
    if (ok) return;
    ++failures;
    std::va_list args;
    va_start(args, format);
    std::printf("FAIL: ");
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
}

template <typename T>
T Get(const uint8_t* p, size_t offset) {
    T v;
    std::memcpy(&v, p + offset, sizeof v);
    return v;
}
template <typename T>
void Put(uint8_t* p, size_t offset, T v) {
    std::memcpy(p + offset, &v, sizeof v);
}

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

struct Record {
    alignas(16) uint8_t bytes[kRecordSize];
    uint32_t stopWord = 0;
    Record() {
        std::memset(bytes, 0, sizeof bytes);
        Put(bytes, kSampleQuery, &SampleQuery);
        Put(bytes, kAbortPoll, &AbortPoll);
        Put(bytes, kLastSample, capture.lastSample);
        Put(bytes, kSampleRate, capture.sampleRate);
        Put<uint32_t>(bytes, kChannelTable, kMaChannel);
        Put<uint32_t>(bytes, kChannelTable + 4, kSloChannel);
        // Never-initialised settings would be defaulted (MA 0, SLO 1): the tests initialise them.
        Put(bytes, kStopFlag, &stopWord);
    }
};

// Five frames: multi-turn 0x3, single-turn 0x40 + i, 4 + 8 bits, CRC 6 bits 0x43.
void MakeCapture() {
    bissgen::Timing timing;
    bissgen::Layout layout;
    layout.multiTurnBits = 4;
    layout.singleTurnBits = 8;
    std::vector<bissgen::Frame> frames(5);
    for (int i = 0; i < 5; ++i) {
        frames[i].slaves[0].multiTurn = 0x3;
        frames[i].slaves[0].singleTurn = 0x40 + i;
    }
    capture = bissgen::MakeCapture(timing, layout, frames);
}

// Settings version 4, initialised, with the default layout but MA and SLO on channels 3 and 9:
// optionWord = mode 2 (SCD) | data length 12 | auto length; auxWord 0; 8 single-turn bits, CRC 6
// bits 0x43 initial 0.
void InitialiseSettings(Record& r, uint32_t rangeFrom = 0, uint32_t rangeTo = 0) {
    Put<uint16_t>(r.bytes, kSettingsState, 9);
    const uint32_t option = rangeFrom | (rangeTo << 4) | (2u << 8) | (12u << 12) | (1u << 29);
    Put(r.bytes, kDecoderWords + 0x00, option);
    Put<int32_t>(r.bytes, kDecoderWords + 0x0C, 8);      // singleTurnBits
    Put<int32_t>(r.bytes, kDecoderWords + 0x10, 6);      // crcBits
    Put<uint32_t>(r.bytes, kDecoderWords + 0x14, 0x43);  // crcPolynomial
}

void CheckAbortAtEntry(AnalysisFn analysis) {
    Record r;
    InitialiseSettings(r);
    r.stopWord = 5;
    abortAnswer = 1;
    std::vector<uint8_t> before(r.bytes, r.bytes + kRecordSize);
    Expect(analysis(r.bytes) == 0, "aborted Analysis returned non-zero");
    Expect(std::memcmp(before.data(), r.bytes, kRecordSize) == 0, "aborted Analysis changed the record");
    Expect(r.stopWord == 5, "aborted Analysis touched the stop word");
    abortAnswer = 0;
}

void CheckDecode(AnalysisFn analysis) {
    Record r;
    InitialiseSettings(r);
    r.stopWord = 1;
    abortCalls = 0;
    const uint32_t count = analysis(r.bytes);
    Expect(count > 20, "record count %u", count);
    Expect(r.stopWord == 0, "stop word not cleared");
    Expect(abortCalls >= 1, "abortPoll never called");
    Expect(Get<uint32_t>(r.bytes, kProgress) == 1000, "progress %u", Get<uint32_t>(r.bytes, kProgress));
    Expect(Get<uint16_t>(r.bytes, kSettingsState) == 9, "settingsState %u",
           Get<uint16_t>(r.bytes, kSettingsState));
    const uint32_t aux = Get<uint32_t>(r.bytes, kDecoderWords + 8);
    Expect(((aux >> 4) & 0x3F) == 12, "detected length %u", (aux >> 4) & 0x3F);
    const auto* codes = Get<const uint32_t*>(r.bytes, kCodeArray);
    const auto* positions = Get<const int64_t*>(r.bytes, kPositionArray);
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
    Put<int64_t>(r.bytes, kCursors + 8, 5000);
    Put<int64_t>(r.bytes, kCursors + 16, 1000);
    const uint32_t count = analysis(r.bytes);
    const auto* codes = Get<const uint32_t*>(r.bytes, kCodeArray);
    const auto* positions = Get<const int64_t*>(r.bytes, kPositionArray);
    Expect(count == 1 && codes != nullptr && positions != nullptr && codes[0] == 0 && positions[0] == 0,
           "reversed range: %u records", count);
    // MA on a channel the host cannot deliver.
    Record distant;
    InitialiseSettings(distant);
    Put<uint32_t>(distant.bytes, kChannelTable, 200);
    const uint32_t n = analysis(distant.bytes);
    const auto* c = Get<const uint32_t*>(distant.bytes, kCodeArray);
    Expect(n == 1 && c != nullptr && c[0] == 0, "channel 200: %u records", n);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: analysis_host <ZbBiSS64.dll>\n");
        return 2;
    }
    HMODULE module = LoadLibraryA(argv[1]);
    if (module == nullptr) {
        std::printf("FAIL: cannot load %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    const auto analysis =
        reinterpret_cast<AnalysisFn>(reinterpret_cast<void*>(GetProcAddress(module, "Analysis")));
    Expect(analysis != nullptr, "export Analysis is missing");
    if (analysis != nullptr) {
        MakeCapture();
        CheckAbortAtEntry(analysis);
        CheckDecode(analysis);
        CheckFailures(analysis);
    }
    FreeLibrary(module);
    std::printf(failures == 0 ? "analysis_host: all checks passed\n" : "analysis_host: %d failures\n",
                failures);
    return failures == 0 ? 0 : 1;
}
