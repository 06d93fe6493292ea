// The traffic generator, checked from outside: its CRCs against published and worked values, its
// register accesses bit by bit, the step rule of broken frames, the VCD timescale and the traffic
// scenarios. The lines it draws are read back by the decoder in the round trips
// (round_trip_test.cpp), over every layout, CRC width, chain, line delay and a jittering clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bissgen/control.h"
#include "bissgen/crc.h"
#include "bissgen/generator.h"
#include "bissgen/scenario.h"
#include "bissgen/truth.h"
#include "bissgen/vcd.h"

namespace {

using namespace bissgen;

// ---- CRC --------------------------------------------------------------------------------------

TEST(BissgenCrc, PublishedAndWorkedValues) {
    // name, CRC, data, data bits, nErr, nWarn, CRC expected
    const std::tuple<const char*, CrcParams, uint64_t, int, unsigned, unsigned, uint32_t> cases[] = {
        // The 12 bits 0100 1101 0101 as 10 data bits followed by nErr 0 and nWarn 1.
        {"published CRC6 vector", {6, 0x43, 0}, 0x135, 10, 0, 1, 0x1C},
        {"data 1010, nErr 1, nWarn 1", {6, 0x43, 0}, 0xA, 4, 1, 1, 0x01},
        {"one zero bit", {6, 0x43, 0}, 0, 1, 0, 0, 0x3F},
        {"data 0xABC", {6, 0x43, 0}, 0xABC, 12, 1, 1, 0x36},
        {"top term left out", {6, 0x03, 0}, 0xABC, 12, 1, 1, 0x36},
        {"1-bit CRC is inverted parity, odd", {1, 0x1, 0}, 0x7, 3, 1, 1, 0x0},
        {"1-bit CRC is inverted parity, even", {1, 0x3, 0}, 0x3, 3, 0, 0, 0x1},
        // A hand run of the bits 1,0,1 through x^3+x+1 from 101: 010, 100, 000; inverted 111.
        {"initial value", {3, 0xB, 0x5}, 0x1, 1, 0, 1, 0x7},
    };
    for (const auto& [name, crc, data, bits, err, warn, expected] : cases)
        EXPECT_EQ(FrameCrc(crc, data, bits, err, warn), expected) << name;
    const uint8_t vec[12] = {0, 1, 0, 0, 1, 1, 0, 1, 0, 1, 0, 1};
    EXPECT_EQ(CrcOverBits({6, 0x43, 0}, vec, 12), 0x1Cu);
    // 64 data bits start at bit 63: the same as 64 explicit bits.
    std::vector<uint8_t> ones(65, 1);
    ones.push_back(0);
    EXPECT_EQ(FrameCrc({16, 0x1021, 0xFFFF}, ~uint64_t{0}, 64, 1, 0),
              CrcOverBits({16, 0x1021, 0xFFFF}, ones.data(), ones.size()));
    EXPECT_EQ(CrcMask(0), 0u);
    EXPECT_EQ(CrcMask(16), 0xFFFFu);
    EXPECT_EQ(CrcMask(32), 0xFFFFFFFFu);
    EXPECT_EQ(ControlCrc4(0, 11), 0xFu);
    EXPECT_EQ(ControlCrc4((1u << 10) | 0x42, 11), 0x7u);
    EXPECT_EQ(ControlCrc4(0xA5, 8), 0x4u);
}

// ---- Register accesses ------------------------------------------------------------------------

// The CDM and CDS bits of each step of an access as two strings, and the expected ones given in
// groups (spaces are left out).
void ExpectSteps(const AccessPlan& plan, std::string cdm, std::string cds) {
    for (std::string* s : {&cdm, &cds}) s->erase(std::remove(s->begin(), s->end(), ' '), s->end());
    std::string gotCdm, gotCds;
    for (const ControlStep& s : plan.steps) {
        gotCdm += static_cast<char>('0' + s.cdm);
        gotCds += static_cast<char>('0' + s.cds);
    }
    EXPECT_EQ(gotCdm, cdm);
    EXPECT_EQ(gotCds, cds);
}

TEST(BissgenControl, AccessesBitByBit) {
    // A read of register 0x42 of slave 0: start, CTS 1, ID 000 and address 1000010, CRC 0111; R
    // answered 1, W 0; the slave's start bit at once, data 1010 0101 and CRC 0100; stop bit 1.
    const AccessPlan read = PlanAccess(RegisterRead(0, 0x42, {0xA5}));
    ExpectSteps(read, "1 1 0001000010 0111 1 0 0 00000000 0000 0",
                "0 0 0000000000 0000 1 0 1 10100101 0100 1");
    EXPECT_EQ(read.addressCrc, 0x7u);
    EXPECT_EQ(read.slaveRw, 2);
    EXPECT_TRUE(read.valid);
    EXPECT_EQ(read.byteCrcs, std::vector<uint32_t>{0x4});
    // A write of two bytes to slave 5, register 0x11, with two frames of waiting: W echoed, the
    // master's bytes echoed with their CRCs, a gap, stop bit 0 (more follows) and the master's
    // request for the next byte, then stop bit 1.
    RegisterAccess w = RegisterWrite(5, 0x11, {0x12, 0x34});
    w.waitFrames = 2;
    const AccessPlan write = PlanAccess(w);
    ExpectSteps(write, "1 1 1010010001 0011 0 1 0 0 1 00010010 1100 0 0 1 0 1 00110100 1100 0 0",
                "0 0 0000000000 0000 0 1 0 0 1 00010010 1100 0 0 0 0 1 00110100 1100 0 1");
    EXPECT_EQ(write.bytes, (std::vector<uint8_t>{0x12, 0x34}));
    // A command: CTS 0, IDS 0xA5 and command 2, CRC over the 11 bits; no answer.
    ExpectSteps(PlanAccess(BusCommand(0xA5, 2)), "1 0 1010010110 0011", "0 0 0000000000 0000");

    // Accesses of each kind (corrupted CRCs are pinned by the register golden captures).
    RegisterAccess refused, both, burst, silent, offer;
    refused.refuse = true;
    both.kind = AccessKind::Write;
    both.masterRw = 3;
    burst.data.assign(70, 0x5A);  // cut to 64 bytes
    silent.neverStarts = true;
    silent.waitFrames = 5;
    offer.offerMore = true;
    const std::tuple<const char*, RegisterAccess, size_t, uint8_t, bool> cases[] = {
        {"slave never starts", silent, 18 + 5, 2, true},
        {"stop bit 0 not taken up", offer, 18 + 14 + 2, 2, true},
        {"refused read", refused, 18, 0, false},
        {"R and W both sent", both, 18, 3, false},
        {"64-byte burst", burst, 18 + 64 * 14, 2, true},
    };
    for (const auto& [name, access, steps, slaveRw, valid] : cases) {
        const AccessPlan plan = PlanAccess(access);
        EXPECT_EQ(plan.steps.size(), steps) << name;
        EXPECT_EQ(plan.slaveRw, slaveRw) << name;
        EXPECT_EQ(plan.valid, valid) << name;
    }
    const AccessPlan offered = PlanAccess(offer);
    EXPECT_EQ(offered.steps.at(31).cds, 0) << "stop bit 0";
    EXPECT_EQ(offered.steps.at(32).cdm + offered.steps.at(33).cdm, 0);
}

// A frame broken off before its CDS bit: the slave's answer waits for the next whole frame, and no
// pause is measured after it. Where the steps of whole frames ride is checked by the decoder in the
// register-access round trips.
TEST(BissgenControl, ABrokenFrameCarriesNoStep) {
    Generator broken(Timing{}, Layout{}, 1);
    broken.QueueAccess(RegisterAccess{}, 0);
    Frame cutEarly;
    cutEarly.cutAfter = 2;  // acknowledge and start only
    for (const Frame& f : {Frame{}, cutEarly, Frame{}}) broken.AddFrame(f);
    const auto& f = broken.Frames();
    EXPECT_EQ(f[1].cdsAccess, -1);
    EXPECT_EQ(f[1].cdmAccess, -1);
    EXPECT_EQ(f[2].cdsAccess, 0);
    EXPECT_EQ(f[2].cdmAccess, 0);
    EXPECT_EQ(broken.PendingSteps(), PlanAccess(RegisterAccess{}).steps.size() - 2);
}

// ---- VCD timescale and scenarios ------------------------------------------------

TEST(BissgenOutputs, VcdTimescaleFollowsTheSampleRate) {
    const std::tuple<uint64_t, const char*, unsigned, uint64_t> cases[] = {
        {200000000, "1 ns", 9, 5},  {100000000, "10 ns", 8, 1},
        {1000000000, "1 ns", 9, 1}, {400000000, "100 ps", 10, 25},
        {1, "1 s", 0, 1},           {3000000, "1 fs", 15, 333333333},
        {0, "1 ns", 9, 1},          {25000000, "10 ns", 8, 4},
    };
    for (const auto& [rate, text, exponent, unitsPerSample] : cases) {
        const VcdTimescale ts = ChooseTimescale(rate);
        EXPECT_EQ(ts.text, text) << rate;
        EXPECT_EQ(ts.exponent, exponent) << rate;
        EXPECT_EQ(VcdTime(1, rate, ts.exponent), unitsPerSample) << rate;
    }
    EXPECT_EQ(VcdTime(600000000, 200000000, 9), 3000000000u);
    EXPECT_EQ(VcdTime(3, 3000000, 15), 1000000000u);
    std::string error;
    EXPECT_FALSE(WriteVcd(testing::TempDir() + "no/such/dir/x.vcd", Capture{}, &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
    EXPECT_FALSE(WriteTruth(testing::TempDir() + "no/such/dir/x.txt", Generator(Timing{}, Layout{}), &error));
}

TEST(BissgenOutputs, ScenariosAreReproducibleAndHonourTheirIntervals) {
    ScenarioOptions o;
    o.mode = TrafficMode::Register;
    o.frames = 60;
    o.slaves = 2;
    o.cutEvery = 10;
    o.busyEvery = 7;
    o.crcErrorEvery = 5;
    o.seed = 11;
    const Generator a = RunScenario(o);
    EXPECT_EQ(TruthText(RunScenario(o)), TruthText(a));
    int cut = 0, busy = 0, bad = 0;
    for (int i = 0; i < 60; ++i) {
        const FrameTruth& f = a.Frames()[static_cast<size_t>(i)];
        EXPECT_EQ(f.slaves.size(), 2u);
        EXPECT_EQ(f.cut, (i + 1) % 10 == 0) << i;
        cut += f.cut, busy += f.ackClocks > 1, bad += f.slaves[0].crc != f.slaves[0].crcCorrect;
    }
    EXPECT_EQ(cut, 6);
    EXPECT_EQ(busy, 8);
    EXPECT_EQ(bad, 12);
    EXPECT_GT(a.Accesses().size(), 0u);
    EXPECT_EQ(a.PendingSteps(), 0u);
    o.seed = 12;
    EXPECT_NE(TruthText(RunScenario(o)), TruthText(a));
}

}  // namespace
