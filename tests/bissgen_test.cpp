// The traffic generator, checked from outside: CRCs against published and worked values, and the
// generated lines read back by a small bit sampler written here (rising edges of MA, SLO taken a
// line delay later), compared with what was asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bissgen/control.h"
#include "bissgen/crc.h"
#include "bissgen/generator.h"

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

// Every rising edge of MA with the SLO level `delay` samples later, split into bursts wherever
// two rising edges lie more than 2 clock periods apart.
std::vector<std::vector<SampledBit>> SampleBursts(const Capture& c, int64_t delay, double period) {
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
    return bursts;
}

// The longest MA level between `from` and `to`: returns the level (0 or 1).
int LongestMaLevel(const Capture& c, int64_t from, int64_t to) {
    int64_t best = -1;
    int level = 1;
    for (size_t i = 0; i < c.changes.size(); ++i) {
        const int64_t a = std::max(from, c.changes[i].position);
        const int64_t b = std::min(to, i + 1 < c.changes.size() ? c.changes[i + 1].position : to);
        if (b > a && b - a > best) {
            best = b - a;
            level = c.changes[i].ma;
        }
    }
    return level;
}

uint64_t TakeBits(const std::vector<SampledBit>& bits, size_t& at, int count) {
    uint64_t v = 0;
    for (int i = 0; i < count && at < bits.size(); ++i) v = (v << 1) | bits[at++].bit;
    return v;
}

uint64_t Shifted(uint64_t v, int n) {
    return n >= 64 ? 0 : v << n;
}

// ---- CRC --------------------------------------------------------------------------------------

TEST(BissgenCrc, PublishedAndWorkedValues) {
    struct Case {
        const char* name;
        CrcParams params;
        uint64_t data;
        int dataBits;
        unsigned err, warn;
        uint32_t expected;
    };
    const Case cases[] = {
        // The 12 bits 0100 1101 0101 as 10 data bits followed by nErr 0 and nWarn 1.
        {"published CRC6 vector", {6, 0x43, 0}, 0x135, 10, 0, 1, 0x1C},
        {"data 1010, nErr 1, nWarn 1", {6, 0x43, 0}, 0xA, 4, 1, 1, 0x01},
        {"one zero bit", {6, 0x43, 0}, 0, 1, 0, 0, 0x3F},
        {"data 0xABC", {6, 0x43, 0}, 0xABC, 12, 1, 1, 0x36},
        {"top term left out", {6, 0x03, 0}, 0xABC, 12, 1, 1, 0x36},
        {"1-bit CRC is inverted parity, odd", {1, 0x1, 0}, 0x7, 3, 1, 1, 0x0},
        {"1-bit CRC is inverted parity, even", {1, 0x3, 0}, 0x3, 3, 0, 0, 0x1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FrameCrc(c.params, c.data, c.dataBits, c.err, c.warn), c.expected) << c.name;
    }
    // Over raw bits: the same published vector.
    const uint8_t vec[12] = {0, 1, 0, 0, 1, 1, 0, 1, 0, 1, 0, 1};
    EXPECT_EQ(CrcOverBits({6, 0x43, 0}, vec, 12), 0x1Cu);
    // 64 data bits start at bit 63: the same as 64 explicit bits.
    std::vector<uint8_t> ones(64, 1);
    ones.push_back(1);
    ones.push_back(0);
    EXPECT_EQ(FrameCrc({16, 0x1021, 0xFFFF}, ~uint64_t{0}, 64, 1, 0),
              CrcOverBits({16, 0x1021, 0xFFFF}, ones.data(), ones.size()));
}

TEST(BissgenCrc, InitialValueAndWidth) {
    // A non-zero initial value equals zero initial value with the register preloaded: checked
    // against a hand run of three bits 1,0,1 with CRC3 poly 0x3 (x^3+x+1), init 0b101.
    // reg 101 -> fb 1^1=0: 010 -> fb 0^0=0: 100 -> fb 1^1=0: 000; inverted: 111.
    EXPECT_EQ(FrameCrc({3, 0xB, 0x5}, 0x1, 1, 0, 1), 0x7u);
    EXPECT_EQ(CrcMask(0), 0u);
    EXPECT_EQ(CrcMask(16), 0xFFFFu);
    EXPECT_EQ(CrcMask(32), 0xFFFFFFFFu);
}

