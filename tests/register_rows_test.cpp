// Register-access report rows from hand-made record lists, in the master and the slave view:
// reads and writes with their data CRCs, bus commands, continuation rows past N data columns, the
// IDL rules of the slave view, the clock and first-frame rows, and "No control data".
#include <gtest/gtest.h>

#include "support/report_capture.h"

namespace zb {
namespace {

using zbtest::Code;
using zbtest::ReportRec;
using zbtest::RowLine;
using zbtest::Status;

constexpr int kAdr = 0, kStart = 1, kData = 3, kFlag = 4, kCrc = 5, kRead = 7, kWrite = 8, kPlain = 9,
              kAlert = 10, kGood = 11;

std::string MasterHeader(int n) {
    std::string h = zbtest::DefaultColourTable() + "||Clock,CTS,ID(IDS),ADR(CMD),Hdr CRC(h),R/W";
    for (int d = 0; d < n; ++d) h += ",D" + std::to_string(d);
    return h + ",Information\r\n";
}
std::string SlaveHeader(int n) {
    std::string h = zbtest::DefaultColourTable() + "||Clock,IDL(h),R/W";
    for (int d = 0; d < n; ++d) h += ",D" + std::to_string(d);
    return h + ",Information\r\n";
}

// A master-view row: head cells and pairs, then data cells and pairs, the rest blank.
std::string MasterRow(int64_t clock, std::vector<int> headPairs, std::vector<std::string> head,
                      std::vector<int> dataPairs, std::vector<std::string> data, int n = 8,
                      int infoPair = kPlain, const std::string& info = "") {
    dataPairs.resize(n, kPlain);
    data.resize(n);
    headPairs.insert(headPairs.end(), dataPairs.begin(), dataPairs.end());
    head.insert(head.end(), data.begin(), data.end());
    headPairs.push_back(infoPair);
    head.push_back(info);
    return RowLine(clock, headPairs, head);
}

std::vector<ReportRec> AccessHead(int64_t at, uint32_t cts, uint32_t id, RecordKind adrKind, uint32_t adr,
                                  uint32_t crc) {
    return {{at, Code(RecordKind::Cts, cts)},
            {at + 1, Code(RecordKind::Id, id)},
            {at + 2, Code(adrKind, adr)},
            {at + 3, Code(RecordKind::Crc, crc)}};
}

void Append(std::vector<ReportRec>& to, const std::vector<ReportRec>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

struct Case {
    const char* what;
    DecodeMode mode;
    uint32_t registerColumns;
    std::vector<ReportRec> records;
    std::vector<std::string> rows;
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    {
        std::vector<ReportRec> r = AccessHead(100, 1, 2, RecordKind::Adr, 0x10, 0x5);
        Append(r, {{104, Code(RecordKind::ReadWrite, 2)},
                   {110, Code(RecordKind::RegData, 0xAB)},
                   {111, Code(RecordKind::Crc, 0x3)},
                   {112, Code(RecordKind::RegData, 0x1CD)},
                   {113, Code(RecordKind::Crc, 0x4)},
                   {114, Code(RecordKind::RegData, 0x2EF)},
                   {115, Code(RecordKind::Crc, 0x1 | kCrcMismatchFlag)},
                   {116, Code(RecordKind::Crc, 0x7)},  // no waiting byte: changes nothing
                   {120, Status(StatusCode::Idle)}});
        cases.push_back({"master read of three bytes",
                         DecodeMode::RegisterMaster,
                         8,
                         r,
                         {MasterRow(100, {kPlain, kPlain, kAdr, kGood, kRead}, {"1", "2", "10", "05", "Read"},
                                    {kCrc, kCrc, kAlert}, {"AB (03)", "CD (04)", "EF (01)"})}});
    }
    {
        std::vector<ReportRec> r =
            AccessHead(200, 0, kIdIsIds | 0x05, RecordKind::Cmd, 2, 0xA | kCrcMismatchFlag);
        Append(r, AccessHead(300, 1, 3, RecordKind::Adr, 0x7F, 0xC));
        Append(r, {{304, Code(RecordKind::ReadWrite, kReadWriteInvalid | 3)}});
        cases.push_back(
            {"bus command with a bad header CRC, then a non-implemented access",
             DecodeMode::RegisterMaster,
             8,
             r,
             {MasterRow(200, {kPlain, kPlain, kAlert, kAlert, kPlain}, {"0", "05", "2", "0A", ""}, {}, {}),
              MasterRow(300, {kPlain, kPlain, kAdr, kGood, kFlag}, {"1", "3", "7F", "0C", "Non-implement"},
                        {}, {})}});
    }
    {
        std::vector<ReportRec> r = AccessHead(400, 1, 1, RecordKind::Adr, 0x20, 0x1);
        r.push_back({404, Code(RecordKind::ReadWrite, 1)});
        for (int b = 0; b < 9; ++b) {
            r.push_back({410 + 2 * b, Code(RecordKind::RegData, static_cast<uint32_t>(b << 8 | (0x30 + b)))});
            r.push_back({411 + 2 * b, Code(RecordKind::Crc, static_cast<uint32_t>(b))});
        }
        std::vector<int> dataPairs(8, kCrc);
        std::vector<std::string> data;
        for (int b = 0; b < 8; ++b) data.push_back("3" + std::to_string(b) + " (0" + std::to_string(b) + ")");
        cases.push_back({"nine bytes with eight data columns: a continuation row",
                         DecodeMode::RegisterMaster,
                         8,
                         r,
                         {MasterRow(400, {kPlain, kPlain, kAdr, kGood, kWrite},
                                    {"1", "1", "20", "01", "Write"}, dataPairs, data),
                          MasterRow(426, {kPlain, kPlain, kAdr, kGood, kWrite},
                                    {"1", "1", "20", "01", "Write"}, {kCrc}, {"38 (08)"})}});
        cases.push_back({"nine bytes with sixteen data columns: one row",
                         DecodeMode::RegisterMaster,
                         16,
                         r,
                         {MasterRow(
                             400, {kPlain, kPlain, kAdr, kGood, kWrite}, {"1", "1", "20", "01", "Write"},
                             std::vector<int>(9, kCrc),
                             [&] {
                                 auto d = data;
                                 d.push_back("38 (08)");
                                 return d;
                             }(),
                             16)}});
    }
    cases.push_back({"no control frames: first frame, clock and the closing note",
                     DecodeMode::RegisterMaster,
                     8,
                     {{0, Code(RecordKind::FirstFrame)},
                      {1, Code(RecordKind::ClockPeriod, 50)},
                      {2, Code(RecordKind::ClockPeriod, 0)},  // no text: the started row waits
                      {5, Status(StatusCode::Idle)}},
                     {MasterRow(0, {kPlain, kPlain, kPlain, kPlain, kPlain}, {"", "", "", "", ""}, {}, {}, 8,
                                kStart, "BiSS-C; Register Access - Master (CDM)"),
                      MasterRow(1, {kPlain, kPlain, kPlain, kPlain, kPlain}, {"", "", "", "", ""}, {}, {}, 8,
                                kStart, "MA 2.00 MHz"),
                      MasterRow(0, {kPlain, kPlain, kPlain, kPlain, kPlain}, {"", "", "", "", ""}, {}, {}, 8,
                                kFlag, "No control data")}});
    // Slave view: IDL(h), R/W, D0..D7, Information.
    auto slave = [](int64_t clock, const std::string& idl, int rwPair, const std::string& rw,
                    std::vector<std::string> data, std::vector<int> dataPairs, int infoPair = kPlain,
                    const std::string& info = "") {
        std::vector<int> pairs = {idl.empty() ? kPlain : kFlag, rwPair};
        dataPairs.resize(8, kPlain);
        data.resize(8);
        pairs.insert(pairs.end(), dataPairs.begin(), dataPairs.end());
        pairs.push_back(infoPair);
        std::vector<std::string> cells = {idl, rw};
        cells.insert(cells.end(), data.begin(), data.end());
        cells.push_back(info);
        return RowLine(clock, pairs, cells);
    };
    cases.push_back(
        {"slave: IDL after IDL, then IDL and idle is a bus command",
         DecodeMode::RegisterSlave,
         8,
         {{10, Code(RecordKind::Idl, 0x1FF)},
          {20, Code(RecordKind::Idl, 0x1FE)},
          {30, Status(StatusCode::Idle)}},
         {slave(10, "1FF", kPlain, "", {}, {}), slave(20, "0FF", kPlain, "", {}, {}, kFlag, "Bus command")}});
    cases.push_back(
        {"slave: a write with one byte, then a pending IDL at the end",
         DecodeMode::RegisterSlave,
         8,
         {{0, Code(RecordKind::FirstFrame)},
          {10, Code(RecordKind::Idl, 0x0A1)},
          {20, Code(RecordKind::ReadWrite, 1)},
          {21, Code(RecordKind::RegData, 0x12)},
          {22, Code(RecordKind::Crc, 0x2)},
          {30, Status(StatusCode::Idle)},  // a row is open: not a bus command
          {40, Code(RecordKind::Idl, 0x042)}},
         {slave(0, "", kPlain, "", {}, {}, kStart, "BiSS-C; Register Access - Slave (CDS)"),
          slave(10, "0A1", kWrite, "Write", {"12 (02)"}, {kCrc}), slave(40, "021", kPlain, "", {}, {})}});
    return cases;
}

TEST(RegisterRows, RecordListsToRows) {
    for (const Case& c : Cases()) {
        zbtest::ReportCapture cap;
        cap.View().SetMode(static_cast<uint32_t>(c.mode));
        cap.View().SetRegisterColumns(c.registerColumns);
        const auto& lines = cap.Build(c.records);
        ASSERT_EQ(lines.size(), c.rows.size() + 1) << c.what;
        const int n = static_cast<int>(c.registerColumns);
        EXPECT_EQ(lines[0], c.mode == DecodeMode::RegisterSlave ? SlaveHeader(n) : MasterHeader(n)) << c.what;
        for (size_t i = 0; i < c.rows.size(); ++i)
            EXPECT_EQ(lines[i + 1], c.rows[i]) << c.what << " row " << i;
        EXPECT_EQ(cap.EndCalls(), 1) << c.what;
    }
}

TEST(RegisterRows, IdsAndValueFormats) {
    // DEC format: the ID, address and bytes follow the host's value format; BiSS-B in the summary.
    zbtest::ReportCapture cap;
    cap.View().SetMode(static_cast<uint32_t>(DecodeMode::RegisterMaster));
    cap.View().SetProtocol(1);
    cap.Settings().hostValueFormat = 1;
    std::vector<ReportRec> r = {{0, Code(RecordKind::FirstFrame)}};
    Append(r, AccessHead(10, 1, 6, RecordKind::Adr, 100, 0xF));
    Append(r, {{14, Code(RecordKind::ReadWrite, 2)}, {15, Code(RecordKind::RegData, 255)}});
    const auto& lines = cap.Build(r);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[1].find("\"BiSS-B; Register Access - Master (CDM)\""), std::string::npos);
    EXPECT_EQ(lines[2], MasterRow(10, {kPlain, kPlain, kAdr, kGood, kRead}, {"1", "6", "100", "0F", "Read"},
                                  {kData}, {"255"}));
}

TEST(RegisterRows, StopRequestStillEndsWithTheNote) {
    zbtest::ReportCapture cap;
    cap.View().SetMode(static_cast<uint32_t>(DecodeMode::RegisterSlave));
    cap.RequestStop();
    const auto& lines = cap.Build({{7, Code(RecordKind::Idl, 0x1FF)}});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("|@7,"), std::string::npos);
    EXPECT_NE(lines[1].find("\"No control data\""), std::string::npos);
}

}  // namespace
}  // namespace zb
