// The frame parser fed change by change: the worked example record for record, the sampling phase,
// clock gaps, broken frames and their status, daisy chains, 64-bit data and value placement.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/engine_records.h"
#include "support/line_builder.h"

namespace zbtest {
namespace {

using zb::RecordKind;
using zb::StatusCode;

constexpr int64_t P = 10;

// Bits of the worked frame: 0xABC, nErr 1, nWarn 1, CRC 0x36 (6 bits), two acknowledge clocks.
std::vector<int> WorkedBits() {
    return FrameBits(0, 2, 0, 0xABC, 12, 1, 1, 0x36, 6);
}

TEST(FrameParser, WorkedExampleRecordForRecord) {
    LineBuilder line(P);
    const std::vector<int64_t> e = line.Clocks(WorkedBits());
    ASSERT_EQ(e.size(), 24u);
    line.Hold(1, 1, 5 * P);  // MA stays high after e24, SLO back to idle
    line.Hold(0, 1, 2 * P);  // the next frame's first falling edge
    ParserHarness h;
    h.Run(line.Changes(), line.Now());
    const int64_t e1 = e[0], e3 = e[2], e4 = e[3], e5 = e[4], e17 = e[16], e18 = e[17], e19 = e[18],
                  e24 = e[23];
    const std::vector<Rec> expected = {
        R(e1, C(RecordKind::FirstFrame)),       R(e1 + 1, S(StatusCode::Idle)),
        R(e1 + 2, C(RecordKind::Ack)),          R(e3, C(RecordKind::Start)),
        R(e4, C(RecordKind::Cds, 0)),           R(e5, C(RecordKind::SingleTurnHigh, 0)),
        R(e5, C(RecordKind::SingleTurnMid, 0)), R(e5, C(RecordKind::SingleTurnLow, 0xABC)),
        R(e17, C(RecordKind::Err, 1)),          R(e18, C(RecordKind::Warn, 1)),
        R(e19, C(RecordKind::Crc, 0x36)),       R(e24 + P, C(RecordKind::Stop, 0)),
        R(e24 + 2 * P, C(RecordKind::Cdm, 0)),  R(e24 + 2 * P + 1, C(RecordKind::ClockPeriod, P)),
        R(e24 + 3 * P, S(StatusCode::Idle)),
    };
    EXPECT_EQ(h.Out(), expected);
    EXPECT_EQ(h.e.frameState, zb::FrameState::WaitAck);
    EXPECT_EQ(h.e.periodCount, 23);
}

TEST(FrameParser, CdmOneWhenMaStaysLowInThePause) {
    LineBuilder line(P);
    const std::vector<int64_t> e = line.Clocks(WorkedBits());
    line.Hold(0, 1, 4 * P);  // MA low for 4 periods (a pause, not yet a gap)
    line.Hold(1, 1, 3 * P);
    ParserHarness h;
    h.Run(line.Changes(), line.Now());
    const std::vector<Rec> out = h.Out();
    const auto cdm = std::find_if(out.begin(), out.end(),
                                  [](const Rec& r) { return zb::KindOf(r.code) == RecordKind::Cdm; });
    ASSERT_NE(cdm, out.end());
    EXPECT_EQ(*cdm, R(e[23] + 2 * P, C(RecordKind::Cdm, 1)));
    EXPECT_TRUE(h.e.cdmPending);
    EXPECT_EQ(h.e.pendingCdm, 1u);
}

// Where the first acknowledge lands for a SLO fall near the edge at 110, by sampling phase.
TEST(FrameParser, SamplingPhase) {
    struct Case {
        int phase;
        int64_t sloFall;
        int64_t firstFrameAt;
    } cases[] = {
        {0, 110, 110},   // a change at the very sample of the edge counts
        {0, 111, 120},   // one sample late: read at the next edge
        {3, 112, 113},   // delayed sample point, the record carries it
        {3, 113, 113},   // a change at the very sample point counts
        {3, 114, 123},   // after the sample point: the next edge's point
        {-3, 108, 120},  // negative phase reads the level before the edge
        {-3, 106, 110},
    };
    for (const Case& c : cases) {
        std::vector<bissgen::Change> ch = {{0, 0, 1}};
        for (int64_t edge = 100; edge <= 150; edge += 10) {
            ch.push_back({edge, 1, 1});
            ch.push_back({edge + 5, 0, 1});
        }
        for (auto& x : ch) x.slo = x.position >= c.sloFall ? 0 : 1;
        ch.push_back({c.sloFall, 0, 0});
        std::sort(ch.begin(), ch.end(), [](auto& a, auto& b) { return a.position < b.position; });
        for (size_t i = 1; i < ch.size(); ++i)
            ch[i].ma = ch[i].position % 10 == 0 ? 1 : (ch[i].position % 10 < 5 ? 1 : 0);
        ParserHarness h;
        h.e.sloPhase = c.phase;
        h.Run(ch, 160);
        const std::vector<Rec> out = h.Out();
        ASSERT_FALSE(out.empty()) << "phase " << c.phase << " fall " << c.sloFall;
        EXPECT_EQ(out[0], R(c.firstFrameAt, C(RecordKind::FirstFrame)))
            << "phase " << c.phase << " fall " << c.sloFall;
    }
}

TEST(FrameParser, SloHistoryKeepsEightChanges) {
    zb::SloHistory h;
    h.Reset();
    EXPECT_EQ(h.SloLevelAt(5), 1u);                                       // nothing remembered: idle
    for (int i = 0; i < 12; ++i) h.RecordSloChange(100 + 10 * i, i & 1);  // 100..210, oldest kept 140
    EXPECT_EQ(h.Count(), 8);
    EXPECT_EQ(h.SloLevelAt(215), 1u);  // newest (210, 1)
    EXPECT_EQ(h.SloLevelAt(205), 0u);  // (200, 0)
    EXPECT_EQ(h.SloLevelAt(140), 0u);  // the oldest kept entry itself
    EXPECT_EQ(h.SloLevelAt(100), 0u);  // before all kept: the oldest kept level
    h.RecordSloChange(210, 0);         // equal positions: the newer wins
    EXPECT_EQ(h.SloLevelAt(210), 0u);
}

TEST(FrameParser, MoreThanEightWaitingSamplePointsAreReadAtTheEdge) {
    // A clock of period 2 with a phase of 40 would keep 20 points waiting: the 9th edge on is read
    // at once, at the edge position.
    std::vector<bissgen::Change> ch = {{0, 0, 0}};
    for (int64_t t = 10; t < 40; t += 2) {
        ch.push_back({t, 1, 0});
        ch.push_back({t + 1, 0, 0});
    }
    ParserHarness h;
    h.e.sloPhase = 40;
    h.e.BeginWalk(0, 0);
    for (size_t i = 1; i < ch.size(); ++i) h.e.OnChange(ch[i].position, ch[i].ma, ch[i].slo);
    EXPECT_EQ(h.e.pendingSamples.Count(), 8);
    const std::vector<Rec> out = h.Out();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0], R(26, C(RecordKind::FirstFrame)));  // 9th edge: 10 + 8 * 2
}