TEST(BissgenCrc, ControlCrcWorkedValues) {
    EXPECT_EQ(ControlCrc4(0, 11), 0xFu);
    EXPECT_EQ(ControlCrc4((1u << 10) | 0x42, 11), 0x7u);
    EXPECT_EQ(ControlCrc4(0xA5, 8), 0x4u);
}

// ---- Frame layout on the wire ------------------------------------------------------------------

struct LayoutCase {
    const char* name;
    Protocol protocol;
    int mt, st, align, crcBits;
    uint32_t poly, init;
    int slaves;
    int ackClocks;
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
    Layout layout;
    layout.protocol = lc.protocol;
    layout.multiTurnBits = lc.mt;
    layout.singleTurnBits = lc.st;
    layout.alignBits = lc.align;
    layout.crc = {lc.crcBits, lc.poly, lc.init};
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
    ASSERT_FALSE(cap.changes.empty());
    EXPECT_EQ(cap.changes.front().position, 0);
    for (size_t i = 1; i < cap.changes.size(); ++i) {
        ASSERT_LT(cap.changes[i - 1].position, cap.changes[i].position);
        ASSERT_TRUE(cap.changes[i - 1].ma != cap.changes[i].ma ||
                    cap.changes[i - 1].slo != cap.changes[i].slo);
    }
    EXPECT_GT(cap.lastSample, cap.changes.back().position);

