// The generated captures of the golden files and the decoder settings each one is decoded with.
// Shared by the native golden test and the Windows host program that decodes the same captures
// through the DLL, so it depends on the generator only: the settings are plain values that each
// side writes into its settings block in its own way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bissgen/generator.h"

namespace zbtest {

// Decoder settings of one scenario (everything else keeps its default).
struct ScenarioSettings {
    uint32_t mode = 2;     // 0 register master view, 1 register slave view, 2 single cycle
    int32_t protocol = 0;  // 0 BiSS-C, 1 BiSS-B
    int32_t dataLength = 20;
    int32_t singleTurnBits = 12;
    int32_t alignmentBits = 0;
    int32_t crcBits = 6;
    uint32_t crcPolynomial = 0x43;
    uint32_t crcInitial = 0;
    bool combineTurns = false;
    bool autoLength = false;
    uint32_t registerColumns = 8;
    uint32_t slaves = 1;           // 1..8 slaves in the chain
    uint32_t hostValueFormat = 0;  // 0 HEX, 1 DEC, 2 OCT, 3 BIN, 4 character, 5 (unknown: empty)
};

struct GoldenScenario {
    std::string name;
    std::string description;
    std::function<bissgen::Capture()> capture;
    ScenarioSettings settings;
};

namespace golden {

inline bissgen::Timing FastTiming() {
    bissgen::Timing t;
    t.sampleRate = 20000000;  // 20 MS/s, MA at 2 MHz: 10 samples per clock
    t.clockHz = 2000000;
    t.pauseNs = 20000;
    t.timeoutNs = 5000;
    t.leadNs = 10000;
    return t;
}

inline bissgen::Layout FrameLayout(bissgen::Protocol protocol, int mt, int st, int align) {
    bissgen::Layout l;
    l.protocol = protocol;
    l.multiTurnBits = mt;
    l.singleTurnBits = st;
    l.alignBits = align;
    return l;
}

inline bissgen::Frame OneSlave(uint64_t mt, uint64_t st) {
    bissgen::Frame f;
    f.slaves[0].multiTurn = mt;
    f.slaves[0].singleTurn = st;
    f.cdm = 0;
    return f;
}

// Register traffic: a read of three bytes, a write of ten, a command, a refused access, a read
// whose address CRC is corrupted and a read with one bad data CRC.
inline bissgen::Capture RegisterTraffic() {
    bissgen::Generator gen(FastTiming(), FrameLayout(bissgen::Protocol::BissC, 0, 12, 0), 7);
    const bissgen::RegisterAccess read = bissgen::RegisterRead(2, 0x41, {0x12, 0x34, 0x56});
    gen.QueueAccess(read);
    bissgen::RegisterAccess write = bissgen::RegisterWrite(1, 0x10, {});
    for (uint8_t b = 0; b < 10; ++b) write.data.push_back(static_cast<uint8_t>(0xA0 + b));
    gen.QueueAccess(write);
    gen.QueueAccess(bissgen::BusCommand(0x5A, 2));
    bissgen::RegisterAccess refused = read;
    refused.address = 0x7F;
    refused.refuse = true;
    gen.QueueAccess(refused);
    bissgen::RegisterAccess badHeader = read;
    badHeader.corruptAddressCrc = true;
    gen.QueueAccess(badHeader);
    bissgen::RegisterAccess badByte = read;
    badByte.corruptByte = 1;
    gen.QueueAccess(badByte);
    bissgen::Frame filler;
    filler.slaves[0].singleTurn = 0x321;
    gen.FlushControl(filler);
    return gen.Finish();
}

}  // namespace golden

inline std::vector<GoldenScenario> GoldenScenarios() {
    using bissgen::Protocol;
    using golden::FastTiming;
    using golden::FrameLayout;
    using golden::OneSlave;
    std::vector<GoldenScenario> s;

    s.push_back({"scd_c_separate_hex", "BiSS-C, MT 8 + ST 12, separate turns, HEX",
                 [] {
                     return bissgen::MakeCapture(FastTiming(), FrameLayout(Protocol::BissC, 8, 12, 0),
                                                 {OneSlave(0x00, 0x000), OneSlave(0x5A, 0xABC),
                                                  OneSlave(0xFF, 0xFFF), OneSlave(0x01, 0x800)});
                 },
                 ScenarioSettings{}});
    {
        ScenarioSettings st;
        st.combineTurns = true;
        st.hostValueFormat = 1;
        s.push_back({"scd_c_combined_dec", "BiSS-C, MT 8 + ST 12, combined turns, DEC",
                     [] {
                         return bissgen::MakeCapture(
                             FastTiming(), FrameLayout(Protocol::BissC, 8, 12, 0),
                             {OneSlave(0x00, 0x001), OneSlave(0x5A, 0xABC), OneSlave(0xFF, 0xFFF)});
                     },
                     st});
    }
    {
        ScenarioSettings st;
        st.protocol = 1;
        st.dataLength = 22;
        st.alignmentBits = 2;
        st.hostValueFormat = 2;
        s.push_back({"scd_b_align_oct", "BiSS-B, MT 8 + ST 12 + 2 alignment bits, OCT",
                     [] {
                         return bissgen::MakeCapture(
                             FastTiming(), FrameLayout(Protocol::BissB, 8, 12, 2),
                             {OneSlave(0x07, 0x123), OneSlave(0x80, 0xFED), OneSlave(0x00, 0x000)});
                     },
                     st});
    }
    {
        ScenarioSettings st;
        st.protocol = 1;
        st.combineTurns = true;
        st.dataLength = 16;
        st.singleTurnBits = 16;
        st.hostValueFormat = 3;
        s.push_back({"scd_b_combined_bin", "BiSS-B, ST 16, combined, BIN",
                     [] {
                         return bissgen::MakeCapture(FastTiming(), FrameLayout(Protocol::BissB, 0, 16, 0),
                                                     {OneSlave(0, 0x8001), OneSlave(0, 0x00FF)});
                     },
                     st});
    }
    {
        ScenarioSettings st;
        st.dataLength = 8;
        st.singleTurnBits = 8;
        st.hostValueFormat = 4;
        s.push_back({"scd_c_char", "BiSS-C, ST 8, character names",
                     [] {
                         return bissgen::MakeCapture(FastTiming(), FrameLayout(Protocol::BissC, 0, 8, 0),
                                                     {OneSlave(0, 'A'), OneSlave(0, 0), OneSlave(0, ' '),
                                                      OneSlave(0, 200), OneSlave(0, '"'), OneSlave(0, ',')});
                     },
                     st});
    }
    {
        ScenarioSettings st;
        st.hostValueFormat = 5;
        s.push_back({"scd_c_unknown_format",
                     "BiSS-C, MT 8 + ST 12, a host format the formatter does not know",
                     [] {
                         return bissgen::MakeCapture(FastTiming(), FrameLayout(Protocol::BissC, 8, 12, 0),
                                                     {OneSlave(0x12, 0x345)});
                     },
                     st});
    }
    {
        ScenarioSettings st;
        st.slaves = 3;
        s.push_back(
            {"scd_chain3", "BiSS-C, three slaves of MT 8 + ST 12 in a chain, one with nErr and nWarn",
             [] {
                 bissgen::Frame f = OneSlave(0x11, 0x111);
                 f.slaves.resize(3);
                 f.slaves[1].multiTurn = 0x22;
                 f.slaves[1].singleTurn = 0x222;
                 f.slaves[1].err = 0;
                 f.slaves[1].warn = 0;
                 f.slaves[2].multiTurn = 0x33;
                 f.slaves[2].singleTurn = 0x333;
                 bissgen::Frame g = f;
                 g.slaves[1].err = 1;
                 g.slaves[1].warn = 1;
                 g.slaves[2].crcXor = 1;
                 return bissgen::MakeCapture(FastTiming(), FrameLayout(Protocol::BissC, 8, 12, 0), {f, g});
             },
             st});
    }
    s.push_back({"scd_broken", "BiSS-C: a bad CRC, nErr, a busy slave, frames cut short",
                 [] {
                     bissgen::Frame badCrc = OneSlave(0x01, 0x234);
                     badCrc.slaves[0].crcXor = 0x15;
                     bissgen::Frame error = OneSlave(0x02, 0x345);
                     error.slaves[0].err = 0;
                     bissgen::Frame busy = OneSlave(0x03, 0x456);
                     busy.ackClocks = 4;
                     bissgen::Frame cutEarly = OneSlave(0x04, 0x567);
                     cutEarly.cutAfter = 1;
                     bissgen::Frame cutLate = OneSlave(0x05, 0x678);
                     cutLate.cutAfter = 12;
                     return bissgen::MakeCapture(
                         FastTiming(), FrameLayout(Protocol::BissC, 8, 12, 0),
                         {OneSlave(0, 0x111), badCrc, error, busy, cutEarly, cutLate, OneSlave(0x06, 0x789)});
                 },
                 ScenarioSettings{}});
    for (uint32_t mode : {0u, 1u}) {
        for (uint32_t columns : {8u, 16u}) {
            ScenarioSettings st;
            st.mode = mode;
            st.dataLength = 12;
            st.registerColumns = columns;
            const std::string view = mode == 0 ? "master" : "slave";
            s.push_back({"reg_" + view + "_" + std::to_string(columns),
                         "register reads, writes, a command, a refusal and CRC errors; " + view + " view, " +
                             std::to_string(columns) + " data columns",
                         golden::RegisterTraffic, st});
        }
    }
    return s;
}

}  // namespace zbtest