TEST(FrameParser, FirstPeriodAfterPauseDoesNotDisturbTheAverage) {
    LineBuilder line(P);
    line.Clocks({1, 1, 1, 1, 1});
    line.Hold(1, 1, 2 * P);  // a period of 3P: ignored
    line.Clocks({1, 1});
    ParserHarness h;
    h.Run(line.Changes(), line.Now());
    EXPECT_EQ(h.e.avgPeriod, P);
    EXPECT_EQ(h.e.periodCount, 5);
}

struct Broken {
    const char* name;
    bool completeFrameFirst;
    int ack;
    int dataBitsSent;  // -1: break off in the acknowledge
    uint64_t sampleRate;
    StatusCode status;
};

// Frames cut off by a clock gap: one status record with the acknowledge count, then Idle.
TEST(FrameParser, BrokenFramesAtAGap) {
    const Broken cases[] = {
        {"cut in data, no CRC seen yet", false, 2, 5, 0, StatusCode::Error},
        {"busy acknowledge", true, 5, -1, 0, StatusCode::Busy},
        {"long acknowledge without sample rate", true, 8, -1, 0, StatusCode::Busy},
        {"acknowledge over 40 us", true, 6, -1, 1000000, StatusCode::Timeout},
        {"acknowledge of exactly 40 us", true, 5, -1, 1000000, StatusCode::Busy},
        {"one acknowledge clock", true, 1, 3, 1000000, StatusCode::Error},
    };
    for (const Broken& c : cases) {
        LineBuilder line(P);
        if (c.completeFrameFirst) {
            line.Clocks(WorkedBits());
            line.Hold(1, 1, 10 * P);
        }
        std::vector<int> bits(c.ack, 0);
        if (c.dataBitsSent >= 0) {
            bits.push_back(1);  // start
            bits.push_back(0);  // CDS
            for (int i = 0; i < c.dataBitsSent; ++i) bits.push_back(i & 1);
        }
        const std::vector<int64_t> e = line.Clocks(bits);
        line.Hold(1, 1, 20 * P);
        const int64_t gapEdge = line.Clock(1);
        line.Hold(1, 1, 3 * P);
        ParserHarness h;
        h.e.sampleRate = c.sampleRate;
        h.Run(line.Changes(), line.Now());
        const std::vector<Rec> out = h.Out();
        const int64_t lastEdge = e.back();
        const int64_t at = c.dataBitsSent > 0 ? e[c.ack + 2] : lastEdge + 1;
        const auto it = std::find_if(out.begin(), out.end(), [](const Rec& r) {
            return zb::KindOf(r.code) == RecordKind::Status && r.code != S(StatusCode::Idle);
        });
        ASSERT_NE(it, out.end()) << c.name;
        EXPECT_EQ(*it, R(at, S(c.status, c.ack))) << c.name;
        ASSERT_NE(it + 1, out.end()) << c.name;
        EXPECT_EQ(*(it + 1),
                  R(std::max(at, lastEdge + 1) + (at == lastEdge + 1 ? 1 : 0), S(StatusCode::Idle)))
            << c.name;
        EXPECT_EQ(it + 2, out.end()) << c.name << ": nothing after the gap edge " << gapEdge;
    }
}

