// Reading the engine's records back in tests: (position, code) pairs with readable output, and a
// harness that feeds a change list straight into the frame parser.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "bissgen/capture.h"
#include "engine/decode_engine.h"
#include "plugin/module_state.h"

namespace zbtest {

struct Rec {
    int64_t pos;
    uint32_t code;
    bool operator==(const Rec& o) const { return pos == o.pos && code == o.code; }
    bool operator!=(const Rec& o) const { return !(*this == o); }
};

inline std::ostream& operator<<(std::ostream& os, const Rec& r) {
    char text[48];
    std::snprintf(text, sizeof text, "(%lld, 0x%08X)", static_cast<long long>(r.pos), r.code);
    return os << text;
}

inline std::vector<Rec> RecordsFrom(const int64_t* pos, const uint32_t* codes, uint64_t n) {
    std::vector<Rec> out;
    for (uint64_t i = 0; i < n; ++i) out.push_back({pos[i], codes[i]});
    return out;
}

inline std::vector<Rec> Records(zb::RecordOutput& r) {
    std::vector<Rec> out;
    for (uint64_t i = 0; i < r.positionStore.StoreCount(); ++i)
        out.push_back({r.positionStore.ElementAt(i), r.codeStore.ElementAt(i)});
    return out;
}

// Equal lists, or the first difference with a few records around it.
inline ::testing::AssertionResult SameRecords(const std::vector<Rec>& actual,
                                              const std::vector<Rec>& expected) {
    size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
    if (i == actual.size() && i == expected.size()) return ::testing::AssertionSuccess();
    std::ostringstream os;
    os << "sizes " << actual.size() << " vs expected " << expected.size() << ", first difference at " << i;
    for (size_t k = i >= 3 ? i - 3 : 0; k < i + 4; ++k) {
        os << "\n" << k << ": ";
        if (k < actual.size()) os << actual[k];
        os << "  expected ";
        if (k < expected.size()) os << expected[k];
    }
    return ::testing::AssertionFailure() << os.str();
}

inline Rec R(int64_t pos, uint32_t code) {
    return Rec{pos, code};
}
inline uint32_t C(zb::RecordKind kind, uint32_t payload = 0) {
    return zb::MakeCode(kind, payload);
}
inline uint32_t S(zb::StatusCode status, uint32_t ack = 0) {
    return zb::MakeStatus(status, ack);
}

// The frame parser with its assembler on a record output of its own, whose stores stay in memory
// (they are never reset, so they name no file). `format` starts as single-cycle BiSS-C: 12 data
// bits, all single-turn, CRC 6 bits 0x43, phase 0, one slave.
struct ParserHarness {
    zb::FrameFormat format;
    zb::RecordOutput out;
    zb::RegisterAssembler assembler{out};
    zb::FrameParser parser{out, assembler};

    // Reset, BeginWalk with the first change's levels, OnChange for the rest, EndWalk at lastPos.
    std::vector<Rec> Run(const std::vector<bissgen::Change>& changes, int64_t lastPos) {
        parser.Reset(format);
        const auto levelsOf = [](const bissgen::Change& c) { return (c.ma & 1u) | (c.slo & 1u) << 1; };
        uint32_t levels = levelsOf(changes.front());
        parser.BeginWalk(levels);
        for (size_t i = 1; i < changes.size(); ++i) {
            const uint32_t now = levelsOf(changes[i]);
            parser.OnChange(changes[i].position, now, now ^ levels);
            levels = now;
        }
        parser.EndWalk(lastPos, levels);
        return Records(out);
    }
};

// Points the module at a test's own engine while it lives; afterwards the previous engine is
// back and no host is remembered.
class EngineSwap {
  public:
    explicit EngineSwap(zb::DecodeEngine& engine) : saved_(zb::Module().engine) {
        zb::Module().engine = &engine;
    }
    ~EngineSwap() {
        zb::Module().engine = saved_;
        zb::RememberHost(nullptr);
    }
    EngineSwap(const EngineSwap&) = delete;
    EngineSwap& operator=(const EngineSwap&) = delete;

  private:
    zb::DecodeEngine* saved_;
};

}  // namespace zbtest
