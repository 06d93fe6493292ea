// Single-cycle report rows from hand-made record lists: columns and their "(h)" mark, one row per
// frame with its cells and colour pairs, values of every width, broken-frame marks, the summary and
// clock texts, stop requests and progress.
#include <gtest/gtest.h>

#include "report/report_rows.h"
#include "support/report_capture.h"

namespace zb {
namespace {

using zbtest::AddValue;
using zbtest::Code;
using zbtest::ReportRec;
using zbtest::RowLine;
using zbtest::Status;

// Pair indices as digits in the expectations below.
constexpr int kStart = 1, kCds = 2, kData = 3, kFlag = 4, kPlain = 9, kAlert = 10, kGood = 11;
const std::string kSeparateHeader =
    zbtest::DefaultColourTable() +
    "||Clock,CDS,Multi-Turn(h),Single-Turn(h),nError,nWarning,CRC(h),CDM,Information\r\n";

TEST(FrameRows, HeaderNamesFollowProtocolCombineAndValueFormat) {
    struct Case {
        int protocol;
        bool combine;
        uint32_t hostValueFormat;
        const char* names;
    };
    const Case cases[] = {
        {0, false, 0, "CDS,Multi-Turn(h),Single-Turn(h),nError,nWarning,CRC(h),CDM,Information"},
        {0, true, 0, "CDS,Data(h),nError,nWarning,CRC(h),CDM,Information"},
        {1, false, 5, "Multi-Turn(h),Single-Turn(h),nError,nWarning,CRC(h),CDM,Information"},
        {1, true, 1, "Data,nError,nWarning,CRC,CDM,Information"},
        {0, false, 2, "CDS,Multi-Turn,Single-Turn,nError,nWarning,CRC,CDM,Information"},
        {0, false, 3, "CDS,Multi-Turn,Single-Turn,nError,nWarning,CRC,CDM,Information"},
        {0, false, 4, "CDS,Multi-Turn,Single-Turn,nError,nWarning,CRC,CDM,Information"},
        {7, false, 6, "CDS,Multi-Turn(h),Single-Turn(h),nError,nWarning,CRC(h),CDM,Information"},
    };
    for (const Case& c : cases) {
        zbtest::ReportCapture cap;
        cap.View().SetProtocol(c.protocol);
        cap.View().SetCombineTurns(c.combine);
        cap.Settings().hostValueFormat = c.hostValueFormat;
        const auto& lines = cap.Build({{0, Status(StatusCode::Idle)}});
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], zbtest::DefaultColourTable() + "||Clock," + c.names + "\r\n")
            << c.protocol << " " << c.combine << " " << c.hostValueFormat;
        EXPECT_EQ(cap.EndCalls(), 1);
    }
}

struct RowCase {
    const char* what;
    std::vector<ReportRec> records;
    std::vector<std::string> rows;  // expected lines after the header
};

std::vector<ReportRec> FullFrame() {
    std::vector<ReportRec> r = {{10, Code(RecordKind::FirstFrame)},
                                {10, Code(RecordKind::ClockPeriod, 50)},
                                {20, Code(RecordKind::Ack)},
                                {30, Code(RecordKind::Start)},
                                {40, Code(RecordKind::Cds, 1)}};
    AddValue(r, 50, kMultiTurnTriple, 5);
    AddValue(r, 62, kSingleTurnTriple, 0xABC);
    r.insert(r.end(), {{70, Code(RecordKind::Err, 1)},
                       {71, Code(RecordKind::Warn, 1)},
                       {72, Code(RecordKind::Crc, 0x2A)},
                       {80, Code(RecordKind::Stop)},
                       {90, Code(RecordKind::Cdm, 0)},
                       {100, Status(StatusCode::Idle)}});
    return r;
}

