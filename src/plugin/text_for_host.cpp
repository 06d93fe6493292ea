// Placeholder until the host text conversion lands: texts pass unchanged.
#include "plugin/text_for_host.h"

namespace zb {

void ConvertForHostInPlace(const HostRecord*, char*, size_t) {}
const char* ConvertForHost(uint32_t, const char* text, char*, size_t) { return text; }

}  // namespace zb