    const double period = 100e6 / lc.clockHz;
    const auto bursts = SampleBursts(cap, lc.delay, period);
    // A CDM 1 pause ends with one rising edge of its own: drop one-edge bursts.
    std::vector<std::vector<SampledBit>> frames;
    for (const auto& b : bursts) {
        if (b.size() > 1) frames.push_back(b);
    }
    ASSERT_EQ(frames.size(), sent.size());
    const CrcParams crc{lc.crcBits, lc.poly, lc.init};
    const int dataBits = lc.mt + lc.st + lc.align;
    for (size_t f = 0; f < frames.size(); ++f) {
        SCOPED_TRACE(testing::Message() << lc.name << " frame " << f);
        const auto& bits = frames[f];
        size_t at = 0;
        for (int a = 0; a < sent[f].ackClocks; ++a) {
            ASSERT_EQ(bits[at++].bit, 0) << "acknowledge";
        }
        ASSERT_EQ(bits[at++].bit, 1) << "start bit";
        if (lc.protocol == Protocol::BissC) {
            EXPECT_EQ(bits[at++].bit, sent[f].cds) << "CDS";
        }
        for (const SlaveWord& w : sent[f].slaves) {
            EXPECT_EQ(TakeBits(bits, at, lc.mt), w.multiTurn);
            EXPECT_EQ(TakeBits(bits, at, lc.st), w.singleTurn);
            EXPECT_EQ(TakeBits(bits, at, lc.align), w.alignment);
            EXPECT_EQ(TakeBits(bits, at, 1), w.err);
            EXPECT_EQ(TakeBits(bits, at, 1), w.warn);
            const uint64_t whole =
                Shifted(w.multiTurn, lc.st + lc.align) | Shifted(w.singleTurn, lc.align) | w.alignment;
            const uint32_t expected = FrameCrc(crc, whole, dataBits, w.err, w.warn) ^ w.crcXor;
            EXPECT_EQ(TakeBits(bits, at, lc.crcBits), expected) << "CRC";
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
    for (char& ch : name)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}
INSTANTIATE_TEST_SUITE_P(Layouts, BissgenFrameLayout, testing::ValuesIn(kLayouts), CaseName);

}  // namespace

namespace {

using namespace bissgen;

// ---- Control channel ----------------------------------------------------------------------------

std::vector<ControlStep> Steps(std::initializer_list<std::pair<int, int>> pairs) {
    std::vector<ControlStep> out;
    for (auto [m, s] : pairs) out.push_back(ControlStep{static_cast<uint8_t>(m), static_cast<uint8_t>(s)});
    return out;
}
void Append(std::vector<ControlStep>& to, const std::vector<ControlStep>& more) {
    to.insert(to.end(), more.begin(), more.end());
}
// `count` bits of value MSB first on CDM (master) or CDS (slave), or on both (echo).
std::vector<ControlStep> Bits(uint32_t value, int count, bool master, bool slave) {
    std::vector<ControlStep> out;
    for (int i = count - 1; i >= 0; --i) {
        const uint8_t b = static_cast<uint8_t>((value >> i) & 1u);
        out.push_back(ControlStep{master ? b : uint8_t{0}, slave ? b : uint8_t{0}});
    }
    return out;
}

bool SameSteps(const std::vector<ControlStep>& a, const std::vector<ControlStep>& b, std::string& where) {
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        if (i >= a.size() || i >= b.size() || a[i].cdm != b[i].cdm || a[i].cds != b[i].cds) {
            where = "step " + std::to_string(i) + " of " + std::to_string(a.size()) + "/" +
                    std::to_string(b.size());
            return false;
        }
    }
    return true;
}

TEST(BissgenControl, RegisterReadBitByBit) {
    RegisterAccess r;
    r.kind = AccessKind::Read;
    r.id = 0;
    r.address = 0x42;
    r.data = {0xA5};
    // Start, CTS 1, ID 000, address 1000010, CRC 0111; R answered 1, W answered 0; the slave's
    // start bit at once; data 1010 0101 and CRC 0100 from the slave; stop bit 1.
    std::vector<ControlStep> want = Steps({{1, 0}, {1, 0}});
    Append(want, Bits(0x042, 10, true, false));
    Append(want, Bits(0x7, 4, true, false));
    Append(want, Steps({{1, 1}, {0, 0}, {0, 1}}));
    Append(want, Bits(0xA5, 8, false, true));
    Append(want, Bits(0x4, 4, false, true));
    Append(want, Steps({{0, 1}}));
    const AccessPlan plan = PlanAccess(r);
    std::string where;
    EXPECT_TRUE(SameSteps(plan.steps, want, where)) << where;
    EXPECT_EQ(plan.addressCrc, 0x7u);
    EXPECT_EQ(plan.slaveRw, 2);
    EXPECT_TRUE(plan.valid);
    ASSERT_EQ(plan.byteCrcs.size(), 1u);
    EXPECT_EQ(plan.byteCrcs[0], 0x4u);
}

TEST(BissgenControl, WriteBurstWithWaitingSlave) {
    RegisterAccess w;
    w.kind = AccessKind::Write;
    w.id = 5;
    w.address = 0x11;
    w.data = {0x12, 0x34};
    w.waitFrames = 2;
    const uint32_t field = (5u << 7) | 0x11u;
    const uint32_t crc = ControlCrc4((1u << 10) | field, 11);
    std::vector<ControlStep> want = Steps({{1, 0}, {1, 0}});
    Append(want, Bits(field, 10, true, false));
    Append(want, Bits(crc, 4, true, false));
    Append(want, Steps({{0, 0}, {1, 1}}));          // R 0, W 1, echoed by the slave
    Append(want, Steps({{0, 0}, {0, 0}, {1, 1}}));  // two frames of waiting, then start bits
    Append(want, Bits(0x12, 8, true, true));        // the master's byte, echoed
    Append(want, Bits(ControlCrc4(0x12, 8), 4, true, true));
    Append(want, Steps({{0, 0}, {0, 0}}));          // one frame gap, then stop bit 0: more follows
    Append(want, Steps({{1, 0}, {0, 0}, {1, 1}}));  // the master asks for the next byte; wait; start
    Append(want, Bits(0x34, 8, true, true));
    Append(want, Bits(ControlCrc4(0x34, 8), 4, true, true));
    Append(want, Steps({{0, 0}, {0, 1}}));  // gap, stop bit 1
    const AccessPlan plan = PlanAccess(w);
    std::string where;
    EXPECT_TRUE(SameSteps(plan.steps, want, where)) << where;
    EXPECT_EQ(plan.bytes, (std::vector<uint8_t>{0x12, 0x34}));
}

TEST(BissgenControl, CommandRefusalAndCorruption) {
    struct Case {
        const char* name;
        RegisterAccess access;
        size_t steps;
        uint8_t slaveRw;
        bool valid;
    };
    RegisterAccess cmd;
    cmd.kind = AccessKind::Command;
    cmd.ids = 0xA5;
    cmd.command = 2;
    RegisterAccess refused;
    refused.refuse = true;
    RegisterAccess both;
    both.kind = AccessKind::Write;
    both.masterRw = 3;
    RegisterAccess burst;
    burst.data.assign(70, 0x5A);  // cut to 64 bytes
    RegisterAccess silent;
    silent.neverStarts = true;
    silent.waitFrames = 5;
    RegisterAccess offer;
    offer.offerMore = true;
    const Case cases[] = {
        {"command", cmd, 16, 0, true},
        {"slave never starts", silent, 18 + 5, 2, true},
        {"stop bit 0 not taken up", offer, 18 + 14 + 2, 2, true},
        {"refused read", refused, 18, 0, false},
        {"R and W both sent", both, 18, 3, false},
        {"64-byte burst", burst, 18 + 64 * 14, 2, true},
    };
    for (const Case& c : cases) {
        const AccessPlan plan = PlanAccess(c.access);
        EXPECT_EQ(plan.steps.size(), c.steps) << c.name;
        EXPECT_EQ(plan.slaveRw, c.slaveRw) << c.name;
        EXPECT_EQ(plan.valid, c.valid) << c.name;
    }
    // A command: CTS 0, IDS then the 2 command bits, CRC over the 11 bits.
    const AccessPlan plan = PlanAccess(cmd);
    std::vector<ControlStep> want = Steps({{1, 0}, {0, 0}});
    Append(want, Bits((0xA5u << 2) | 2u, 10, true, false));
    Append(want, Bits(ControlCrc4((0xA5u << 2) | 2u, 11), 4, true, false));
    std::string where;
    EXPECT_TRUE(SameSteps(plan.steps, want, where)) << where;

    const AccessPlan offered = PlanAccess(offer);
    EXPECT_EQ(offered.steps.at(31).cds, 0) << "stop bit 0";
    EXPECT_EQ(offered.steps.at(32).cdm, 0);
    EXPECT_EQ(offered.steps.at(33).cdm, 0);

    RegisterAccess bad;
    bad.corruptAddressCrc = true;
    bad.corruptByte = 0;
    bad.headerCds = 0x8001;
    const AccessPlan good = PlanAccess(RegisterAccess{});
    const AccessPlan corrupt = PlanAccess(bad);
    EXPECT_EQ(corrupt.addressCrc, good.addressCrc ^ 1u);
    EXPECT_EQ(corrupt.byteCrcs.at(0), good.byteCrcs.at(0) ^ 1u);
    EXPECT_EQ(corrupt.steps.front().cds, 1);
    EXPECT_EQ(corrupt.steps.at(15).cds, 1);
    EXPECT_EQ(corrupt.steps.at(14).cds, 0);
}

// ---- Register traffic on the wire ----------------------------------------------------------------

// The master's CDM of every complete frame (the longest MA level of its pause, low = 1) and the
// slave's CDS of every frame, read from the lines alone.
struct ControlWire {
    std::vector<int> cdm;  // per frame
    std::vector<int> cds;  // per frame
};

ControlWire ReadControlWire(const Capture& cap, double period, int ackClocks) {
    ControlWire w;
    std::vector<std::vector<SampledBit>> frames;
    for (const auto& b : SampleBursts(cap, 0, period)) {
        if (b.size() > 1) frames.push_back(b);
    }
    for (size_t f = 0; f < frames.size(); ++f) {
        w.cds.push_back(frames[f][static_cast<size_t>(ackClocks) + 1].bit);
        const int64_t end = f + 1 < frames.size() ? frames[f + 1].front().rise - static_cast<int64_t>(period)
                                                  : cap.lastSample;
        w.cdm.push_back(LongestMaLevel(cap, frames[f].back().rise, end) == 0 ? 1 : 0);
    }
    return w;
}

TEST(BissgenRegisterTraffic, StepsRideOnCdmThenCdsOneFrameLater) {
    Timing timing;
    timing.clockHz = 2.5e6;
    timing.jitter = 3;
    Layout layout;
    Generator gen(timing, layout, 9);
    RegisterAccess read;
    read.address = 0x42;
    read.data = {0xA5, 0x01};
    read.waitFrames = 1;
    RegisterAccess write;
    write.kind = AccessKind::Write;
    write.data = {0x99};
    RegisterAccess cmd;
    cmd.kind = AccessKind::Command;
    cmd.ids = 0x3C;
    RegisterAccess refused;
    refused.refuse = true;
    std::vector<ControlStep> expected;
    for (const RegisterAccess* a : {&read, &write, &cmd, &refused}) {
        gen.QueueAccess(*a, 2);
        Append(expected, PlanAccess(*a).steps);
        Append(expected, Steps({{0, 0}, {0, 0}}));
    }
    gen.FlushControl();
    const Capture cap = gen.Finish();
    const ControlWire wire = ReadControlWire(cap, gen.PeriodSamples(), 1);
    ASSERT_EQ(wire.cdm.size(), gen.Frames().size());
    // Frame 0 carried the first step's CDM; each step's CDS comes one frame after its CDM.
    std::vector<ControlStep> seen;
    for (size_t f = 0; f + 1 < wire.cdm.size(); ++f) {
        seen.push_back(ControlStep{static_cast<uint8_t>(wire.cdm[f]), static_cast<uint8_t>(wire.cds[f + 1])});
    }
    EXPECT_EQ(wire.cds.front(), 0);
    std::string where;
    EXPECT_TRUE(SameSteps(seen, expected, where)) << where;
    // The truth names the frames of each access.
    ASSERT_EQ(gen.Accesses().size(), 4u);
    int nextFirst = 0;
    for (const AccessTruth& a : gen.Accesses()) {
        EXPECT_EQ(a.firstFrame, nextFirst) << a.index;
        EXPECT_EQ(a.lastFrame, a.firstFrame + static_cast<int>(a.plan.steps.size())) << a.index;
        nextFirst = a.lastFrame + 2;  // the last step's CDS shares a frame with the first idle CDM
        EXPECT_EQ(gen.Frames()[static_cast<size_t>(a.firstFrame)].cdm, 1);
        EXPECT_EQ(gen.Frames()[static_cast<size_t>(a.firstFrame)].cdmAccess, a.index);
    }
}

TEST(BissgenRegisterTraffic, BrokenFrameKeepsTheSlavesAnswer) {
    Generator gen(Timing{}, Layout{}, 1);
    RegisterAccess r;
    gen.QueueAccess(r, 0);
    gen.AddFrame(Frame{});  // CDM start bit after this frame
    Frame cutEarly;
    cutEarly.cutAfter = 2;  // acknowledge and start only: the CDS answer is not clocked
    gen.AddFrame(cutEarly);
    gen.AddFrame(Frame{});  // carries the answer and the next CDM
    const auto& f = gen.Frames();
    EXPECT_TRUE(f[1].cut);
    EXPECT_EQ(f[1].rises.size(), 2u);
    EXPECT_EQ(f[1].cdsAccess, -1);
    EXPECT_EQ(f[1].cdmAccess, -1) << "no pause is measured after a broken frame";
    EXPECT_EQ(f[2].cdsAccess, 0);
    EXPECT_EQ(f[2].cdmAccess, 0);
    EXPECT_EQ(gen.PendingSteps(), PlanAccess(r).steps.size() - 2);
}

// ---- Timing, acknowledge, broken frames, determinism ------------------------------------------

TEST(BissgenTiming, EdgesDelayAndJitterStayInBounds) {
    struct Case {
        uint64_t rate;
        double clock, jitter;
        int64_t delay;
    };
    const Case cases[] = {
        {200000000, 2.5e6, 0, 0}, {200000000, 3e6, 6, 10}, {100000000, 10e6, 2, 3}, {50000000, 1e6, 0, 90}};
    for (const Case& c : cases) {
        Timing t;
        t.sampleRate = c.rate;
        t.clockHz = c.clock;
        t.jitter = c.jitter;
        t.lineDelay = c.delay;
        Generator gen(t, Layout{}, 5);
        for (int i = 0; i < 5; ++i) gen.AddFrame(Frame{});
        const Capture cap = gen.Finish();
        const double period = static_cast<double>(c.rate) / c.clock;
        for (const FrameTruth& f : gen.Frames()) {
            for (size_t k = 0; k < f.rises.size(); ++k) {
                const double nominal =
                    static_cast<double>(f.firstFall) + (static_cast<double>(k) + 0.5) * period;
                EXPECT_LE(std::abs(static_cast<double>(f.rises[k]) - nominal), 2 * c.jitter + 1.0);
                // SLO holds the bit from rise + delay on, and the previous bit just before.
                EXPECT_EQ(SloAt(cap, f.rises[k] + c.delay), f.bits[k]);
                if (k > 0) {
                    EXPECT_EQ(SloAt(cap, f.rises[k] + c.delay - 1), f.bits[k - 1]);
                }
            }
            // The slave's timeout: SLO low after the frame, high again before the next one.
            EXPECT_EQ(SloAt(cap, f.timeoutStart), 0);
            EXPECT_EQ(SloAt(cap, f.timeoutEnd), 1);
            if (f.index + 1 < static_cast<int>(gen.Frames().size())) {
                EXPECT_LT(f.timeoutEnd,
                          gen.Frames()[static_cast<size_t>(f.index) + 1].firstFall - 2 * period);
            }
        }
    }
}

TEST(BissgenTiming, BusyAcknowledgeAndBrokenFrames) {
    Generator gen(Timing{}, Layout{}, 1);
    Frame busy;
    busy.ackClocks = 7;
    Frame cut;
    cut.cutAfter = 10;
    cut.cdm = 1;  // ignored: the master broke off
    gen.AddFrame(busy);
    gen.AddFrame(cut);
    gen.AddFrame(Frame{});
    const Capture cap = gen.Finish();
    const auto& f = gen.Frames();
    EXPECT_EQ(f[0].startEdge, 7);
    for (int k = 0; k < 7; ++k) EXPECT_EQ(SloAt(cap, f[0].rises[static_cast<size_t>(k)]), 0);
    EXPECT_EQ(f[0].rises.size(), f[0].bits.size());
    EXPECT_TRUE(f[1].cut);
    EXPECT_EQ(f[1].rises.size(), 10u);
    EXPECT_EQ(f[1].cdm, 0);
    EXPECT_EQ(f[1].pauseLowStart, -1);
    // MA stays high from the last clock of the broken frame to the next frame.
    EXPECT_EQ(LongestMaLevel(cap, f[1].rises.back(), f[2].firstFall), 1);
    const auto bursts = SampleBursts(cap, 0, gen.PeriodSamples());
    ASSERT_EQ(bursts.size(), 3u);
    EXPECT_EQ(bursts[1].size(), 10u);
}

TEST(BissgenTiming, SameSeedSameCapture) {
    auto make = [](uint64_t seed) {
        Timing t;
        t.jitter = 10;
        Generator gen(t, Layout{}, seed);
        for (int i = 0; i < 20; ++i) gen.AddFrame(Frame{});
        return gen.Finish();
    };
    auto same = [](const Capture& a, const Capture& b) {
        if (a.changes.size() != b.changes.size() || a.lastSample != b.lastSample) return false;
        for (size_t i = 0; i < a.changes.size(); ++i) {
            if (a.changes[i].position != b.changes[i].position || a.changes[i].ma != b.changes[i].ma ||
                a.changes[i].slo != b.changes[i].slo)
                return false;
        }
        return true;
    };
    EXPECT_TRUE(same(make(77), make(77)));
    EXPECT_FALSE(same(make(77), make(78)));
}

}  // namespace

