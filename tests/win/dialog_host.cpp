// Drives the real settings dialog through the DLL's ConfigDialog export, as a host would show it:
// a host record laid out byte by byte (win_host.h), ConfigDialog called on the main thread, and a
// second thread that finds the "BiSS Settings" window and plays the user with window messages
// (typed characters, list picks, Auto and Combine clicks, spin steps, OK or Cancel). The settings
// written back into the record are checked byte by byte.
// Needs a display: without DISPLAY it exits with 77 (skipped). Environment for screenshots:
// ZB_DIALOG_READY (a file created once the first dialog shows its edited values) and
// ZB_DIALOG_GO (a file the host waits for before pressing OK), both as Unix paths.
#include <windows.h>
// The common controls header needs <windows.h> first.
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "win/win_host.h"

namespace {

using namespace zbwin;

using Record = RecordBuffer;

using ConfigDialogFn = void(__stdcall*)(void*);

std::string WindowsPath(const char* unixPath) {
    return std::string("Z:") + unixPath;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

HWND WaitForWindow(const char* title, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (HWND w = FindWindowA("#32770", title)) {
            if (IsWindowVisible(w)) return w;
        }
        Sleep(50);
    }
    return nullptr;
}

// The user's part, played from the second thread.
class User {
  public:
    explicit User(HWND dialog) : dialog_(dialog) {}
    HWND Item(int id) const { return GetDlgItem(dialog_, id); }
    std::string Text(int id) const {
        char buffer[256] = {};
        SendMessageA(Item(id), WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
        return buffer;
    }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    void Focus(int id) { SendMessageA(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE); }
    // Focus the edit, select all and type, character by character, through the edit's filter.
    void Type(int id, const char* chars) {
        Focus(id);
        SendMessageA(Item(id), EM_SETSEL, 0, -1);
        for (const char* c = chars; *c; ++c)
            SendMessageA(Item(id), WM_CHAR, static_cast<unsigned char>(*c), 1);
    }
    void SetText(int id, const char* text) {
        SendMessageA(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
    void Pick(int id, int index) {
        SendMessageA(Item(id), CB_SETCURSEL, index, 0);
        SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(id)));
    }
    int Selection(int id) const { return static_cast<int>(SendMessageA(Item(id), CB_GETCURSEL, 0, 0)); }
    void Click(int id) { SendMessageA(Item(id), BM_CLICK, 0, 0); }
    void PostClick(int id) { PostMessageA(Item(id), BM_CLICK, 0, 0); }
    LRESULT Step(int id, int delta) {
        NMUPDOWN n{};
        n.hdr.hwndFrom = Item(id);
        n.hdr.idFrom = static_cast<UINT_PTR>(id);
        n.hdr.code = UDN_DELTAPOS;
        n.iDelta = delta;
        // The dialog procedure's DWLP_MSGRESULT comes back as SendMessage's result. Read from this
        // thread afterwards, the window word could already hold the result of a later message (a
        // repaint under load).
        return SendMessageA(dialog_, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&n));
    }
    // A real mouse click on the upper or lower arrow of a spin: the control itself sends the step.
    void ClickArrow(int id, bool up) {
        RECT rc{};
        GetClientRect(Item(id), &rc);
        const LPARAM at = MAKELPARAM(rc.right / 2, up ? rc.bottom / 4 : rc.bottom * 3 / 4);
        SendMessageA(Item(id), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(Item(id), WM_LBUTTONUP, 0, at);
    }
    HWND FocusedWindow() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(dialog_, nullptr), &info);
        return info.hwndFocus;
    }

  private:
    HWND dialog_;
};

