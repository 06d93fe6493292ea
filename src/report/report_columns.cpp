// Placeholder until the report columns land: keeps the default layout.
#include "report/report_columns.h"

namespace zb {

void RefreshColumnWidths(const DecoderSettings&) {}
void BuildColumnHeader(const DecoderSettings&, char* text, int32_t size) {
    if (text != nullptr && size > 0) text[0] = '\0';
}

}  // namespace zb
