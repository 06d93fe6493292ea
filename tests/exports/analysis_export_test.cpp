// The Analysis export of the built plug-in, loaded with dlopen and driven as a host drives it: a
// generated capture served by the in-memory host, the published record arrays, the abort at entry
// that must leave the record untouched, the stop word, progress and the settings copied back.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "abi/record_code.h"
#include "bissgen/generator.h"
#include "support/default_frames.h"
#include "support/memory_host.h"

namespace {

using zb::HostRecord;
using AnalysisFn = uint32_t (*)(HostRecord*);

class AnalysisExport : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { library_ = dlopen(ZB_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL); }
    static void TearDownTestSuite() {
        if (library_ != nullptr) dlclose(library_);
        library_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(library_, nullptr) << dlerror();
        analysis_ = reinterpret_cast<AnalysisFn>(dlsym(library_, "Analysis"));
        ASSERT_NE(analysis_, nullptr);
    }
    static bissgen::Capture Frames() { return zbtest::DefaultLayoutFrames(0xA0); }

    static void* library_;
    AnalysisFn analysis_ = nullptr;
};
void* AnalysisExport::library_ = nullptr;

TEST_F(AnalysisExport, NullRecordIsRefused) {
    EXPECT_EQ(analysis_(nullptr), 0u);
}

TEST_F(AnalysisExport, AbortAtEntryTouchesNothing) {
    zbtest::MemoryHost host(Frames());
    host.AbortFromPoll(1);
    HostRecord& r = host.Record();
    uint32_t stop = 7;
    r.stopFlag = &stop;
    r.progress = 123;
    std::vector<uint8_t> before(sizeof r);
    std::memcpy(before.data(), &r, sizeof r);
    EXPECT_EQ(analysis_(&r), 0u);
    EXPECT_EQ(std::memcmp(before.data(), &r, sizeof r), 0);
    EXPECT_EQ(stop, 7u);
}

TEST_F(AnalysisExport, DecodesPublishesAndCopiesBack) {
    zbtest::MemoryHost host(Frames());
    HostRecord& r = host.Record();
    uint32_t stop = 1;  // left over from an earlier run: cleared at the start
    r.stopFlag = &stop;
    const uint32_t count = analysis_(&r);
    ASSERT_GT(count, 5u);
    EXPECT_EQ(stop, 0u);
    EXPECT_EQ(r.progress, 1000u);
    EXPECT_EQ(r.settingsState, 9);  // never-initialised settings were normalised and copied back
    EXPECT_EQ(r.dialogResult, 2u);
    ASSERT_NE(r.codeArray, nullptr);
    ASSERT_NE(r.positionArray, nullptr);
    EXPECT_EQ(zb::KindOf(r.codeArray[0]), zb::RecordKind::FirstFrame);
    std::vector<uint32_t> values;
    for (uint32_t i = 0; i < count; ++i) {
        if (zb::KindOf(r.codeArray[i]) == zb::RecordKind::SingleTurnLow)
            values.push_back(zb::PayloadOf(r.codeArray[i]));
        if (i > 0) {
            EXPECT_GE(r.positionArray[i], r.positionArray[i - 1]);
        }
    }
    EXPECT_EQ(values, (std::vector<uint32_t>{0xA0, 0xA1, 0xA2, 0xA3, 0xA4}));
    // Auto length is on by default: the found length is copied back with the settings.
    uint32_t aux;
    std::memcpy(&aux, r.decoderWords + 8, 4);
    EXPECT_EQ((aux >> 4) & 0x3F, 12u);
}

TEST_F(AnalysisExport, WorksWithoutAStopWordAndReportsFailuresAsOneRecord) {
    zbtest::MemoryHost host(Frames());
    HostRecord& r = host.Record();
    r.stopFlag = nullptr;
    EXPECT_GT(analysis_(&r), 3u);
    // Reversed range: Cursor B (end) before Cursor A (start).
    r.decoderWords[0] = 0x32;  // rangeFrom 2 (Cursor A), rangeTo 3 (Cursor B)
    r.cursorPosition[1] = 5000;
    r.cursorPosition[2] = 1000;
    ASSERT_EQ(analysis_(&r), 1u);
    EXPECT_EQ(r.codeArray[0], 0u);
    EXPECT_EQ(r.positionArray[0], 0);
    EXPECT_EQ(r.progress, 1000u);
}

}  // namespace