TEST(FrameParser, FrameCutByTheEndOfTheWalk) {
    LineBuilder line(P);
    const std::vector<int64_t> e = line.Clocks({0, 0, 1, 0, 1, 0, 1});
    ParserHarness h;
    const int64_t lastPos = e.back() + 3;
    h.Run(line.Changes(), lastPos);
    const std::vector<Rec> out = h.Out();
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[out.size() - 2], R(e[4], S(StatusCode::Error, 2)));  // at the data field's start
    EXPECT_EQ(out.back(), R(lastPos + 2, S(StatusCode::Idle)));
}

TEST(FrameParser, EndOfWalkInThePauseClosesIt) {
    LineBuilder line(P);
    const std::vector<int64_t> e = line.Clocks(WorkedBits());
    ParserHarness h;
    h.Run(line.Changes(), e.back() + 100);  // MA high after the frame, never falls again
    const std::vector<Rec> out = h.Out();
    ASSERT_GE(out.size(), 1u);
    // Still AfterFrame: only the Idle, at the expected end of the pause.
    EXPECT_EQ(out.back(), R(e.back() + 3 * P, S(StatusCode::Idle)));
    EXPECT_EQ(zb::KindOf(out[out.size() - 2].code), RecordKind::Stop);
}

TEST(FrameParser, DaisyChainOfThree) {
    const uint64_t values[3] = {0x123, 0xFED, 0x5A5};
    const zb::FrameCrcParams crc{6, 0x43, 0, 0x3F};
    std::vector<int> bits = {0, 0, 1, 1};  // ack, ack, start, CDS 1
    for (int k = 0; k < 3; ++k) {
        const std::vector<int> part =
            FrameBits(0, 0, -1, values[k], 12, k & 1, 1, zb::FrameCrc(crc, values[k], 12, k & 1, 1), 6);
        bits.insert(bits.end(), part.begin() + 1, part.end());  // no start bit of its own
    }
    LineBuilder line(P);
    const std::vector<int64_t> e = line.Clocks(bits);
    line.Hold(1, 1, 8 * P);
    line.Hold(0, 1, 2 * P);
    ParserHarness h;
    h.e.slaveCount = 3;
    h.Run(line.Changes(), line.Now());
    std::vector<Rec> expected = {R(e[0], C(RecordKind::FirstFrame)), R(e[0] + 1, S(StatusCode::Idle)),
                                 R(e[0] + 2, C(RecordKind::Ack)), R(e[2], C(RecordKind::Start)),
                                 R(e[3], C(RecordKind::Cds, 1))};
    size_t i = 4;
    for (int k = 0; k < 3; ++k) {
        const int64_t d = e[i];
        expected.push_back(R(d, C(RecordKind::SingleTurnHigh, 0)));
        expected.push_back(R(d, C(RecordKind::SingleTurnMid, 0)));
        expected.push_back(R(d, C(RecordKind::SingleTurnLow, static_cast<uint32_t>(values[k]))));
        expected.push_back(R(e[i + 12], C(RecordKind::Err, k & 1)));
        expected.push_back(R(e[i + 13], C(RecordKind::Warn, 1)));
        expected.push_back(R(e[i + 14], C(RecordKind::Crc, zb::FrameCrc(crc, values[k], 12, k & 1, 1))));
        i += 20;
        if (k < 2) expected.push_back(R(e[i - 1] + 1, S(StatusCode::SlaveSeparator)));
    }
    const int64_t last = e.back();
    expected.push_back(R(last + P, C(RecordKind::Stop)));
    expected.push_back(R(last + 2 * P, C(RecordKind::Cdm, 0)));
    expected.push_back(R(last + 2 * P + 1, C(RecordKind::ClockPeriod, P)));
    expected.push_back(R(last + 3 * P, S(StatusCode::Idle)));
    EXPECT_EQ(h.Out(), expected);
}

