// What the benchmarks share: a whole decode, as Analysis runs it, of a generated tile of traffic
// served repeated by the in-memory host, and the helpers that read the process's memory figures.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "abi/decoder_settings.h"
#include "bissgen/scenario.h"
#include "engine/decode_engine.h"
#include "support/memory_host.h"

namespace zbbench {

// `tile` served `repeats` times end to end, decoded with the settings the caller writes through
// View() (the defaults until then). The records stay readable until the next Run.
class RepeatedDecode {
  public:
    RepeatedDecode(const bissgen::Capture& tile, int64_t repeats) : host_(tile) {
        host_.Repeat(repeats);
        zb::CopySettingsIn(host_.Record(), block_);
        View().ApplyDefaults();
        View().SetAutoLength(false);
    }
    zb::SettingsView View() { return zb::SettingsView(&block_); }
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
    zbtest::MemoryHost host_;
    zb::CallContext call_;
    zb::DecodeEngine engine_{call_};
    zb::DecoderSettings block_{};
    uint32_t count_ = 0;
    const int64_t* positions_ = nullptr;
    const uint32_t* codes_ = nullptr;
};

// Random traffic of `frames` frames in `layout`, 20 samples per clock at 200 MS/s with short
// pauses: a tile to be served repeated. The caller may add register traffic and odd frames.
inline bissgen::ScenarioOptions FastTraffic(const bissgen::Layout& layout, int frames) {
    bissgen::ScenarioOptions o;
    o.frames = frames;
    o.layout = layout;
    o.timing.clockHz = 10000000;
    o.timing.pauseNs = 1000;  // the generator keeps at least 10 clocks of pause
    o.timing.timeoutNs = 200;
    o.timing.leadNs = 500;
    o.seed = 2024;
    return o;
}

inline bissgen::Capture Tile(const bissgen::ScenarioOptions& o) {
    return bissgen::RunScenario(o).Finish();
}

// Writes the layout of the tile's frames into the settings.
inline void Configure(zb::SettingsView v, const bissgen::Layout& layout, zb::DecodeMode mode) {
    v.SetMode(static_cast<uint32_t>(mode));
    v.SetDataLength(layout.DataBits());
    v.SetSingleTurnBits(layout.singleTurnBits);
    v.SetCrcBits(layout.crc.bits);
    v.SetCrcPolynomial(layout.crc.poly);
    v.SetCrcInitial(layout.crc.init);
}

inline double Seconds(const std::function<void()>& work) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A "Vm...:" figure of /proc/self/status in KiB, or -1.
inline long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n + 1);
    return -1;
}

// Resets VmHWM to the current resident size, so the next reading is the peak of what follows.
inline bool ResetPeak() {
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
    return static_cast<bool>(f);
}

}  // namespace zbbench
