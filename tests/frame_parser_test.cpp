// The frame parser fed change by change on hand-built lines: the worked example record for record,
// the sampling phase, the clock average and its records, and walks that end mid-frame or at the
// largest position. Values, chains and CRCs of every layout, CDM 1
// and frames cut off by a clock gap are the round trips' (round_trip_test.cpp); the register-access modes'
// records the golden cases'.
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

std::vector<Rec> OfKind(const std::vector<Rec>& out, RecordKind kind) {
    std::vector<Rec> found;
    for (const Rec& r : out)
        if (zb::KindOf(r.code) == kind) found.push_back(r);
    return found;
}

TEST(FrameParser, WorkedExampleRecordForRecord) {
    LineBuilder line(P);
    const std::vector<int64_t> e = line.Clocks(WorkedBits());
    ASSERT_EQ(e.size(), 24u);
    line.Hold(1, 1, 5 * P);  // MA stays high after e24, SLO back to idle
    line.Hold(0, 1, 2 * P);  // the next frame's first falling edge
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
    EXPECT_TRUE(SameRecords(ParserHarness().Run(line.Changes(), line.Now()), expected));
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
        {40, 0,
         26},  // a clock of period 2: 20 points would wait; from the 9th edge on SLO is read at the edge
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "phase " << c.phase << " fall " << c.sloFall);
        std::vector<bissgen::Change> ch = {{0, 0, c.sloFall > 0 ? uint8_t{1} : uint8_t{0}}};
        const int64_t period = c.phase == 40 ? 2 : 10;
        for (int64_t edge = period == 2 ? 10 : 100; edge <= (period == 2 ? 38 : 150); edge += period) {
            ch.push_back({edge, 1, 1});
            ch.push_back({edge + period / 2, 0, 1});
        }
        if (c.sloFall > 0) ch.push_back({c.sloFall, 0, 0});
        std::sort(ch.begin(), ch.end(), [](auto& a, auto& b) { return a.position < b.position; });
        for (size_t i = 1; i < ch.size(); ++i) {
            ch[i].slo = ch[i].position >= c.sloFall ? 0 : 1;
            ch[i].ma = ch[i].position % period < period / 2 ? 1 : 0;
        }
        ParserHarness h;
        h.format.sloPhase = c.phase;
        const std::vector<Rec> out = h.Run(ch, 160);
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out[0], R(c.firstFrameAt, C(RecordKind::FirstFrame)));
    }
}

TEST(FrameParser, SloHistoryKeepsEightChanges) {
    zb::SloHistory h;
    EXPECT_EQ(h.SloLevelAt(5), 1u);                                       // nothing remembered: idle
    for (int i = 0; i < 12; ++i) h.RecordSloChange(100 + 10 * i, i & 1);  // 100..210, oldest kept 140
    const std::pair<int64_t, uint32_t> reads[] = {
        {215, 1},  // newest (210, 1)
        {205, 0},  // (200, 0)
        {140, 0},  // the oldest kept entry itself
        {139, 0},  // before all kept: the oldest kept level
        {100, 0},
    };
    for (const auto& [at, level] : reads) EXPECT_EQ(h.SloLevelAt(at), level) << at;
    h.RecordSloChange(210, 0);  // equal positions: the newer wins
    EXPECT_EQ(h.SloLevelAt(210), 0u);
}