struct Layout {
    const char* name;
    int dataBits, singleTurnBits, alignmentBits;
    bool combine;
    uint64_t data;
    bool hasCds;
};

// Value records: which triples, their values and positions (MT at the data start, ST at its first
// bit), for layouts up to 64 bits, with and without CDS.
TEST(FrameParser, ValueLayouts) {
    const Layout cases[] = {
        {"64-bit single-turn", 64, 64, 0, false, 0xFEDCBA9876543210ull, true},
        {"MT 8 + ST 12", 20, 12, 0, false, 0xAB123, true},
        {"MT 8 + ST 12 + align 2", 22, 12, 2, false, (0xAB123ull << 2) | 3, true},
        {"combined", 20, 12, 0, true, 0xAB123, true},
        {"BiSS-B MT 4 + ST 8", 12, 8, 0, false, 0x9C3, false},
        {"64-bit MT 16 + ST 48", 64, 48, 0, false, 0x8001000000000002ull, false},
    };
    for (const Layout& c : cases) {
        ParserHarness h;
        h.SetLayout(c.dataBits, c.singleTurnBits, c.alignmentBits);
        h.e.combineTurns = c.combine;
        h.e.hasCds = c.hasCds;
        const uint32_t crc = zb::FrameCrc(h.e.crc, c.data, c.dataBits, 1, 0);
        LineBuilder line(P);
        const std::vector<int64_t> e =
            line.Clocks(FrameBits(0, 2, c.hasCds ? 1 : -1, c.data, c.dataBits, 1, 0, crc, 6));
        line.Hold(1, 1, 8 * P);
        line.Hold(0, 1, 2 * P);
        h.Run(line.Changes(), line.Now());
        const size_t first = c.hasCds ? 4 : 3;
        const uint64_t v = c.data >> c.alignmentBits;
        const int mt = c.dataBits - c.alignmentBits - c.singleTurnBits;
        std::vector<Rec> values;
        auto triple = [&](const zb::ValueTriple& t, uint64_t x, int64_t pos) {
            values.push_back(R(pos, C(t.high, zb::TripleHighPayload(x))));
            values.push_back(R(pos, C(t.mid, zb::TripleMidPayload(x))));
            values.push_back(R(pos, C(t.low, zb::TripleLowPayload(x))));
        };
        if (c.combine) {
            triple(zb::kDataTriple, v, e[first]);
        } else {
            const uint64_t st = c.singleTurnBits >= 64 ? v : v & ((uint64_t{1} << c.singleTurnBits) - 1);
            if (mt > 0)
                triple(zb::kMultiTurnTriple, c.singleTurnBits >= 64 ? 0 : v >> c.singleTurnBits, e[first]);
            triple(zb::kSingleTurnTriple, st, mt > 0 ? e[first + mt] : e[first]);
        }
        const std::vector<Rec> out = h.Out();
        const auto it = std::find_if(out.begin(), out.end(),
                                     [](const Rec& r) { return (zb::KindByte(r.code) & 0xF0) == 0xB0; });
        ASSERT_NE(it, out.end()) << c.name;
        const std::vector<Rec> got(it, it + std::min<size_t>(values.size(), out.end() - it));
        EXPECT_EQ(got, values) << c.name;
        // The record after the values is at least one sample later, and is the nErr bit.
        const auto after = it + values.size();
        ASSERT_NE(after, out.end());
        EXPECT_EQ(after->code, C(RecordKind::Err, 1)) << c.name;
        EXPECT_GT(after->pos, values.back().pos) << c.name;
        EXPECT_EQ(std::count_if(out.begin(), out.end(),
                                [](const Rec& r) { return zb::KindOf(r.code) == RecordKind::Cds; }),
                  c.hasCds ? 1 : 0)
            << c.name;
        const auto crcRec = std::find_if(out.begin(), out.end(),
                                         [](const Rec& r) { return zb::KindOf(r.code) == RecordKind::Crc; });
        ASSERT_NE(crcRec, out.end());
        EXPECT_EQ(crcRec->code, C(RecordKind::Crc, crc)) << c.name;
    }
}

