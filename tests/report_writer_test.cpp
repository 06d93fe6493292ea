// Report writer: the exact wire format (header with its colour table, row lines with their colour
// digits, cell escaping, CR LF, final NUL), the refusals and status codes, the limits, and both
// deliveries - the host's row callback, and a spool published as a named shared-memory block,
// including an older smaller block and injected create, write and publish failures.
#include "report/report_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/published_block.h"

namespace zb {
namespace {

using zbtest::PublishedBlock;
using zbtest::ReadPublishedBlock;
using zbtest::RemovePublishedBlock;
using zbtest::TestProcessId;

// ---- A host record with a recording row callback --------------------------------------------

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
        std::snprintf(blockName_, sizeof blockName_, "zbrw_%lu_%d", TestProcessId(), ++counter);
        RemovePublishedBlock(blockName_);
        record_ = HostRecord{};
        record_.reportRow = &RecordRow;
        std::snprintf(record_.reportBlockName, sizeof record_.reportBlockName, "%s", blockName_);
        call_.Remember(&record_);
    }
    void TearDown() override {
        if (call_.reportWriter != nullptr) ReportClose(call_);
        call_.Remember(nullptr);
        platform::InjectedFaults() = platform::Faults{};
        RemovePublishedBlock(blockName_);
    }
    void UseSpool() { record_.reportRow = nullptr; }

    // Two columns, pairs 0..11 as the row builders declare them, the header flushed.
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
    static std::string Joined() {
        std::string all;
        for (const std::string& l : gLines) all += l;
        return all;
    }

    CallContext call_;
    HostRecord record_{};
    char blockName_[32] = {};
};

// ---- Format pieces ---------------------------------------------------------------------------

TEST(ReportFormat, CellEscaping) {
    struct Case {
        const char* text;
        size_t room;
        const char* expected;
    };
    const Case cases[] = {
        {"", 64, "\" \""},
        {"x", 64, "\"x\""},
        {"\"\\\t\x80", 64, "\"\\\"\\\\..\""},  // quote, backslash, TAB, 0x80
        {"a\x1F\x7F~ ", 64, "\"a.\x7F~ \""},   // 0x7F is copied, 0x1F is not
        {"\xC3\xA4", 64, "\"..\""},            // UTF-8 bytes become full stops
        {"abcdef", 5, "\"abc\""},              // cut, closing quote kept
        {"a\"b", 4, "\"a\""},                  // an escape pair is never split
        {"", 3, "\" \""},
    };
    for (const Case& c : cases) {
        char out[80] = {};
        const size_t n = EscapeCell(c.text, out, c.room);
        EXPECT_EQ(std::string(out, n), c.expected) << "text " << c.text;
        EXPECT_LE(n, c.room);
    }
}

TEST(ReportFormat, ColourDigits) {
    const std::string digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int v = 0; v < 36; ++v) EXPECT_EQ(ColourDigit(v), digits[v]) << v;
    // Pair p uses colours 2p+2 and 2p+3.
    EXPECT_EQ(std::string() + ColourDigit(2 * 0 + 2) + ColourDigit(2 * 0 + 3), "23");
    EXPECT_EQ(std::string() + ColourDigit(2 * 9 + 2) + ColourDigit(2 * 9 + 3), "KL");
    EXPECT_EQ(std::string() + ColourDigit(2 * 15 + 2) + ColourDigit(2 * 15 + 3), "WX");
}

// ---- Header and rows through the callback ----------------------------------------------------

TEST_F(ReportWriterTest, HeaderWithoutPairs) {
    ASSERT_TRUE(ReportOpen(call_));
    ReportSetColumnName(call_, 0, "CDS");
    ReportSetColumnName(call_, 1, "Data(h)");
    EXPECT_TRUE(ReportFlushHeader(call_));
    ASSERT_EQ(gLines.size(), 1u);
    EXPECT_EQ(gLines[0], "||000000FFFFFF||Clock,CDS,Data(h)\r\n");
}

