// Fault injection through the whole Analysis call a host makes, as SQLite's fault simulation does:
// one call without faults counts the fault points it passes (every create, write, map, shared block
// and page allocation of the platform layer), then the call is repeated with each one failing in
// turn. Each must end defined: the records whole (in memory) or the one failure record when their
// memory failed; the report whole, empty or not published, as the writer says; no file left; the
// next call whole again. An older, smaller report block has a test of its own; lost records are
// analysis_driver_test.cpp's, a callback report (no file at all) report_writer_test.cpp's.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "abi/host_messages.h"
#include "bissgen/generator.h"
#include "engine/decode_engine.h"
#include "platform/platform.h"
#include "report/report_writer.h"
#include "support/engine_records.h"
#include "support/memory_host.h"
#include "support/published_block.h"
#include "support/scratch_dir.h"

extern "C" uint32_t ZB_CALL Analysis(zb::HostRecord* host);

namespace zbtest {
namespace {

using zb::platform::FaultPoint;
using zb::platform::Faults;
using zb::platform::InjectedFaults;

// Eight frames of 4 multi-turn and 8 single-turn bits: the default settings decode them.
bissgen::Capture FaultCapture() {
    bissgen::Layout layout;
    layout.multiTurnBits = 4;
    layout.singleTurnBits = 8;
    std::vector<bissgen::Frame> frames(8);
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i].slaves[0].singleTurn = 0x11 * (i + 1);
        frames[i].slaves[0].multiTurn = i;
    }
    return bissgen::MakeCapture(bissgen::Timing{}, layout, frames);
}

class FaultInjection : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Ok());
        InjectedFaults() = Faults{};
        std::memcpy(savedDirectory_, zb::Module().messages.tempDirectory, sizeof savedDirectory_);
        zb::StoreHostMessage(zb::Module().messages, 0, dir_.Path().c_str());
        engine_ = std::make_unique<zb::DecodeEngine>(zb::Module().call);
        swap_.emplace(*engine_);
        static int serial = 0;
        std::snprintf(blockName_, sizeof blockName_, "zbfault_%lu_%d", TestProcessId(), ++serial);
        RemovePublishedBlock(blockName_);
        host_.emplace(FaultCapture());
        // The run without faults: its records and report text are what every fault must keep.
        baseline_ = Analyse();
        ASSERT_GT(baseline_.size(), 40u);
        baselineReport_ = ReadPublishedBlock(blockName_).Text();
        ASSERT_NE(baselineReport_.find("\r\n|@"), std::string::npos);
        Fresh();
    }
    void TearDown() override {
        InjectedFaults() = Faults{};
        swap_.reset();
        engine_.reset();
        // The stores delete their files with the engine: nothing of the decode stays behind.
        EXPECT_EQ(dir_.EntryCount(), 0u);
        std::memcpy(zb::Module().messages.tempDirectory, savedDirectory_, sizeof savedDirectory_);
        RemovePublishedBlock(blockName_);
    }

    // One Analysis call as the host makes it, with the report in the named block (or through the
    // row callback).
    std::vector<Rec> Analyse() {
        host_->Activate();
        std::snprintf(host_->Record().reportBlockName, sizeof host_->Record().reportBlockName, "%s",
                      blockName_);
        const uint32_t count = Analysis(&host_->Record());
        const zb::HostRecord& rec = host_->Record();
        if (count == 0 || rec.positionArray == nullptr || rec.codeArray == nullptr) return {};
        return RecordsFrom(rec.positionArray, rec.codeArray, count);
    }
    // The state of the first call: no report block, and stores without files, so that the next
    // call creates them again and passes the same fault points.
    void Fresh() {
        RemovePublishedBlock(blockName_);
        engine_->Records().codeStore.DestroyStore();
        engine_->Records().positionStore.DestroyStore();
    }

    ScratchDir dir_{"zbfault"};
    char savedDirectory_[zb::kMessageTextSize] = {};
    std::unique_ptr<zb::DecodeEngine> engine_;
    std::optional<EngineSwap> swap_;
    std::optional<MemoryHost> host_;
    char blockName_[zb::kReportBlockNameSize] = {};
    std::vector<Rec> baseline_;
    std::string baselineReport_;
};

