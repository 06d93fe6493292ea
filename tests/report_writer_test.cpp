// Report writer: the exact wire format (header with its colour table, row lines with their colour
// digits, cell escaping, CR LF, the final NUL), the refusals and their status codes, the limits,
// and both deliveries - the host's row callback, and a spool published as a named shared-memory
// block (an older, larger block; no name; a spool write failing after the first chunk). The faults
// of every other platform call are the fault loop's (fault_injection_test.cpp).
#include "report/report_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/published_block.h"

namespace zb {
namespace {

using zbtest::ReadPublishedBlock;
using zbtest::RemovePublishedBlock;

std::vector<std::string> gLines;
int gEndCalls = 0;
int32_t gCallbackResult = 1;

int32_t ZB_CALL RecordRow(const char* text, uint32_t length) {
    if (text == nullptr && length == 0) {
        ++gEndCalls;
    } else {
        gLines.emplace_back(text, length);
    }
    return gCallbackResult;
}

class ReportWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gLines.clear();
        gEndCalls = 0;
        gCallbackResult = 1;
        platform::InjectedFaults() = platform::Faults{};
        static int counter = 0;
        std::snprintf(blockName_, sizeof blockName_, "zbrw_%lu_%d", zbtest::TestProcessId(), ++counter);
        RemovePublishedBlock(blockName_);
        record_.reportRow = &RecordRow;
        std::snprintf(record_.reportBlockName, sizeof record_.reportBlockName, "%s", blockName_);
        call_.Remember(&record_);
    }
    void TearDown() override {
        if (call_.reportWriter != nullptr) ReportClose(call_);
        platform::InjectedFaults() = platform::Faults{};
        RemovePublishedBlock(blockName_);
    }
    // Two columns, pairs 0..11, the header flushed.
    void OpenTwoColumns() {
        ASSERT_TRUE(ReportOpen(call_));
        ASSERT_TRUE(ReportSetColumnName(call_, 0, "A"));
        ASSERT_TRUE(ReportSetColumnName(call_, 1, "B"));
        for (int k = 0; k < 12; ++k) ASSERT_TRUE(ReportSetColourPair(call_, k, 0x000000u + k, 0xFFFFFFu - k));
        ReportFlushHeader(call_);  // false when a failed spool took nothing
    }
    void WriteRows(int rows) {
        for (int r = 0; r < rows; ++r) {
            ReportStartRow(call_, 1000 + r);
            ReportSetCell(call_, 0, "row text that makes the report longer");
            ReportSetCell(call_, 1, std::to_string(r).c_str());
            ReportWriteRow(call_);
        }
    }

    CallContext call_;
    HostRecord record_{};
    char blockName_[32] = {};
};

// Escapes and the cut of a cell to its room. (Empty cells and plain texts in every line are
// fuzz/fuzz_report_writer.cpp's.)
TEST(ReportFormat, CellEscaping) {
    struct Case {
        const char* text;
        size_t room;
        const char* expected;
    } cases[] = {
        {"\"\\\t\x80", 64, "\"\\\"\\\\..\""},  // quote, backslash, TAB, 0x80
        {"a\x1F\x7F~ ", 64, "\"a.\x7F~ \""},   // 0x7F is copied, 0x1F is not
        {"abcdef", 5, "\"abc\""},              // cut, closing quote kept
        {"a\"b", 4, "\"a\""},                  // an escape pair is never split
        {"", 3, "\" \""},
    };
    for (const Case& c : cases) {
        char out[80] = {};
        EXPECT_EQ(std::string(out, EscapeCell(c.text, out, c.room)), c.expected) << c.text;
    }
}

// Header and row lines as the host reads them, through the row callback.
TEST_F(ReportWriterTest, HeaderAndRowLines) {
    ASSERT_TRUE(ReportOpen(call_));
    ReportSetColumnName(call_, 2, "C");  // columns 0 and 1 never named: empty names
    ReportSetColourPair(call_, 0, 0x000000, 0x3099FF);
    ReportSetColourPair(call_, 1, 0xFFFFFF, 0x3333E1);
    EXPECT_TRUE(ReportFlushHeader(call_));
    EXPECT_FALSE(ReportFlushHeader(call_));  // nothing pending any more
    EXPECT_FALSE(ReportWriteRow(call_));     // nor a row
    ReportStartRow(call_, 1234);
    ReportSetCellColour(call_, 0, 1);
    ReportSetCell(call_, 0, "x");
    ReportWriteRow(call_);
    // Never-set cells are a quoted space; cell colours persist into the next row; a cell alone
    // makes a row (with the old clock).
    ReportSetCell(call_, 2, "y\"z");
    ReportWriteRow(call_);
    for (const int64_t clock : {int64_t{-1}, INT64_MAX, INT64_MIN}) {
        ReportStartRow(call_, clock);
        ReportWriteRow(call_);
    }
    EXPECT_EQ(gLines, (std::vector<std::string>{
                          "||000000FFFFFF0000003099FFFFFFFF3333E1||Clock,,,C\r\n",
                          "|@01452323|@1234,\"x\",\" \",\" \"\r\n",
                          "|@01452323|@1234,\" \",\" \",\"y\\\"z\"\r\n",
                          "|@01452323|@-1,\" \",\" \",\" \"\r\n",
                          "|@01452323|@9223372036854775807,\" \",\" \",\" \"\r\n",
                          "|@01452323|@-9223372036854775808,\" \",\" \",\" \"\r\n",
                      }));
}

