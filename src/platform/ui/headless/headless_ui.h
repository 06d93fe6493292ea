// Driving a dialog without a window system: the headless half keeps every item's values in memory
// (text, list items and selection, check state, enabled and visible flags, spin range and
// position, focus) and these operations stand in for the user, the way window messages would.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace zb::ui::headless {

// Creates the items from the dialog's template, binds the members and runs OnInitDialog: the
// dialog is then open until EndDialog. False when it is already open.
bool Open(Dialog& dialog);
bool IsOpen(const Dialog& dialog);
DialogResult Result(const Dialog& dialog);

// A click on a button or check box (automatic check boxes toggle first); OK and Cancel reach
// OnOK and OnCancel.
void Click(Dialog& dialog, int id);
// The user picks a list item (CBN_SELCHANGE follows).
void Select(Dialog& dialog, int id, int index);
// Replaces an edit's text as a paste would (no character filter; EN_CHANGE follows).
void Paste(Dialog& dialog, int id, const std::string& text);
// Types characters one by one at the caret through the edit's character filter.
void Type(Dialog& dialog, int id, const std::string& chars);
constexpr char kBackspace = '\b';
// Places the caret (or a selection) in an edit.
void SetSelection(Dialog& dialog, int id, int start, int end);
// Moves the focus to item `id` (the edit losing it gets its focus-loss handling).
void Focus(Dialog& dialog, int id);
int FocusedItem(const Dialog& dialog);
// One spin step notification; returns the dialog's answer.
intptr_t Step(Dialog& dialog, int id, int delta);
// The ids of the items, in template order.
std::vector<int> ItemIds(const Dialog& dialog);

// List contents, for checks.
std::vector<std::string> ListItems(const Dialog& dialog, int id);

// Owner drawing: what the item's DrawItem painted, one line per operation
// ("fill l,t,r,b colour", "rect l,t,r,b pen colour width brush colour").
std::vector<std::string> Draw(Dialog& dialog, int id, int itemId, bool selected, const Rect& r);
// The colours the headless painter gives for the system colours.
constexpr uint32_t kHighlightColour = 0x00D77800;
constexpr uint32_t kWindowColour = 0x00FFFFFF;

// Message boxes are recorded instead of shown.
const std::vector<std::string>& MessageBoxes();
void ClearMessageBoxes();

// A modal driver makes DoModal usable headless: DoModal opens the dialog, calls the driver and,
// when the driver left it open, cancels it. Without a driver no dialog can be shown.
using ModalDriver = std::function<void(Dialog&)>;
void SetModalDriver(ModalDriver driver);

}  // namespace zb::ui::headless
