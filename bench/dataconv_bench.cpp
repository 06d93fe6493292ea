// Waveform labels per second over the records of a realistic decode: the core label function alone,
// and the whole DataConv path (settings in and out, host remembered, colours, host text conversion).
//   build/native/bench/dataconv_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench_decode.h"
#include "labels/waveform_label.h"
#include "plugin/label_request.h"
#include "plugin/module_state.h"

namespace {

using namespace zb;

// The records of a decode of 4,096 single-cycle BiSS-C frames with 4 multi-turn and 8 single-turn
// bits, with now and then a busy slave, a wrong CRC or an error flag, and register traffic riding
// on CDM/CDS.
std::vector<uint32_t> RecordMix() {
    bissgen::Layout layout;
    layout.multiTurnBits = 4;
    layout.singleTurnBits = 8;
    bissgen::ScenarioOptions o = zbbench::FastTraffic(layout, 4096);
    o.mode = bissgen::TrafficMode::Register;
    o.busyEvery = 64;
    o.crcErrorEvery = 37;
    o.flagEvery = 29;
    zbbench::RepeatedDecode d(zbbench::Tile(o), 1);
    zbbench::Configure(d.View(), layout, DecodeMode::SingleCycle);
    d.Run();
    return std::vector<uint32_t>(d.Codes(), d.Codes() + d.Count());
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
