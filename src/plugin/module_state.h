// Everything that lives for the whole module, gathered in one place: the remembered host record,
// the last-status code, the decode engine, the report column widths, the host messages, the report
// writer and the progress scale. The host calls one export at a time, so nothing here is locked.
#pragma once

#include <cstdint>

#include "abi/host_record.h"
#include "plugin/host_messages.h"

namespace zb {

class DecodeEngine;
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

// Report column widths: up to 5 head columns, 16 data columns, Information and the end mark 0.
constexpr int kColumnWidthEntries = 23;

struct ProgressScale {
    uint32_t base = 0;
    uint32_t span = 1000;
    int64_t range = 0;
    int64_t start = 0;  // cursorStart of the walk being reported
};

struct ModuleState {
    HostRecord* host = nullptr;
    ReportStatusCode reportStatus = ReportStatusCode::Ok;
    DecodeEngine* engine = nullptr;
    uint32_t columnWidthTable[kColumnWidthEntries] = {40, 130, 130, 60, 75, 60, 40, 500, 0};
    HostMessageStore messages{};
    ReportWriter* reportWriter = nullptr;
    ProgressScale progress;
    void* moduleHandle = nullptr;  // Windows: the DLL's instance handle, for its resources
};

ModuleState& Module();

// The host record of the current Analysis or DataConv call; remembering it resets the status.
inline void RememberHost(HostRecord* host) {
    Module().host = host;
    Module().reportStatus = ReportStatusCode::Ok;
}
inline HostRecord* RememberedHost() {
    return Module().host;
}
inline void SetReportStatus(ReportStatusCode code) {
    Module().reportStatus = code;
}
inline ReportStatusCode GetReportStatus() {
    return Module().reportStatus;
}
inline DecodeEngine* Engine() {
    return Module().engine;
}
inline uint32_t* ColumnWidthTable() {
    return Module().columnWidthTable;
}

}  // namespace zb
