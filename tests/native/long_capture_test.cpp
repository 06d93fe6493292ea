// Long and odd captures through the whole Analysis call: more than 3,000,000 records read back
// across the result stores' spill boundaries and checked against the generator's truth, a stop
// request at every tenth of a decode, a capture without any change, MA stuck at one level, SLO
// toggling faster than MA, positions at the very end of the signed 64-bit range, and a capture of
// more than 50,000,000 changes served by zbhost's sample source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "abi/decoder_settings.h"
#include "abi/host_messages.h"
#include "abi/record_code.h"
#include "bissgen/generator.h"
#include "engine/decode_engine.h"
#include "plugin/module_state.h"
#include "support/engine_records.h"
#include "support/memory_host.h"
#include "support/scratch_dir.h"

// zbhost's host side, with the plug-in's Analysis linked in.
#include "host_session.h"

extern "C" uint32_t Analysis(zb::HostRecord* host);

namespace zbtest {
namespace {

using zb::RecordKind;

// The settings of the template's frames: 12 data bits, all single-turn; the length configured or
// detected, the range from the start or from cursor A.
void Settings12(zb::HostRecord& record, bool autoLength, uint32_t rangeFrom = 0) {
    zb::DecoderSettings block;
    zb::CopySettingsIn(record, block);
    zb::SettingsView view(&block);
    view.ApplyDefaults();
    view.SetAutoLength(autoLength);
    view.SetDataLength(12);
    view.SetSingleTurnBits(12);
    view.SetRangeFrom(rangeFrom);
    zb::CopySettingsOut(block, record);
}

// A host serving the template `repeats` times from sample `base`.
struct RepeatingHost : MemoryHost {
    RepeatingHost(const bissgen::Capture& unit, int64_t repeats, int64_t base = 0) : MemoryHost(unit) {
        Repeat(repeats, base);
        Settings12(Record(), false);
    }
};

struct Records {
    std::vector<int64_t> pos;
    std::vector<uint32_t> code;
};

Records Read(const zb::HostRecord& r, uint32_t count) {
    Records out;
    out.pos.assign(r.positionArray, r.positionArray + count);
    out.code.assign(r.codeArray, r.codeArray + count);
    return out;
}

// What every host relies on: known kinds, the failure record alone, value triples complete and
// sharing one position, positions strictly increasing otherwise.
void ExpectHostInvariants(const Records& r) {
    ASSERT_FALSE(r.code.empty());
    int open = 0;  // parts of a value triple still due
    for (size_t i = 0; i < r.code.size(); ++i) {
        const uint8_t kind = zb::KindByte(r.code[i]);
        if (kind == 0) {
            ASSERT_EQ(r.code.size(), 1u) << "failure record not alone";
        }
        ASSERT_NE(static_cast<RecordKind>(kind), RecordKind::Ida) << i;
        const bool high = kind == 0xBF || kind == 0xBD || kind == 0xBB;
        if (open > 0) {
            ASSERT_EQ(r.pos[i], r.pos[i - 1]) << i;
            --open;
        } else {
            if (i > 0) {
                ASSERT_GT(r.pos[i], r.pos[i - 1]) << i;
            }
            if (high) open = 2;
        }
    }
    EXPECT_EQ(open, 0);
}

// A template of 100 frames with distinct single-turn values and 10 samples per clock.
struct Template {
    bissgen::Capture capture;
    std::vector<bissgen::FrameTruth> frames;
};
Template MakeTemplate() {
    bissgen::Timing t;
    t.sampleRate = 20000000;
    t.clockHz = 2000000;
    t.pauseNs = 20000;
    t.timeoutNs = 5000;
    t.leadNs = 10000;
    bissgen::Layout layout;  // 12 single-turn bits, CRC 6 / 0x43
    bissgen::Generator g(t, layout, 3);
    for (int i = 0; i < 100; ++i) {
        bissgen::Frame f;
        f.slaves[0].singleTurn = (static_cast<uint64_t>(i) * 0x9E5u + 0x123u) & 0xFFF;
        g.AddFrame(f);
    }
    return Template{g.Finish(), g.Frames()};
}

// Checks every single-turn value and CRC of the decode against the generator's truth, frame by
// frame in order: the n-th value is that of the n-th frame sent, and lies inside that frame.
void ExpectFramesMatchTruth(const Records& r, const Template& t, int64_t period, int64_t base,
                            uint64_t expectedFrames) {
    uint64_t values = 0, crcs = 0;
    const size_t k = t.frames.size();
    for (size_t i = 0; i < r.code.size(); ++i) {
        const uint8_t kind = zb::KindByte(r.code[i]);
        if (kind == static_cast<uint8_t>(RecordKind::SingleTurnHigh)) {
            ASSERT_LT(i + 2, r.code.size());
            const uint64_t value = zb::JoinTriple(zb::PayloadOf(r.code[i]), zb::PayloadOf(r.code[i + 1]),
                                                  zb::PayloadOf(r.code[i + 2]));
            const bissgen::FrameTruth& truth = t.frames[values % k];
            const int64_t frameStart = base + static_cast<int64_t>(values / k) * period + truth.firstFall;
            ASSERT_EQ(value, truth.slaves[0].word.singleTurn) << "frame " << values << " record " << i;
            ASSERT_GE(r.pos[i], frameStart) << "frame " << values;
            ASSERT_LT(r.pos[i], frameStart + 30 * 10) << "frame " << values;
            ++values;
        } else if (kind == static_cast<uint8_t>(RecordKind::Crc)) {
            const bissgen::FrameTruth& truth = t.frames[crcs % k];
            ASSERT_EQ(zb::PayloadOf(r.code[i]), truth.slaves[0].crc & 0xFF)
                << "frame " << crcs << " record " << i;
            ++crcs;
        }
    }
    EXPECT_EQ(values, expectedFrames);
    EXPECT_EQ(crcs, expectedFrames);
}

class LongCapture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Ok());
        std::memcpy(savedDirectory_, zb::Module().messages.tempDirectory, sizeof savedDirectory_);
        zb::StoreHostMessage(zb::Module().messages, 0, dir_.Path().c_str());
        swap_.emplace(engine_);
    }
    void TearDown() override {
        swap_.reset();
        std::memcpy(zb::Module().messages.tempDirectory, savedDirectory_, sizeof savedDirectory_);
    }
    ScratchDir dir_{"zblong"};
    char savedDirectory_[zb::kMessageTextSize] = {};
    zb::DecodeEngine engine_{zb::Module().call};
    std::optional<zbtest::EngineSwap> swap_;
};

