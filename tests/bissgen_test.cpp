// The traffic generator, checked from outside: its CRCs against published and worked values, its
// register accesses bit by bit, and the lines it draws read back by a small bit sampler written
// here (rising edges of MA, SLO taken a line delay later) and compared with what was asked for.
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

// ---- An independent reader of the two lines --------------------------------------------------

struct SampledBit {
    int64_t rise;
    uint8_t bit;
};

uint8_t SloAt(const Capture& c, int64_t pos) {
    auto it = std::upper_bound(c.changes.begin(), c.changes.end(), pos,
                               [](int64_t p, const Change& ch) { return p < ch.position; });
    return it == c.changes.begin() ? c.changes.front().slo : std::prev(it)->slo;
}

// Every rising edge of MA with the SLO level `delay` samples later, in bursts split wherever two
// rising edges lie more than 2 clock periods apart; a one-edge burst (the end of a CDM 1 pause)
// is dropped.
std::vector<std::vector<SampledBit>> SampleFrames(const Capture& c, int64_t delay, double period) {
    std::vector<std::vector<SampledBit>> bursts;
    uint8_t ma = c.changes.front().ma;
    int64_t last = -1;
    for (const Change& ch : c.changes) {
        if (ma == 0 && ch.ma == 1) {
            if (last < 0 || static_cast<double>(ch.position - last) > 2 * period) bursts.emplace_back();
            bursts.back().push_back({ch.position, SloAt(c, ch.position + delay)});
            last = ch.position;
        }
        ma = ch.ma;
    }
    bursts.erase(std::remove_if(bursts.begin(), bursts.end(), [](const auto& b) { return b.size() < 2; }),
                 bursts.end());
    return bursts;
}

// The MA level held longest between `from` and `to`.
int LongestMaLevel(const Capture& c, int64_t from, int64_t to) {
    int64_t best = -1;
    int level = 1;
    for (size_t i = 0; i < c.changes.size(); ++i) {
        const int64_t a = std::max(from, c.changes[i].position);
        const int64_t b = std::min(to, i + 1 < c.changes.size() ? c.changes[i + 1].position : to);
        if (b - a > best) best = b - a, level = c.changes[i].ma;
    }
    return level;
}

uint64_t TakeBits(const std::vector<SampledBit>& bits, size_t& at, int count) {
    uint64_t v = 0;
    for (int i = 0; i < count && at < bits.size(); ++i) v = (v << 1) | bits[at++].bit;
    return v;
}

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

// ---- Frames on the wire -----------------------------------------------------------------------

struct LayoutCase {
    const char* name;
    Protocol protocol;
    int mt, st, align, crcBits;
    uint32_t poly, init;
    int slaves, ackClocks;
    int64_t delay;
    double clockHz, jitter;
};

class BissgenFrameLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(BissgenFrameLayout, SampledBitsMatchTheRequest) {
    const LayoutCase& lc = GetParam();
    Timing timing;
    timing.sampleRate = 100000000;
    timing.clockHz = lc.clockHz;
    timing.lineDelay = lc.delay;
    timing.jitter = lc.jitter;
    const Layout layout{lc.protocol, lc.mt, lc.st, lc.align, {lc.crcBits, lc.poly, lc.init}};
    Generator gen(timing, layout, 42);
    SplitMix64 rnd(7);
    std::vector<Frame> sent;
    for (int f = 0; f < 6; ++f) {
        Frame fr;
        fr.ackClocks = lc.ackClocks + f % 2;
        fr.cdm = f % 2;
        fr.cds = (f / 2) % 2;
        fr.slaves.clear();
        for (int s = 0; s < lc.slaves; ++s) {
            SlaveWord w;
            w.multiTurn = rnd.Bits(lc.mt);
            w.singleTurn = rnd.Bits(lc.st);
            w.alignment = rnd.Bits(lc.align);
            w.err = static_cast<uint8_t>(rnd.Bits(1));
            w.warn = static_cast<uint8_t>(rnd.Bits(1));
            w.crcXor = (f == 3 && s == 0) ? 1u : 0u;
            fr.slaves.push_back(w);
        }
        sent.push_back(fr);
        gen.AddFrame(fr);
    }
    const Capture cap = gen.Finish();
    ASSERT_EQ(cap.changes.front().position, 0);
    for (size_t i = 1; i < cap.changes.size(); ++i) {
        ASSERT_LT(cap.changes[i - 1].position, cap.changes[i].position);
        ASSERT_TRUE(cap.changes[i - 1].ma != cap.changes[i].ma ||
                    cap.changes[i - 1].slo != cap.changes[i].slo);
    }
    EXPECT_GT(cap.lastSample, cap.changes.back().position);

