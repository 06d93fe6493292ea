// Everything that lives for the whole module, gathered in one place: the call context that the
// exports hand down (remembered host record, last status, progress scale, temporary directory), the
// decode engine, the report column widths, the host messages and the report writer. Only plugin/
// reaches it. The host calls one export at a time, so nothing here is locked.
#pragma once

#include <cstdint>

#include "abi/call_context.h"
#include "abi/host_record.h"
#include "plugin/host_messages.h"

namespace zb {

class DecodeEngine;
class ReportWriter;

// Report column widths: up to 5 head columns, 16 data columns, Information and the end mark 0.
constexpr int kColumnWidthEntries = 23;

struct ModuleState {
    ModuleState() { call.tempDirectory = messages.tempDirectory; }
    ModuleState(const ModuleState&) = delete;
    ModuleState& operator=(const ModuleState&) = delete;

    // The context every call hands down: the remembered host record, the last status, the
    // progress scale, and the temporary directory (the text of host message 0 below).
    CallContext call;
    DecodeEngine* engine = nullptr;
    uint32_t columnWidthTable[kColumnWidthEntries] = {40, 130, 130, 60, 75, 60, 40, 500, 0};
    HostMessageStore messages{};
    ReportWriter* reportWriter = nullptr;
    void* moduleHandle = nullptr;  // Windows: the DLL's instance handle, for its resources
};

ModuleState& Module();

// The host record of the current Analysis or DataConv call; remembering it resets the status.
inline void RememberHost(HostRecord* host) {
    Module().call.Remember(host);
}
inline HostRecord* RememberedHost() {
    return Module().call.host;
}
inline void SetReportStatus(ReportStatusCode code) {
    Module().call.status = code;
}
inline ReportStatusCode GetReportStatus() {
    return Module().call.status;
}
inline DecodeEngine* Engine() {
    return Module().engine;
}
inline uint32_t* ColumnWidthTable() {
    return Module().columnWidthTable;
}

}  // namespace zb