TEST_F(LongCapture, MillionsOfRecordsReadBackIdenticalAcrossSpillBoundaries) {
    const Template t = MakeTemplate();
    uint32_t perTemplate = 0;
    {
        RepeatingHost one(t.capture, 1);
        perTemplate = Analysis(&one.Record());
    }
    ASSERT_GT(perTemplate, 500u);
    const int64_t repeats = 3'100'000 / perTemplate + 1;
    RepeatingHost host(t.capture, repeats);
    const uint32_t count = Analysis(&host.Record());
    ASSERT_GT(count, 3'000'000u);
    EXPECT_EQ(host.Record().progress, 1000u);
    EXPECT_TRUE(host.Misuse().empty());
    EXPECT_FALSE(engine_.Records().positionStore.Degraded());
    const Records r = Read(host.Record(), count);
    ExpectHostInvariants(r);
    ExpectFramesMatchTruth(r, t, host.Period(), 0, static_cast<uint64_t>(repeats) * t.frames.size());
}

TEST_F(LongCapture, StopAtEveryTenthKeepsWhatWasDecodedSoFar) {
    const Template t = MakeTemplate();
    RepeatingHost host(t.capture, 40);
    const uint32_t full = Analysis(&host.Record());
    const Records all = Read(host.Record(), full);
    const uint64_t queries = host.QueryCount();
    uint32_t previous = 0;
    for (int tenth = 1; tenth <= 9; ++tenth) {
        SCOPED_TRACE(tenth);
        host.StopAfterQueries(queries * static_cast<uint64_t>(tenth) / 10);
        const uint32_t count = Analysis(&host.Record());
        EXPECT_EQ(host.Record().progress, 1000u);
        EXPECT_TRUE(host.Misuse().empty());
        ASSERT_GT(count, previous);
        ASSERT_LT(count, full);
        const Records r = Read(host.Record(), count);
        ExpectHostInvariants(r);
        // Everything before the frame that was cut is what the whole decode found.
        const size_t same = count > 16 ? count - 16 : 0;
        EXPECT_TRUE(std::equal(r.code.begin(), r.code.begin() + same, all.code.begin()));
        EXPECT_TRUE(std::equal(r.pos.begin(), r.pos.begin() + same, all.pos.begin()));
        previous = count;
    }
}