TEST_F(ReportWriterTest, HeaderWithPairsAndGaps) {
    ASSERT_TRUE(ReportOpen(call_));
    ReportSetColumnName(call_, 2, "C");  // columns 0 and 1 never named: empty names
    ReportSetColourPair(call_, 0, 0x000000, 0x3099FF);
    ReportSetColourPair(call_, 1, 0xFFFFFF, 0x3333E1);
    EXPECT_TRUE(ReportFlushHeader(call_));
    EXPECT_FALSE(ReportFlushHeader(call_));  // nothing pending any more
    ASSERT_EQ(gLines.size(), 1u);
    EXPECT_EQ(gLines[0], "||000000FFFFFF0000003099FFFFFFFF3333E1||Clock,,,C\r\n");
}

TEST_F(ReportWriterTest, HeaderWithoutColumns) {
    ASSERT_TRUE(ReportOpen(call_));
    ReportSetColourPair(call_, 0, 0xABCDEF, 0x123456);
    ReportFlushHeader(call_);
    ReportStartRow(call_, -5);
    ReportWriteRow(call_);
    ASSERT_EQ(gLines.size(), 2u);
    EXPECT_EQ(gLines[0], "||000000FFFFFFABCDEF123456||Clock\r\n");
    EXPECT_EQ(gLines[1], "|@01|@-5\r\n");
}

TEST_F(ReportWriterTest, RowLineAsTheHostReadsIt) {
    OpenTwoColumns();
    ReportStartRow(call_, 1234);
    ReportSetCellColour(call_, 0, 9);
    ReportSetCellColour(call_, 1, 1);
    ReportSetCell(call_, 0, "x");
    ReportWriteRow(call_);
    // Never-set cells are a quoted space; cell colours persist into the next row.
    ReportStartRow(call_, 1235);
    ReportWriteRow(call_);
    ReportSetCell(call_, 1, "y\"z");
    ReportWriteRow(call_);  // a cell alone makes a row (with the old clock)
    ASSERT_EQ(gLines.size(), 4u);
    EXPECT_EQ(gLines[1], "|@01KL45|@1234,\"x\",\" \"\r\n");
    EXPECT_EQ(gLines[2], "|@01KL45|@1235,\" \",\" \"\r\n");
    EXPECT_EQ(gLines[3], "|@01KL45|@1235,\" \",\"y\\\"z\"\r\n");
}

TEST_F(ReportWriterTest, ClockCellOverTheWholeRange) {
    ASSERT_TRUE(ReportOpen(call_));
    const int64_t clocks[] = {0, 7, -1, 1234567890123, INT64_MAX, INT64_MIN};
    for (int64_t clock : clocks) {
        ReportStartRow(call_, clock);
        ReportWriteRow(call_);
    }
    ASSERT_EQ(gLines.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "|@01|@%lld\r\n", static_cast<long long>(clocks[i]));
        EXPECT_EQ(gLines[i], expected);
    }
}

TEST_F(ReportWriterTest, WriteRowWithNothingPendingEmitsNothing) {
    OpenTwoColumns();
    EXPECT_FALSE(ReportWriteRow(call_));
    EXPECT_EQ(call_.status, ReportStatusCode::Ok);
    EXPECT_EQ(gLines.size(), 1u);
}

TEST_F(ReportWriterTest, FirstRowFlushesAPendingHeader) {
    ASSERT_TRUE(ReportOpen(call_));
    ReportSetColumnName(call_, 0, "A");
    ReportStartRow(call_, 7);
    EXPECT_TRUE(ReportWriteRow(call_));
    ASSERT_EQ(gLines.size(), 2u);
    EXPECT_EQ(gLines[0], "||000000FFFFFF||Clock,A\r\n");
    EXPECT_EQ(gLines[1], "|@0123|@7,\" \"\r\n");
}

