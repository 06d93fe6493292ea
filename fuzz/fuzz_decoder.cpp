// Fuzz target: arbitrary settings words and MA/SLO change streams through the Analysis export, as
// a host calls it, with the checks a host relies on: the record arrays are there and equally long,
// positions never decrease and strictly increase outside value triples, every code is of a kind
// the decoder defines, the failure record stands alone, progress stays within 0..1000, and a
// report (row callback or named block) parses line by line.
#include <algorithm>
#include <cstring>
#include <string>

#include "abi/host_record.h"
#include "abi/record_code.h"
#include "fuzz_host.h"
#include "support/memory_host.h"

extern "C" uint32_t Analysis(zb::HostRecord* host);

namespace {

using zb::RecordKind;

// The kinds the decoder stores (Ida is known to the labels but never stored).
bool KnownKind(uint8_t kind) {
    using K = RecordKind;
    constexpr K kStored[] = {K::Failure,      K::ReadWrite,     K::Cmd,           K::Adr,
                             K::Id,           K::Idl,           K::Cts,           K::Cdm,
                             K::Stop,         K::Crc,           K::Warn,          K::Err,
                             K::RegData,      K::DataMid,       K::SingleTurnMid, K::MultiTurnMid,
                             K::DataLow,      K::DataHigh,      K::SingleTurnLow, K::SingleTurnHigh,
                             K::MultiTurnLow, K::MultiTurnHigh, K::Cds,           K::Start,
                             K::Ack,          K::ClockPeriod,   K::FirstFrame,    K::Status};
    return std::find(std::begin(kStored), std::end(kStored), static_cast<K>(kind)) != std::end(kStored);
}

// The triple a kind belongs to and its place in it (0 high, 1 mid, 2 low), or -1.
int TriplePlace(uint8_t kind, int& triple) {
    const zb::ValueTriple triples[] = {zb::kMultiTurnTriple, zb::kSingleTurnTriple, zb::kDataTriple};
    for (int t = 0; t < 3; ++t) {
        const RecordKind k = static_cast<RecordKind>(kind);
        triple = t;
        if (k == triples[t].high) return 0;
        if (k == triples[t].mid) return 1;
        if (k == triples[t].low) return 2;
    }
    return -1;
}

void CheckRecords(const zb::HostRecord& r, uint32_t count) {
    ZB_FUZZ_CHECK(count >= 1);
    ZB_FUZZ_CHECK(r.positionArray != nullptr && r.codeArray != nullptr);
    const int64_t* pos = r.positionArray;
    const uint32_t* code = r.codeArray;
    int expectPlace = 0, expectTriple = -1;  // the next part of an open triple
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t kind = zb::KindByte(code[i]);
        ZB_FUZZ_CHECK2(KnownKind(kind), kind, i);
        if (kind == 0) {
            ZB_FUZZ_CHECK2(count == 1 && code[i] == 0 && pos[i] == 0, count, pos[i]);
        }
        if (kind == static_cast<uint8_t>(RecordKind::Status)) {
            ZB_FUZZ_CHECK2(zb::LowByte(code[i]) <= static_cast<uint8_t>(zb::StatusCode::Timeout), code[i], i);
        }
        int triple = -1;
        const int place = TriplePlace(kind, triple);
        if (expectPlace != 0) {
            ZB_FUZZ_CHECK2(place == expectPlace && triple == expectTriple, i, kind);
            ZB_FUZZ_CHECK2(pos[i] == pos[i - 1], pos[i], pos[i - 1]);
        } else {
            ZB_FUZZ_CHECK2(place <= 0, i, kind);
            // Records that would lie past the largest position there is are held at it.
            if (i > 0) ZB_FUZZ_CHECK2(pos[i] > pos[i - 1] || pos[i] == INT64_MAX, pos[i], pos[i - 1]);
        }
        expectPlace = place >= 0 && place < 2 ? place + 1 : 0;
        expectTriple = triple;
    }
    ZB_FUZZ_CHECK2(expectPlace == 0, expectPlace, count);
}

}  // namespace