TEST(FrameParser, SixteenBitCrcComparedInFullShownInLowByte) {
    ParserHarness h;
    h.SetCrc(16, 0x1021, 0);
    const uint32_t good = zb::FrameCrc(h.e.crc, 0xABC, 12, 1, 1);
    for (uint32_t sent : {good, good ^ 0x100u}) {  // a wrong bit above the low byte still counts
        ParserHarness p;
        p.SetCrc(16, 0x1021, 0);
        LineBuilder line(P);
        line.Clocks(FrameBits(0, 2, 0, 0xABC, 12, 1, 1, sent, 16));
        line.Hold(1, 1, 8 * P);
        p.Run(line.Changes(), line.Now());
        const std::vector<Rec> out = p.Out();
        const auto crcRec = std::find_if(out.begin(), out.end(),
                                         [](const Rec& r) { return zb::KindOf(r.code) == RecordKind::Crc; });
        ASSERT_NE(crcRec, out.end());
        EXPECT_EQ(crcRec->code,
                  C(RecordKind::Crc, (sent & 0xFF) | (sent == good ? 0 : zb::kCrcMismatchFlag)));
    }
}

TEST(FrameParser, ClockPeriodOnlyAfterSixteenMeasurementsAndOnDrift) {
    // 11-edge frames (4 data bits, 1-bit CRC): the first pause has 10 measurements, the second 20.
    ParserHarness h;
    h.SetLayout(4, 4, 0);
    h.SetCrc(1, 1, 0);
    LineBuilder line(P);
    std::vector<int64_t> lastEdges;
    for (int f = 0; f < 3; ++f) {
        const uint32_t crc = zb::FrameCrc(h.e.crc, 0x5, 4, 1, 1);
        lastEdges.push_back(line.Clocks(FrameBits(0, 2, 0, 0x5, 4, 1, 1, crc, 1)).back());
        line.Hold(1, 1, 8 * P);
    }
    h.Run(line.Changes(), line.Now());
    std::vector<Rec> periods;
    for (const Rec& r : h.Out())
        if (zb::KindOf(r.code) == RecordKind::ClockPeriod) periods.push_back(r);
    ASSERT_EQ(periods.size(), 1u);
    EXPECT_EQ(periods[0], R(lastEdges[1] + 2 * P + 1, C(RecordKind::ClockPeriod, P)));
}