TEST_F(ReportWriterTest, CallbackModeEndsWithTheEndCall) {
    OpenTwoColumns();
    EXPECT_EQ(call_.reportWriter->Delivery(), ReportDelivery::Callback);
    EXPECT_STREQ(call_.reportWriter->SpoolPath(), "");  // no temporary file in this mode
    WriteRows(2);
    ReportStartRow(call_, 9);  // a pending row is emitted by the close
    ReportClose(call_);
    EXPECT_EQ(call_.reportWriter, nullptr);
    EXPECT_EQ(gLines.size(), 4u);
    EXPECT_EQ(gEndCalls, 1);
    EXPECT_EQ(LastReportOutcome(), ReportOutcome::Delivered);
    EXPECT_EQ(call_.status, ReportStatusCode::Ok);
    EXPECT_FALSE(ReadPublishedBlock(blockName_).exists);
}

TEST_F(ReportWriterTest, FlushHeaderReportsTheCallbackResult) {
    gCallbackResult = 0;
    ASSERT_TRUE(ReportOpen(call_));
    ReportSetColumnName(call_, 0, "A");
    EXPECT_FALSE(ReportFlushHeader(call_));
    EXPECT_EQ(gLines.size(), 1u);
}

// ---- Refusals and status codes ---------------------------------------------------------------

TEST_F(ReportWriterTest, RefusedCallsSetTheirCodeAndChangeNothing) {
    OpenTwoColumns();  // columns 0, 1; pairs 0..11
    struct Case {
        const char* what;
        bool (*call)(CallContext&);
        ReportStatusCode status;
    };
    const Case cases[] = {
        {"name column 48", [](CallContext& k) { return ReportSetColumnName(k, 48, "X"); },
         ReportStatusCode::ColumnRefused},
        {"name column -1", [](CallContext& k) { return ReportSetColumnName(k, -1, "X"); },
         ReportStatusCode::ColumnRefused},
        {"name no text", [](CallContext& k) { return ReportSetColumnName(k, 0, nullptr); },
         ReportStatusCode::NoText},
        {"name bad column and no text", [](CallContext& k) { return ReportSetColumnName(k, 48, nullptr); },
         ReportStatusCode::ColumnRefused},
        {"pair 16", [](CallContext& k) { return ReportSetColourPair(k, 16, 1, 2); },
         ReportStatusCode::PairRefused},
        {"pair -1", [](CallContext& k) { return ReportSetColourPair(k, -1, 1, 2); },
         ReportStatusCode::PairRefused},
        {"cell colour column -1", [](CallContext& k) { return ReportSetCellColour(k, -1, 0); },
         ReportStatusCode::ColumnRefused},
        {"cell colour column 48", [](CallContext& k) { return ReportSetCellColour(k, 48, 0); },
         ReportStatusCode::ColumnRefused},
        {"cell colour pair 12", [](CallContext& k) { return ReportSetCellColour(k, 0, 12); },
         ReportStatusCode::PairRefused},
        {"cell colour pair -1", [](CallContext& k) { return ReportSetCellColour(k, 0, -1); },
         ReportStatusCode::PairRefused},
        {"cell column -1", [](CallContext& k) { return ReportSetCell(k, -1, "X"); },
         ReportStatusCode::ColumnRefused},
        {"cell column 2", [](CallContext& k) { return ReportSetCell(k, 2, "X"); },
         ReportStatusCode::ColumnRefused},
        {"cell no text", [](CallContext& k) { return ReportSetCell(k, 0, nullptr); },
         ReportStatusCode::NoText},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.call(call_)) << c.what;
        EXPECT_EQ(call_.status, c.status) << c.what;
    }
    // Nothing changed: no header pending, no row pending, two columns, twelve pairs.
    EXPECT_FALSE(ReportFlushHeader(call_));
    EXPECT_FALSE(ReportWriteRow(call_));
    EXPECT_EQ(call_.reportWriter->ColumnCount(), 2);
    EXPECT_EQ(call_.reportWriter->PairCount(), 12);
    EXPECT_EQ(gLines.size(), 1u);
    // A successful call sets the status back to 0.
    EXPECT_TRUE(ReportSetCellColour(call_, 1, 11));
    EXPECT_EQ(call_.status, ReportStatusCode::Ok);
}

