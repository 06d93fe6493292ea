// Filling and drawing the colour picker lists of the settings dialog.
#include "dialog/colour_picker.h"

namespace zb {

namespace {
constexpr uint32_t kPickerStyleMask = ui::Style::kDropDownList | ui::Style::kOwnerDrawFixed;
constexpr uint32_t kOutlineColour = 0x000000;  // black swatch outline
constexpr int kOutlineWidth = 1;
constexpr int kSwatchInset = 2;  // leaves a 2-pixel frame of the highlight or window colour
// The list keeps no strings; every item gets the same never-drawn placeholder.
constexpr char kPlaceholder[] = "";
}  // namespace

bool CColorPicker::FillColorItems() {
    if ((GetStyle() & kPickerStyleMask) == 0) return false;
    ResetContent();
    for (int i = 0; i < kColourCount; ++i) AddString(kPlaceholder);
    SetCurSel(0);
    return true;
}

void CColorPicker::DrawItem(const ui::DrawItemInfo& info) {
    // The selection field of a list without a selection arrives with -1: nothing to draw.
    if (info.itemId < 0 || info.itemId >= kColourCount || info.painter == nullptr) return;
    ui::Painter& p = *info.painter;
    const ui::Rect& r = info.rect;
    p.FillSolidRect(r, p.SysColor(info.selected ? ui::SysColour::Highlight : ui::SysColour::Window));
    const ui::Rect swatch{r.left + kSwatchInset, r.top + kSwatchInset, r.right - kSwatchInset,
                          r.bottom - kSwatchInset};
    p.Rectangle(swatch, kOutlineColour, kOutlineWidth, GetItemColor(info.itemId));
}

}  // namespace zb
