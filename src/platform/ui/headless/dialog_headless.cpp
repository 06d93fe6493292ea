// The headless half of the dialog framework: each template item becomes a record of values in
// memory, control operations read and write those records, and the driver operations in
// headless_ui.h play the user's part, raising the same events a window system would.
#include <algorithm>
#include <cstdio>

#include "platform/ui/headless/headless_ui.h"
#include "platform/ui/ui.h"

namespace zb::ui {

namespace {

struct ItemState {
    const ItemTemplate* tmpl = nullptr;
    uint32_t style = 0;
    std::string text;
    std::vector<std::string> items;
    int selection = -1;
    bool checked = false;
    int lower = 0, upper = 100;  // an up-down control starts with range 0..100
    int pos = 0;
    int selStart = 0, selEnd = 0;
};

ItemState* State(void* handle) {
    return static_cast<ItemState*>(handle);
}

std::vector<std::string>& Messages() {
    static std::vector<std::string> messages;
    return messages;
}

headless::ModalDriver& Driver() {
    static headless::ModalDriver driver;
    return driver;
}

}  // namespace

struct Dialog::Impl {
    std::vector<ItemState> items;
    bool open = false;
    bool created = false;
    int focus = kNoId;
    DialogResult result = DialogResult::Failed;

    ItemState* Find(int id) {
        if (id == kNoId) return nullptr;
        for (ItemState& s : items) {
            if (s.tmpl->id == id) return &s;
        }
        return nullptr;
    }
};

// Control operations over the stored values.

std::string Control::GetText() const {
    const ItemState* s = State(handle_);
    return s ? s->text : std::string();
}

void Control::SetText(const std::string& text) {
    ItemState* s = State(handle_);
    if (!s) return;
    s->text = text;
    s->selStart = s->selEnd = 0;
    // An edit reports every change of its text, also one made by the program.
    if (s->tmpl->kind == ItemKind::Edit && owner_) owner_->OnCommand(id_, Notification::TextChanged);
}

void Control::Enable(bool on) {
    if (ItemState* s = State(handle_))
        s->style = on ? s->style & ~Style::kDisabled : s->style | Style::kDisabled;
}

bool Control::IsEnabled() const {
    const ItemState* s = State(handle_);
    return s && (s->style & Style::kDisabled) == 0;
}

void Control::Show(bool on) {
    if (ItemState* s = State(handle_))
        s->style = on ? s->style | Style::kVisible : s->style & ~Style::kVisible;
}

bool Control::IsVisible() const {
    const ItemState* s = State(handle_);
    return s && (s->style & Style::kVisible) != 0;
}

void Control::SetFocus() {
    if (handle_ && owner_) headless::Focus(*owner_, id_);
}

uint32_t Control::GetStyle() const {
    const ItemState* s = State(handle_);
    return s ? s->style : 0;
}

int Edit::GetSelStart() const {
    const ItemState* s = State(handle_);
    return s ? s->selStart : 0;
}

void ComboBox::ResetContent() {
    if (ItemState* s = State(handle_)) {
        s->items.clear();
        s->selection = -1;
    }
}

int ComboBox::AddString(const std::string& text) {
    ItemState* s = State(handle_);
    if (!s) return -1;
    s->items.push_back(text);
    return static_cast<int>(s->items.size()) - 1;
}

int ComboBox::GetCount() const {
    const ItemState* s = State(handle_);
    return s ? static_cast<int>(s->items.size()) : 0;
}

int ComboBox::SetCurSel(int index) {
    ItemState* s = State(handle_);
    if (!s) return -1;
    s->selection = (index >= 0 && index < static_cast<int>(s->items.size())) ? index : -1;
    return s->selection;
}

int ComboBox::GetCurSel() const {
    const ItemState* s = State(handle_);
    return s ? s->selection : -1;
}

void Button::SetCheck(bool checked) {
    if (ItemState* s = State(handle_)) s->checked = checked;
}

bool Button::GetCheck() const {
    const ItemState* s = State(handle_);
    return s && s->checked;
}

void Spin::SetRange32(int lower, int upper) {
    if (ItemState* s = State(handle_)) {
        s->lower = lower;
        s->upper = upper;
    }
}

void Spin::GetRange32(int& lower, int& upper) const {
    const ItemState* s = State(handle_);
    lower = s ? s->lower : 0;
    upper = s ? s->upper : 0;
}

void Spin::SetPos(int16_t pos) {
    // The control keeps its position inside its range.
    if (ItemState* s = State(handle_)) {
        const int lo = std::min(s->lower, s->upper), hi = std::max(s->lower, s->upper);
        s->pos = std::clamp<int>(pos, lo, hi);
    }
}

int Spin::GetPos32() const {
    const ItemState* s = State(handle_);
    return s ? s->pos : 0;
}

// The dialog.

Dialog::Dialog(const DialogTemplate& tmpl) : tmpl_(tmpl), impl_(std::make_unique<Impl>()) {}

Dialog::~Dialog() = default;

bool Dialog::Bind(int id, Control& control) {
    ItemState* s = impl_->Find(id);
    if (!s) return false;
    control.owner_ = this;
    control.id_ = id;
    control.handle_ = s;
    bound_.push_back(&control);
    return true;
}

DialogResult Dialog::DoModal() {
    if (!Driver()) return DialogResult::Failed;
    if (!headless::Open(*this)) return DialogResult::Failed;
    Driver()(*this);
    if (impl_->open) OnCancel();
    return impl_->result;
}

void Dialog::EndDialog(DialogResult result) {
    impl_->result = result;
    impl_->open = false;
}

bool Dialog::HasWindow() const {
    return impl_->created;
}

bool Dialog::HasItem(int id) const {
    return impl_->Find(id) != nullptr;
}

void Dialog::EnableItem(int id, bool on) {
    if (ItemState* s = impl_->Find(id))
        s->style = on ? s->style & ~Style::kDisabled : s->style | Style::kDisabled;
}

bool Dialog::IsItemEnabled(int id) const {
    const ItemState* s = impl_->Find(id);
    return s && (s->style & Style::kDisabled) == 0;
}

void Dialog::ShowItem(int id, bool on) {
    if (ItemState* s = impl_->Find(id))
        s->style = on ? s->style | Style::kVisible : s->style & ~Style::kVisible;
}

bool Dialog::IsItemVisible(int id) const {
    const ItemState* s = impl_->Find(id);
    return s && (s->style & Style::kVisible) != 0;
}

void Dialog::SetItemText(int id, const std::string& text) {
    if (ItemState* s = impl_->Find(id)) s->text = text;
}

std::string Dialog::GetItemText(int id) const {
    const ItemState* s = impl_->Find(id);
    return s ? s->text : std::string();
}

void Dialog::ShowMessageBox(const std::string& text, const std::string& caption) {
    (void)caption;
    Messages().push_back(text);
}

bool CanShowDialogs() {
    return static_cast<bool>(Driver());
}

// The driver operations.
namespace headless {

namespace {

class RecordingPainter : public Painter {
  public:
    std::vector<std::string> ops;
    uint32_t SysColor(SysColour which) override {
        return which == SysColour::Highlight ? kHighlightColour : kWindowColour;
    }
    void FillSolidRect(const Rect& r, uint32_t colour) override {
        char line[96];
        std::snprintf(line, sizeof line, "fill %d,%d,%d,%d %06X", r.left, r.top, r.right, r.bottom, colour);
        ops.emplace_back(line);
    }
    void Rectangle(const Rect& r, uint32_t pen, int width, uint32_t brush) override {
        char line[128];
        std::snprintf(line, sizeof line, "rect %d,%d,%d,%d pen %06X %d brush %06X", r.left, r.top, r.right,
                      r.bottom, pen, width, brush);
        ops.emplace_back(line);
    }
};

}  // namespace

bool Open(Dialog& dialog) {
    Dialog::Impl& impl = *dialog.impl();
    if (impl.open) return false;
    const DialogTemplate& t = dialog.Template();
    impl.items.assign(t.itemCount, ItemState{});
    for (size_t i = 0; i < t.itemCount; ++i) {
        impl.items[i].tmpl = &t.items[i];
        impl.items[i].style = t.items[i].style;
        impl.items[i].text = t.items[i].caption ? t.items[i].caption : "";
    }
    impl.open = true;
    impl.created = true;
    impl.result = DialogResult::Failed;
    impl.focus = kNoId;
    dialog.DoDataExchange();
    if (dialog.OnInitDialog()) {
        // The first enabled, visible tab stop takes the focus.
        for (const ItemState& s : impl.items) {
            if ((s.style & Style::kTabStop) && (s.style & Style::kVisible) && !(s.style & Style::kDisabled)) {
                impl.focus = s.tmpl->id;
                break;
            }
        }
    }
    return true;
}

bool IsOpen(const Dialog& dialog) {
    return dialog.impl()->open;
}

DialogResult Result(const Dialog& dialog) {
    return dialog.impl()->result;
}

void Click(Dialog& dialog, int id) {
    Dialog::Impl& impl = *dialog.impl();
    ItemState* s = impl.Find(id);
    if (!impl.open || !s || (s->style & Style::kDisabled)) return;
    if (s->tmpl->kind == ItemKind::CheckBox) s->checked = !s->checked;
    if (id == kIdOk) {
        dialog.OnOK();
    } else if (id == kIdCancel) {
        dialog.OnCancel();
    } else {
        dialog.OnCommand(id, Notification::Clicked);
    }
}

void Select(Dialog& dialog, int id, int index) {
    Dialog::Impl& impl = *dialog.impl();
    ItemState* s = impl.Find(id);
    if (!impl.open || !s || (s->style & Style::kDisabled)) return;
    s->selection = (index >= 0 && index < static_cast<int>(s->items.size())) ? index : -1;
    dialog.OnCommand(id, Notification::SelectionChanged);
}

void Paste(Dialog& dialog, int id, const std::string& text) {
    Dialog::Impl& impl = *dialog.impl();
    ItemState* s = impl.Find(id);
    if (!impl.open || !s) return;
    s->text = text;
    s->selStart = s->selEnd = static_cast<int>(text.size());
    dialog.OnCommand(id, Notification::TextChanged);
}

void SetSelection(Dialog& dialog, int id, int start, int end) {
    if (ItemState* s = dialog.impl()->Find(id)) {
        const int n = static_cast<int>(s->text.size());
        s->selStart = std::clamp(start, 0, n);
        s->selEnd = std::clamp(end, s->selStart, n);
    }
}

void Type(Dialog& dialog, int id, const std::string& chars) {
    Dialog::Impl& impl = *dialog.impl();
    ItemState* s = impl.Find(id);
    if (!impl.open || !s || s->tmpl->kind != ItemKind::Edit) return;
    auto* edit = dynamic_cast<Edit*>(dialog.BoundControl(id));
    for (char c : chars) {
        const unsigned ch = static_cast<unsigned char>(c);
        if (edit && !edit->OnChar(ch)) continue;
        // The edit's own handling: digits-only edits refuse other characters.
        if ((s->style & Style::kEditNumber) && ch != '\b' && (ch < '0' || ch > '9')) continue;
        if (ch == '\b') {
            if (s->selEnd > s->selStart) {
                s->text.erase(s->selStart, s->selEnd - s->selStart);
            } else if (s->selStart > 0) {
                s->text.erase(--s->selStart, 1);
            }
        } else {
            s->text.replace(s->selStart, s->selEnd - s->selStart, 1, c);
            ++s->selStart;
        }
        s->selEnd = s->selStart;
        dialog.OnCommand(id, Notification::TextChanged);
    }
}

void Focus(Dialog& dialog, int id) {
    Dialog::Impl& impl = *dialog.impl();
    if (!impl.open || impl.focus == id) return;
    const int old = impl.focus;
    impl.focus = id;
    if (auto* edit = dynamic_cast<Edit*>(dialog.BoundControl(old))) edit->OnKillFocus();
}

int FocusedItem(const Dialog& dialog) {
    return dialog.impl()->focus;
}

intptr_t Step(Dialog& dialog, int id, int delta) {
    Dialog::Impl& impl = *dialog.impl();
    ItemState* s = impl.Find(id);
    if (!impl.open || !s || (s->style & Style::kDisabled)) return 0;
    const intptr_t result = dialog.OnSpinStep(SpinStep{id, delta});
    // A spin whose step was not answered with 1 moves its own position.
    if (result == 0)
        s->pos = std::clamp(s->pos + delta, std::min(s->lower, s->upper), std::max(s->lower, s->upper));
    return result;
}

std::vector<int> ItemIds(const Dialog& dialog) {
    std::vector<int> ids;
    for (const ItemState& s : dialog.impl()->items) ids.push_back(s.tmpl->id);
    return ids;
}

std::vector<std::string> ListItems(const Dialog& dialog, int id) {
    const ItemState* s = dialog.impl()->Find(id);
    return s ? s->items : std::vector<std::string>{};
}

std::vector<std::string> Draw(Dialog& dialog, int id, int itemId, bool selected, const Rect& r) {
    RecordingPainter painter;
    if (auto* list = dynamic_cast<ComboBox*>(dialog.BoundControl(id))) {
        list->DrawItem(DrawItemInfo{itemId, selected, r, &painter});
    }
    return painter.ops;
}

const std::vector<std::string>& MessageBoxes() {
    return Messages();
}
void ClearMessageBoxes() {
    Messages().clear();
}
void SetModalDriver(ModalDriver driver) {
    Driver() = std::move(driver);
}

}  // namespace headless

}  // namespace zb::ui
