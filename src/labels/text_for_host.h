// Texts are built in UTF-8 inside the plug-in and handed to the host in its code page, unless the
// host's flags say it takes UTF-8. Conversion never fails outward: on any failure the text is used
// unchanged. Buffers are never overrun whatever size the caller gives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/host_record.h"

namespace zb {

// In place: converts text[size] for `host` (without a host record, as for a host that does not
// take UTF-8).
void ConvertForHostInPlace(const HostRecord* host, char* text, size_t size);
// The same for a text whose length is known (text[length] is its terminator, length < size): an
// ASCII text, as labels are, is recognised without looking for its end. True when the text is
// left as it is without a conversion (ASCII, or a host that takes UTF-8).
bool ConvertForHostInPlace(const HostRecord* host, char* text, size_t length, size_t size);
// As a copy: returns `text` itself when it needs no conversion or cannot be converted, else the
// converted copy in scratch[scratchSize].
const char* ConvertForHost(uint32_t hostFlags, const char* text, char* scratch, size_t scratchSize);

}  // namespace zb
