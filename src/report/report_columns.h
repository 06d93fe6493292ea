// The report's column layouts: the header text the host asks for and the module-wide column-width
// table whose address the host received once.
#pragma once

#include <cstdint>

#include "abi/decoder_settings.h"

namespace zb {

// Rewrites the column-width table for the layout these settings select (widths, then 0).
void RefreshColumnWidths(const DecoderSettings& settings);
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

// Head columns, 16 data columns and Information: the width table's entries without its end mark.
constexpr uint32_t kMaxReportColumns = 22;

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
