// The report's column layouts: the header text the host asks for and the contents of the
// column-width table whose address the host received once (the table itself is the module's).
#pragma once

#include <cstdint>

#include "abi/decoder_settings.h"

namespace zb {

// Head columns, 16 data columns and Information: the width table's entries without its end mark.
constexpr uint32_t kMaxReportColumns = 22;
// The column-width table: the widths of a layout, then one 0.
constexpr uint32_t kColumnWidthEntries = kMaxReportColumns + 1;
using ColumnWidths = uint32_t[kColumnWidthEntries];

// Rewrites the table for the layout these settings select: its widths, then 0. Entries after
// the 0 are left as they are.
void RefreshColumnWidths(const DecoderSettings& settings, ColumnWidths& table);
// The table for the default settings: what the host reads before the first Analysis call.
void DefaultColumnWidths(ColumnWidths& table);
// "Clock," and the layout's column names joined by commas, cut to `size` (terminator included).
void BuildColumnHeader(const DecoderSettings& settings, char* text, int32_t size);

// The layouts of the columns after the host's own Clock column. Single Cycle Data frames differ by
// protocol (BiSS-C has a CDS column) and by combined or separate turns; the two register-access
// views carry registerColumns (8 or 16) data columns D0..D(N-1).
enum class ColumnLayout : uint8_t {
    FrameCSeparate,
    FrameCCombined,
    FrameBSeparate,
    FrameBCombined,
    RegisterMaster,
    RegisterSlave,
};

// The columns of one layout in report order, for the header and for the row builders.
struct ColumnList {
    ColumnLayout layout;
    uint32_t count;
    const char* names[kMaxReportColumns];  // static texts, valid for the life of the module
    uint32_t widths[kMaxReportColumns];
};

// Mode 0 is the master view, mode 1 the slave view, any other mode Single Cycle Data; any protocol
// but BiSS-B counts as BiSS-C.
ColumnLayout LayoutFor(const DecoderSettings& settings);
ColumnList ReportColumns(const DecoderSettings& settings);

}  // namespace zb
