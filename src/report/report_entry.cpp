// The report step of Analysis: refreshes the column widths, then hands the records to the frame
// rows (single-cycle mode) or to the register-access rows (both register-access modes).
#include "report/report_entry.h"

#include "report/report_columns.h"
#include "report/report_rows.h"

namespace zb {

void BuildReport(CallContext& call, ColumnWidths& columnWidths, const DecoderSettings& settings,
                 const int64_t* positions, const uint32_t* codes, uint64_t count,
                 const ReleaseRecords& release) {
    RefreshColumnWidths(settings, columnWidths);
    if (positions == nullptr || codes == nullptr) count = 0;
    // The builders only read through the view; the block itself is the caller's copy.
    DecoderSettings copy = settings;
    const SettingsView view(&copy);
    // The same choice of layout as the column header: the two register views, else single cycle.
    const ColumnLayout layout = LayoutFor(settings);
    if (layout == ColumnLayout::RegisterMaster || layout == ColumnLayout::RegisterSlave) {
        BuildRegisterRows(call, view, positions, codes, count, release);
        return;
    }
    BuildFrameRows(call, view, positions, codes, count, release);
}

}  // namespace zb
