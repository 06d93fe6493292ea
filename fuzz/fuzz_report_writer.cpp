// Fuzz target: the report writer's operations in any order with arbitrary column numbers,
// names, cells, colour pairs and clocks, in callback mode. A small model of the writer's slots
// predicts every line; each line the host receives must parse, stay within 2,047 bytes, carry the
// model's colour pairs and clock, and hold the model's texts (cut only when the line is full).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_host.h"
#include "report/report_writer.h"
#include "support/memory_host.h"

namespace {

using zb::ReportStatusCode;

// What the writer holds, as the documented operations say.
struct Model {
    std::string slot[zb::kReportMaxColumns];
    int columns = 0, pairs = 0;
    uint32_t text[zb::kReportMaxPairs] = {}, back[zb::kReportMaxPairs] = {};
    int cellPair[zb::kReportMaxColumns] = {};
    int64_t clock = 0;
    bool headerPending = false, rowPending = false;
    std::vector<std::string> expectedHeaders;
};

std::string HeaderLine(const Model& m) {
    std::string s = "||000000FFFFFF";
    char hex[16];
    for (int k = 0; k < m.pairs; ++k) {
        std::snprintf(hex, sizeof hex, "%06X%06X", m.text[k] & 0xFFFFFFu, m.back[k] & 0xFFFFFFu);
        s += hex;
    }
    s += "||Clock";
    for (int i = 0; i < m.columns; ++i) s += "," + m.slot[i];
    if (s.size() > zbfuzz::kMaxReportLine - 2) s.resize(zbfuzz::kMaxReportLine - 2);
    return s + "\r\n";
}

// Checks one row line against the model's row.
void CheckRow(const std::string& line, const Model& m, bool exactTexts) {
    zbfuzz::ParsedRow row;
    ZB_FUZZ_CHECK2(zbfuzz::ParseRowLine(line, row), line.size(), m.columns);
    ZB_FUZZ_CHECK2(row.pairs.size() == static_cast<size_t>(m.columns), row.pairs.size(), m.columns);
    ZB_FUZZ_CHECK(row.clock == std::to_string(m.clock));
    const bool full = line.size() >= zbfuzz::kMaxReportLine - 7;
    for (int i = 0; i < m.columns; ++i) {
        ZB_FUZZ_CHECK2(row.pairs[i] == m.cellPair[i], row.pairs[i], m.cellPair[i]);
        if (!exactTexts) continue;
        const std::string want = zbfuzz::VisibleCell(m.slot[i]);
        const std::string& got = row.cells[i];
        if (got != want) {
            ZB_FUZZ_CHECK2(full && want.compare(0, got.size(), got) == 0, i, line.size());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zbfuzz::StartModule();
    zbfuzz::FuzzInput in(data, size);
    zbtest::MemoryHost host{bissgen::Capture{}};
    host.UseReportCallback(true);
    zb::HostRecord& r = host.Record();
    // With the UTF-8 flag the texts are stored as given, so the model can predict them exactly.
    const bool utf8 = (in.U8() & 3) != 0;
    r.hostFlags = utf8 ? zb::HostFlag::kUtf8 : 0;
    zb::CallContext call;
    call.Remember(&r);
    ZB_FUZZ_CHECK(zb::ReportOpen(call));

    Model m;
    std::vector<Model> rowModels;  // the model as each row was emitted
    auto emitHeader = [&] {
        m.expectedHeaders.push_back(HeaderLine(m));
        for (auto& s : m.slot) s.clear();
        m.headerPending = false;
    };
    auto emitRow = [&] {
        if (m.headerPending) emitHeader();
        rowModels.push_back(m);
        for (auto& s : m.slot) s.clear();
        m.rowPending = false;
    };

    while (!in.Empty()) {
        const uint8_t op = in.U8() % 7;
        ReportStatusCode want = ReportStatusCode::Ok;
        switch (op) {
            case 0: {
                const int32_t column = static_cast<int8_t>(in.U8());
                const bool noText = (in.U8() & 0xF) == 0;
                const std::string text = in.Text(300).c_str();  // the writer sees a NUL-terminated text
                want = !(column >= 0 && column < zb::kReportMaxColumns) ? ReportStatusCode::ColumnRefused
                       : noText                                         ? ReportStatusCode::NoText
                                                                        : ReportStatusCode::Ok;
                const bool ok = want == ReportStatusCode::Ok;
                ZB_FUZZ_CHECK(zb::ReportSetColumnName(call, column, noText ? nullptr : text.c_str()) == ok);
                if (ok) {
                    m.slot[column] = text.substr(0, zb::kReportSlotSize - 1);
                    if (column + 1 > m.columns) m.columns = column + 1;
                    m.headerPending = true;
                }
                break;
            }
            case 1: {
                const int32_t index = static_cast<int8_t>(in.U8());
                const uint32_t t = in.U32(), b = in.U32();
                const bool ok = index >= 0 && index < zb::kReportMaxPairs;
                ZB_FUZZ_CHECK(zb::ReportSetColourPair(call, index, t, b) == ok);
                if (ok) {
                    m.text[index] = t;
                    m.back[index] = b;
                    if (index + 1 > m.pairs) m.pairs = index + 1;
                    m.headerPending = true;
                } else {
                    want = ReportStatusCode::PairRefused;
                }
                break;
            }
            case 2: {
                const bool pending = m.headerPending;
                const bool done = zb::ReportFlushHeader(call);
                ZB_FUZZ_CHECK(done == pending);
                if (pending) emitHeader();
                break;
            }
            case 3: {
                // A plain start, or a blank one: the columns below `columns` empty and in `pair`.
                m.clock = static_cast<int64_t>(in.U64());
                const int32_t columns = static_cast<int8_t>(in.U8()), pair = static_cast<int8_t>(in.U8());
                if ((in.U8() & 1) == 0) {
                    ZB_FUZZ_CHECK(zb::ReportStartRow(call, m.clock));
                } else {
                    const bool pairOk = pair >= 0 && pair < m.pairs;
                    for (int32_t c = 0; c < std::min(columns, m.columns); ++c) m.slot[c].clear();
                    for (int32_t c = 0; pairOk && c < std::min(columns, zb::kReportMaxColumns); ++c)
                        m.cellPair[c] = pair;
                    want = columns < 1 || (columns <= zb::kReportMaxColumns && pairOk) ? ReportStatusCode::Ok
                           : columns > zb::kReportMaxColumns ? ReportStatusCode::ColumnRefused
                                                             : ReportStatusCode::PairRefused;
                    ZB_FUZZ_CHECK(zb::ReportStartBlankRow(call, m.clock, columns, pair) ==
                                  (want == ReportStatusCode::Ok));
                }
                m.rowPending = true;
                break;
            }
            case 4: {
                const int32_t column = static_cast<int8_t>(in.U8());
                const int32_t pair = static_cast<int8_t>(in.U8());
                want = !(column >= 0 && column < zb::kReportMaxColumns) ? ReportStatusCode::ColumnRefused
                       : !(pair >= 0 && pair < m.pairs)                 ? ReportStatusCode::PairRefused
                                                                        : ReportStatusCode::Ok;
                const bool ok = want == ReportStatusCode::Ok;
                ZB_FUZZ_CHECK(zb::ReportSetCellColour(call, column, pair) == ok);
                if (ok) m.cellPair[column] = pair;
                break;
            }
            case 5: {
                const int32_t column = static_cast<int8_t>(in.U8());
                const bool noText = (in.U8() & 0xF) == 0;
                const std::string text = in.Text(300).c_str();  // the writer sees a NUL-terminated text
                want = !(column >= 0 && column < m.columns) ? ReportStatusCode::ColumnRefused
                       : noText                             ? ReportStatusCode::NoText
                                                            : ReportStatusCode::Ok;
                const bool ok = want == ReportStatusCode::Ok;
                ZB_FUZZ_CHECK(zb::ReportSetCell(call, column, noText ? nullptr : text.c_str()) == ok);
                if (ok) {
                    m.slot[column] = text.substr(0, zb::kReportSlotSize - 1);
                    m.rowPending = true;
                }
                break;
            }
            default: {
                const bool pending = m.rowPending;
                zb::ReportWriteRow(call);
                if (pending) emitRow();
                break;
            }
        }
        ZB_FUZZ_CHECK2(call.status == want, static_cast<int>(call.status), static_cast<int>(want));
    }
    if (m.rowPending) emitRow();
    zb::ReportClose(call);
    ZB_FUZZ_CHECK(host.ReportEnded());
    if (!host.Misuse().empty()) zbfuzz::Fail(host.Misuse().c_str());
    ZB_FUZZ_CHECK(zb::LastReportOutcome() == zb::ReportOutcome::Delivered);
    const std::vector<std::string>& lines = host.ReportLines();

    // Headers and rows arrive in the order the model emitted them.
    ZB_FUZZ_CHECK2(lines.size() == m.expectedHeaders.size() + rowModels.size(), lines.size(),
                   m.expectedHeaders.size() + rowModels.size());
    size_t header = 0, row = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].compare(0, 2, "||") == 0) {
            ZB_FUZZ_CHECK2(header < m.expectedHeaders.size(), header, i);
            zbfuzz::ParsedHeader parsed;
            ZB_FUZZ_CHECK(zbfuzz::ParseHeaderLine(lines[i], parsed));
            if (utf8) ZB_FUZZ_CHECK2(lines[i] == m.expectedHeaders[header], header, i);
            ++header;
        } else {
            ZB_FUZZ_CHECK2(row < rowModels.size(), row, i);
            CheckRow(lines[i], rowModels[row], utf8);
            ++row;
        }
    }
    return 0;
}
