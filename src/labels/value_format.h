// The one value formatter of labels and report: HEX, DEC, OCT, BIN or a character name, with the
// host's optional Gray-code conversion, always cut to the caller's buffer.
#pragma once

#include <cstdint>

#include "abi/call_context.h"

namespace zb {

// Formats `value` with `format` (0 HEX, 1 DEC, 2 OCT, 3 BIN, 4 character, else empty) and bit
// width `width` into text[size]; returns the text length. `flags` are the host's hostFlags (bit 0:
// to Gray code, bit 3: from Gray code). A width of 0 (or below) is a field of no bits: HEX, OCT
// and BIN print a single "0". A text longer than the buffer keeps its first size - 1 characters;
// size 0 or below writes nothing and returns 0.
uint32_t Format32(uint32_t flags, uint32_t value, uint32_t format, int32_t width, char* text, int32_t size);
uint32_t Format64(uint32_t flags, uint32_t low, uint32_t high, uint32_t format, int32_t width, char* text,
                  int32_t size);

// What the host-facing formatters return without a host record.
constexpr uint32_t kNoHostResult = 0xFFFFFFFFu;

// The host-facing pair: flags from the host record of the call, whose status they set. Without a
// record they set the status to "no host", write nothing and return kNoHostResult.
uint32_t FormatValue32(CallContext& call, uint32_t value, uint32_t format, int32_t width, char* text,
                       int32_t size);
uint32_t FormatValue64(CallContext& call, uint32_t low, uint32_t high, uint32_t format, int32_t width,
                       char* text, int32_t size);
// FormatValue32 for a value that fits 32 bits, else FormatValue64.
uint32_t FormatValueAuto(CallContext& call, uint64_t value, uint32_t format, int32_t width, char* text,
                         int32_t size);

}  // namespace zb
