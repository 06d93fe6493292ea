// The plug-in's small dialog framework: a dialog run modally from a template, controls bound to its
// items by id, and thin control classes with the operations the settings dialog needs. One half
// drives real Win32 windows (ui/win32), the other keeps every control value in memory (ui/headless)
// so the dialog logic runs and is tested without a window system. Nothing here includes <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zb::ui {

constexpr int kNoId = -1;     // a static item without an id of its own
constexpr int kIdOk = 1;      // the dialog's OK button
constexpr int kIdCancel = 2;  // the dialog's Cancel button

enum class ItemKind {
    GroupBox,
    Label,
    Edit,
    Spin,
    DropList,
    ColourList,
    CheckBox,
    PushButton,
    DefaultButton
};

// Window style bits the logic looks at (the template stores the full style words).
namespace Style {
constexpr uint32_t kVisible = 0x10000000;
constexpr uint32_t kDisabled = 0x08000000;
constexpr uint32_t kTabStop = 0x00010000;
constexpr uint32_t kDropDownList = 0x0003;
constexpr uint32_t kOwnerDrawFixed = 0x0010;
constexpr uint32_t kEditNumber = 0x2000;
}  // namespace Style

struct ItemTemplate {
    int id;
    ItemKind kind;
    const char* caption;
    int x, y, width, height;  // dialog units
    uint32_t style;
};

struct DialogTemplate {
    int resourceId;
    const char* caption;
    int width, height;  // dialog units
    const char* fontName;
    int pointSize;
    int weight;
    uint32_t style;
    const ItemTemplate* items;
    size_t itemCount;
};

enum class DialogResult : int { Failed = -1, Ok = 1, Cancel = 2 };
enum class Notification { Clicked, SelectionChanged, TextChanged };
enum class SysColour { Highlight, Window };

struct Rect {
    int left, top, right, bottom;
};

// What an owner-drawn item may paint with; the Win32 half wraps a device context.
class Painter {
  public:
    virtual ~Painter() = default;
    virtual uint32_t SysColor(SysColour which) = 0;
    virtual void FillSolidRect(const Rect& r, uint32_t colour) = 0;
    // A rectangle outlined with a solid pen and filled with a solid brush, drawn with a transparent
    // background mode; pen, brush and mode are restored afterwards.
    virtual void Rectangle(const Rect& r, uint32_t penColour, int penWidth, uint32_t brushColour) = 0;
};

struct DrawItemInfo {
    int itemId;  // -1 for the selection field of a list without a selection
    bool selected;
    Rect rect;
    Painter* painter;
};

// One step of a spin button: the item id of the spin and its signed step (toward the upper end of
// the range when positive).
struct SpinStep {
    int id;
    int delta;
};

class Dialog;

// A control bound to one dialog item. Every operation on an unbound control does nothing and reads
// as empty, zero or false.
class Control {
  public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    int Id() const { return id_; }
    bool IsWindow() const { return handle_ != nullptr; }
    std::string GetText() const;
    void SetText(const std::string& text);
    void Enable(bool on);
    bool IsEnabled() const;
    void Show(bool on);
    bool IsVisible() const;
    void SetFocus();
    uint32_t GetStyle() const;

  protected:
    friend class Dialog;
    friend struct DialogAccess;
    Dialog* owner_ = nullptr;
    int id_ = kNoId;
    void* handle_ = nullptr;  // the window (Win32) or the item's stored values (headless)
};

class Edit : public Control {
  public:
    // Start of the current selection, which is the caret position when nothing is selected.
    int GetSelStart() const;
    // A typed character: true lets the edit handle it, false drops it.
    virtual bool OnChar(unsigned ch) {
        (void)ch;
        return true;
    }
    // The edit is losing the focus; the edit's own handling follows.
    virtual void OnKillFocus() {}
};

class ComboBox : public Control {
  public:
    void ResetContent();
    int AddString(const std::string& text);  // index of the new item, -1 on failure
    int GetCount() const;
    int SetCurSel(int index);  // an index the list lacks clears the selection; returns -1 then
    int GetCurSel() const;     // -1 when nothing is selected
    // Owner-drawn lists paint their items here.
    virtual void DrawItem(const DrawItemInfo& info) { (void)info; }
};

class Button : public Control {
  public:
    void SetCheck(bool checked);
    bool GetCheck() const;
};

class Static : public Control {};

class Spin : public Control {
  public:
    void SetRange32(int lower, int upper);
    void GetRange32(int& lower, int& upper) const;
    void SetPos(int16_t pos);
    int GetPos32() const;
};

// A modal dialog made from a template. Derived classes bind their members in DoDataExchange and
// react to the events of their items.
class Dialog {
  public:
    explicit Dialog(const DialogTemplate& tmpl);
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    virtual ~Dialog();

    // Creates the window from the template, runs it until EndDialog and returns its result.
    DialogResult DoModal();
    void EndDialog(DialogResult result);
    bool HasWindow() const;
    const DialogTemplate& Template() const { return tmpl_; }

    // Items by id, for the ones without a member of their own.
    bool HasItem(int id) const;
    void EnableItem(int id, bool on);
    bool IsItemEnabled(int id) const;
    void ShowItem(int id, bool on);
    bool IsItemVisible(int id) const;
    void SetItemText(int id, const std::string& text);
    std::string GetItemText(int id) const;

    // A modal message box with an OK button only.
    void ShowMessageBox(const std::string& text, const std::string& caption);

    // Event entry points, called by the framework half.
    virtual bool OnInitDialog() { return true; }
    virtual void DoDataExchange() {}
    virtual void OnCommand(int id, Notification what) {
        (void)id;
        (void)what;
    }
    // Returns the notification result (1 keeps the spin from moving by itself).
    virtual intptr_t OnSpinStep(const SpinStep& step) {
        (void)step;
        return 0;
    }
    virtual void OnOK() { EndDialog(DialogResult::Ok); }
    virtual void OnCancel() { EndDialog(DialogResult::Cancel); }

    // Called by the framework: binds a control member to the item with this id (DDX_Control).
    bool Bind(int id, Control& control);
    Control* BoundControl(int id) const;

    struct Impl;
    Impl* impl() const { return impl_.get(); }

  private:
    const DialogTemplate& tmpl_;
    std::vector<Control*> bound_;
    std::unique_ptr<Impl> impl_;
};

// True when a dialog can actually be shown to a user (Win32 always; headless only while a test has
// installed a modal driver).
bool CanShowDialogs();

}  // namespace zb::ui