// Runs ConfigDialog on the record while `play` drives the window from a second thread.
bool RunDialog(ConfigDialogFn configDialog, Record& record, const std::function<void(User&)>& play) {
    std::atomic<bool> found{false};
    std::thread driver([&] {
        HWND dialog = WaitForWindow("BiSS Settings", 30000);
        if (dialog == nullptr) return;
        found = true;
        User user(dialog);
        play(user);
        // Whatever happened, do not leave the dialog open.
        Sleep(200);
        if (IsWindow(dialog)) PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    configDialog(record.data());
    driver.join();
    return found;
}

void FirstRunPressesOk(ConfigDialogFn configDialog, Record& record) {
    record.Put32(kCaptureChannelCount, 16);
    const bool shown = RunDialog(configDialog, record, [](User& u) {
        Check(u.Text(9020) == "12" && u.Text(9027) == "8" && u.Text(9041) == "43", "opens with the defaults");
        Check(u.Selection(9014) == 2, "mode Single Cycle Data selected");
        Check(!u.Enabled(9020), "Auto is on: the length edit is disabled");
        Check(u.Text(9022) == "(Range: 1 ~ 64)" && u.Text(9030) == "4 bits", "hints");

        u.Type(9010, "x3q");  // only the digit gets through
        u.Type(9012, "99");
        u.Focus(9014);  // focus loss tidies the SLO text to the highest channel
        Check(u.Text(9010) == "3", "MA typed through the filter: " + u.Text(9010));
        Check(u.Text(9012) == "15", "SLO tidied to the last channel: " + u.Text(9012));

        u.Click(9031);  // Auto off
        Check(u.Enabled(9020) && u.Enabled(9021), "Auto off enables the length");
        Check(u.Step(9021, 4) == 1, "a spin step is answered as handled");
        Check(u.Text(9020) == "16", "length stepped to 16: " + u.Text(9020));
        u.Step(9024, 2);
        Check(u.Text(9024 - 1) == "2", "alignment stepped to 2");
        u.Click(9025);  // Combine
        Check(!u.Enabled(9027) && !u.Enabled(9028) && !u.Enabled(9030), "Combine disables single-turn");
        Check(u.Text(9030) == "6 bits", "multi-turn hint after Combine: " + u.Text(9030));
        u.Step(9054, -3);
        Check(u.Text(9053) == "-3", "phase stepped to -3");
        u.Step(9011, -10);
        Check(u.Text(9010) == "0", "MA spin stops at 0");
        u.Step(9011, 5);
        Check(u.Text(9010) == "5", "MA spin steps to 5");
        u.Pick(9015, 1);
        u.Pick(9062, 11);
        u.Pick(9050, 1);
        u.Pick(9071, 3);
        u.SetText(9041, "abc");
        u.Pick(9014, 1);  // register access forces the CRC...
        Check(!u.Enabled(9040) && u.Text(9041) == "13" && u.Selection(9040) == 3,
              "register mode forces the CRC");
        u.Pick(9014, 2);  // ...and leaving it keeps the forced texts
        Check(u.Enabled(9040) && u.Text(9041) == "13", "back in SCD the CRC is editable again");
        u.SetText(9041, "ABC");

        if (const char* ready = std::getenv("ZB_DIALOG_READY")) {
            HANDLE f =
                CreateFileA(WindowsPath(ready).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
            if (const char* go = std::getenv("ZB_DIALOG_GO")) {
                for (int waited = 0; waited < 60000 && !FileExists(WindowsPath(go)); waited += 100)
                    Sleep(100);
            }
        }
        u.Click(1);
    });
    Check(shown, "the dialog window appeared");
    Check(record.U32(kDialogResult) == 1, "OK gives dialogResult 1");
    Check(record.U16(kSettingsState) == 9, "settingsState 9");
    Check(record.U32(kDecoderChannelCount) == 2, "decoderChannelCount 2");
    Check(record.U32(kChannelTable) == 5 && record.U32(kChannelTable + 4) == 15, "channels 5 and 15");
    // rangeTo 3, mode 2, length 16, value type 0, one more data channel, Combine, no Auto, 8 columns.
    const uint32_t option = (3u << 4) | (2u << 8) | (16u << 12) | (1u << 24) | (1u << 28);
    char text[64];
    std::snprintf(text, sizeof text, "option word %08X, want %08X", record.U32(kOptionWord), option);
    Check(record.U32(kOptionWord) == option, text);
    const uint32_t colours = (11u << 8) | (5u << 12) | (5u << 16) | (5u << 20) | (7u << 28);
    Check(record.U32(kColourWord) == colours, "colour word");
    Check(record.U32(kAuxWord) == (0x80000000u | (3u << 24) | 13u), "slot 8 and phase -3");
    Check(record.U32(kSingleTurnBits) == 8, "single-turn 8");
    Check(record.U32(kCrcBits) == 4, "CRC bits as forced by the register mode");
    Check(record.U32(kCrcPolynomial) == 0xABC, "polynomial ABC");
    Check(record.U32(kCrcInitial) == 0, "initial value 0");
    Check(record.U32(kAlignmentBits) == 2, "alignment 2");
    Check(record.U32(kProtocol) == 1, "BiSS-B");
}

void SecondRunRefusesBadCrcThenCancels(ConfigDialogFn configDialog, Record& record) {
    const Record before = record;
    const bool shown = RunDialog(configDialog, record, [](User& u) {
        Check(u.Text(9020) == "16" && u.Text(9023) == "2" && u.Text(9053) == "-3",
              "reopens with the stored values");
        u.SetText(9041, "0x13");
        u.PostClick(1);  // the message box blocks the dialog's thread: post, do not send
        HWND box = WaitForWindow("ZbBiSS64", 10000);
        Check(box != nullptr, "a message box appears");
        if (box != nullptr) {
            char message[256] = {};
            GetDlgItemTextA(box, 0xFFFF, message, sizeof message);
            Check(std::strcmp(message, "CRC Polynomial must be a hexadecimal value (0-9, A-F).") == 0,
                  std::string("message text: ") + message);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            for (int waited = 0; waited < 5000 && IsWindow(box); waited += 50) Sleep(50);
            Sleep(100);
            Check(u.FocusedWindow() == u.Item(9041), "focus on the polynomial edit");
        }
        u.ClickArrow(9021, true);
        Check(u.Text(9020) == "17", "the up arrow of the length spin adds one: " + u.Text(9020));
        u.ClickArrow(9054, false);
        Check(u.Text(9053) == "-4", "the down arrow of the phase spin takes one: " + u.Text(9053));
        u.ClickArrow(9013, true);
        Check(u.Text(9012) == "15", "the SLO spin stays at the last channel: " + u.Text(9012));
        u.Click(2);
    });
    Check(shown, "the dialog window appeared again");
    Check(record.U32(kDialogResult) == 2, "Cancel gives dialogResult 2");
    Check(std::memcmp(record.data() + kOptionWord, before.data() + kOptionWord, 128) == 0,
          "Cancel leaves the settings words as they were");
}

}  // namespace

int main(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    if (argc >= 2 && (display == nullptr || *display == '\0')) {
        std::printf("dialog_host: no display, skipped (run scripts/dialog-test.sh)\n");
        return kExitSkipped;
    }
    PluginDll plugin;
    const int loaded = plugin.LoadFromCommandLine(argc, argv, "dialog_host");
    if (loaded != kExitPassed) return loaded;
    const auto configDialog = plugin.Export<ConfigDialogFn>("ConfigDialog");
    if (configDialog == nullptr) {
        std::printf("FAIL: no ConfigDialog export\n");
        return kExitFailed;
    }
    Record record;
    FirstRunPressesOk(configDialog, record);
    SecondRunRefusesBadCrcThenCancels(configDialog, record);
    plugin.Free();
    return Finish("dialog_host");
}
