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
#include "bissgen/samples.h"
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

TEST(BissgenFrames, TimingDelayJitterBusyAndBrokenFrames) {
    const Timing timings[] = {{200000000, 2.5e6, 0, 0},
                              {200000000, 3e6, 10, 6},
                              {100000000, 10e6, 3, 2},
                              {50000000, 1e6, 90, 0}};  // samples/s, clock, line delay, jitter
    for (const Timing& t : timings) {
        Generator gen(t, Layout{}, 5);
        Frame busy, cut;
        busy.ackClocks = 7;
        cut.cutAfter = 10;
        cut.cdm = 1;  // ignored: the master broke off
        for (const Frame& f : {Frame{}, busy, cut, Frame{}}) gen.AddFrame(f);
        const Capture cap = gen.Finish();
        const double period = static_cast<double>(t.sampleRate) / t.clockHz;
        const auto& fr = gen.Frames();
        for (const FrameTruth& f : fr) {
            SCOPED_TRACE(testing::Message() << t.sampleRate << " " << t.clockHz << " frame " << f.index);
            for (size_t k = 0; k < f.rises.size(); ++k) {
                const double nominal =
                    static_cast<double>(f.firstFall) + (static_cast<double>(k) + 0.5) * period;
                EXPECT_LE(std::abs(static_cast<double>(f.rises[k]) - nominal), 2 * t.jitter + 1.0);
                // SLO holds the bit from rise + delay on, and the previous bit just before.
                EXPECT_EQ(SloAt(cap, f.rises[k] + t.lineDelay), f.bits[k]);
                if (k > 0) {
                    EXPECT_EQ(SloAt(cap, f.rises[k] + t.lineDelay - 1), f.bits[k - 1]);
                }
            }
            if (f.cut) continue;
            // The slave's timeout: SLO low after the frame, high again before the next one.
            EXPECT_EQ(SloAt(cap, f.timeoutStart), 0);
            EXPECT_EQ(SloAt(cap, f.timeoutEnd), 1);
            if (f.index + 1 < static_cast<int>(fr.size())) {
                EXPECT_LT(f.timeoutEnd, fr[static_cast<size_t>(f.index) + 1].firstFall - 2 * period);
            }
        }
        EXPECT_EQ(fr[1].startEdge, 7);
        for (int k = 0; k < 7; ++k) EXPECT_EQ(fr[1].bits[static_cast<size_t>(k)], 0) << "busy acknowledge";
        EXPECT_TRUE(fr[2].cut);
        EXPECT_EQ(fr[2].rises.size(), 10u);
        EXPECT_EQ(fr[2].cdm, 0);
        EXPECT_EQ(fr[2].pauseLowStart, -1);
        // MA stays high from the last clock of the broken frame to the next frame.
        EXPECT_EQ(LongestMaLevel(cap, fr[2].rises.back(), fr[3].firstFall), 1);
    }
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

// Each step's CDM is read from the pause after a frame (MA mostly low: 1), its CDS from the next
// frame's CDS bit; the truth names the frames of each access.
TEST(BissgenControl, StepsRideOnCdmThenCdsOneFrameLater) {
    Timing timing;
    timing.clockHz = 2.5e6;
    timing.jitter = 3;
    Generator gen(timing, Layout{}, 9);
    RegisterAccess read = RegisterRead(0, 0x42, {0xA5, 0x01});
    read.waitFrames = 1;
    RegisterAccess refused;
    refused.refuse = true;
    std::string cdm, cds;
    for (const RegisterAccess& a : {read, RegisterWrite(0, 0, {0x99}), BusCommand(0x3C, 0), refused}) {
        gen.QueueAccess(a, 2);
        for (const ControlStep& s : PlanAccess(a).steps) cdm += char('0' + s.cdm), cds += char('0' + s.cds);
        cdm += "00", cds += "00";
    }
    gen.FlushControl();
    const Capture cap = gen.Finish();
    const auto frames = SampleFrames(cap, 0, gen.PeriodSamples());
    ASSERT_EQ(frames.size(), gen.Frames().size());
    std::string seenCdm, seenCds;
    for (size_t f = 0; f + 1 < frames.size(); ++f) {
        const int64_t end = frames[f + 1].front().rise - static_cast<int64_t>(gen.PeriodSamples());
        seenCdm += LongestMaLevel(cap, frames[f].back().rise, end) == 0 ? '1' : '0';
        seenCds += static_cast<char>('0' + frames[f + 1][2].bit);  // after acknowledge and start
    }
    EXPECT_EQ(frames[0][2].bit, 0);
    EXPECT_EQ(seenCdm, cdm);
    EXPECT_EQ(seenCds, cds);
    ASSERT_EQ(gen.Accesses().size(), 4u);
    int nextFirst = 0;
    for (const AccessTruth& a : gen.Accesses()) {
        EXPECT_EQ(a.firstFrame, nextFirst) << a.index;
        EXPECT_EQ(a.lastFrame, a.firstFrame + static_cast<int>(a.plan.steps.size())) << a.index;
        nextFirst = a.lastFrame + 2;  // the last step's CDS shares a frame with the first idle CDM
        EXPECT_EQ(gen.Frames()[static_cast<size_t>(a.firstFrame)].cdmAccess, a.index);
    }

    // A frame broken off before its CDS bit: the slave's answer waits for the next whole frame.
    Generator broken(Timing{}, Layout{}, 1);
    broken.QueueAccess(RegisterAccess{}, 0);
    Frame cutEarly;
    cutEarly.cutAfter = 2;  // acknowledge and start only
    for (const Frame& f : {Frame{}, cutEarly, Frame{}}) broken.AddFrame(f);
    const auto& f = broken.Frames();
    EXPECT_EQ(f[1].cdsAccess, -1);
    EXPECT_EQ(f[1].cdmAccess, -1) << "no pause is measured after a broken frame";
    EXPECT_EQ(f[2].cdsAccess, 0);
    EXPECT_EQ(f[2].cdmAccess, 0);
    EXPECT_EQ(broken.PendingSteps(), PlanAccess(RegisterAccess{}).steps.size() - 2);
}

// ---- Samples, VCD timescale, truth and scenarios ------------------------------------------------

TEST(BissgenOutputs, SamplesExpandedInAnyPieces) {
    Capture c;
    c.lastSample = 40;
    c.changes = {{0, 1, 1}, {3, 0, 1}, {4, 0, 0}, {20, 1, 0}, {39, 1, 1}};
    std::vector<uint8_t> want;
    for (int64_t p = 0, i = 0; p <= 45; ++p) {
        while (i + 1 < static_cast<int64_t>(c.changes.size()) && c.changes[i + 1].position <= p) ++i;
        want.push_back(
            static_cast<uint8_t>((c.changes[i].slo ? kSloBit : 0) | (c.changes[i].ma ? kMaBit : 0)));
    }
    SampleExpander ex(c);
    EXPECT_EQ(ex.SampleCount(), 41u);
    // Pieces of every size in order, then backwards (the expander restarts).
    for (size_t piece : {1, 2, 3, 7, 46}) {
        std::vector<uint8_t> got(46, 0xEE);
        for (size_t at = 0; at < got.size(); at += piece)
            ex.Fill(at, std::min(piece, got.size() - at), got.data() + at);
        EXPECT_EQ(got, want) << "piece " << piece;
    }
    uint8_t one = 0;
    ex.Fill(0, 1, &one);
    EXPECT_EQ(one, kMaBit | kSloBit);
}

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

TEST(BissgenOutputs, TruthLinesNameValuesCrcsAndEdges) {
    Timing t;
    t.sampleRate = 100000000;
    t.clockHz = 1e6;  // 100 samples per clock
    Generator gen(t, Layout{}, 1);
    Frame f;
    f.slaves[0].singleTurn = 0xABC;
    f.slaves[0].crcXor = 0x3F;
    f.cds = 0;
    f.cdm = 1;
    gen.QueueAccess(RegisterWrite(1, 0x42, {0xA5, 0x00}), 0);
    gen.AddFrame(f);
    gen.FlushControl();
    const std::string frame = FrameLine(gen.Frames()[0], Layout{});
    for (const char* part : {"frame 0 fall=1000 ack=1050x1 start=1150 cds=0@1250",
                             "s0 data=0xABC@1350 st=0xABC err=1 warn=1 crc=0x9@2750 bad(expected 0x36)",
                             "last=3250 cdm=1 low=3350.."})
        EXPECT_NE(frame.find(part), std::string::npos) << frame;
    const std::string access = AccessLine(gen.Accesses()[0]);
    EXPECT_NE(access.find("access 0 write id=1 adr=0x42"), std::string::npos) << access;
    EXPECT_NE(access.find("rw=01 valid data=A5/4,00/F"), std::string::npos) << access;
    const std::string text = TruthText(gen);
    EXPECT_EQ(text.rfind("# bissgen truth: BiSS-C", 0), 0u);
    EXPECT_NE(text.find(access + "\n"), std::string::npos);
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
