// The per-frame table (--frames FILE): one row per frame and slave in Single Cycle Data mode, one
// row per register access in the two register views. CSV, or JSON Lines when the file name ends in
// .jsonl, .ndjson or .json; the tables load directly into a spreadsheet or pandas.
#pragma once

#include <ostream>
#include <string>

#include "decoded_frames.h"

namespace zbhost {

enum class TableFormat { Csv, JsonLines };

TableFormat TableFormatFor(const std::string& path);

void WriteFramesTable(const RecordView& records, const DecodeLayout& layout, TableFormat format,
                      std::ostream& out);

}  // namespace zbhost