#include <cstdio>
#include <fstream>
#include <sstream>

#include "bissgen/samples.h"
#include "bissgen/scenario.h"
#include "bissgen/truth.h"
#include "bissgen/vcd.h"

namespace {

using namespace bissgen;

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "bissgen_" + name;
}

// ---- Samples and VCD ------------------------------------------------------------------------------

TEST(BissgenSamples, ExpanderMatchesTheChangeList) {
    Capture c;
    c.lastSample = 40;
    c.changes = {{0, 1, 1}, {3, 0, 1}, {4, 0, 0}, {20, 1, 0}, {39, 1, 1}};
    auto maAt = [&](int64_t p) {
        uint8_t ma = c.changes.front().ma;
        for (const Change& ch : c.changes) {
            if (ch.position <= p) ma = ch.ma;
        }
        return ma;
    };
    std::vector<uint8_t> want;
    for (int64_t p = 0; p <= 45; ++p) {
        want.push_back(static_cast<uint8_t>((SloAt(c, p) ? kSloBit : 0) | (maAt(p) ? kMaBit : 0)));
    }
    SampleExpander ex(c);
    EXPECT_EQ(ex.SampleCount(), 41u);
    // Pieces of every size in order, then out of order (the expander restarts when asked backwards).
    for (size_t piece : {1, 2, 3, 7, 46}) {
        std::vector<uint8_t> got(46, 0xEE);
        for (size_t at = 0; at < got.size(); at += piece) {
            ex.Fill(at, std::min(piece, got.size() - at), got.data() + at);
        }
        EXPECT_EQ(got, want) << "piece " << piece;
    }
    uint8_t one = 0;
    ex.Fill(3, 1, &one);
    EXPECT_EQ(one, kSloBit);
    ex.Fill(0, 1, &one);
    EXPECT_EQ(one, kMaBit | kSloBit);
}