// Captures a host may hand over that hold no frame at all (no change; MA stuck high with SLO
// toggling) give Idle records only; SLO toggling faster than MA gives whatever frames it looks like.
// Every one keeps the host's rules.
TEST_F(LongCapture, CapturesWithoutFramesGiveIdleRecordsOnly) {
    auto toggling = [](int sloStep, int maStep) {
        bissgen::Capture c;
        c.sampleRate = 1000000;
        c.lastSample = 200000;
        uint8_t ma = 1, slo = 1;
        c.changes.push_back({0, ma, slo});
        for (int64_t p = 1; p < c.lastSample; ++p) {
            if (p % sloStep != 0 && (maStep == 0 || p % maStep != 0)) continue;
            slo ^= p % sloStep == 0;
            ma ^= maStep > 0 && p % maStep == 0;
            c.changes.push_back({p, ma, slo});
        }
        return c;
    };
    bissgen::Capture still;
    still.lastSample = 1'000'000;
    still.changes = {{0, 1, 1}};
    const std::pair<bissgen::Capture, bool> cases[] = {
        {still, true}, {toggling(7, 0), true}, {toggling(1, 6), false}};
    for (const auto& [c, noFrame] : cases) {
        MemoryHost host(c);
        const uint32_t count = Analysis(&host.Record());
        const Records r = Read(host.Record(), count);
        ExpectHostInvariants(r);
        EXPECT_EQ(host.Record().progress, 1000u);
        if (c.changes.size() == 1) {  // one Idle record at 0
            EXPECT_EQ(r.code, (std::vector<uint32_t>{zb::MakeStatus(zb::StatusCode::Idle)}));
            EXPECT_EQ(r.pos[0], 0);
        }
        for (uint32_t code : r.code) {
            EXPECT_NE(code, 0u);
            EXPECT_FALSE(noFrame && (zb::KindOf(code) == RecordKind::Start ||
                                     zb::KindOf(code) == RecordKind::SingleTurnHigh));
        }
    }
}

// The same frames at the end of the signed range (the last sample is INT64_MAX) decode to the
// same records, shifted; nothing overflows on the way.
TEST_F(LongCapture, PositionsAtTheEndOfTheSignedRange) {
    const Template t = MakeTemplate();
    RepeatingHost low(t.capture, 2);
    const uint32_t lowCount = Analysis(&low.Record());
    const Records lowRecords = Read(low.Record(), lowCount);
    ExpectFramesMatchTruth(lowRecords, t, low.Period(), 0, 2 * t.frames.size());

    const int64_t span = 2 * low.Period();
    const int64_t base = INT64_MAX - span + 1;
    RepeatingHost high(t.capture, 2, base);
    ASSERT_EQ(high.Record().lastSample, INT64_MAX);
    const uint32_t count = Analysis(&high.Record());
    ASSERT_EQ(count, lowCount);
    const Records r = Read(high.Record(), count);
    ExpectHostInvariants(r);
    EXPECT_EQ(high.Record().progress, 1000u);
    EXPECT_TRUE(high.Misuse().empty());
    for (size_t i = 0; i < r.code.size(); ++i) {
        // The decode-wide records at the very start (clock rate, first idle) may sit at the
        // range's start; every frame record moves with the frames.
        EXPECT_EQ(r.code[i], lowRecords.code[i]) << i;
        if (lowRecords.pos[i] > 0) {
            EXPECT_EQ(r.pos[i] - base, lowRecords.pos[i]) << i;
        }
    }
}

