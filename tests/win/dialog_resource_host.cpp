// Checks the DLL's resources as a host finds them: dialog 9001 in English (US), Chinese
// (Traditional) and Chinese (Simplified), each an extended dialog template with the caption, size,
// font, style and the 68 items of the dialog's item list; and the 96 x 64, 24-bit bitmap 9000.
// Also calls ConfigDialog with no host record (it must do nothing). Exits 0 when all is well.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "win/win_host.h"

namespace {

using namespace zbwin;

struct Item {
    int id;
    const char* windowClass;
    const char* caption;
    int x, y, w, h;
    uint32_t style;
};

#define ZB_CLASS_GroupBox "Button"
#define ZB_CLASS_Label "Static"
#define ZB_CLASS_Edit "Edit"
#define ZB_CLASS_Spin "msctls_updown32"
#define ZB_CLASS_DropList "ComboBox"
#define ZB_CLASS_ColourList "ComboBox"
#define ZB_CLASS_CheckBox "Button"
#define ZB_CLASS_PushButton "Button"
#define ZB_CLASS_DefaultButton "Button"
#define ZB_ITEM(name, id, kind, caption, x, y, w, h, style) {id, ZB_CLASS_##kind, caption, x, y, w, h, style},
#define ZB_STATIC(kind, caption, x, y, w, h, style) {-1, ZB_CLASS_##kind, caption, x, y, w, h, style},
const Item kItems[] = {
#include "../../src/dialog/dialog_items.inc"
};
#undef ZB_ITEM
#undef ZB_STATIC

// Reads the extended dialog template (DLGTEMPLATEEX) field by field.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool ok() const { return ok_; }
    uint16_t U16() {
        uint16_t v = 0;
        Take(&v, 2);
        return v;
    }
    uint32_t U32() {
        uint32_t v = 0;
        Take(&v, 4);
        return v;
    }
    int16_t I16() { return static_cast<int16_t>(U16()); }
    // A string or ordinal field: 0 = none, FFFF + ordinal, else a NUL-terminated UTF-16 string.
    std::string SzOrOrdinal(uint16_t* ordinal = nullptr) {
        const uint16_t first = U16();
        if (first == 0xFFFF) {
            const uint16_t value = U16();
            if (ordinal) *ordinal = value;
            return "#" + std::to_string(value);
        }
        std::string s;
        for (uint16_t c = first; c != 0 && ok_; c = U16()) s += static_cast<char>(c < 128 ? c : '?');
        return s;
    }
    void AlignDword(const uint8_t* base) {
        while ((p_ - base) % 4 != 0 && p_ < end_) ++p_;
    }
    void Skip(size_t n) {
        if (static_cast<size_t>(end_ - p_) < n) {
            ok_ = false;
            p_ = end_;
        } else {
            p_ += n;
        }
    }

  private:
    void Take(void* out, size_t n) {
        if (static_cast<size_t>(end_ - p_) < n) {
            ok_ = false;
            return;
        }
        std::memcpy(out, p_, n);
        p_ += n;
    }
    const uint8_t* p_;
    const uint8_t* end_;
    bool ok_ = true;
};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

// Predefined window classes are stored as ordinals.
std::string ClassName(const std::string& stored) {
    if (stored == "#128") return "button";
    if (stored == "#129") return "edit";
    if (stored == "#130") return "static";
    if (stored == "#133") return "combobox";
    return Lower(stored);
}

void CheckDialog(HMODULE module, WORD language) {
    const std::string lang = "language " + std::to_string(language) + ": ";
    HRSRC found =
        FindResourceExA(module, reinterpret_cast<LPCSTR>(RT_DIALOG), MAKEINTRESOURCEA(9001), language);
    Check(found != nullptr, lang + "dialog 9001 exists");
    if (found == nullptr) return;
    const DWORD size = SizeofResource(module, found);
    const auto* base = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    Reader r(base, size);
    const uint16_t version = r.U16();
    const uint16_t signature = r.U16();
    Check(version == 1 && signature == 0xFFFF, lang + "extended template");
    r.U32();  // help id
    Check(r.U32() == 0, lang + "no extended style");
    Check(r.U32() == 0x80C800C8u, lang + "dialog style 80C800C8");
    const uint16_t count = r.U16();
    Check(count == 68, lang + "68 items, got " + std::to_string(count));
    const int dx = r.I16(), dy = r.I16(), dw = r.I16(), dh = r.I16();
    Check(dx == 0 && dy == 0 && dw == 400 && dh == 336, lang + "position and size 400 x 336");
    Check(r.SzOrOrdinal().empty(), lang + "no menu");
    Check(r.SzOrOrdinal().empty(), lang + "default window class");
    Check(r.SzOrOrdinal() == "BiSS Settings", lang + "caption");
    Check(r.U16() == 9, lang + "9 point");
    Check(r.U16() == 400, lang + "weight 400");
    r.U16();  // italic and charset
    Check(r.SzOrOrdinal() == "Arial", lang + "font Arial");
    for (uint16_t i = 0; i < count && i < sizeof kItems / sizeof kItems[0] && r.ok(); ++i) {
        const Item& want = kItems[i];
        const std::string at = lang + "item " + std::to_string(i + 1) + " ";
        r.AlignDword(base);
        r.U32();  // help id
        Check(r.U32() == 0, at + "no extended style");
        Check(r.U32() == want.style, at + "style");
        const int x = r.I16(), y = r.I16(), w = r.I16(), h = r.I16();
        Check(x == want.x && y == want.y && w == want.w && h == want.h, at + "position");
        Check(static_cast<int32_t>(r.U32()) == want.id, at + "id");
        Check(ClassName(r.SzOrOrdinal()) == Lower(want.windowClass), at + "class");
        Check(r.SzOrOrdinal() == want.caption, at + "caption");
        r.Skip(r.U16());  // creation data
    }
    Check(r.ok(), lang + "template ends where expected");
}

void CheckBitmap(HMODULE module) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(9000), reinterpret_cast<LPCSTR>(RT_BITMAP));
    Check(found != nullptr, "bitmap 9000 exists");
    if (found == nullptr) return;
    const auto* info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
    Check(info->biWidth == 96 && info->biHeight == 64, "bitmap is 96 x 64");
    Check(info->biBitCount == 24 && info->biCompression == BI_RGB, "bitmap has 24 bits per pixel");
    Check(SizeofResource(module, found) >= sizeof(BITMAPINFOHEADER) + 96 * 3 * 64,
          "bitmap holds every pixel");
}

}  // namespace

int main(int argc, char** argv) {
    PluginDll plugin;
    const int loaded = plugin.LoadFromCommandLine(argc, argv, "dialog_resource_host");
    if (loaded != kExitPassed) return loaded;
    for (WORD language : {WORD{1033}, WORD{1028}, WORD{2052}}) CheckDialog(plugin.Module(), language);
    CheckBitmap(plugin.Module());

    using ConfigDialogFn = void(__stdcall*)(void*);
    const auto configDialog = plugin.Export<ConfigDialogFn>("ConfigDialog");
    Check(configDialog != nullptr, "ConfigDialog is exported");
    if (configDialog) configDialog(nullptr);  // no host record: nothing happens

    plugin.Free();
    return Finish("dialog_resource_host");
}
