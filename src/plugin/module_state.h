// Everything that lives for the whole module, gathered in one place: the call context that the
// exports hand down (remembered host record, last status, progress scale, report writer, temporary
// directory), the decode engine, the report column widths, the host messages and the settings
// block and the kept texts of the labels. Only plugin/ reaches it. The host calls one export at a time, so
// nothing here is locked.
#pragma once

#include <cstdint>

#include "abi/call_context.h"
#include "abi/decoder_settings.h"
#include "abi/host_messages.h"
#include "abi/host_record.h"
#include "plugin/label_memo.h"
#include "report/report_columns.h"

namespace zb {

class DecodeEngine;

struct ModuleState {
    ModuleState() {
        call.tempDirectory = messages.tempDirectory;
        DefaultColumnWidths(columnWidthTable);
    }
    ModuleState(const ModuleState&) = delete;
    ModuleState& operator=(const ModuleState&) = delete;

    // The context every call hands down: the remembered host record, the last status, the
    // progress scale, the report writer, and the temporary directory (the text of host message 0
    // below).
    CallContext call;
    DecodeEngine* engine = nullptr;
    // The report column widths; the host keeps the table's address (GetPluginInfo).
    ColumnWidths columnWidthTable = {};
    HostMessageStore messages{};
    // The settings of DataConv, filled by CopyReadOnlySettingsIn at each call: the fields a label
    // does not read stay zero.
    DecoderSettings labelSettings{};
    // The labels made for the current label settings, by code.
    LabelMemo labelMemo;
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
inline ColumnWidths& ColumnWidthTable() {
    return Module().columnWidthTable;
}

}  // namespace zb