TEST(FrameParser, AutoLengthEstimateAtTheFirstFrame) {
    LineBuilder line(P);
    const std::vector<int64_t> e = line.Clocks(WorkedBits());
    ParserHarness h;
    h.e.periodEstimate = 11;
    h.Run(line.Changes(), e.back() + 5);
    const std::vector<Rec> out = h.Out();
    ASSERT_GE(out.size(), 5u);
    EXPECT_EQ(out[0], R(e[0], C(RecordKind::FirstFrame)));
    EXPECT_EQ(out[1], R(e[0] + 1, S(StatusCode::Idle)));
    EXPECT_EQ(out[2], R(e[0] + 2, C(RecordKind::ClockPeriod, 11)));
    EXPECT_EQ(out[3], R(e[0] + 3, S(StatusCode::Idle)));
    EXPECT_EQ(out[4], R(e[0] + 4, C(RecordKind::Ack)));
}

TEST(FrameParser, RegisterModeKeepsOnlyFirstFrameRecords) {
    LineBuilder line(P);
    line.Clocks(WorkedBits());
    line.Hold(1, 1, 5 * P);
    line.Hold(0, 1, 2 * P);
    ParserHarness h;
    h.e.isRegisterMode = true;
    h.Run(line.Changes(), line.Now());
    std::vector<RecordKind> kinds;
    for (const Rec& r : h.Out()) kinds.push_back(zb::KindOf(r.code));
    EXPECT_EQ(kinds,
              (std::vector<RecordKind>{RecordKind::FirstFrame, RecordKind::Status, RecordKind::ClockPeriod}));
}

}  // namespace
}  // namespace zbtest

namespace zbtest {
namespace {

// A capture that ends at the largest position there is: whatever state the walk ends in, the
// closing records are held at INT64_MAX (never past it) and the order of the records is kept.
TEST(FrameParser, WalkEndingAtTheLargestPosition) {
    struct Case {
        const char* name;
        int bitsSent;    // clocks of the worked frame sent before the end
        int pauseMaLow;  // then MA held low for this many periods (0: none)
        int64_t endGap;  // moves the frame this many samples before the end of the walk (< 0: later)
    };
    const Case cases[] = {
        {"after the last CRC bit", 24, 0, 0},
        {"in the pause, MA low", 24, 3, 0},
        {"inside the data field", 10, 0, 0},
        {"inside the data field, end a little later", 10, 0, 3},
        {"during the acknowledge", 2, 0, 1},
        // The CDM bit falls within a clock of the end, so a clock after it lies past INT64_MAX.
        {"after the last CRC bit, the pause reaching past the end", 24, 0, -4 * P - P / 2},
        {"after the last CRC bit, the pause one sample past the end", 24, 0, -4 * P - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int64_t start = INT64_MAX - (30 + c.pauseMaLow) * P - c.endGap - P / 2;
        LineBuilder line(P, start);
        std::vector<int> bits = WorkedBits();
        bits.resize(static_cast<size_t>(c.bitsSent));
        line.Clocks(bits);
        if (c.pauseMaLow > 0) line.Hold(0, 1, c.pauseMaLow * P);
        ParserHarness h;
        h.Run(line.Changes(), INT64_MAX);
        const std::vector<Rec> out = h.Out();
        ASSERT_FALSE(out.empty());
        for (size_t i = 1; i < out.size(); ++i) {
            EXPECT_TRUE(out[i].pos >= out[i - 1].pos) << i;
            EXPECT_TRUE(out[i].pos > out[i - 1].pos || out[i].pos == INT64_MAX ||
                        zb::KindOf(out[i].code) == RecordKind::SingleTurnMid ||
                        zb::KindOf(out[i].code) == RecordKind::SingleTurnLow)
                << i;
        }
        EXPECT_EQ(zb::KindOf(out.back().code), RecordKind::Status);
        if (c.endGap < 0) {
            EXPECT_EQ(out.back().pos, INT64_MAX);
        }
    }
}

}  // namespace
}  // namespace zbtest
