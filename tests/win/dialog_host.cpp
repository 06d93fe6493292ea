// Drives the real settings dialog through the DLL's ConfigDialog export, as a host shows it: the
// DLL loaded by zbhost's loader, ConfigDialog called on the main thread, and a second thread that
// finds the "BiSS Settings" window and plays the user with window messages (typed characters, list
// picks, Auto and Combine clicks, spin steps, arrow clicks, OK or Cancel). The settings words
// written back into the host record are checked as a host stores them.
// Needs a display: run by scripts/dialog-test.sh under Xvfb. Environment for the screenshot:
// ZB_DIALOG_READY (a file created once the first dialog shows its edited values) and ZB_DIALOG_GO
// (a file the host waits for before pressing OK), both as Unix paths.
#include <windows.h>
// The common controls header needs <windows.h> first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "abi/host_record.h"
#include "dialog/dialog_template.h"
#include "plugin_library.h"

namespace {

using zb::ItemId;
using zb::ui::ItemKind;

bool FileExists(const char* unixPath) {
    return GetFileAttributesA((std::string("Z:") + unixPath).c_str()) != INVALID_FILE_ATTRIBUTES;
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
    HWND Item(ItemId id) const { return GetDlgItem(dialog_, zb::Id(id)); }
    std::string Text(ItemId id) const {
        char buffer[256] = {};
        SendMessageA(Item(id), WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
        return buffer;
    }
    bool Enabled(ItemId id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    void Focus(ItemId id) { SendMessageA(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE); }
    // Focus the edit, select all and type, character by character, through the edit's filter.
    void Type(ItemId id, const char* chars) {
        Focus(id);
        SendMessageA(Item(id), EM_SETSEL, 0, -1);
        for (const char* c = chars; *c; ++c)
            SendMessageA(Item(id), WM_CHAR, static_cast<unsigned char>(*c), 1);
    }
    void SetText(ItemId id, const char* text) {
        SendMessageA(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
    void Pick(ItemId id, int index) {
        SendMessageA(Item(id), CB_SETCURSEL, index, 0);
        SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(zb::Id(id), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Item(id)));
    }
    int Selection(ItemId id) const { return static_cast<int>(SendMessageA(Item(id), CB_GETCURSEL, 0, 0)); }
    void Click(ItemId id) { SendMessageA(Item(id), BM_CLICK, 0, 0); }
    LRESULT Step(ItemId id, int delta) {
        NMUPDOWN n{};
        n.hdr.hwndFrom = Item(id);
        n.hdr.idFrom = static_cast<UINT_PTR>(zb::Id(id));
        n.hdr.code = UDN_DELTAPOS;
        n.iDelta = delta;
        // The dialog procedure's DWLP_MSGRESULT comes back as SendMessage's result. Read from this
        // thread afterwards, the window word could already hold the result of a later message (a
        // repaint under load).
        return SendMessageA(dialog_, WM_NOTIFY, static_cast<WPARAM>(zb::Id(id)),
                            reinterpret_cast<LPARAM>(&n));
    }
    // A real mouse click on the upper or lower arrow of a spin: the control itself sends the step.
    void ClickArrow(ItemId id, bool up) {
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

uint32_t Word(const zb::HostRecord& r, size_t index) {
    uint32_t v;
    std::memcpy(&v, r.decoderWords + 4 * index, 4);
    return v;
}

class SettingsDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(plugin_.Load(ZB_PLUGIN_PATH, error)) << error;
    }
    // Runs ConfigDialog on the record while `play` drives the window from a second thread.
    bool Run(const std::function<void(User&)>& play) {
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
        plugin_.Exports().ConfigDialog(&record_);
        driver.join();
        return found;
    }

    zbhost::PluginLibrary plugin_;
    zb::HostRecord record_{};
};

TEST_F(SettingsDialog, EditedValuesAreStoredOnOkAndABadCrcIsRefused) {
    record_.captureChannelCount = 16;
    ASSERT_TRUE(Run([](User& u) {
        // Every item with an id, made from the resource with the window class of its kind.
        for (const zb::ui::ItemTemplate& item : zb::kSettingsItems) {
            if (item.id == zb::ui::kNoId) continue;
            char cls[64] = {};
            GetClassNameA(u.Item(static_cast<ItemId>(item.id)), cls, sizeof cls);
            const bool button = item.kind == ItemKind::CheckBox || item.kind == ItemKind::PushButton ||
                                item.kind == ItemKind::DefaultButton;
            const char* want = button                         ? "Button"
                               : item.kind == ItemKind::Label ? "Static"
                               : item.kind == ItemKind::Edit  ? "Edit"
                               : item.kind == ItemKind::Spin  ? "msctls_updown32"
                                                              : "ComboBox";
            EXPECT_EQ(_stricmp(cls, want), 0) << item.id << " " << cls;
        }
        EXPECT_EQ(u.Text(ItemId::Length), "12");
        EXPECT_EQ(u.Selection(ItemId::Mode), 2);
        EXPECT_FALSE(u.Enabled(ItemId::Length)) << "Auto is on";
        EXPECT_EQ(u.Text(ItemId::MultiTurnBits), "4 bits");

        u.Type(ItemId::MaEdit, "x3q");  // only the digit gets through
        u.Type(ItemId::SloEdit, "99");
        u.Focus(ItemId::Mode);  // focus loss tidies the SLO text to the highest channel
        EXPECT_EQ(u.Text(ItemId::MaEdit), "3");
        EXPECT_EQ(u.Text(ItemId::SloEdit), "15");

        u.Click(ItemId::Auto);
        EXPECT_TRUE(u.Enabled(ItemId::Length) && u.Enabled(ItemId::LengthSpin));
        EXPECT_EQ(u.Step(ItemId::LengthSpin, 4), 1) << "a spin step is answered as handled";
        EXPECT_EQ(u.Text(ItemId::Length), "16");
        u.Step(ItemId::AlignmentSpin, 2);
        u.Click(ItemId::Combine);
        u.Step(ItemId::SloPhaseSpin, -3);
        u.Step(ItemId::MaSpin, -10);
        u.Step(ItemId::MaSpin, 5);
        EXPECT_EQ(u.Text(ItemId::MaEdit), "5");
        u.Pick(ItemId::DataChannel, 1);
        u.Pick(ItemId::CdsColour, 11);
        u.Pick(ItemId::Protocol, 1);
        u.Pick(ItemId::To, 3);
        u.SetText(ItemId::CrcPolynomial, "abc");
        u.Pick(ItemId::Mode, 1);  // register access forces the CRC (4 bits, 13)...
        u.Pick(ItemId::Mode, 2);  // ...and leaving it keeps the forced texts
        u.SetText(ItemId::CrcPolynomial, "ABC");

        if (const char* ready = std::getenv("ZB_DIALOG_READY")) {
            HANDLE f = CreateFileA((std::string("Z:") + ready).c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, 0, nullptr);
            if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
            const char* go = std::getenv("ZB_DIALOG_GO");
            for (int waited = 0; go != nullptr && waited < 60000 && !FileExists(go); waited += 100)
                Sleep(100);
        }
        u.Click(ItemId::Ok);
    }));
    EXPECT_EQ(record_.dialogResult, 1u);
    EXPECT_EQ(record_.settingsState, 9);
    EXPECT_EQ(record_.decoderChannelCount, 2u);
    EXPECT_EQ(record_.channelTable[0], 5u);
    EXPECT_EQ(record_.channelTable[1], 15u);
    // Range to cursor B, SCD, 16 bits, two data channels, Combine, no Auto; colour slot 2 = 11;
    // slot 8 and the phase -3; single-turn 8, the CRC forced by the register mode with the typed
    // polynomial, alignment 2, BiSS-B.
    const uint32_t words[] = {(3u << 4) | (2u << 8) | (16u << 12) | (1u << 24) | (1u << 28),
                              (11u << 8) | (5u << 12) | (5u << 16) | (5u << 20) | (7u << 28),
                              0x80000000u | (3u << 24) | 13u,
                              8,
                              4,
                              0xABC,
                              0,
                              2,
                              1};
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(Word(record_, i), words[i]) << "word " << i;

    const zb::HostRecord before = record_;
    ASSERT_TRUE(Run([](User& u) {
        EXPECT_EQ(u.Text(ItemId::Length), "16");
        EXPECT_EQ(u.Text(ItemId::SloPhase), "-3");
        u.SetText(ItemId::CrcPolynomial, "0x13");
        PostMessageA(u.Item(ItemId::Ok), BM_CLICK, 0, 0);  // the message box blocks the dialog's thread
        HWND box = WaitForWindow("ZbBiSS64", 10000);
        ASSERT_NE(box, nullptr) << "a message box appears";
        char message[256] = {};
        GetDlgItemTextA(box, 0xFFFF, message, sizeof message);
        EXPECT_STREQ(message, "CRC Polynomial must be a hexadecimal value (0-9, A-F).");
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        for (int waited = 0; waited < 5000 && IsWindow(box); waited += 50) Sleep(50);
        Sleep(100);
        EXPECT_EQ(u.FocusedWindow(), u.Item(ItemId::CrcPolynomial));
        u.ClickArrow(ItemId::LengthSpin, true);
        EXPECT_EQ(u.Text(ItemId::Length), "17");
        u.ClickArrow(ItemId::SloPhaseSpin, false);
        u.ClickArrow(ItemId::SloSpin, true);
        EXPECT_EQ(u.Text(ItemId::SloEdit), "15") << "the SLO spin stays at the last channel";
        u.Click(ItemId::Cancel);
    }));
    EXPECT_EQ(record_.dialogResult, 2u);
    EXPECT_EQ(std::memcmp(record_.decoderWords, before.decoderWords, sizeof before.decoderWords), 0)
        << "Cancel leaves the settings words as they were";
}

}  // namespace