// The input: the nine settings words and the host's fields, then the capture as a stream of
// changes, each one byte of two level bits (MA, SLO) and a step of 1..62 samples, or, with a step
// code of 63, two more bytes: a step of 63..32830 samples or, with the top bit set, a jump of 2^k
// samples as a host with huge gaps between its changes may report. The committed seeds are
// generated captures (single-cycle frames in both protocols, chains, busy, cut and wrong-CRC
// frames, register accesses seen from master and slave) written in this form.
enum Option : uint8_t {
    kReportCallback = 0x01,  // a report through the row callback
    kReportBlock = 0x02,     // a report through the named block (when the callback bit is clear)
    kStopRequest = 0x04,     // the host sets its stop word after stopAfter queries
    kHighPositions = 0x08,   // the capture ends at the end of the signed 64-bit range
    kRawCursors = 0x10,      // cursors, first/last valid sample and lastSample taken raw
    kShortLabels = 0x20,
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zbfuzz::StartModule();
    zbfuzz::FuzzInput in(data, size);
    uint32_t words[9];
    for (uint32_t& w : words) w = in.U32();
    const uint16_t settingsState = in.U16();
    const uint8_t maChannel = in.U8(), sloChannel = in.U8(), options = in.U8();
    const uint16_t stopAfter = in.U16(), tail = in.U16();
    const uint32_t sampleRate = in.U32();
    int64_t cursor[6];
    for (int64_t& c : cursor) c = static_cast<int64_t>(in.U64());
    const auto firstValid = static_cast<int64_t>(in.U64()), lastValid = static_cast<int64_t>(in.U64()),
               lastSample = static_cast<int64_t>(in.U64());

    // The capture from sample 0, its last sample `tail` after the last change; high positions move
    // it to end at the largest position there is. Steps beyond that position are dropped.
    bissgen::Capture capture;
    capture.sampleRate = sampleRate;
    uint64_t span = 0;
    for (bool first = true; !in.Empty(); first = false) {
        const uint8_t b = in.U8();
        uint64_t step = (b >> 2) + 1u;
        if (step == 64) {
            const uint16_t x = in.U16();
            step = (x & 0x8000) ? uint64_t{1} << (x & 62) : 63u + x;
        }
        if (!first) {
            if (step > static_cast<uint64_t>(INT64_MAX) - tail - span) break;
            span += step;
        }
        capture.changes.push_back(
            {static_cast<int64_t>(span), static_cast<uint8_t>(b & 1), static_cast<uint8_t>((b >> 1) & 1)});
    }
    if (capture.changes.empty()) return 0;
    span += tail;
    capture.lastSample = static_cast<int64_t>(span);
    const int64_t base = (options & kHighPositions) != 0 ? INT64_MAX - static_cast<int64_t>(span) : 0;
    zbtest::MemoryHost host(capture, maChannel, sloChannel);
    host.Repeat(1, base);

    zb::HostRecord& r = host.Record();
    r.hostFlags = (options & kShortLabels) ? zb::HostFlag::kShortLabels : 0;
    for (int i = 0; i < 6; ++i) {
        r.cursorPosition[i] =
            (options & kRawCursors) != 0
                ? cursor[i]
                : base + static_cast<int64_t>(static_cast<uint64_t>(cursor[i]) % (span + 1));
    }
    if ((options & kRawCursors) != 0) {
        r.firstValidSample = firstValid;
        r.lastValidSample = lastValid;
        r.lastSample = lastSample;
    }
    r.settingsState = settingsState;
    r.channelTable[0] = maChannel;
    r.channelTable[1] = sloChannel;
    std::memcpy(r.decoderWords, words, sizeof words);
    if ((options & kStopRequest) != 0) host.StopAfterQueries(stopAfter);
    char blockName[32] = {};
    if ((options & kReportCallback) != 0) {
        host.UseReportCallback(true);
    } else if ((options & kReportBlock) != 0) {
        std::snprintf(blockName, sizeof blockName, "zbfuzz_%d", static_cast<int>(zbtest::TestProcessId()));
        std::strcpy(r.reportBlockName, blockName);
    }

    const uint32_t count = Analysis(&r);
    ZB_FUZZ_CHECK2(r.progress == 1000, r.progress, count);
    ZB_FUZZ_CHECK2(r.settingsState == 9, r.settingsState, 0);
    if (!host.Misuse().empty()) zbfuzz::Fail(host.Misuse().c_str());
    CheckRecords(r, count);
    if (r.reportRow != nullptr) {
        ZB_FUZZ_CHECK(host.ReportEnded());
        zbfuzz::CheckReportLines(host.ReportLines());
    } else if (blockName[0] != '\0') {
        zbfuzz::CheckReportLines(zbfuzz::SplitLines(zbfuzz::TakeSharedBlock(blockName)));
    }
    return 0;
}