// Eleven points today: the two store files' creates and page allocations, their writes and maps
// when they finish, the spool's create and write, and the report block.
TEST_F(FaultInjection, EveryFaultPointEndsInADefinedOutcome) {
    InjectedFaults() = Faults{};
    Analyse();
    const int64_t points = InjectedFaults().pointsReached;
    ASSERT_GE(points, 11);
    Fresh();
    const std::vector<Rec> failure = {R(0, 0)};
    for (int64_t k = 1; k <= points; ++k) {
        Faults one;
        one.failAt = k;
        InjectedFaults() = one;
        const std::vector<Rec> got = Analyse();
        const FaultPoint kind = InjectedFaults().failed;
        InjectedFaults() = Faults{};
        SCOPED_TRACE(testing::Message()
                     << "fault point " << k << " of " << points << ", kind " << static_cast<int>(kind));
        EXPECT_NE(kind, FaultPoint::None);
        // Only memory for the records loses them; a file that fails leaves them in memory.
        EXPECT_TRUE(got == baseline_ || (kind == FaultPoint::Pages && got == failure));
        EXPECT_EQ(host_->Record().progress, 1000u);
        const PublishedBlock block = ReadPublishedBlock(blockName_);
        switch (zb::LastReportOutcome()) {
            case zb::ReportOutcome::Published:
                EXPECT_NE(kind, FaultPoint::SharedBlock);
                if (got == baseline_) {
                    EXPECT_EQ(block.Text(), baselineReport_);
                } else {
                    EXPECT_EQ(block.Text().rfind("||", 0), 0u);
                }
                break;
            case zb::ReportOutcome::PublishedEmpty:  // the spool could not be made or written
                EXPECT_TRUE(kind == FaultPoint::Create || kind == FaultPoint::Write);
                EXPECT_TRUE(block.exists);
                EXPECT_EQ(block.Text(), "");
                break;
            case zb::ReportOutcome::NotPublished:
                EXPECT_EQ(kind, FaultPoint::SharedBlock);
                EXPECT_FALSE(block.exists);
                break;
            default:
                ADD_FAILURE() << "report outcome " << static_cast<int>(zb::LastReportOutcome());
        }
        // The store files are this call's only files; the next call without faults is whole.
        EXPECT_LE(dir_.EntryCount(), 2u);
        RemovePublishedBlock(blockName_);
        EXPECT_TRUE(SameRecords(Analyse(), baseline_));
        Fresh();
    }
}

#if !defined(_WIN32)
// POSIX keeps the size of an older block of the same name; Windows maps the whole new region, so
// this case only arises on POSIX hosts that reuse a name without removing the old block. The block
// receives the whole lines that fit before a NUL, and nothing past its end.
TEST_F(FaultInjection, AnOlderSmallerBlockReceivesOnlyTheWholeLinesThatFit) {
    const size_t headerEnd = baselineReport_.find("\r\n") + 2;
    const size_t firstRowEnd = baselineReport_.find("\r\n", headerEnd) + 2;
    for (const size_t size : {size_t{8}, firstRowEnd - 1, firstRowEnd, firstRowEnd + 5}) {
        SCOPED_TRACE(size);
        {
            zb::platform::SharedBlock old;
            ASSERT_TRUE(old.Create(blockName_, size));
            std::memset(old.View(), 'x', size);
            old.ReleaseView();
            old.Detach();
        }
        EXPECT_EQ(Analyse(), baseline_);
        EXPECT_EQ(zb::LastReportOutcome(), zb::ReportOutcome::Truncated);
        const PublishedBlock block = ReadPublishedBlock(blockName_);
        ASSERT_EQ(block.bytes.size(), size);
        const std::string text = block.Text();
        EXPECT_EQ(block.bytes.find_first_not_of('\0', text.size()), std::string::npos);
        // A line fits when it and the NUL after it do.
        EXPECT_EQ(text, baselineReport_.substr(0, size > firstRowEnd ? firstRowEnd
                                                  : size > headerEnd ? headerEnd
                                                                     : 0));
        RemovePublishedBlock(blockName_);
    }
}
#endif

}  // namespace
}  // namespace zbtest