// A row flushes a pending header; a header without pairs or columns is the built-in pair and the
// Clock column; the end call follows the last line, and the callback's answer is the result.
TEST_F(ReportWriterTest, CallbackDelivery) {
    ASSERT_TRUE(ReportOpen(call_));
    EXPECT_EQ(call_.reportWriter->Delivery(), ReportDelivery::Callback);
    EXPECT_STREQ(call_.reportWriter->SpoolPath(), "");  // no temporary file in this mode
    ReportSetColourPair(call_, 0, 0xABCDEF, 0x123456);
    ReportStartRow(call_, 7);
    EXPECT_TRUE(ReportWriteRow(call_));
    ReportSetColumnName(call_, 0, "A");
    ReportStartRow(call_, 9);  // a pending row is emitted by the close
    gCallbackResult = 0;
    ReportClose(call_);
    EXPECT_EQ(gLines,
              (std::vector<std::string>{"||000000FFFFFFABCDEF123456||Clock\r\n", "|@01|@7\r\n",
                                        "||000000FFFFFFABCDEF123456||Clock,A\r\n", "|@0123|@9,\" \"\r\n"}));
    EXPECT_EQ(gEndCalls, 1);
    EXPECT_EQ(call_.reportWriter, nullptr);
    EXPECT_EQ(LastReportOutcome(), ReportOutcome::Delivered);
    EXPECT_FALSE(ReadPublishedBlock(blockName_).exists);
    ASSERT_TRUE(ReportOpen(call_));
    ReportSetColumnName(call_, 0, "A");
    EXPECT_FALSE(ReportFlushHeader(call_));  // the host refused the line
}

// Refused calls set their code, and a call that succeeds sets it back; without a writer every
// operation says so; without a host record there is none. That a refused call changes nothing is
// checked against a model by fuzz/fuzz_report_writer.cpp.
TEST_F(ReportWriterTest, RefusedCallsSetTheirCode) {
    OpenTwoColumns();  // columns 0, 1; pairs 0..11
    using Op = bool (*)(CallContext&);
    const std::pair<Op, ReportStatusCode> cases[] = {
        {[](CallContext& k) { return ReportSetColumnName(k, 48, "X"); }, ReportStatusCode::ColumnRefused},
        {[](CallContext& k) { return ReportSetColumnName(k, 0, nullptr); }, ReportStatusCode::NoText},
        {[](CallContext& k) { return ReportSetColourPair(k, 16, 1, 2); }, ReportStatusCode::PairRefused},
        {[](CallContext& k) { return ReportSetCellColour(k, 48, 0); }, ReportStatusCode::ColumnRefused},
        {[](CallContext& k) { return ReportSetCellColour(k, 0, 12); }, ReportStatusCode::PairRefused},
        {[](CallContext& k) { return ReportSetCell(k, 2, "X"); }, ReportStatusCode::ColumnRefused},
        {[](CallContext& k) { return ReportSetCell(k, 0, nullptr); }, ReportStatusCode::NoText},
    };
    for (const auto& [op, code] : cases) {
        call_.status = ReportStatusCode::Ok;
        EXPECT_FALSE(op(call_));
        EXPECT_EQ(call_.status, code);
    }
    EXPECT_TRUE(ReportSetCellColour(call_, 1, 11));
    EXPECT_EQ(call_.status, ReportStatusCode::Ok);
    ReportClose(call_);
    const Op withoutWriter[] = {
        [](CallContext& k) { return ReportSetColumnName(k, 0, "A"); },
        [](CallContext& k) { return ReportSetColourPair(k, 0, 1, 2); },
        [](CallContext& k) { return ReportFlushHeader(k); },
        [](CallContext& k) { return ReportStartRow(k, 1); },
        [](CallContext& k) { return ReportSetCellColour(k, 0, 0); },
        [](CallContext& k) { return ReportSetCell(k, 0, "x"); },
        [](CallContext& k) { return ReportWriteRow(k); },
        [](CallContext& k) { return ReportClose(k) != -1; },
    };
    for (Op op : withoutWriter) {
        call_.status = ReportStatusCode::Ok;
        EXPECT_FALSE(op(call_));
        EXPECT_EQ(call_.status, ReportStatusCode::NoObject);
    }
    call_.Remember(nullptr);
    EXPECT_FALSE(ReportOpen(call_));
    EXPECT_EQ(call_.status, ReportStatusCode::NoHost);
}

