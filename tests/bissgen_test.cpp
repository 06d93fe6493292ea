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
