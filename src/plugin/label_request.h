// The work of the DataConv export, kept in the core so that tests and benchmarks run it without
// the plug-in boundary: settings copied in and back, the host remembered, the label built, its
// colours written into the host record and its text converted for the host.
#pragma once

#include <cstdint>

#include "abi/host_record.h"

namespace zb {

// `codeOrList` is the code word in its low 32 bits, or (hostFlags bit 1) the address of the host's
// code list: a u32 count, then that many codes. A null list or a count of 0 labels nothing: empty
// text (when there is room) and no colour. With a buffer of size 0 the text and the two colour
// fields are left alone and labelColourMask becomes 0.
void LabelRecordForHost(HostRecord& host, uint64_t codeOrList, char* text, uint32_t size);

}  // namespace zb