// Texts are cut at 255 bytes. (Lines cut to 2047 bytes with every cell and its quotes kept, at
// up to 48 columns and 16 pairs, are checked by fuzz/fuzz_report_writer.cpp.)
TEST_F(ReportWriterTest, TextsAreCutAt255Bytes) {
    ASSERT_TRUE(ReportOpen(call_));
    ReportSetColumnName(call_, 0, std::string(300, 'h').c_str());
    ReportFlushHeader(call_);
    ReportStartRow(call_, 0);
    ReportSetCell(call_, 0, std::string(300, 'c').c_str());
    ReportWriteRow(call_);
    EXPECT_EQ(gLines[0], "||000000FFFFFF||Clock," + std::string(255, 'h') + "\r\n");
    EXPECT_EQ(gLines[1], "|@0123|@0,\"" + std::string(255, 'c') + "\"\r\n");
}

// The spool is published as the whole text and one NUL - the same text the callback receives -
// and deleted at the close; an older, larger block is cleared after the text.
TEST_F(ReportWriterTest, SpoolPublishesTextAndNulExactly) {
    OpenTwoColumns();
    WriteRows(3000);  // several spool chunks
    ReportClose(call_);
    const std::string text = [] {
        std::string all;
        for (const std::string& l : gLines) all += l;
        return all;
    }();
    ASSERT_GT(text.size(), 2 * kReportSpoolBuffer);

    record_.reportRow = nullptr;
    platform::SharedBlock older;  // holds the older block open (on Windows it would vanish otherwise)
    ASSERT_TRUE(older.Create(blockName_, text.size() + 100000));
    std::memset(older.View(), 'G', text.size() + 100000);
    older.ReleaseView();
    OpenTwoColumns();
    ASSERT_EQ(call_.reportWriter->Delivery(), ReportDelivery::Spool);
    const std::string spool = call_.reportWriter->SpoolPath();
    // Windows keeps only the first three characters of a temporary-file prefix.
    EXPECT_NE(spool.find(std::string(kReportSpoolPrefix).substr(0, 3)), std::string::npos);
    EXPECT_TRUE(platform::PathExists(spool.c_str()));
    WriteRows(3000);
    ReportClose(call_);
    EXPECT_EQ(LastReportOutcome(), ReportOutcome::Published);
    EXPECT_FALSE(platform::PathExists(spool.c_str()));
    const zbtest::PublishedBlock block = ReadPublishedBlock(blockName_);
    ASSERT_GE(block.bytes.size(), text.size() + 100000);
    EXPECT_EQ(block.bytes.substr(0, text.size()), text);
    EXPECT_EQ(block.bytes.find_first_not_of('\0', text.size()), std::string::npos);

    // A new block is exactly as long as the text and its NUL.
    older.Detach();
    RemovePublishedBlock(blockName_);
    OpenTwoColumns();
    WriteRows(3000);
    ReportClose(call_);
#if !defined(_WIN32)
    EXPECT_EQ(ReadPublishedBlock(blockName_).bytes, text + std::string(1, '\0'));
#endif
}

// What else may become of a spooled report: a write that fails after the first chunk publishes an
// empty report, never a partial one; without a block name nothing is published; a second open
// drops the first writer and its spool. No spool stays behind.
TEST_F(ReportWriterTest, SpoolOutcomes) {
    record_.reportRow = nullptr;
    platform::InjectedFaults().writeBudget = kReportSpoolBuffer + 10;
    OpenTwoColumns();
    std::string spool = call_.reportWriter->SpoolPath();
    WriteRows(3000);
    ReportClose(call_);
    platform::InjectedFaults() = platform::Faults{};
    EXPECT_EQ(LastReportOutcome(), ReportOutcome::PublishedEmpty);
    EXPECT_FALSE(platform::PathExists(spool.c_str()));
    const zbtest::PublishedBlock empty = ReadPublishedBlock(blockName_);
    EXPECT_TRUE(empty.exists);
    EXPECT_EQ(empty.bytes.find_first_not_of('\0'), std::string::npos);

    record_.reportBlockName[0] = '\0';
    OpenTwoColumns();
    spool = call_.reportWriter->SpoolPath();
    ASSERT_TRUE(ReportOpen(call_));
    const std::string second = call_.reportWriter->SpoolPath();
    if (second != spool) {  // the name may have been taken again
        EXPECT_FALSE(platform::PathExists(spool.c_str()));
    }
    WriteRows(1);
    EXPECT_EQ(ReportClose(call_), -1);
    EXPECT_EQ(LastReportOutcome(), ReportOutcome::NotPublished);
    EXPECT_FALSE(platform::PathExists(second.c_str()));
}

}  // namespace
}  // namespace zb
