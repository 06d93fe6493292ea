// Fuzz target: arbitrary settings words and MA/SLO change streams through the Analysis export, as
// a host calls it, with the checks a host relies on: the record arrays are there and equally long,
// positions never decrease and strictly increase outside value triples, every code is of a kind
// the decoder defines, the failure record stands alone, progress stays within 0..1000, and a
// report (row callback or named block) parses line by line.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "abi/host_record.h"
#include "abi/record_code.h"
#include "decoder_input.h"
#include "fuzz_host.h"
#include "support/memory_host.h"

extern "C" uint32_t Analysis(zb::HostRecord* host);
extern "C" uint32_t DataConv(zb::HostRecord* host, uint64_t codeOrList, char* text, uint32_t size);

namespace {

using zb::RecordKind;
using zbfuzz::DecoderInput;

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

// Labels a few records the way a host that passes code lists does.
void LabelSome(zb::HostRecord& r, uint32_t count) {
    const uint32_t n = std::min<uint32_t>(count, 24);
    r.hostFlags |= zb::HostFlag::kCodeList;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t left = std::min<uint32_t>(count - i, 3);
        std::vector<uint32_t> list(1 + left);
        list[0] = left;
        for (uint32_t k = 0; k < left; ++k) list[1 + k] = r.codeArray[i + k];
        std::vector<char> text(16);
        DataConv(&r, reinterpret_cast<uintptr_t>(list.data()), text.data(),
                 static_cast<uint32_t>(text.size()));
        ZB_FUZZ_CHECK(std::memchr(text.data(), '\0', text.size()) != nullptr);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zbfuzz::StartModule();
    zbfuzz::FuzzInput in(data, size);
    const DecoderInput d = zbfuzz::DecodeDecoderInput(in);
    if (d.steps.empty()) return 0;

    // The capture from sample 0, its last sample `tail` after the last change; high positions move
    // it to end at the largest position there is. Steps beyond that position are dropped.
    bissgen::Capture capture;
    capture.sampleRate = d.sampleRate;
    uint64_t span = 0;
    for (size_t i = 0; i < d.steps.size(); ++i) {
        if (i > 0) {
            if (d.steps[i].delta > static_cast<uint64_t>(INT64_MAX) - d.tail - span) break;
            span += d.steps[i].delta;
        }
        capture.changes.push_back({static_cast<int64_t>(span), d.steps[i].ma, d.steps[i].slo});
    }
    span += d.tail;
    capture.lastSample = static_cast<int64_t>(span);
    const bool high = (d.options & zbfuzz::kHighPositions) != 0;
    const int64_t base = high ? INT64_MAX - static_cast<int64_t>(span) : 0;
    zbtest::MemoryHost host(capture, d.maChannel, d.sloChannel);
    host.Repeat(1, base);

    zb::HostRecord& r = host.Record();
    r.hostFlags = (d.options & zbfuzz::kShortLabels) ? zb::HostFlag::kShortLabels : 0;
    if ((d.options & zbfuzz::kRawCursors) != 0) {
        for (int i = 0; i < 6; ++i) r.cursorPosition[i] = d.cursor[i];
        r.firstValidSample = d.firstValid;
        r.lastValidSample = d.lastValid;
        r.lastSample = d.lastSample;
    } else {
        for (int i = 0; i < 6; ++i) {
            r.cursorPosition[i] =
                base + static_cast<int64_t>(static_cast<uint64_t>(d.cursor[i]) % (span + 1));
        }
    }
    r.settingsState = d.settingsState;
    r.channelTable[0] = d.maChannel;
    r.channelTable[1] = d.sloChannel;
    const uint32_t words[9] = {d.optionWord,
                               d.colourWord,
                               d.auxWord,
                               static_cast<uint32_t>(d.singleTurnBits),
                               static_cast<uint32_t>(d.crcBits),
                               d.crcPolynomial,
                               d.crcInitial,
                               static_cast<uint32_t>(d.alignmentBits),
                               static_cast<uint32_t>(d.protocol)};
    std::memcpy(r.decoderWords, words, sizeof words);
    if ((d.options & zbfuzz::kStopRequest) != 0) host.StopAfterQueries(d.stopAfter);
    char blockName[32] = {};
    if ((d.options & zbfuzz::kReportCallback) != 0) {
        host.UseReportCallback(true);
    } else if ((d.options & zbfuzz::kReportBlock) != 0) {
        std::snprintf(blockName, sizeof blockName, "zbfuzz_%d", static_cast<int>(getpid()));
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
    LabelSome(r, count);
    return 0;
}
