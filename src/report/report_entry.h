// The report step of Analysis: turns the records just decoded into the host's report rows, one per
// frame in single-cycle mode or one per register access in the register-access modes.
#pragma once

#include <cstdint>

#include "abi/call_context.h"
#include "abi/decoder_settings.h"
#include "report/report_columns.h"
#include "report/report_rows.h"

namespace zb {

// Refreshes `columnWidths` (the host's width table, see RefreshColumnWidths) for these settings,
// then writes the report of the records to the host of `call`, telling `release` as it goes how
// far it has read.
void BuildReport(CallContext& call, ColumnWidths& columnWidths, const DecoderSettings& settings,
                 const int64_t* positions, const uint32_t* codes, uint64_t count,
                 const ReleaseRecords& release = {});

}  // namespace zb
