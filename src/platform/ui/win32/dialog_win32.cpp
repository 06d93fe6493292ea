// The Win32 half of the dialog framework: the dialog is made from the module's dialog resource
// with DialogBoxParam, controls are the real child windows and every operation is a window
// message. The dialog procedure routes WM_COMMAND, UDN_DELTAPOS and WM_DRAWITEM to the dialog
// object; edits are subclassed so their WM_CHAR and WM_KILLFOCUS reach the edit object.
#include <windows.h>
// The common controls header needs <windows.h> first.
#include <commctrl.h>

#include <cstring>

#include "platform/ui/ui.h"

namespace zb::ui {

namespace {

HWND Hwnd(void* handle) {
    return static_cast<HWND>(handle);
}

// A GDI object deleted when it goes out of scope.
class GdiObject {
  public:
    explicit GdiObject(HGDIOBJ object) : object_(object) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() {
        if (object_ != nullptr) DeleteObject(object_);
    }
    HGDIOBJ get() const { return object_; }

  private:
    HGDIOBJ object_;
};

class DcPainter : public Painter {
  public:
    explicit DcPainter(HDC dc) : dc_(dc) {}
    uint32_t SysColor(SysColour which) override {
        return GetSysColor(which == SysColour::Highlight ? COLOR_HIGHLIGHT : COLOR_WINDOW);
    }
    void FillSolidRect(const Rect& r, uint32_t colour) override {
        const RECT rect{r.left, r.top, r.right, r.bottom};
        GdiObject brush(CreateSolidBrush(colour));
        if (brush.get() != nullptr) FillRect(dc_, &rect, static_cast<HBRUSH>(brush.get()));
    }
    void Rectangle(const Rect& r, uint32_t penColour, int penWidth, uint32_t brushColour) override {
        GdiObject pen(CreatePen(PS_SOLID, penWidth, penColour));
        GdiObject brush(CreateSolidBrush(brushColour));
        if (pen.get() == nullptr || brush.get() == nullptr) return;
        const int oldMode = SetBkMode(dc_, TRANSPARENT);
        HGDIOBJ oldPen = SelectObject(dc_, pen.get());
        HGDIOBJ oldBrush = SelectObject(dc_, brush.get());
        ::Rectangle(dc_, r.left, r.top, r.right, r.bottom);
        SelectObject(dc_, oldBrush);
        SelectObject(dc_, oldPen);
        SetBkMode(dc_, oldMode);
    }

  private:
    HDC dc_;
};

// Edits are subclassed the classic way (the window procedure replaced, the edit object and the
// old procedure kept as window properties), which every version of the system supports.
constexpr char kEditProperty[] = "zb.edit";
constexpr char kOldProcProperty[] = "zb.edit.proc";

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* edit = static_cast<Edit*>(GetPropA(hwnd, kEditProperty));
    auto oldProc = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kOldProcProperty));
    if (oldProc == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
    switch (msg) {
        case WM_CHAR:
            if (edit != nullptr && !edit->OnChar(static_cast<unsigned>(wParam))) return 0;
            break;
        case WM_KILLFOCUS:
            if (edit != nullptr) edit->OnKillFocus();
            break;
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc));
            RemovePropA(hwnd, kEditProperty);
            RemovePropA(hwnd, kOldProcProperty);
            break;
        default:
            break;
    }
    return CallWindowProcA(oldProc, hwnd, msg, wParam, lParam);
}

void SubclassEdit(HWND item, Edit* edit) {
    if (GetPropA(item, kOldProcProperty) != nullptr) return;
    SetPropA(item, kEditProperty, edit);
    const LONG_PTR old = SetWindowLongPtrA(item, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditProc));
    SetPropA(item, kOldProcProperty, reinterpret_cast<HANDLE>(old));
}

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

}  // namespace

struct Dialog::Impl {
    HWND hwnd = nullptr;
    DialogResult result = DialogResult::Failed;
};

namespace {

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

Notification CommandNotification(WORD code, bool& known) {
    known = true;
    switch (code) {
        case BN_CLICKED:
            return Notification::Clicked;
        case CBN_SELCHANGE:
            return Notification::SelectionChanged;
        case EN_CHANGE:
            return Notification::TextChanged;
        default:
            known = false;
            return Notification::Clicked;
    }
}

}  // namespace

// Controls.

