// CallContext: what one host call hands down to the layers that do its work. Engine, labels,
// report and dialog receive it by reference instead of reaching for module-wide state, so a test
// can run any of them with a context of its own. The module keeps one for all its calls.
#pragma once

#include <cstdint>

#include "abi/host_record.h"

namespace zb {

class ReportWriter;

// Last-status codes of the host-facing operations. Set for diagnosis; nothing reads them to decide.
enum class ReportStatusCode : uint32_t {
    Ok = 0,
    NoHost = 1,         // no host record remembered
    NoObject = 2,       // the sample reader or report writer does not exist
    ColumnRefused = 3,  // report writer refused the column
    NoText = 4,         // report writer got no text (also: message-0 check got no buffer)
    PairRefused = 5,    // report writer refused the colour pair
    NoDialog = 7,       // message-0 check without a dialog window
    GetterFailed = 8,   // message-info getter failed
    MissingOutput = 9,  // sample reader called without an output argument
};

// How a position becomes the host's per-mille progress:
// base + (span - base) * (position - start) / range, held to 0 .. 1000.
struct ProgressScale {
    uint32_t base = 0;
    uint32_t span = 1000;
    int64_t range = 0;
    int64_t start = 0;  // cursorStart of the walk being reported
};

struct CallContext {
    // The host record of the current Analysis or DataConv call (null before the first). Its
    // callbacks, stop word and progress field are how the work reaches the host.
    HostRecord* host = nullptr;
    // The last status of a host-facing operation.
    ReportStatusCode status = ReportStatusCode::Ok;
    // The directory prefix for temporary files that the host sent (host message 0), used as
    // given; "" puts the files in the current directory. The text may change between calls.
    const char* tempDirectory = "";
    ProgressScale progress;
    // The report being written: made by ReportOpen, destroyed by ReportClose (report/).
    ReportWriter* reportWriter = nullptr;

    // The record of a new call; remembering it resets the status.
    void Remember(HostRecord* record) {
        host = record;
        status = ReportStatusCode::Ok;
    }
};

}  // namespace zb