TEST(BissgenVcd, TimescaleFollowsTheSampleRate) {
    struct Case {
        uint64_t rate;
        const char* text;
        unsigned exponent;
        uint64_t unitsPerSample;
    };
    const Case cases[] = {
        {200000000, "1 ns", 9, 5},  {100000000, "10 ns", 8, 1},
        {1000000000, "1 ns", 9, 1}, {400000000, "100 ps", 10, 25},
        {1, "1 s", 0, 1},           {3000000, "1 fs", 15, 333333333},
        {0, "1 ns", 9, 1},          {25000000, "10 ns", 8, 4},
    };
    for (const Case& c : cases) {
        const VcdTimescale ts = ChooseTimescale(c.rate);
        EXPECT_EQ(ts.text, c.text) << c.rate;
        EXPECT_EQ(ts.exponent, c.exponent) << c.rate;
        EXPECT_EQ(VcdTime(1, c.rate, ts.exponent), c.unitsPerSample) << c.rate;
    }
    EXPECT_EQ(VcdTime(600000000, 200000000, 9), 3000000000u);
    EXPECT_EQ(VcdTime(3, 3000000, 15), 1000000000u);
}

// Reads the VCD back into a change list (sample positions from the timescale).
Capture ReadVcd(const std::string& path, uint64_t sampleRate) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream words(text);
    Capture c;
    c.sampleRate = sampleRate;
    std::string w, unitText;
    unsigned exponent = 0;
    while (words >> w) {
        if (w == "$timescale") {
            std::string mult, unit;
            words >> mult >> unit;
            const char* names[] = {"s", "ms", "us", "ns", "ps", "fs"};
            for (unsigned g = 0; g < 6; ++g)
                if (unit == names[g]) exponent = g * 3;
            exponent -= static_cast<unsigned>(mult.size() - 1);
        }
        if (w == "$enddefinitions") break;
    }
    const uint64_t unitsPerSample = VcdTime(1, sampleRate, exponent);
    Change now{0, 9, 9};
    int64_t time = -1;
    while (words >> w) {
        if (w[0] == '#') {
            if (time >= 0) {
                if (c.changes.empty() || c.changes.back().ma != now.ma || c.changes.back().slo != now.slo)
                    c.changes.push_back(now);
            }
            time = std::stoll(w.substr(1));
            now.position = static_cast<int64_t>(static_cast<uint64_t>(time) / unitsPerSample);
            c.lastSample = now.position;
        } else if (w.size() == 2 && (w[0] == '0' || w[0] == '1')) {
            (w[1] == '!' ? now.ma : now.slo) = static_cast<uint8_t>(w[0] - '0');
        }
    }
    if (c.changes.empty() || c.changes.back().ma != now.ma || c.changes.back().slo != now.slo)
        c.changes.push_back(now);
    return c;
}