TEST(FrameRows, RecordListsToRows) {
    const std::vector<int> blank(8, kPlain);
    const std::vector<std::string> empty(8, "");
    auto info = [&](int64_t clock, int pair, const std::string& text) {
        std::vector<int> pairs = blank;
        pairs[7] = pair;
        std::vector<std::string> cells = empty;
        cells[7] = text;
        return RowLine(clock, pairs, cells);
    };
    const RowCase cases[] = {
        {"a whole frame; the clock text replaces the summary",
         FullFrame(),
         {RowLine(10, {kCds, kData, kData, kFlag, kFlag, kGood, kCds, kStart},
                  {"1", "005", "ABC", "1", "1", "2A", "0", "MA 2.00 MHz"})}},
        {"the summary replaces the clock text",
         {{1, Code(RecordKind::ClockPeriod, 50)},
          {1, Code(RecordKind::FirstFrame)},
          {2, Status(StatusCode::Idle)}},
         {info(1, kStart, "BiSS-C; Data Len 24 bits = MT 12 + ST 12")}},
        {"broken frames: timeout, busy, incomplete, each ending its row",
         {{5, Code(RecordKind::Ack)},
          {6, Status(StatusCode::Timeout, 1)},
          {7, Status(StatusCode::Busy, 3)},
          {8, Status(StatusCode::Error, 0)},
          {9, Status(StatusCode::Error, 2)},
          {10, Status(StatusCode::Timeout, 2)},
          {11, Status(StatusCode::Busy, 1)},
          {12, Status(StatusCode::Idle)},
          {13, Code(RecordKind::Stop)}},
         {info(5, kAlert, "Timeout"), info(7, kFlag, "Busy (ACK 3 clk)"), info(8, kAlert, "Incomplete frame"),
          info(9, kAlert, "Incomplete (ACK 2 clk)"), info(10, kAlert, "Timeout (ACK 2 clk)"),
          info(11, kFlag, "Busy")}},
        {"active nError and a CRC mismatch are alerts",
         {{1, Code(RecordKind::Ack)},
          {2, Code(RecordKind::Err, 0)},
          {3, Code(RecordKind::Crc, 0x15 | kCrcMismatchFlag)},
          {4, Status(StatusCode::SlaveSeparator)}},
         {RowLine(1, {kPlain, kPlain, kPlain, kAlert, kPlain, kAlert, kPlain, kPlain},
                  {"", "", "", "0", "", "15", "", ""})}},
        {"a third value record alone writes nothing; clock period 0 opens an empty row",
         {{1, Code(RecordKind::ClockPeriod, 0)}, {2, Code(RecordKind::MultiTurnLow, 7)}},
         {RowLine(1, blank, empty)}},
        {"rows of a daisy chain: each slave gets a row, the clock is the record that opened it",
         {{1, Code(RecordKind::Ack)},
          {2, Code(RecordKind::Cds, 0)},
          {3, Status(StatusCode::SlaveSeparator)},
          {4, Code(RecordKind::Warn, 0)},
          {5, Status(StatusCode::Idle)}},
         {RowLine(1, {kCds, kPlain, kPlain, kPlain, kPlain, kPlain, kPlain, kPlain},
                  {"0", "", "", "", "", "", "", ""}),
          RowLine(4, {kPlain, kPlain, kPlain, kPlain, kFlag, kPlain, kPlain, kPlain},
                  {"", "", "", "", "0", "", "", ""})}},
        {"an open row is written at the end", {{3, Code(RecordKind::Ack)}}, {RowLine(3, blank, empty)}},
    };
    for (const RowCase& c : cases) {
        zbtest::ReportCapture cap;
        const auto& lines = cap.Build(c.records);
        ASSERT_EQ(lines.size(), c.rows.size() + 1) << c.what;
        EXPECT_EQ(lines[0], kSeparateHeader) << c.what;
        for (size_t i = 0; i < c.rows.size(); ++i)
            EXPECT_EQ(lines[i + 1], c.rows[i]) << c.what << " row " << i;
        EXPECT_EQ(cap.EndCalls(), 1) << c.what;
    }
}

TEST(FrameRows, BissBCombinedWithA64BitValue) {
    zbtest::ReportCapture cap;
    cap.View().SetProtocol(1);
    cap.View().SetCombineTurns(true);
    cap.View().SetDataLength(64);
    std::vector<ReportRec> records = {{1, Code(RecordKind::Ack)}, {2, Code(RecordKind::Cds, 1)}};
    AddValue(records, 3, kDataTriple, uint64_t{1} << 48);
    records.push_back({4, Code(RecordKind::Err, 1)});  // BiSS-B: nError is active high
    records.push_back({5, Code(RecordKind::Err, 0)});
    records.push_back({6, Status(StatusCode::Idle)});
    const auto& lines = cap.Build(records);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              zbtest::DefaultColourTable() + "||Clock,Data(h),nError,nWarning,CRC(h),CDM,Information\r\n");
    // The later nError record replaces the earlier one: inactive, flag colour.
    EXPECT_EQ(lines[1], RowLine(1, {kData, kFlag, kPlain, kPlain, kPlain, kPlain},
                                {"0001000000000000", "0", "", "", "", ""}));
}

