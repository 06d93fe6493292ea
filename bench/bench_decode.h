// What the benchmarks share: a whole decode, as Analysis runs it, of a tile of generated traffic
// served repeated by the in-memory host, and the timing helpers.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "abi/decoder_settings.h"
#include "bissgen/scenario.h"
#include "engine/decode_engine.h"
#include "support/memory_host.h"

namespace zbbench {

// `frames` random frames of `layout` (20 samples per clock at 200 MS/s, short pauses, a line delay
// of `lineDelay` samples) served `repeats` times end to end and decoded with the settings of that
// layout in `mode`. The records stay readable until the next Run.
class RepeatedDecode {
  public:
    RepeatedDecode(const bissgen::Layout& layout, int frames, int64_t repeats, zb::DecodeMode mode,
                   int64_t lineDelay = 0)
        : host_(Tile(layout, frames, mode != zb::DecodeMode::SingleCycle, lineDelay)) {
        host_.Repeat(repeats);
        zb::CopySettingsIn(host_.Record(), block_);
        zb::SettingsView v(&block_);
        v.ApplyDefaults();
        v.SetAutoLength(false);
        v.SetMode(static_cast<uint32_t>(mode));
        v.SetDataLength(layout.DataBits());
        v.SetSingleTurnBits(layout.singleTurnBits);
        v.SetCrcBits(layout.crc.bits);
        v.SetCrcPolynomial(layout.crc.poly);
        v.SetCrcInitial(layout.crc.init);
        v.SetSloPhase(static_cast<int32_t>(lineDelay));
    }
    zb::DecoderSettings& Settings() { return block_; }
    zbtest::MemoryHost& Host() { return host_; }
    zb::CallContext& Call() { return call_; }

    uint32_t Run() {
        host_.Activate();
        call_.Remember(&host_.Record());
        count_ = zb::AnalyseCapture(engine_, &block_, &positions_, &codes_);
        return count_;
    }
    uint32_t Count() const { return count_; }
    const int64_t* Positions() const { return positions_; }
    const uint32_t* Codes() const { return codes_; }

  private:
    // Register traffic rides on CDM/CDS when the decode looks for it.
    static bissgen::Capture Tile(const bissgen::Layout& layout, int frames, bool registers,
                                 int64_t lineDelay) {
        bissgen::ScenarioOptions o;
        o.mode = registers ? bissgen::TrafficMode::Register : bissgen::TrafficMode::SingleCycle;
        o.frames = frames;
        o.layout = layout;
        o.timing.clockHz = 10000000;
        o.timing.pauseNs = 1000;  // the generator keeps at least 10 clocks of pause
        o.timing.timeoutNs = 200;
        o.timing.leadNs = 500;
        o.timing.lineDelay = lineDelay;
        o.seed = 2024;
        return bissgen::RunScenario(o).Finish();
    }

    zbtest::MemoryHost host_;
    zb::CallContext call_;
    zb::DecodeEngine engine_{call_};
    zb::DecoderSettings block_{};
    uint32_t count_ = 0;
    const int64_t* positions_ = nullptr;
    const uint32_t* codes_ = nullptr;
};

inline double Seconds(const std::function<void()>& work) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace zbbench