TEST_F(ReportWriterTest, EveryOperationWithoutAWriterSaysNoObject) {
    ASSERT_EQ(call_.reportWriter, nullptr);
    const std::vector<bool (*)(CallContext&)> calls = {
        [](CallContext& k) { return ReportSetColumnName(k, 0, "A"); },
        [](CallContext& k) { return ReportSetColourPair(k, 0, 1, 2); },
        [](CallContext& k) { return ReportFlushHeader(k); },
        [](CallContext& k) { return ReportStartRow(k, 1); },
        [](CallContext& k) { return ReportSetCellColour(k, 0, 0); },
        [](CallContext& k) { return ReportSetCell(k, 0, "x"); },
        [](CallContext& k) { return ReportWriteRow(k); },
        [](CallContext& k) { return ReportClose(k) != -1; },
    };
    for (size_t i = 0; i < calls.size(); ++i) {
        call_.status = ReportStatusCode::Ok;
        EXPECT_FALSE(calls[i](call_)) << i;
        EXPECT_EQ(call_.status, ReportStatusCode::NoObject) << i;
    }
    EXPECT_TRUE(gLines.empty());
}

TEST_F(ReportWriterTest, OpenWithoutHostIsRefused) {
    call_.Remember(nullptr);
    EXPECT_FALSE(ReportOpen(call_));
    EXPECT_EQ(call_.status, ReportStatusCode::NoHost);
    EXPECT_EQ(call_.reportWriter, nullptr);
}

// ---- Limits ----------------------------------------------------------------------------------

TEST_F(ReportWriterTest, FortyEightColumnsSixteenPairsAndLongTextsAreCut) {
    ASSERT_TRUE(ReportOpen(call_));
    const std::string longText(400, 'n');
    for (int c = 0; c < kReportMaxColumns; ++c) ASSERT_TRUE(ReportSetColumnName(call_, c, longText.c_str()));
    for (int k = 0; k < kReportMaxPairs; ++k)
        ASSERT_TRUE(ReportSetColourPair(call_, k, 0x111111u * (k % 15), 0xFFFFFF));
    EXPECT_EQ(call_.reportWriter->ColumnCount(), 48);
    EXPECT_EQ(call_.reportWriter->PairCount(), 16);
    ReportFlushHeader(call_);
    ReportStartRow(call_, 1);
    for (int c = 0; c < kReportMaxColumns; ++c) {
        ReportSetCellColour(call_, c, 15);
        ReportSetCell(call_, c, std::string(300, c % 2 ? '"' : 'v').c_str());
    }
    ReportWriteRow(call_);
    ASSERT_EQ(gLines.size(), 2u);
    for (const std::string& line : gLines) {
        EXPECT_LE(line.size(), kReportLineSize - 1);
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    }
    // The header keeps the colour table whole and cuts the names.
    EXPECT_EQ(gLines[0].size(), kReportLineSize - 1);
    EXPECT_EQ(
        gLines[0].compare(0, 14 + 16 * 12 + 8,
                          std::string("||000000FFFFFF") + "000000FFFFFF111111FFFFFF222222FFFFFF333333FFFFFF"
                                                          "444444FFFFFF555555FFFFFF666666FFFFFF777777FFFFFF"
                                                          "888888FFFFFF999999FFFFFFAAAAAAFFFFFFBBBBBBFFFFFF"
                                                          "CCCCCCFFFFFFDDDDDDFFFFFFEEEEEEFFFFFF000000FFFFFF"
                                                          "||Clock,"),
        0);
    // The row keeps all 48 quoted cells: every cell is cut, none is lost, quotes stay balanced.
    const std::string& row = gLines[1];
    std::string colours = "|@01";
    for (int c = 0; c < kReportMaxColumns; ++c) colours += "WX";
    EXPECT_EQ(row.compare(0, colours.size() + 2, colours + "|@"), 0);
    int cells = 0;
    bool inside = false;
    for (size_t i = row.find("|@", 2) + 2; i < row.size(); ++i) {
        if (row[i] == '\\') {
            ++i;
            continue;
        }
        if (row[i] == '"') {
            inside = !inside;
            if (inside) ++cells;
        }
    }
    EXPECT_FALSE(inside);
    EXPECT_EQ(cells, 48);
}

