// The in-memory host: channel state packing, next-change answers in sequential and random order,
// the stop word, abort polling and the report callback.
#include "support/memory_host.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bissgen::Capture SmallCapture() {
    bissgen::Capture c;
    c.sampleRate = 100000000;
    c.lastSample = 99;
    c.changes = {{0, 1, 1}, {10, 0, 1}, {12, 0, 0}, {20, 1, 0}, {35, 1, 1}};
    return c;
}

bool Bit(const uint8_t* s, int channel) {
    return ((s[channel / 8] >> (channel % 8)) & 1u) != 0;
}

TEST(MemoryHost, RecordDescribesTheCapture) {
    zbtest::MemoryHost host(SmallCapture());
    zb::HostRecord& r = host.Record();
    EXPECT_EQ(r.lastSample, 99);
    EXPECT_EQ(r.sampleRate, 100000000u);
    ASSERT_NE(r.stopFlag, nullptr);
    EXPECT_EQ(*r.stopFlag, 0u);
    EXPECT_NE(r.sampleQuery, nullptr);
    EXPECT_NE(r.abortPoll, nullptr);
    EXPECT_EQ(r.reportRow, nullptr);
    EXPECT_EQ(r.reportBlockName[0], '\0');
    for (uint8_t w : r.decoderWords) EXPECT_EQ(w, 0);
}

TEST(MemoryHost, QueryAnswersLevelsAndNextChange) {
    struct Case {
        uint64_t position;
        int ma, slo;
        uint64_t next;
    };
    const Case cases[] = {
        {0, 1, 1, 10},
        {5, 1, 1, 10},
        {10, 0, 1, 12},
        {11, 0, 1, 12},
        {12, 0, 0, 20},
        {20, 1, 0, 35},
        {34, 1, 0, 35},
        {35, 1, 1, zb::kNoFurtherChange},
        {99, 1, 1, zb::kNoFurtherChange},
        {~uint64_t{0} - 1, 1, 1, zb::kNoFurtherChange},
        {3, 1, 1, 10},  // back to the start after the end
    };
    // Channels on both sides of a byte boundary, in both orders.
    const std::pair<int, int> channelPairs[] = {{0, 1}, {7, 8}, {127, 64}, {9, 3}};
    for (auto [maCh, sloCh] : channelPairs) {
        zbtest::MemoryHost host(SmallCapture(), maCh, sloCh);
        for (const Case& c : cases) {
            uint8_t state[16];
            std::memset(state, 0xAA, sizeof state);
            const uint64_t next = host.Record().sampleQuery(c.position, state);
            SCOPED_TRACE(testing::Message() << "ma " << maCh << " slo " << sloCh << " at " << c.position);
            EXPECT_EQ(next, c.next);
            EXPECT_EQ(Bit(state, maCh), c.ma == 1);
            EXPECT_EQ(Bit(state, sloCh), c.slo == 1);
            int ones = 0;
            for (int ch = 0; ch < 128; ++ch) ones += Bit(state, ch) ? 1 : 0;
            EXPECT_EQ(ones, c.ma + c.slo) << "other channels read 0";
        }
    }
}

TEST(MemoryHost, SequentialWalkVisitsEveryChange) {
    bissgen::Capture c;
    c.lastSample = 1000000;
    uint8_t ma = 1;
    for (int64_t p = 0; p < 1000000; p += 7) {
        c.changes.push_back({p, ma, static_cast<uint8_t>(p % 3 == 0)});
        ma ^= 1;
    }
    zbtest::MemoryHost host(c);
    uint8_t state[16];
    uint64_t pos = 0;
    size_t visited = 0;
    while (pos != zb::kNoFurtherChange) {
        ASSERT_LT(visited, c.changes.size());
        ASSERT_EQ(static_cast<int64_t>(pos), c.changes[visited].position);
        pos = host.Record().sampleQuery(pos, state);
        EXPECT_EQ(Bit(state, 0), c.changes[visited].ma == 1);
        ++visited;
    }
    EXPECT_EQ(visited, c.changes.size());
    EXPECT_EQ(host.QueryCount(), c.changes.size());
}

TEST(MemoryHost, StopWordAndAbortPoll) {
    zbtest::MemoryHost host(SmallCapture());
    zb::HostRecord& r = host.Record();
    host.StopAfterQueries(3);
    uint8_t state[16];
    r.sampleQuery(0, state);
    r.sampleQuery(10, state);
    EXPECT_EQ(*r.stopFlag, 0u);
    r.sampleQuery(12, state);
    EXPECT_NE(*r.stopFlag, 0u);

    EXPECT_EQ(r.abortPoll(), 0u) << "never aborts by default";
    host.AbortFromPoll(3);
    EXPECT_EQ(r.abortPoll() & 1u, 0u);
    EXPECT_EQ(r.abortPoll() & 1u, 0u);
    EXPECT_EQ(r.abortPoll() & 1u, 1u);
    EXPECT_EQ(r.abortPoll() & 1u, 1u);
}

TEST(MemoryHost, ReportCallbackCollectsLines) {
    zbtest::MemoryHost host(SmallCapture());
    host.UseReportCallback(true);
    zb::HostRecord& r = host.Record();
    ASSERT_NE(r.reportRow, nullptr);
    EXPECT_NE(r.reportBlockName[0], '\0') << "a report must be asked for";
    EXPECT_NE(r.reportRow("abc", 2), 0);
    EXPECT_NE(r.reportRow("", 0), 0);
    EXPECT_FALSE(host.ReportEnded());
    EXPECT_NE(r.reportRow(nullptr, 0), 0);
    EXPECT_TRUE(host.ReportEnded());
    ASSERT_EQ(host.ReportLines().size(), 2u);
    EXPECT_EQ(host.ReportLines()[0], "ab");
    EXPECT_EQ(host.ReportLines()[1], "");
    host.UseReportCallback(false);
    EXPECT_EQ(r.reportRow, nullptr);
}

TEST(MemoryHost, ActivateSwitchesBetweenHosts) {
    bissgen::Capture other = SmallCapture();
    other.changes = {{0, 0, 0}, {50, 1, 1}};
    zbtest::MemoryHost first(SmallCapture());
    zbtest::MemoryHost second(other);  // the newest host answers
    uint8_t state[16];
    EXPECT_EQ(second.Record().sampleQuery(0, state), 50u);
    first.Activate();
    EXPECT_EQ(first.Record().sampleQuery(0, state), 10u);
    EXPECT_EQ(first.QueryCount(), 1u);
    EXPECT_EQ(second.QueryCount(), 1u);
}

}  // namespace
