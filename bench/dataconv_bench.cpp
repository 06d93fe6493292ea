// Waveform labels per second over the records of a realistic decode: the core label function alone,
// and the whole DataConv path (settings in and out, host remembered, colours, host text conversion).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "abi/decoder_settings.h"
#include "abi/host_record.h"
#include "abi/record_code.h"
#include "labels/waveform_label.h"
#include "plugin/label_request.h"
#include "plugin/module_state.h"

namespace {

using namespace zb;

// The records of a stretch of capture: single-cycle BiSS-C frames with 12-bit positions (4
// multi-turn, 8 single-turn bits), now and then a busy or error frame, and a few register-access
// records, in the proportions a long decode shows them.
std::vector<uint32_t> RecordMix() {
    std::vector<uint32_t> codes = {MakeCode(RecordKind::FirstFrame), MakeCode(RecordKind::ClockPeriod, 25)};
    for (uint32_t frame = 0; frame < 4096; ++frame) {
        const uint64_t multi = frame >> 8, single = frame & 0xFF;
        codes.push_back(MakeCode(RecordKind::Ack));
        codes.push_back(MakeCode(RecordKind::Start));
        codes.push_back(MakeCode(RecordKind::Cds, frame & 1));
        codes.push_back(MakeCode(RecordKind::MultiTurnHigh, TripleHighPayload(multi)));
        codes.push_back(MakeCode(RecordKind::MultiTurnMid, TripleMidPayload(multi)));
        codes.push_back(MakeCode(RecordKind::MultiTurnLow, TripleLowPayload(multi)));
        codes.push_back(MakeCode(RecordKind::SingleTurnHigh, TripleHighPayload(single)));
        codes.push_back(MakeCode(RecordKind::SingleTurnMid, TripleMidPayload(single)));
        codes.push_back(MakeCode(RecordKind::SingleTurnLow, TripleLowPayload(single)));
        codes.push_back(MakeCode(RecordKind::Err, 1));
        codes.push_back(MakeCode(RecordKind::Warn, 1));
        codes.push_back(MakeCode(RecordKind::Crc, (frame * 7) & 0x3F));
        codes.push_back(MakeCode(RecordKind::Stop));
        codes.push_back(MakeCode(RecordKind::Cdm, (frame >> 1) & 1));
        if (frame % 64 == 0) codes.push_back(MakeStatus(StatusCode::Busy, 3));
        if (frame % 256 == 0) {
            codes.push_back(MakeCode(RecordKind::Id, kIdIsIds | 5));
            codes.push_back(MakeCode(RecordKind::Adr, 0x41));
            codes.push_back(MakeCode(RecordKind::ReadWrite, 2));
            codes.push_back(MakeCode(RecordKind::RegData, frame & 0xFF));
            codes.push_back(MakeStatus(StatusCode::Error));
        }
        codes.push_back(MakeStatus(StatusCode::Idle));
    }
    return codes;
}

// The host's code lists, one per record: count 3 and the record's code with the two after it.
std::vector<uint32_t> HostLists(const std::vector<uint32_t>& codes) {
    std::vector<uint32_t> lists;
    for (size_t i = 0; i < codes.size(); ++i) {
        lists.push_back(3);
        for (size_t k = 0; k < 3; ++k) lists.push_back(i + k < codes.size() ? codes[i + k] : 0);
    }
    return lists;
}

void PrepareHost(HostRecord& host, uint32_t extraFlags) {
    DecoderSettings block{};
    SettingsView view(&block);
    view.ApplyDefaults();
    view.SetAutoLength(false);
    CopySettingsOut(block, host);
    host.hostFlags = HostFlag::kCodeList | extraFlags;
}

void BM_LabelCore(benchmark::State& state) {
    const std::vector<uint32_t> codes = RecordMix();
    HostRecord host{};
    PrepareHost(host, 0);
    CallContext call;
    call.Remember(&host);
    DecoderSettings block;
    CopySettingsIn(host, block);
    const SettingsView view(&block);
    char text[64];
    size_t i = 0;
    for (auto _ : state) {
        const uint32_t count = static_cast<uint32_t>(codes.size() - i < 3 ? codes.size() - i : 3);
        benchmark::DoNotOptimize(
            BuildWaveformLabel(call, view, CodeList{count, &codes[i]}, text, sizeof text));
        benchmark::ClobberMemory();
        if (++i == codes.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LabelCore);

// Everything DataConv does behind its argument check, with the host's code lists.
void DataConvPath(benchmark::State& state, uint32_t extraFlags) {
    const std::vector<uint32_t> lists = HostLists(RecordMix());
    const size_t records = lists.size() / 4;
    HostRecord host{};
    PrepareHost(host, extraFlags);
    char text[64];
    size_t i = 0;
    for (auto _ : state) {
        LabelRecordForHost(host, reinterpret_cast<uintptr_t>(&lists[4 * i]), text, sizeof text);
        benchmark::DoNotOptimize(host.labelColourMask);
        benchmark::ClobberMemory();
        if (++i == records) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    RememberHost(nullptr);
}
void BM_DataConvPath(benchmark::State& state) {
    DataConvPath(state, 0);
}
void BM_DataConvPathUtf8Host(benchmark::State& state) {
    DataConvPath(state, HostFlag::kUtf8);
}
BENCHMARK(BM_DataConvPath);
BENCHMARK(BM_DataConvPathUtf8Host);

}  // namespace

BENCHMARK_MAIN();