TEST_F(ReportWriterTest, SlotTextIsCutAt255Bytes) {
    ASSERT_TRUE(ReportOpen(call_));
    ReportSetColumnName(call_, 0, std::string(300, 'h').c_str());
    ReportFlushHeader(call_);
    ReportStartRow(call_, 0);
    ReportSetCell(call_, 0, std::string(300, 'c').c_str());
    ReportWriteRow(call_);
    ASSERT_EQ(gLines.size(), 2u);
    EXPECT_EQ(gLines[0], "||000000FFFFFF||Clock," + std::string(255, 'h') + "\r\n");
    EXPECT_EQ(gLines[1], "|@0123|@0,\"" + std::string(255, 'c') + "\"\r\n");
}

// ---- Spool mode: published as a named shared-memory block ------------------------------------

TEST_F(ReportWriterTest, SpoolPublishesTextAndNulExactly) {
    UseSpool();
    OpenTwoColumns();
    ASSERT_EQ(call_.reportWriter->Delivery(), ReportDelivery::Spool);
    const std::string spool = call_.reportWriter->SpoolPath();
    // Windows keeps only the first three characters of a temporary-file prefix.
    EXPECT_NE(spool.find(std::string(kReportSpoolPrefix).substr(0, 3)), std::string::npos);
    EXPECT_TRUE(platform::PathExists(spool.c_str()));
    WriteRows(3000);  // several spool chunks
    ReportClose(call_);
    EXPECT_EQ(LastReportOutcome(), ReportOutcome::Published);
    EXPECT_FALSE(platform::PathExists(spool.c_str()));
    EXPECT_TRUE(gLines.empty());

    // The same report through the callback gives the expected text.
    record_.reportRow = &RecordRow;
    OpenTwoColumns();
    WriteRows(3000);
    ReportClose(call_);
    const std::string text = Joined();
    ASSERT_EQ(gLines.size(), 3001u);
    ASSERT_GT(text.size(), 2 * kReportSpoolBuffer);

    const PublishedBlock block = ReadPublishedBlock(blockName_);
    ASSERT_TRUE(block.exists);
#if !defined(_WIN32)
    EXPECT_EQ(block.bytes.size(), text.size() + 1);  // exactly the text and one NUL
#endif
    ASSERT_GE(block.bytes.size(), text.size() + 1);
    EXPECT_EQ(block.bytes.substr(0, text.size()), text);
    EXPECT_EQ(block.bytes[text.size()], '\0');
}

TEST_F(ReportWriterTest, AnOlderSmallerBlockGetsTheCompleteLinesThatFit) {
    UseSpool();
    platform::SharedBlock older;  // holds the older block open (on Windows it would vanish otherwise)
    ASSERT_TRUE(older.Create(blockName_, 1000));
    std::memset(older.View(), 'G', 1000);
    older.ReleaseView();
    const PublishedBlock before = ReadPublishedBlock(blockName_);
    ASSERT_TRUE(before.exists);

    OpenTwoColumns();
    WriteRows(200);  // far more than one page
    ReportClose(call_);
    EXPECT_EQ(LastReportOutcome(), ReportOutcome::Truncated);

    const PublishedBlock block = ReadPublishedBlock(blockName_);
    ASSERT_TRUE(block.exists);
    EXPECT_EQ(block.bytes.size(), before.bytes.size());  // kept its size
    const size_t nul = block.bytes.find('\0');
    ASSERT_NE(nul, std::string::npos);
    ASSERT_GE(nul, 2u);
    EXPECT_EQ(block.bytes.substr(nul - 2, 2), "\r\n");
    EXPECT_EQ(block.bytes.rfind("||000000FFFFFF", 0), 0u);
    EXPECT_EQ(block.bytes.find('G'), std::string::npos);
}

