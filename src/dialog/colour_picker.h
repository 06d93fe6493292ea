// CColorPicker: an owner-drawn drop-down list whose 16 items are the 16 colours of the colour
// table, drawn as swatches; the selected item's index is the colour index of one colour slot.
#pragma once

#include <cstdint>

#include "abi/colour_tables.h"
#include "platform/ui/ui.h"

namespace zb {

class CColorPicker : public ui::ComboBox {
  public:
    // Empties the list, adds the 16 placeholder items and selects item 0. False (list untouched)
    // when the control is not a drop-down or owner-drawn list.
    bool FillColorItems();
    void DrawItem(const ui::DrawItemInfo& info) override;

    static uint32_t GetItemColor(int index) { return zb::GetItemColor(static_cast<uint32_t>(index)); }
    static uint32_t GetItemTextColor(int index) { return zb::GetItemTextColor(static_cast<uint32_t>(index)); }
};

}  // namespace zb
