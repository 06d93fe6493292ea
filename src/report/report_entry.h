// The report step of Analysis: turns the records just decoded into the host's report rows, one per
// frame in single-cycle mode or one per register access in the register-access modes.
#pragma once

#include <cstdint>

#include "abi/decoder_settings.h"

namespace zb {

void BuildReport(const DecoderSettings& settings, const int64_t* positions, const uint32_t* codes,
                 uint64_t count);

}  // namespace zb