TEST_F(ReportWriterTest, AnOlderLargerBlockIsClearedAfterTheText) {
    UseSpool();
    {
        platform::SharedBlock older;
        ASSERT_TRUE(older.Create(blockName_, 100000));
        std::memset(older.View(), 'G', 100000);
        older.ReleaseView();
        OpenTwoColumns();
        WriteRows(2);
        ReportClose(call_);
        EXPECT_EQ(LastReportOutcome(), ReportOutcome::Published);
        const PublishedBlock block = ReadPublishedBlock(blockName_);
        ASSERT_TRUE(block.exists);
        EXPECT_GE(block.bytes.size(), 100000u);
        EXPECT_EQ(block.bytes.find('G'), std::string::npos);
        EXPECT_EQ(block.bytes.find("\r\n|@01"), block.bytes.find("\r\n") + 0);
    }
}

TEST_F(ReportWriterTest, InjectedFaultsNeverPublishGarbage) {
    struct Case {
        const char* what;
        platform::Faults faults;
        ReportOutcome outcome;
        bool blockExists;
    };
    platform::Faults createFails;
    createFails.createFailures = 1;
    platform::Faults diskFull;
    diskFull.writeBudget = 100;  // not even the first chunk fits
    platform::Faults diskFullLater;
    diskFullLater.writeBudget = kReportSpoolBuffer + 10;  // the first chunk fits, the second does not
    platform::Faults noBlock;
    noBlock.sharedBlockFails = true;
    const Case cases[] = {
        {"spool cannot be created", createFails, ReportOutcome::PublishedEmpty, true},
        {"spool write fails", diskFull, ReportOutcome::PublishedEmpty, true},
        {"spool write fails later", diskFullLater, ReportOutcome::PublishedEmpty, true},
        {"block cannot be created", noBlock, ReportOutcome::NotPublished, false},
    };
    UseSpool();
    for (const Case& c : cases) {
        RemovePublishedBlock(blockName_);
        platform::InjectedFaults() = c.faults;
        OpenTwoColumns();
        const std::string spool = call_.reportWriter->SpoolPath();
        WriteRows(3000);
        ReportClose(call_);
        platform::InjectedFaults() = platform::Faults{};
        EXPECT_EQ(LastReportOutcome(), c.outcome) << c.what;
        if (!spool.empty()) {
            EXPECT_FALSE(platform::PathExists(spool.c_str())) << c.what;
        }
        const PublishedBlock block = ReadPublishedBlock(blockName_);
        EXPECT_EQ(block.exists, c.blockExists) << c.what;
        if (block.exists) {
#if !defined(_WIN32)
            EXPECT_EQ(block.bytes.size(), 1u) << c.what;  // an empty report: one NUL
#endif
            EXPECT_EQ(block.bytes.find_first_not_of('\0'), std::string::npos) << c.what;
        }
    }
}

TEST_F(ReportWriterTest, NoBlockNameMeansNothingPublished) {
    UseSpool();
    record_.reportBlockName[0] = '\0';
    OpenTwoColumns();
    const std::string spool = call_.reportWriter->SpoolPath();
    WriteRows(1);
    EXPECT_EQ(ReportClose(call_), -1);
    EXPECT_EQ(LastReportOutcome(), ReportOutcome::NotPublished);
    EXPECT_FALSE(platform::PathExists(spool.c_str()));
}

TEST_F(ReportWriterTest, ReopeningDropsTheEarlierWriterAndItsSpool) {
    UseSpool();
    OpenTwoColumns();
    const std::string first = call_.reportWriter->SpoolPath();
    ASSERT_TRUE(ReportOpen(call_));
    const std::string second = call_.reportWriter->SpoolPath();
    // The earlier spool is gone (its name may have been taken again by the new one).
    if (second != first) {
        EXPECT_FALSE(platform::PathExists(first.c_str()));
    }
    EXPECT_FALSE(ReadPublishedBlock(blockName_).exists);
    ReportClose(call_);
    EXPECT_FALSE(platform::PathExists(second.c_str()));
}

}  // namespace
}  // namespace zb
