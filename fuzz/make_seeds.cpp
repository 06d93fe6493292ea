// Writes the decoder target's seed inputs: captures made by the traffic generator (single-cycle
// frames in both protocols, chains, busy and cut frames, CRC and error bits, register accesses
// seen from master and slave) with matching settings, in the decoder target's input form.
// Usage: fuzz_make_seeds <directory>
#include <cstdio>
#include <string>
#include <vector>

#include "abi/decoder_settings.h"
#include "bissgen/generator.h"
#include "decoder_input.h"

namespace {

using bissgen::Frame;
using bissgen::Generator;
using bissgen::Layout;
using bissgen::Timing;
using zbfuzz::DecoderInput;

struct Options {
    uint32_t mode = 2;  // single-cycle data
    uint32_t dataLength = 12;
    uint32_t dataChannels = 0;
    bool combine = false;
    bool autoLength = false;
};

// The option word of these settings, packed by the plug-in's own view.
uint32_t OptionWord(const Options& o) {
    zb::DecoderSettings block{};
    zb::SettingsView v(&block);
    v.SetMode(o.mode);
    v.SetDataLength(static_cast<int32_t>(o.dataLength));
    v.SetDataChannels(o.dataChannels);
    v.SetCombineTurns(o.combine);
    v.SetAutoLength(o.autoLength);
    return block.optionWord;
}

Timing SmallTiming() {
    Timing t;
    t.sampleRate = 20000000;  // 10 samples per clock
    t.clockHz = 2000000;
    t.pauseNs = 20000;
    t.timeoutNs = 5000;
    t.leadNs = 10000;
    return t;
}

DecoderInput FromCapture(const bissgen::Capture& c, const Layout& l, const Options& o, uint8_t options) {
    DecoderInput d;
    d.optionWord = OptionWord(o);
    d.colourWord = 0x55500200;
    d.auxWord = 0xD;
    d.singleTurnBits = l.singleTurnBits;
    d.crcBits = l.crc.bits;
    d.crcPolynomial = l.crc.poly;
    d.crcInitial = l.crc.init;
    d.alignmentBits = l.alignBits;
    d.protocol = l.protocol == bissgen::Protocol::BissB ? 1 : 0;
    d.settingsState = 9;
    d.options = options;
    d.stopAfter = 300;
    d.tail = 20;
    d.sampleRate = static_cast<uint32_t>(c.sampleRate);
    int64_t last = 0;
    for (size_t i = 0; i < c.changes.size(); ++i) {
        const bissgen::Change& ch = c.changes[i];
        const int64_t delta = i == 0 ? 1 : ch.position - last;
        last = ch.position;
        d.steps.push_back(DecoderInput::Step{static_cast<uint64_t>(delta), ch.ma, ch.slo});
    }
    return d;
}

std::vector<Frame> Frames(int n, uint64_t seed) {
    std::vector<Frame> frames(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        frames[static_cast<size_t>(i)].slaves[0].singleTurn =
            (seed * 2654435761u + static_cast<uint64_t>(i) * 977u) & 0xFFFFFF;
        frames[static_cast<size_t>(i)].slaves[0].multiTurn = static_cast<uint64_t>(i) * 3u;
    }
    return frames;
}

void Write(const std::string& dir, const std::string& name, const DecoderInput& d) {
    const std::string bytes = zbfuzz::EncodeDecoderInput(d);
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const Timing t = SmallTiming();

    Layout scd;  // 12 single-turn bits, CRC 6 / 0x43
    Write(dir, "scd_c12_callback",
          FromCapture(bissgen::MakeCapture(t, scd, Frames(4, 1)), scd, Options{}, zbfuzz::kReportCallback));

    Layout mt = scd;
    mt.multiTurnBits = 8;
    mt.singleTurnBits = 13;
    mt.alignBits = 2;
    Options combined;
    combined.dataLength = 23;
    combined.combine = true;
    Write(dir, "scd_mt_st_align_block",
          FromCapture(bissgen::MakeCapture(t, mt, Frames(4, 2)), mt, combined, zbfuzz::kReportBlock));
    Options autoLen;
    autoLen.dataLength = 0;
    autoLen.autoLength = true;
    Write(dir, "scd_auto_length", FromCapture(bissgen::MakeCapture(t, mt, Frames(5, 3)), mt, autoLen, 0));

    Layout b = scd;
    b.protocol = bissgen::Protocol::BissB;
    Write(dir, "scd_bissb",
          FromCapture(bissgen::MakeCapture(t, b, Frames(3, 4)), b, Options{},
                      zbfuzz::kReportCallback | zbfuzz::kShortLabels));

    // A chain of two slaves, a busy frame, a cut frame, a wrong CRC and active error bits.
    std::vector<Frame> odd = Frames(5, 5);
    for (Frame& f : odd) f.slaves.resize(2);
    odd[1].ackClocks = 4;
    odd[2].cutAfter = 9;
    odd[3].slaves[1].crcXor = 5;
    odd[4].slaves[0].err = 0;
    odd[4].slaves[0].warn = 0;
    Options chain;
    chain.dataChannels = 1;
    Write(dir, "scd_chain_busy_cut_crc",
          FromCapture(bissgen::MakeCapture(t, scd, odd), scd, chain, zbfuzz::kReportCallback));
    Write(dir, "scd_high_positions_stop",
          FromCapture(bissgen::MakeCapture(t, scd, Frames(4, 6)), scd, Options{},
                      zbfuzz::kHighPositions | zbfuzz::kStopRequest));

    // Register accesses: a read, a write and a command, seen from the master and from the slave.
    for (uint32_t mode : {0u, 1u}) {
        Generator g(t, scd, 7);
        g.QueueAccess(bissgen::RegisterRead(2, 0x15, {0xA5, 0x3C}));
        g.QueueAccess(bissgen::RegisterWrite(0, 0x41, {0x7E}));
        g.QueueAccess(bissgen::BusCommand(0x5A, 2));
        g.FlushControl();
        Options reg;
        reg.mode = mode;
        Write(dir, mode == 0 ? "register_master" : "register_slave",
              FromCapture(g.Finish(), scd, reg, zbfuzz::kReportCallback));
    }

    // Settings never initialised: the decode takes the defaults.
    DecoderInput fresh = FromCapture(bissgen::MakeCapture(t, scd, Frames(3, 8)), scd, Options{}, 0);
    fresh.optionWord = fresh.colourWord = fresh.auxWord = 0;
    fresh.settingsState = 0;
    Write(dir, "never_initialised", fresh);
    return 0;
}
