// The item table of the settings dialog, expanded from dialog_items.inc (the same list the .rc
// compiles into resource 9001), and the dialog's own template values.
#include "dialog/dialog_template.h"

namespace zb {

#define ZB_ITEM(name, id, kind, caption, x, y, w, h, style) \
    {Id(ItemId::name), ui::ItemKind::kind, caption, x, y, w, h, style},
#define ZB_STATIC(kind, caption, x, y, w, h, style) \
    {ui::kNoId, ui::ItemKind::kind, caption, x, y, w, h, style},
const ui::ItemTemplate kSettingsItems[kSettingsItemCount] = {
#include "dialog/dialog_items.inc"
};
#undef ZB_ITEM
#undef ZB_STATIC

// The list must hold exactly the dialog's items (a short list would otherwise be padded with
// empty items).
#define ZB_ITEM(...) +1
#define ZB_STATIC(...) +1
static_assert(0
#include "dialog/dialog_items.inc"
                  == kSettingsItemCount,
              "dialog_items.inc must list every item of the dialog");
#undef ZB_ITEM
#undef ZB_STATIC

// Popup, caption, system menu and modal frame, with the dialog font set by the template in its
// shell-font form (DS_SETFONT | DS_FIXEDSYS).
constexpr uint32_t kSettingsDialogStyle = 0x80C800C8;

const ui::DialogTemplate kSettingsTemplate = {
    kSettingsDialogId, "BiSS Settings",   400, 336, "Arial", 9, 400, kSettingsDialogStyle,
    kSettingsItems,    kSettingsItemCount};

}  // namespace zb