TEST(BissgenVcd, WrittenFileReadsBackAsTheSameCapture) {
    for (uint64_t rate : {200000000ull, 100000000ull, 400000000ull}) {
        Timing t;
        t.sampleRate = rate;
        t.clockHz = 5e6;
        t.jitter = 1;
        Generator gen(t, Layout{}, 3);
        gen.QueueAccess(RegisterAccess{});
        gen.FlushControl();
        const Capture cap = gen.Finish();
        const std::string path = TempPath("roundtrip.vcd");
        std::string error;
        ASSERT_TRUE(WriteVcd(path, cap, &error)) << error;
        const Capture back = ReadVcd(path, rate);
        EXPECT_EQ(back.lastSample, cap.lastSample);
        ASSERT_EQ(back.changes.size(), cap.changes.size());
        for (size_t i = 0; i < cap.changes.size(); ++i) {
            ASSERT_EQ(back.changes[i].position, cap.changes[i].position) << i;
            ASSERT_EQ(back.changes[i].ma, cap.changes[i].ma) << i;
            ASSERT_EQ(back.changes[i].slo, cap.changes[i].slo) << i;
        }
        std::remove(path.c_str());
    }
}

TEST(BissgenVcd, UnwritablePathIsReported) {
    std::string error;
    EXPECT_FALSE(WriteVcd(TempPath("no/such/dir/x.vcd"), Capture{}, &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
    Generator gen(Timing{}, Layout{});
    EXPECT_FALSE(WriteTruth(TempPath("no/such/dir/x.txt"), gen, &error));
}

// ---- Truth ----------------------------------------------------------------------------------------

TEST(BissgenTruth, LinesNameValuesCrcsAndEdges) {
    Timing t;
    t.sampleRate = 100000000;
    t.clockHz = 1e6;  // 100 samples per clock
    Layout l;
    Generator gen(t, l, 1);
    Frame f;
    f.slaves[0].singleTurn = 0xABC;
    f.cds = 0;
    f.cdm = 1;
    gen.AddFrame(f);
    f.slaves[0].crcXor = 0x3F;
    f.cdm = 0;
    gen.AddFrame(f);
    Frame cut;
    cut.cutAfter = 5;
    gen.AddFrame(cut);
    const auto& fr = gen.Frames();
    const std::string first = FrameLine(fr[0], l);
    EXPECT_NE(first.find("frame 0 fall=1000 ack=1050x1 start=1150 cds=0@1250"), std::string::npos) << first;
    EXPECT_NE(first.find("s0 data=0xABC@1350 st=0xABC err=1 warn=1 crc=0x36@2750 ok"), std::string::npos)
        << first;
    EXPECT_NE(first.find("last=3250 cdm=1 low=3350.."), std::string::npos) << first;
    const std::string second = FrameLine(fr[1], l);
    EXPECT_NE(second.find("crc=0x9@7000 bad(expected 0x36)"), std::string::npos) << second;
    EXPECT_NE(second.find("cdm=0"), std::string::npos) << second;
    EXPECT_NE(FrameLine(fr[2], l).find("cut=5/23"), std::string::npos) << FrameLine(fr[2], l);

    Generator regs(t, l, 1);
    RegisterAccess w;
    w.kind = AccessKind::Write;
    w.id = 1;
    w.address = 0x42;
    w.data = {0xA5, 0x00};
    regs.QueueAccess(w, 0);
    regs.FlushControl();
    const std::string line = AccessLine(regs.Accesses()[0]);
    EXPECT_NE(line.find("access 0 write id=1 adr=0x42"), std::string::npos) << line;
    EXPECT_NE(line.find("rw=01 valid data=A5/4,00/F"), std::string::npos) << line;
    const std::string text = TruthText(regs);
    EXPECT_EQ(text.rfind("# bissgen truth: BiSS-C", 0), 0u);
    EXPECT_NE(text.find(line + "\n"), std::string::npos);
}

// ---- Scenarios --------------------------------------------------------------------------------------

TEST(BissgenScenario, RandomTrafficIsReproducibleAndHonoursIntervals) {
    ScenarioOptions o;
    o.mode = TrafficMode::Register;
    o.frames = 60;
    o.slaves = 2;
    o.cutEvery = 10;
    o.busyEvery = 7;
    o.crcErrorEvery = 5;
    o.seed = 11;
    const Generator a = RunScenario(o);
    const Generator b = RunScenario(o);
    EXPECT_EQ(TruthText(a), TruthText(b));
    int cut = 0, busy = 0, bad = 0;
    for (int i = 0; i < 60; ++i) {
        const FrameTruth& f = a.Frames()[static_cast<size_t>(i)];
        EXPECT_EQ(f.slaves.size(), 2u);
        cut += f.cut ? 1 : 0;
        busy += f.ackClocks > 1 ? 1 : 0;
        bad += f.slaves[0].crc != f.slaves[0].crcCorrect ? 1 : 0;
        EXPECT_EQ(f.cut, (i + 1) % 10 == 0) << i;
    }
    EXPECT_EQ(cut, 6);
    EXPECT_EQ(busy, 8);
    EXPECT_EQ(bad, 12);
    EXPECT_GT(a.Accesses().size(), 0u);
    EXPECT_EQ(a.PendingSteps(), 0u);
    o.seed = 12;
    EXPECT_NE(TruthText(RunScenario(o)), TruthText(a));
}

TEST(BissgenScenario, BenchCaptureHasTheAgreedSize) {
    const ScenarioOptions o = BenchScenario();
    const Generator g = RunScenario(o);
    const Capture cap = g.Finish();
    EXPECT_EQ(cap.sampleRate, 200000000u);
    EXPECT_GE(cap.lastSample + 1, 600000000);
    EXPECT_LT(cap.lastSample + 1, 660000000);
    EXPECT_GE(g.Frames().size(), 4000u);
    EXPECT_LT(g.Frames().size(), 4100u);
    EXPECT_GT(g.Accesses().size(), 20u);
    EXPECT_NEAR(g.PeriodSamples(), 80.0, 1e-9);
}

}  // namespace
