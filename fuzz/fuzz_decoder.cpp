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

extern "C" uint32_t Analysis(zb::HostRecord* host);
extern "C" uint32_t DataConv(zb::HostRecord* host, uint64_t codeOrList, char* text, uint32_t size);

namespace {

using zb::RecordKind;
using zbfuzz::DecoderInput;

struct Change {
    int64_t position;
    uint8_t ma, slo;
};

// The capture and what the plug-in handed back during the call; the callbacks carry no context.
struct Host {
    zb::HostRecord record{};
    std::vector<Change> changes;
    int maChannel = -1, sloChannel = -1;
    uint32_t stopWord = 0;
    uint64_t queries = 0;
    uint64_t stopAfter = 0;
    std::vector<std::string> lines;
    int endCalls = 0;
};
Host* host = nullptr;

void SetLevel(uint8_t* state, int channel, uint8_t level) {
    if (channel >= 0 && channel < 128 && level != 0)
        state[channel / 8] |= static_cast<uint8_t>(1u << (channel % 8));
}

uint64_t SampleQuery(uint64_t position, uint8_t* state) {
    ZB_FUZZ_CHECK(state != nullptr);
    std::memset(state, 0, 16);
    ZB_FUZZ_CHECK2(host->record.progress <= 1000, host->record.progress, 0);
    ++host->queries;
    if (host->stopAfter != 0 && host->queries >= host->stopAfter) host->stopWord = 1;
    const std::vector<Change>& c = host->changes;
    auto after = std::upper_bound(c.begin(), c.end(), position, [](uint64_t p, const Change& ch) {
        return p < static_cast<uint64_t>(ch.position);
    });
    const size_t index = after == c.begin() ? 0 : static_cast<size_t>(after - c.begin()) - 1;
    SetLevel(state, host->maChannel, c[index].ma);
    SetLevel(state, host->sloChannel, c[index].slo);
    if (after == c.end()) return zb::kNoFurtherChange;
    return static_cast<uint64_t>(after->position);
}

uint32_t AbortPoll() {
    ZB_FUZZ_CHECK2(host->record.progress <= 1000, host->record.progress, 0);
    return 0;
}

int32_t ReportRow(const char* text, uint32_t length) {
    if (text == nullptr) {
        ZB_FUZZ_CHECK(length == 0);
        ++host->endCalls;
        return 1;
    }
    ZB_FUZZ_CHECK2(host->endCalls == 0, host->endCalls, 0);
    ZB_FUZZ_CHECK2(length <= zbfuzz::kMaxReportLine, length, 0);
    host->lines.emplace_back(text, length);
    return 1;
}

bool KnownKind(uint8_t kind) {
    switch (static_cast<RecordKind>(kind)) {
        case RecordKind::Failure:
        case RecordKind::ReadWrite:
        case RecordKind::Cmd:
        case RecordKind::Adr:
        case RecordKind::Id:
        case RecordKind::Idl:
        case RecordKind::Cts:
        case RecordKind::Cdm:
        case RecordKind::Stop:
        case RecordKind::Crc:
        case RecordKind::Warn:
        case RecordKind::Err:
        case RecordKind::RegData:
        case RecordKind::DataMid:
        case RecordKind::SingleTurnMid:
        case RecordKind::MultiTurnMid:
        case RecordKind::DataLow:
        case RecordKind::DataHigh:
        case RecordKind::SingleTurnLow:
        case RecordKind::SingleTurnHigh:
        case RecordKind::MultiTurnLow:
        case RecordKind::MultiTurnHigh:
        case RecordKind::Cds:
        case RecordKind::Start:
        case RecordKind::Ack:
        case RecordKind::ClockPeriod:
        case RecordKind::FirstFrame:
        case RecordKind::Status:
            return true;
        default:  // Ida is known to the labels but never stored
            return false;
    }
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

    Host h;
    host = &h;
    // Positions: the first change at the base, the others after their steps; high positions put
    // the capture's last sample at the very end of the signed range.
    // A capture never reaches past the largest position: steps beyond it are dropped.
    uint64_t span = 0;
    size_t used = 1;
    for (; used < d.steps.size(); ++used) {
        if (d.steps[used].delta > static_cast<uint64_t>(INT64_MAX) - d.tail - span) break;
        span += d.steps[used].delta;
    }
    span += d.tail;
    const bool high = (d.options & zbfuzz::kHighPositions) != 0;
    const int64_t base = high ? INT64_MAX - static_cast<int64_t>(span) : 0;
    int64_t p = base;
    for (size_t i = 0; i < used; ++i) {
        if (i > 0) p += static_cast<int64_t>(d.steps[i].delta);
        h.changes.push_back(Change{p, d.steps[i].ma, d.steps[i].slo});
    }

    zb::HostRecord& r = h.record;
    r.sampleQuery = &SampleQuery;
    r.abortPoll = &AbortPoll;
    r.stopFlag = &h.stopWord;
    r.captureChannelCount = 128;
    r.sampleRate = d.sampleRate;
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
        r.lastSample = base + static_cast<int64_t>(span);
    }
    r.settingsState = d.settingsState;
    r.channelTable[0] = d.maChannel;
    r.channelTable[1] = d.sloChannel;
    h.maChannel = d.maChannel;
    h.sloChannel = d.sloChannel;
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
    if ((d.options & zbfuzz::kStopRequest) != 0) h.stopAfter = d.stopAfter;
    char blockName[32] = {};
    if ((d.options & zbfuzz::kReportCallback) != 0) {
        r.reportRow = &ReportRow;
        std::strcpy(r.reportBlockName, "zbfuzz");
    } else if ((d.options & zbfuzz::kReportBlock) != 0) {
        std::snprintf(blockName, sizeof blockName, "zbfuzz_%d", static_cast<int>(getpid()));
        std::strcpy(r.reportBlockName, blockName);
    }

    const uint32_t count = Analysis(&r);
    ZB_FUZZ_CHECK2(r.progress == 1000, r.progress, count);
    ZB_FUZZ_CHECK2(r.settingsState == 9, r.settingsState, 0);
    CheckRecords(r, count);
    if (r.reportRow != nullptr) {
        ZB_FUZZ_CHECK2(h.endCalls == 1, h.endCalls, 0);
        zbfuzz::CheckReportLines(h.lines);
    } else if (blockName[0] != '\0') {
        zbfuzz::CheckReportLines(zbfuzz::SplitLines(zbfuzz::TakeSharedBlock(blockName)));
    }
    LabelSome(r, count);
    host = nullptr;
    return 0;
}