// The average clock period and the ClockPeriod records: a period of 1.5 average periods or more
// is a pause and stays out of the average; the record follows a frame's pause once 16 periods are
// measured, and again only when the clock has drifted by more than a tenth. Clock of 100 samples;
// `stretch` lengthens the period before each frame's last clock.
TEST(FrameParser, ClockAverageAndItsRecords) {
    struct Case {
        const char* name;
        std::vector<int64_t> stretch;  // one per frame
        std::vector<uint32_t> periods;
    } cases[] = {
        {"even clock", {0, 0}, {100}},
        {"a period of exactly 1.5 P is a pause", {50}, {100}},
        {"a period of 1.49 P counts: (3 * 100 + 149) / 4", {49}, {112}},
        {"a drift of a tenth is no news", {0, 40}, {100}},
        {"a drift of more than a tenth is", {0, 49}, {100, 112}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LineBuilder line(100);
        const std::vector<int> bits = WorkedBits();
        for (const int64_t stretch : c.stretch) {
            line.Clocks(std::vector<int>(bits.begin(), bits.end() - 1));
            line.Hold(1, bits[bits.size() - 2], stretch);
            line.Clock(bits.back());
            line.Hold(1, 1, 1000);
        }
        line.Hold(0, 1, 200);  // the next frame's first falling edge ends the last pause
        std::vector<uint32_t> periods;
        for (const Rec& r : OfKind(ParserHarness().Run(line.Changes(), line.Now()), RecordKind::ClockPeriod))
            periods.push_back(zb::PayloadOf(r.code));
        EXPECT_EQ(periods, c.periods);
    }
    // Frames of 11 edges (4 data bits, 1-bit CRC): the first pause follows 10 measured periods, too
    // few for a record; the second follows 20.
    ParserHarness h;
    h.format.dataBits = h.format.singleTurnBits = 4;
    h.format.crc = zb::FrameCrcParams{1, 1, 0, 1};
    LineBuilder line(P);
    std::vector<int64_t> lastEdges;
    for (int f = 0; f < 3; ++f) {
        const uint32_t crc = zb::FrameCrc(h.format.crc, 0x5, 4, 1, 1);
        lastEdges.push_back(line.Clocks(FrameBits(0, 2, 0, 0x5, 4, 1, 1, crc, 1)).back());
        line.Hold(1, 1, 8 * P);
    }
    EXPECT_EQ(OfKind(h.Run(line.Changes(), line.Now()), RecordKind::ClockPeriod),
              std::vector<Rec>{R(lastEdges[1] + 2 * P + 1, C(RecordKind::ClockPeriod, P))});
}

// The running average where 3 x average + period passes 64 bits (periods of a clock that no real
// capture has, but a host can report): the sum is formed in 128 bits, truncated toward zero.
TEST(FrameParser, ClockAverageBeyondSixtyFourBits) {
    const struct {
        int64_t average, period, expected;
    } cases[] = {
        {100, 149, 112},
        {3074457345618258602, 3074457345618258602, 3074457345618258602},  // INT64_MAX / 3
        {4000000000000000000, 1, 3000000000000000000},
        {INT64_MAX, INT64_MAX, INT64_MAX},
    };
    for (const auto& c : cases) EXPECT_EQ(zb::NextAverage(c.average, c.period), c.expected) << c.average;
}

// The end of the walk closes what is open: a frame (Error at its data field's start, Idle two
// samples after the end) or the pause after a frame (its Idle where the pause would have ended).
TEST(FrameParser, EndOfWalkClosesTheFrameOrThePause) {
    LineBuilder cut(P);
    const std::vector<int64_t> e = cut.Clocks({0, 0, 1, 0, 1, 0, 1});
    const std::vector<Rec> out = ParserHarness().Run(cut.Changes(), e.back() + 3);
    EXPECT_EQ(std::vector<Rec>(out.end() - 2, out.end()),
              (std::vector<Rec>{R(e[4], S(StatusCode::Error, 2)), R(e.back() + 5, S(StatusCode::Idle))}));

    LineBuilder whole(P);
    const std::vector<int64_t> w = whole.Clocks(WorkedBits());
    const std::vector<Rec> closed = ParserHarness().Run(whole.Changes(), w.back() + 100);
    EXPECT_EQ(zb::KindOf(closed[closed.size() - 2].code), RecordKind::Stop);
    EXPECT_EQ(closed.back(), R(w.back() + 3 * P, S(StatusCode::Idle)));
}

// A capture that ends at the largest position there is: whatever state the walk ends in, the
// closing records are held at INT64_MAX (never past it) and the order of the records is kept.
TEST(FrameParser, WalkEndingAtTheLargestPosition) {
    struct Case {
        const char* name;
        int bitsSent;    // clocks of the worked frame sent before the end
        int pauseMaLow;  // then MA held low for this many periods (0: none)
        int64_t endGap;  // moves the frame this many samples before the end of the walk (< 0: later)
    } cases[] = {
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
        LineBuilder line(P, INT64_MAX - (30 + c.pauseMaLow) * P - c.endGap - P / 2);
        std::vector<int> bits = WorkedBits();
        bits.resize(static_cast<size_t>(c.bitsSent));
        line.Clocks(bits);
        if (c.pauseMaLow > 0) line.Hold(0, 1, c.pauseMaLow * P);
        const std::vector<Rec> out = ParserHarness().Run(line.Changes(), INT64_MAX);
        ASSERT_FALSE(out.empty());
        for (size_t i = 1; i < out.size(); ++i) {
            const RecordKind k = zb::KindOf(out[i].code);
            const bool shared = k == RecordKind::SingleTurnMid || k == RecordKind::SingleTurnLow;
            EXPECT_TRUE(out[i].pos > out[i - 1].pos ||
                        (out[i].pos == out[i - 1].pos && (shared || out[i].pos == INT64_MAX)))
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