// The template repeated `repeats` times as a change stream: as long a capture as wanted, made as
// it is read. Each block starts at a checkpoint (the number of the change it starts with).
class RepeatingStream : public zbhost::ChangeStream {
  public:
    RepeatingStream(const bissgen::Capture& unit, int64_t repeats)
        : unit_(unit), period_(unit.lastSample + 1), repeats_(repeats) {}
    bool Next(zbhost::ChangeBlock& out) override {
        out.Clear();
        const auto& c = unit_.changes;
        if (rep_ >= repeats_) return false;
        out.start.valid = true;
        out.start.where = static_cast<uint64_t>(rep_) * c.size() + index_;
        if (haveLast_) out.start.inForcePosition = lastPosition_, out.start.inForceLevels = lastLevels_;
        while (out.Size() < zbhost::kBlockChanges && rep_ < repeats_) {
            const uint8_t levels = zbhost::PackLevels(c[index_].ma, c[index_].slo);
            // A repetition that starts at the levels the last one ended at has no change there.
            if (!haveLast_ || levels != lastLevels_) {
                lastPosition_ = rep_ * period_ + c[index_].position;
                lastLevels_ = levels;
                haveLast_ = true;
                out.Push(lastPosition_, levels);
            }
            if (++index_ == c.size()) index_ = 0, ++rep_;
        }
        return true;
    }
    bool CanRestart() const override { return true; }
    void Restart(const zbhost::Checkpoint& from) override {
        rep_ = static_cast<int64_t>(from.where / unit_.changes.size());
        index_ = static_cast<size_t>(from.where % unit_.changes.size());
        haveLast_ = from.inForcePosition >= 0;
        lastPosition_ = from.inForcePosition;
        lastLevels_ = from.inForceLevels;
    }
    uint64_t SampleRate() const override { return unit_.sampleRate; }
    int64_t LastSample() const override { return period_ * repeats_ - 1; }
    bool LengthKnown() const override { return true; }

  private:
    const bissgen::Capture& unit_;
    int64_t period_, repeats_;
    int64_t rep_ = 0;
    size_t index_ = 0;
    bool haveLast_ = false;
    int64_t lastPosition_ = -1;
    uint8_t lastLevels_ = 0;
};

// No limit on the changes remains: a capture of more than 50,000,000 changes (the old host's
// refusal) is served in bounded memory. The decode covers the last 20 repetitions, after a cursor
// that lies beyond change 50,000,000, with the length detected (two walks from the cursor).
TEST_F(LongCapture, PastFiftyMillionChangesThroughTheSampleSource) {
    const Template t = MakeTemplate();
    const int64_t perRepeat = static_cast<int64_t>(t.capture.changes.size()) - 1;
    const int64_t repeats = 50'000'000 / perRepeat + 40;
    const int64_t period = t.capture.lastSample + 1;
    zbhost::SampleSource source(std::make_unique<RepeatingStream>(t.capture, repeats));
    zbhost::PluginExports exports;
    exports.Analysis = &Analysis;
    zbhost::HostSession session(exports, source);
    Settings12(session.Record(), true, 2);  // from cursor A
    const int64_t base = (repeats - 20) * period;
    session.Record().cursorPosition[1] = base;
    std::string error;
    ASSERT_TRUE(session.Analyse(zbhost::ReportVia::None, error)) << error;
    Records r;
    for (uint32_t i = 0; i < session.RecordCount(); ++i) {
        r.pos.push_back(session.PositionAt(i));
        r.code.push_back(session.CodeAt(i));
    }
    ExpectHostInvariants(r);
    ExpectFramesMatchTruth(r, t, period, base, 20 * t.frames.size());
    const zbhost::ReadStats stats = source.Stats();
    EXPECT_GT(stats.changes, 50'000'000u);
    EXPECT_EQ(stats.samples, repeats * period);
}

}  // namespace
}  // namespace zbtest