    const auto frames = SampleFrames(cap, lc.delay, 100e6 / lc.clockHz);
    ASSERT_EQ(frames.size(), sent.size());
    for (size_t f = 0; f < frames.size(); ++f) {
        SCOPED_TRACE(testing::Message() << lc.name << " frame " << f);
        const auto& bits = frames[f];
        size_t at = 0;
        EXPECT_EQ(TakeBits(bits, at, sent[f].ackClocks), 0u) << "acknowledge";
        EXPECT_EQ(TakeBits(bits, at, 1), 1u) << "start bit";
        if (lc.protocol == Protocol::BissC) {
            EXPECT_EQ(TakeBits(bits, at, 1), static_cast<uint64_t>(sent[f].cds));
        }
        for (const SlaveWord& w : sent[f].slaves) {
            EXPECT_EQ(TakeBits(bits, at, lc.mt), w.multiTurn);
            EXPECT_EQ(TakeBits(bits, at, lc.st), w.singleTurn);
            EXPECT_EQ(TakeBits(bits, at, lc.align), w.alignment);
            EXPECT_EQ(TakeBits(bits, at, 1), w.err);
            EXPECT_EQ(TakeBits(bits, at, 1), w.warn);
            const uint64_t whole = (lc.st + lc.align >= 64 ? 0 : w.multiTurn << (lc.st + lc.align)) |
                                   (lc.align >= 64 ? 0 : w.singleTurn << lc.align) | w.alignment;
            const CrcParams crc{lc.crcBits, lc.poly, lc.init};
            EXPECT_EQ(TakeBits(bits, at, lc.crcBits),
                      FrameCrc(crc, whole, lc.mt + lc.st + lc.align, w.err, w.warn) ^ w.crcXor);
        }
        EXPECT_EQ(at, bits.size()) << "nothing after the last CRC bit";
        // The pause: MA stays high for CDM 0 and is mostly low for CDM 1.
        const int64_t next = f + 1 < gen.Frames().size() ? gen.Frames()[f + 1].firstFall : cap.lastSample;
        EXPECT_EQ(LongestMaLevel(cap, bits.back().rise, next), sent[f].cdm == 1 ? 0 : 1);
        EXPECT_EQ(gen.Frames()[f].rises.back(), bits.back().rise);
    }
}

const LayoutCase kLayouts[] = {
    {"C 12 bit", Protocol::BissC, 0, 12, 0, 6, 0x43, 0, 1, 1, 0, 2e6, 0},
    {"B 12 bit", Protocol::BissB, 0, 12, 0, 6, 0x43, 0, 1, 1, 0, 2e6, 0},
    {"C mt st align", Protocol::BissC, 12, 13, 2, 6, 0x43, 0, 1, 2, 3, 2.5e6, 0},
    {"C 64 bit crc16", Protocol::BissC, 0, 64, 0, 16, 0x1021, 0xFFFF, 1, 1, 0, 1e6, 0},
    {"C 1 bit crc1", Protocol::BissC, 0, 1, 0, 1, 0x1, 0, 1, 1, 0, 3e6, 0},
    {"C chain of 3", Protocol::BissC, 4, 10, 1, 6, 0x43, 0x15, 3, 1, 5, 2e6, 0},
    {"C chain of 8 jitter", Protocol::BissC, 0, 18, 0, 8, 0x97, 0, 8, 1, 7, 2e6, 5},
    {"B delay above half period", Protocol::BissB, 8, 8, 0, 6, 0x43, 0, 1, 1, 40, 2e6, 3},
    {"C odd clock ratio", Protocol::BissC, 3, 9, 0, 6, 0x43, 0, 2, 3, 2, 3e6, 1},
};
std::string CaseName(const testing::TestParamInfo<LayoutCase>& info) {
    std::string name = info.param.name;
    for (char& ch : name) ch = isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
}
INSTANTIATE_TEST_SUITE_P(Layouts, BissgenFrameLayout, testing::ValuesIn(kLayouts), CaseName);

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

    RegisterAccess refused, both, burst, silent, offer, corrupt;
    refused.refuse = true;
    both.kind = AccessKind::Write;
    both.masterRw = 3;
    burst.data.assign(70, 0x5A);  // cut to 64 bytes
    silent.neverStarts = true;
    silent.waitFrames = 5;
    offer.offerMore = true;
    corrupt.corruptAddressCrc = true;
    corrupt.corruptByte = 0;
    corrupt.headerCds = 0x8001;
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
    const AccessPlan good = PlanAccess(RegisterAccess{}), bad = PlanAccess(corrupt);
    EXPECT_EQ(bad.addressCrc, good.addressCrc ^ 1u);
    EXPECT_EQ(bad.byteCrcs.at(0), good.byteCrcs.at(0) ^ 1u);
    EXPECT_EQ(bad.steps.front().cds + bad.steps.at(15).cds, 2);  // the header's CDS bits 0 and 15
    EXPECT_EQ(bad.steps.at(14).cds, 0);
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