// A negative single-turn count splits nothing off (the decoder keeps the whole position as the
// Multi-Turn value), and the Multi-Turn cell is P - S wide with S the count itself: 24 + 3 bits for
// -3; for INT32_MIN the width is far beyond 32 bits and the cell shows all 32 (eight digits).
TEST(FrameRows, NegativeSingleTurnCountWidensTheMultiTurnCell) {
    const struct {
        int32_t st;
        const char* cell;
    } cases[] = {{-3, "0000ABC"}, {INT32_MIN, "00000ABC"}};
    for (const auto& [st, cell] : cases) {
        zbtest::ReportCapture cap;
        cap.View().SetSingleTurnBits(st);
        std::vector<ReportRec> records = {{1, Code(RecordKind::Ack)}};
        AddValue(records, 3, kMultiTurnTriple, 0xABC);
        records.push_back({6, Status(StatusCode::Idle)});
        const auto& lines = cap.Build(records);
        ASSERT_EQ(lines.size(), 2u) << st;
        EXPECT_EQ(lines[1], RowLine(1, {kPlain, kData, kPlain, kPlain, kPlain, kPlain, kPlain, kPlain},
                                    {"", cell, "", "", "", "", "", ""}))
            << st;
    }
}

TEST(FrameRows, SummaryTexts) {
    struct Case {
        bool autoLength;
        int alignment;
        int protocol;
        const char* text;
    };
    const Case cases[] = {
        {false, 0, 0, "BiSS-C; Data Len 24 bits = MT 12 + ST 12"},
        {true, 0, 1, "BiSS-B; Data Len 24 bits (Auto) = MT 12 + ST 12"},
        {false, 2, 0, "BiSS-C; Data Len 24 bits = MT 10 + ST 12 + Align 2"},
    };
    for (const Case& c : cases) {
        zbtest::ReportCapture cap;
        cap.View().SetAutoLength(c.autoLength);
        cap.View().SetAlignmentBits(c.alignment);
        cap.View().SetProtocol(c.protocol);
        const auto& lines = cap.Build({{0, Code(RecordKind::FirstFrame)}});
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[1].find(std::string("\"") + c.text + "\"\r\n"), std::string::npos) << lines[1];
    }
}

TEST(FrameRows, ClockTextThresholds) {
    struct Case {
        uint64_t sampleRate;
        uint32_t period;
        const char* text;  // nullptr: no text
    };
    const Case cases[] = {
        {9999999, 10, "MA 1000.000 kHz"},  // 999,999.9 Hz stays in kHz
        {1000000, 1, "MA 1.00 MHz"},
        {100000000, 3, "MA 33.33 MHz"},
        {9994, 10, "MA 999 Hz"},
        {1000, 1, "MA 1.000 kHz"},
        {0, 5, nullptr},
        {5, 0, nullptr},
    };
    for (const Case& c : cases) {
        char text[64] = {};
        const bool made = FormatClockText(c.sampleRate, c.period, text, sizeof text);
        EXPECT_EQ(made, c.text != nullptr) << c.sampleRate << "/" << c.period;
        if (c.text != nullptr) {
            EXPECT_STREQ(text, c.text);
        }
    }
}

// The gate the record loop uses: the host sees 1000 * i / count at every record, as if progress
// were written for each one.
TEST(FrameRows, ProgressGateMatchesThePerRecordFormula) {
    for (uint64_t count : {1ull, 3ull, 999ull, 1000ull, 1001ull, 4567ull}) {
        zbtest::ReportCapture cap;
        SetProgressRange(cap.Call(), 0, kProgressPerMille, static_cast<int64_t>(count));
        ProgressGate gate(cap.Call(), 0, static_cast<int64_t>(count));
        for (uint64_t i = 0; i < count; ++i) {
            if (static_cast<int64_t>(i) >= gate.Next()) gate.Report(static_cast<int64_t>(i));
            ASSERT_EQ(cap.Record().progress, 1000 * i / count) << count << " at " << i;
        }
    }
}

TEST(FrameRows, StopRequestEndsTheLoopButClosesTheReport) {
    zbtest::ReportCapture cap;
    cap.RequestStop();
    const auto& lines = cap.Build(FullFrame());
    ASSERT_EQ(lines.size(), 1u);  // the header only
    EXPECT_EQ(cap.EndCalls(), 1);
    EXPECT_EQ(cap.Call().reportWriter, nullptr);
}

TEST(FrameRows, ProgressAndEmptyInput) {
    zbtest::ReportCapture cap;
    const std::vector<ReportRec> records = FullFrame();
    cap.Build(records);
    EXPECT_EQ(cap.Record().progress, 1000 * (records.size() - 1) / records.size());
    // No records: no report at all.
    cap.Build({});
    EXPECT_TRUE(cap.Lines().empty());
    EXPECT_EQ(cap.EndCalls(), 0);
}

}  // namespace
}  // namespace zb
