// The "BiSS Settings" dialog template (resource 9001): the ids of its items and the item table the
// headless dialog opens from. ZbBiSS64.rc builds the Windows resource from the same item list.
#pragma once

#include <cstddef>

#include "platform/ui/ui.h"

namespace zb {

constexpr int kSettingsDialogId = 9001;
constexpr int kBitmapResourceId = 9000;
constexpr size_t kSettingsItemCount = 68;

// Item ids of the settings dialog, named in dialog_items.inc.
enum class ItemId : int {
#define ZB_ITEM(name, id, ...) name = id,
#define ZB_STATIC(...)
#include "dialog/dialog_items.inc"
#undef ZB_ITEM
#undef ZB_STATIC
};

constexpr int Id(ItemId id) {
    return static_cast<int>(id);
}

static_assert(Id(ItemId::Ok) == ui::kIdOk && Id(ItemId::Cancel) == ui::kIdCancel,
              "OK and Cancel keep the ids every dialog gives them");
// The dialog binds the eight colour pickers by counting from the first.
static_assert(Id(ItemId::WriteColour) == Id(ItemId::AckColour) + 7,
              "the colour pickers' ids follow each other");

extern const ui::ItemTemplate kSettingsItems[kSettingsItemCount];
extern const ui::DialogTemplate kSettingsTemplate;

}  // namespace zb
