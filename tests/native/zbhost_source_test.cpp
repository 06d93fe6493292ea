// The sample source against the whole change list: every reader, read through a window too small
// to hold the capture, answers any sequence of queries (the two walks of a decode, cursors, jumps
// back and far ahead) exactly as a host holding every change would; the end of a capture of unknown
// length is the marked extra change. Piped input keeps the first walk for the second, and a query
// that goes back beyond what it kept fails with a message instead of reading garbage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>

#include "native/zbhost_files.h"
#include "sample_source.h"

namespace {

using bissgen::Capture;
using zbhost::CaptureFormat;
using zbhost::SampleSource;

// About 300,000 changes (several blocks) at random distances, and a tail without a change.
Capture ManyChanges(uint32_t seed) {
    Capture c = zbtest::RandomCapture(seed, 300'000, 9, 100'000'000);
    c.lastSample += 18;
    return c;
}

// What a host holding every change answers; a capture whose length the reader learns only at its
// end has the marked change at the last sample.
uint64_t Expected(const Capture& c, int64_t pos, bool marksEnd, uint8_t& levels) {
    const auto& ch = c.changes;
    auto after = std::upper_bound(ch.begin(), ch.end(), pos,
                                  [](int64_t p, const bissgen::Change& x) { return p < x.position; });
    const size_t i = after == ch.begin() ? 0 : static_cast<size_t>(after - ch.begin()) - 1;
    levels = zbhost::PackLevels(ch[i].ma, ch[i].slo);
    if (i + 1 < ch.size()) return static_cast<uint64_t>(ch[i + 1].position);
    if (!marksEnd) return SampleSource::kNoFurtherChange;
    if (pos < c.lastSample) return static_cast<uint64_t>(c.lastSample);
    levels |= SampleSource::kEndMark;
    return SampleSource::kNoFurtherChange;
}

// The queries of a decode: a first walk that stops early, a second from the start to the end, and
// then (when `cursors`) walks from random cursors, single positions, and positions outside the
// capture.
std::vector<std::pair<int64_t, int>> QueryPlan(const Capture& c, uint32_t seed, bool cursors) {
    std::mt19937 rng(seed);
    std::vector<std::pair<int64_t, int>> plan = {{0, 30'000}, {0, 1'000'000}};  // (start, steps)
    plan.push_back({c.lastSample - 3, 10});
    plan.push_back({c.lastSample + 1000, 2});
    if (!cursors) return plan;
    for (int k = 0; k < 40; ++k)
        plan.push_back({static_cast<int64_t>(rng() % c.lastSample), 1 + rng() % 3000});
    plan.push_back({-5, 3});
    return plan;
}

void RunPlan(SampleSource& source, const Capture& c, bool marksEnd, bool cursors, const char* what) {
    for (const auto& [start, steps] : QueryPlan(c, 11, cursors)) {
        int64_t pos = start;
        for (int s = 0; s < steps; ++s) {
            uint8_t got = 0, want = 0;
            const uint64_t next = source.Query(pos, got);
            ASSERT_EQ(next, Expected(c, pos, marksEnd, want)) << what << " at " << pos << " from " << start;
            ASSERT_EQ(got, want) << what << " at " << pos;
            if (next == SampleSource::kNoFurtherChange) break;
            pos = static_cast<int64_t>(next);
        }
    }
}

TEST(ZbhostSource, AnswersAsTheWholeListForAnyQueries) {
    const Capture c = ManyChanges(7);
    const std::pair<CaptureFormat, unsigned> cases[] = {{CaptureFormat::Srzip, 1},
                                                        {CaptureFormat::Srzip, 3},
                                                        {CaptureFormat::Vcd, 0},
                                                        {CaptureFormat::Csv, 0},
                                                        {CaptureFormat::Binary, 0}};
    const std::string path = zbtest::TempFile("source");
    for (const auto& [format, threads] : cases) {
        zbtest::WriteCaptureFile(c, format, path, 50'000);  // 40 members
        // A window of 1 MiB holds a few blocks: the walks back must read again from checkpoints.
        SampleSource source(zbhost::OpenCapture(path, format, {"0", "1", c.sampleRate, 1, threads}),
                            uint64_t{1} << 20);
        const bool marksEnd = format != CaptureFormat::Srzip;
        EXPECT_EQ(source.LengthKnown(), !marksEnd);
        RunPlan(source, c, marksEnd, true, path.c_str());
        EXPECT_EQ(source.Failure(), "");
        const zbhost::ReadStats stats = source.Stats();
        EXPECT_EQ(stats.changes, c.changes.size());  // parts read again count once
        EXPECT_GT(stats.restarts, 0u) << path;
        EXPECT_EQ(stats.samples, c.lastSample + 1);
    }
    std::remove(path.c_str());
}

// Every reader, sent back to the checkpoint of each block it gave, yields again exactly the changes
// after that checkpoint's change in force, and that change is the one in force there.
TEST(ZbhostSource, EachCheckpointReadsOnAsStraightThrough) {
    const Capture c = ManyChanges(9);
    const std::string path = zbtest::TempFile("again");
    for (const CaptureFormat format :
         {CaptureFormat::Srzip, CaptureFormat::Vcd, CaptureFormat::Csv, CaptureFormat::Binary}) {
        SCOPED_TRACE(static_cast<int>(format));
        zbtest::WriteCaptureFile(c, format, path, 100'000);
        const auto stream = zbhost::OpenCapture(path, format, {"0", "1", c.sampleRate});
        auto readOn = [&](std::vector<zbhost::Checkpoint>* starts) {
            zbhost::ChangeBlock all, b;
            while (stream->Next(b)) {
                if (starts != nullptr && b.start.valid) starts->push_back(b.start);
                all.positions.insert(all.positions.end(), b.positions.begin(), b.positions.end());
                all.levels.insert(all.levels.end(), b.levels.begin(), b.levels.end());
            }
            return all;
        };
        std::vector<zbhost::Checkpoint> starts;
        const zbhost::ChangeBlock all = readOn(&starts);
        ASSERT_GT(starts.size(), 3u);
        for (const zbhost::Checkpoint& from : starts) {
            const auto& p = all.positions;
            const size_t at = std::upper_bound(p.begin(), p.end(), from.inForcePosition) - p.begin();
            if (from.inForcePosition >= 0) {
                ASSERT_TRUE(at > 0 && p[at - 1] == from.inForcePosition) << "from " << from.where;
                ASSERT_EQ(all.levels[at - 1], from.inForceLevels) << "at " << p[at - 1];
            }
            stream->Restart(from);
            const zbhost::ChangeBlock again = readOn(nullptr);
            ASSERT_EQ(again.positions, std::vector<int64_t>(p.begin() + at, p.end()))
                << "from " << from.where;
            ASSERT_EQ(again.levels, std::vector<uint8_t>(all.levels.begin() + at, all.levels.end()));
        }
    }
    std::remove(path.c_str());
}

TEST(ZbhostSource, PipedInputKeepsTheFirstWalkOrFailsClearly) {
    const Capture c = ManyChanges(8);
    std::ostringstream vcd;
    bissgen::WriteVcd(vcd, c);
    const zbhost::ReadOptions o{"0", "1", c.sampleRate};
    // Within the limit the first walk is kept for the second.
    {
        SampleSource source(zbhost::OpenCaptureBytes(vcd.str(), CaptureFormat::Vcd, o, false));
        RunPlan(source, c, true, false, "piped");
        EXPECT_EQ(source.Failure(), "");
    }
    // Beyond it, going back fails with a message, and every answer after it is "failed, nothing
    // further".
    SampleSource source(zbhost::OpenCaptureBytes(vcd.str(), CaptureFormat::Vcd, o, false), 64 << 10);
    uint8_t levels = 0;
    uint64_t next = 0;
    for (int s = 0; s < 150'000; ++s) next = source.Query(static_cast<int64_t>(next), levels);
    EXPECT_EQ(source.Query(0, levels), SampleSource::kNoFurtherChange);
    EXPECT_EQ(levels, SampleSource::kFailMark);
    EXPECT_NE(source.Failure().find("--memory-limit"), std::string::npos) << source.Failure();
    EXPECT_EQ(source.Query(static_cast<int64_t>(next), levels), SampleSource::kNoFurtherChange);
}

}  // namespace
