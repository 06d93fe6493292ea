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
    const Case cases[] = {
        {"command", cmd, 16, 0, true},
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
