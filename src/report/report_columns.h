// The report's column layouts: the header text the host asks for and the module-wide column-width
// table whose address the host received once.
#pragma once

#include <cstdint>

#include "plugin/decoder_settings.h"

namespace zb {

// Rewrites the column-width table for the layout these settings select (widths, then 0).
void RefreshColumnWidths(const DecoderSettings& settings);
// "Clock," and the layout's column names joined by commas, cut to `size` (terminator included).
void BuildColumnHeader(const DecoderSettings& settings, char* text, int32_t size);

}  // namespace zb