std::string Control::GetText() const {
    if (handle_ == nullptr) return {};
    const int length = GetWindowTextLengthA(Hwnd(handle_));
    std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    const int got = GetWindowTextA(Hwnd(handle_), text.data(), static_cast<int>(text.size()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void Control::SetText(const std::string& text) {
    if (handle_ != nullptr) SetWindowTextA(Hwnd(handle_), text.c_str());
}

void Control::Enable(bool on) {
    if (handle_ != nullptr) EnableWindow(Hwnd(handle_), on ? TRUE : FALSE);
}

bool Control::IsEnabled() const {
    return handle_ != nullptr && IsWindowEnabled(Hwnd(handle_));
}

void Control::Show(bool on) {
    if (handle_ != nullptr) ShowWindow(Hwnd(handle_), on ? SW_SHOW : SW_HIDE);
}

bool Control::IsVisible() const {
    return (GetStyle() & WS_VISIBLE) != 0;
}

void Control::SetFocus() {
    if (handle_ == nullptr) return;
    HWND parent = GetParent(Hwnd(handle_));
    // WM_NEXTDLGCTL keeps the dialog manager's default-button bookkeeping right.
    if (parent != nullptr) {
        SendMessageA(parent, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Hwnd(handle_)), TRUE);
    } else {
        ::SetFocus(Hwnd(handle_));
    }
}

uint32_t Control::GetStyle() const {
    return handle_ != nullptr ? static_cast<uint32_t>(GetWindowLongA(Hwnd(handle_), GWL_STYLE)) : 0;
}

int Edit::GetSelStart() const {
    DWORD start = 0;
    if (handle_ != nullptr) SendMessageA(Hwnd(handle_), EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    return static_cast<int>(start);
}

void ComboBox::ResetContent() {
    if (handle_ != nullptr) SendMessageA(Hwnd(handle_), CB_RESETCONTENT, 0, 0);
}

int ComboBox::AddString(const std::string& text) {
    if (handle_ == nullptr) return -1;
    const LRESULT index =
        SendMessageA(Hwnd(handle_), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return index < 0 ? -1 : static_cast<int>(index);
}

int ComboBox::GetCount() const {
    if (handle_ == nullptr) return 0;
    const LRESULT n = SendMessageA(Hwnd(handle_), CB_GETCOUNT, 0, 0);
    return n < 0 ? 0 : static_cast<int>(n);
}

int ComboBox::SetCurSel(int index) {
    if (handle_ == nullptr) return -1;
    return static_cast<int>(SendMessageA(Hwnd(handle_), CB_SETCURSEL, static_cast<WPARAM>(index), 0));
}

int ComboBox::GetCurSel() const {
    if (handle_ == nullptr) return -1;
    return static_cast<int>(SendMessageA(Hwnd(handle_), CB_GETCURSEL, 0, 0));
}

void Button::SetCheck(bool checked) {
    if (handle_ != nullptr)
        SendMessageA(Hwnd(handle_), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Button::GetCheck() const {
    return handle_ != nullptr && SendMessageA(Hwnd(handle_), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Spin::SetRange32(int lower, int upper) {
    if (handle_ != nullptr) SendMessageA(Hwnd(handle_), UDM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}

void Spin::GetRange32(int& lower, int& upper) const {
    lower = upper = 0;
    if (handle_ != nullptr) {
        SendMessageA(Hwnd(handle_), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
                     reinterpret_cast<LPARAM>(&upper));
    }
}

void Spin::SetPos(int16_t pos) {
    if (handle_ != nullptr) SendMessageA(Hwnd(handle_), UDM_SETPOS, 0, MAKELPARAM(static_cast<WORD>(pos), 0));
}

int Spin::GetPos32() const {
    if (handle_ == nullptr) return 0;
    BOOL failed = FALSE;
    return static_cast<int>(SendMessageA(Hwnd(handle_), UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
}

// The dialog.

Dialog::Dialog(const DialogTemplate& tmpl) : tmpl_(tmpl), impl_(std::make_unique<Impl>()) {}

Dialog::~Dialog() = default;

bool Dialog::Bind(int id, Control& control) {
    if (impl_->hwnd == nullptr) return false;
    HWND item = GetDlgItem(impl_->hwnd, id);
    if (item == nullptr) return false;
    control.owner_ = this;
    control.id_ = id;
    control.handle_ = item;
    bound_.push_back(&control);
    if (auto* edit = dynamic_cast<Edit*>(&control)) {
        SubclassEdit(item, edit);
    }
    return true;
}

DialogResult Dialog::DoModal() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    impl_->result = DialogResult::Failed;
    const INT_PTR r = DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(tmpl_.resourceId), nullptr, DialogProc,
                                      reinterpret_cast<LPARAM>(this));
    impl_->hwnd = nullptr;
    for (Control* c : bound_) c->handle_ = nullptr;
    bound_.clear();
    if (r == -1 || r == 0) return DialogResult::Failed;
    return impl_->result;
}

void Dialog::EndDialog(DialogResult result) {
    impl_->result = result;
    if (impl_->hwnd != nullptr) ::EndDialog(impl_->hwnd, static_cast<INT_PTR>(result));
}

bool Dialog::HasWindow() const {
    return impl_->hwnd != nullptr && ::IsWindow(impl_->hwnd);
}

bool Dialog::HasItem(int id) const {
    return impl_->hwnd != nullptr && GetDlgItem(impl_->hwnd, id) != nullptr;
}

void Dialog::EnableItem(int id, bool on) {
    if (HWND item = impl_->hwnd ? GetDlgItem(impl_->hwnd, id) : nullptr)
        EnableWindow(item, on ? TRUE : FALSE);
}

bool Dialog::IsItemEnabled(int id) const {
    HWND item = impl_->hwnd ? GetDlgItem(impl_->hwnd, id) : nullptr;
    return item != nullptr && IsWindowEnabled(item);
}

void Dialog::ShowItem(int id, bool on) {
    if (HWND item = impl_->hwnd ? GetDlgItem(impl_->hwnd, id) : nullptr)
        ShowWindow(item, on ? SW_SHOW : SW_HIDE);
}

bool Dialog::IsItemVisible(int id) const {
    HWND item = impl_->hwnd ? GetDlgItem(impl_->hwnd, id) : nullptr;
    return item != nullptr && (GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Dialog::SetItemText(int id, const std::string& text) {
    if (impl_->hwnd != nullptr) SetDlgItemTextA(impl_->hwnd, id, text.c_str());
}

std::string Dialog::GetItemText(int id) const {
    HWND item = impl_->hwnd ? GetDlgItem(impl_->hwnd, id) : nullptr;
    if (item == nullptr) return {};
    char buffer[512] = {};
    GetWindowTextA(item, buffer, sizeof buffer);
    return buffer;
}

void Dialog::ShowMessageBox(const std::string& text, const std::string& caption) {
    MessageBoxA(impl_->hwnd, text.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

bool CanShowDialogs() {
    return true;
}

namespace {

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG:
            dialog = reinterpret_cast<Dialog*>(lParam);
            SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
            dialog->impl()->hwnd = hwnd;
            dialog->DoDataExchange();
            return dialog->OnInitDialog() ? TRUE : FALSE;
        case WM_COMMAND: {
            if (dialog == nullptr) return FALSE;
            const int id = LOWORD(wParam);
            const WORD code = HIWORD(wParam);
            // Enter (the default button) and Escape or the close box arrive as IDOK and IDCANCEL.
            if (id == IDOK && code == BN_CLICKED) {
                dialog->OnOK();
                return TRUE;
            }
            if (id == IDCANCEL && code == BN_CLICKED) {
                dialog->OnCancel();
                return TRUE;
            }
            bool known = false;
            const Notification what = CommandNotification(code, known);
            if (known && lParam != 0) dialog->OnCommand(id, what);
            return TRUE;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (dialog == nullptr || header == nullptr || header->code != UDN_DELTAPOS) return FALSE;
            const auto* updown = reinterpret_cast<const NMUPDOWN*>(lParam);
            const intptr_t result =
                dialog->OnSpinStep(SpinStep{static_cast<int>(header->idFrom), updown->iDelta});
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
        case WM_DRAWITEM: {
            const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (dialog == nullptr || draw == nullptr || draw->CtlType != ODT_COMBOBOX) return FALSE;
            auto* list = dynamic_cast<ComboBox*>(dialog->BoundControl(static_cast<int>(draw->CtlID)));
            if (list == nullptr) return FALSE;
            DcPainter painter(draw->hDC);
            const RECT& r = draw->rcItem;
            list->DrawItem(DrawItemInfo{static_cast<int>(draw->itemID), (draw->itemState & ODS_SELECTED) != 0,
                                        Rect{r.left, r.top, r.right, r.bottom}, &painter});
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

}  // namespace zb::ui
