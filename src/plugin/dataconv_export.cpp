// The DataConv export: the host asks for the label text and colours of one record. The boundary
// only checks its arguments and keeps exceptions inside; the work is LabelRecordForHost.
#include "abi/calling.h"
#include "abi/host_record.h"
#include "plugin/label_request.h"

using namespace zb;

// Without a host record there are no settings to read and no colour fields to write: the call
// changes nothing, not even the text buffer, and still reports 1 like every DataConv.
ZB_EXPORT uint32_t ZB_CALL DataConv(HostRecord* host, uint64_t codeOrList, char* text, uint32_t size) {
    if (host == nullptr) return 1;
    try {
        LabelRecordForHost(*host, codeOrList, text, size);
    } catch (...) {
        // Nothing in the label path allocates or throws; this only keeps the boundary closed.
    }
    return 1;
}
