// The settings dialog, headless, driven by the scripts in tests/dialog/: each script is a list of
// cases, each case a settings block prepared, the dialog opened on it and played by the user, with
// what the dialog shows and what it stored printed under the commands that ask for it. The runner
// replays every command and compares the whole transcript with the script (a unified diff on a
// mismatch; ZB_UPDATE_GOLDEN=1 rewrites the printed lines after a deliberate change).
//
//   case TITLE               a fresh block (zero, never initialised), context and dialog
//   defaults                 the block takes the defaults
//   set FIELD VALUE          a field of the block (see Fields(); ColourSlotK, ChannelK)
//   directory TEXT           the host named a temporary directory (message 0)
//   open                     opens the dialog on the block
//   run                      runs the dialog as ConfigDialog does, with no user to show it to
//   paste|type ITEM TEXT     replaces an edit's text / types it through the character filter
//   caret ITEM START END     places the caret or a selection in an edit
//   select ITEM INDEX, click ITEM, focus ITEM
//   step ITEM DELTA          a spin step; prints the dialog's answer
//   show ITEM...             prints each item: text, selection, check, spin range, disabled, hidden
//   lists ITEM...            prints a list's items
//   draw ITEM INDEX sel|-    prints what the owner-drawn list paints for the item
//   state                    prints open or the result, and the focus
//   disabled, hidden         prints the names of the items that are disabled / hidden
//   stored [FIELD...]        prints fields of the block (all of them without names)
//   modal ... end            runs the dialog as ConfigDialog does, the commands inside as its user
//
// ITEM is a name of dialog_items.inc; TEXT may be quoted ("" is empty; \t \b \" \\ escape). A message
// box that a command shows is printed under it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "abi/host_record.h"
#include "dialog/config_dialog.h"
#include "dialog/dialog_template.h"
#include "dialog/settings_dialog.h"
#include "platform/ui/headless/headless_ui.h"
#include "support/golden_file.h"

namespace zbtest {
namespace {

namespace headless = zb::ui::headless;
using zb::DecoderSettings;
using zb::SettingsView;
using zb::ui::ItemKind;

// ---- Names ----------------------------------------------------------------------------------

struct ItemName {
    const char* name;
    int id;
};
#define ZB_ITEM(name, id, ...) {#name, id},
#define ZB_STATIC(...)
const ItemName kItemNames[] = {
#include "dialog/dialog_items.inc"
};
#undef ZB_ITEM
#undef ZB_STATIC

int ItemId(const std::string& name) {
    for (const ItemName& n : kItemNames) {
        if (name == n.name) return n.id;
    }
    ADD_FAILURE() << "no item " << name;
    return zb::ui::kNoId;
}

std::string ItemNameOf(int id) {
    for (const ItemName& n : kItemNames) {
        if (id == n.id) return n.name;
    }
    return std::to_string(id);
}

// A field of the block, read through the settings view or taken as the host wrote it.
struct Field {
    std::string name;
    std::function<int64_t(SettingsView)> get;
    std::function<void(SettingsView, int64_t)> set;
    bool hex = false;
};

// clang-format off
#define ZB_VIEW(name, get, set, ...) {#name, [](SettingsView v) -> int64_t { return v.get(); }, \
    [](SettingsView v, int64_t x) { v.set(x); }, ##__VA_ARGS__}
#define ZB_HOST(name, member, ...) {#name, [](SettingsView v) -> int64_t { return v.Block()->member; }, \
    [](SettingsView v, int64_t x) { v.Block()->member = static_cast<decltype(v.Block()->member)>(x); }, ##__VA_ARGS__}
#define ZB_SAME(name, ...) ZB_VIEW(name, name, Set##name, ##__VA_ARGS__)  // getter and setter named after the field
// clang-format on
const std::vector<Field>& Fields() {
    static const std::vector<Field> fields = [] {
        // clang-format off
        std::vector<Field> f = {
            ZB_SAME(Mode), ZB_SAME(RangeFrom), ZB_SAME(RangeTo), ZB_SAME(DataLength), ZB_SAME(AutoLength),
            ZB_SAME(DetectedLength), ZB_VIEW(ValueType, ValueTypeSetting, SetValueType), ZB_SAME(DataChannels),
            ZB_SAME(CombineTurns), ZB_SAME(RegisterColumns), ZB_SAME(SingleTurnBits),
            ZB_VIEW(AlignmentBits, AlignmentBitsStored, SetAlignmentBits), ZB_SAME(CrcBits),
            ZB_SAME(CrcPolynomial, true), ZB_SAME(CrcInitial, true), ZB_HOST(Protocol, protocol), ZB_SAME(SloPhase),
            ZB_SAME(Version), ZB_HOST(HostFlags, hostFlags, true), ZB_HOST(CaptureChannelCount, captureChannelCount),
            ZB_HOST(SettingsState, settingsState), ZB_HOST(DecoderChannelCount, decoderChannelCount),
            ZB_HOST(DialogAccepted, dialogAccepted),
        };
        // clang-format on
        // Channels are read masked by the view and written as the host stores them.
        for (uint32_t k = 0; k < 2; ++k) {
            f.push_back(
                {"Channel" + std::to_string(k), [k](SettingsView v) -> int64_t { return v.Channel(k); },
                 [k](SettingsView v, int64_t x) { v.Block()->channelTable[k] = static_cast<uint32_t>(x); }});
        }
        for (uint32_t k = 0; k < 9; ++k) {
            f.push_back({"ColourSlot" + std::to_string(k),
                         [k](SettingsView v) -> int64_t { return v.ColourSlot(k); },
                         [k](SettingsView v, int64_t x) { v.SetColourSlot(k, static_cast<uint32_t>(x)); }});
        }
        return f;
    }();
    return fields;
}
#undef ZB_VIEW
#undef ZB_HOST
#undef ZB_SAME

const Field* FieldNamed(const std::string& name) {
    for (const Field& f : Fields()) {
        if (f.name == name) return &f;
    }
    ADD_FAILURE() << "no field " << name;
    return nullptr;
}

// ---- The words of a command line ----------------------------------------------------------------

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        std::string w;
        if (line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    const char e = line[++i];
                    w += e == 't' ? '\t' : e == 'b' ? '\b' : e;
                } else {
                    w += line[i];
                }
            }
            ++i;
        } else {
            while (i < line.size() && line[i] != ' ') w += line[i++];
        }
        words.push_back(w);
    }
    return words;
}

std::string Quoted(const std::string& text) {
    std::string q = "\"";
    for (char c : text)
        q += c == '"' || c == '\\' ? std::string("\\") + c : c == '\t' ? "\\t" : std::string(1, c);
    return q + "\"";
}

// ---- The runner -----------------------------------------------------------------------------

class Script {
  public:
    // The transcript of `lines`: every command line as it stands, the lines it prints indented.
    std::string Run(const std::vector<std::string>& lines) {
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            if (line.compare(0, 2, "  ") == 0) continue;  // printed by the last run
            out_ += line + "\n";
            const std::vector<std::string> w = Words(line);
            if (w.empty() || w[0][0] == '#') continue;
            if (w[0] == "modal") {
                const size_t first = i + 1;
                while (i + 1 < lines.size() && lines[i + 1] != "end") ++i;
                RunModal(std::vector<std::string>(lines.begin() + first, lines.begin() + i + 1));
                if (++i < lines.size()) out_ += lines[i] + "\n";
            } else {
                Do(w, dialog_.get());
            }
        }
        return out_;
    }

  private:
    void Print(const std::string& text) { out_ += "  " + text + "\n"; }

    void Do(const std::vector<std::string>& w, zb::ui::Dialog* d) {
        const std::string& c = w[0];
        auto item = [&](size_t k) { return ItemId(w.at(k)); };
        auto number = [&](size_t k) { return std::stoll(w.at(k), nullptr, 0); };
        if (c == "case") {
            dialog_.reset();
            std::memset(&block_, 0, sizeof block_);
            block_.size = zb::kSettingsBlockSize;
            call_ = zb::CallContext{};
            directory_.clear();
            headless::ClearMessageBoxes();
        } else if (c == "defaults") {
            SettingsView(&block_).ApplyDefaults();
        } else if (c == "set") {
            if (const Field* f = FieldNamed(w.at(1))) f->set(SettingsView(&block_), number(2));
        } else if (c == "directory") {
            directory_ = w.at(1);
            call_.tempDirectory = directory_.c_str();
        } else if (c == "open") {
            dialog_ = std::make_unique<zb::cZbBiSSDlg>(call_, &block_);
            EXPECT_TRUE(headless::Open(*dialog_));
        } else if (c == "run") {
            zb::RunSettingsDialog(call_, block_);
        } else if (c == "stored") {
            Stored(w);
        } else if (d == nullptr) {
            ADD_FAILURE() << c << " before open";
        } else if (c == "disabled" || c == "hidden") {
            std::string names = c + ":";
            for (const ItemName& n : kItemNames) {
                if (c == "disabled" ? !d->IsItemEnabled(n.id) : !d->IsItemVisible(n.id))
                    names += " " + std::string(n.name);
            }
            Print(names);
        } else if (c == "paste" || c == "type") {
            (c == "paste" ? headless::Paste : headless::Type)(*d, item(1), w.size() > 2 ? w[2] : "");
        } else if (c == "caret") {
            headless::SetSelection(*d, item(1), number(2), number(3));
        } else if (c == "select") {
            headless::Select(*d, item(1), number(2));
        } else if (c == "click") {
            headless::Click(*d, item(1));
        } else if (c == "focus") {
            headless::Focus(*d, item(1));
        } else if (c == "step") {
            Print("-> " + std::to_string(headless::Step(*d, item(1), number(2))));
        } else if (c == "show") {
            for (size_t k = 1; k < w.size(); ++k) Print(Show(*d, item(k)));
        } else if (c == "lists") {
            for (size_t k = 1; k < w.size(); ++k) {
                std::string all = w[k] + ":";
                for (const std::string& s : headless::ListItems(*d, item(k))) all += " " + Quoted(s);
                Print(all);
            }
        } else if (c == "draw") {
            for (const std::string& op :
                 headless::Draw(*d, item(1), number(2), w.at(3) == "sel", {0, 0, 60, 16}))
                Print(op);
        } else if (c == "state") {
            const bool open = headless::IsOpen(*d);
            const zb::ui::DialogResult r = headless::Result(*d);
            Print((open                            ? std::string("open")
                   : r == zb::ui::DialogResult::Ok ? "closed with OK"
                                                   : "closed with Cancel") +
                  ", focus " + ItemNameOf(headless::FocusedItem(*d)));
        } else {
            ADD_FAILURE() << "unknown command " << c;
        }
        // A message box shown by the command.
        if (c == "case") boxes_ = 0;
        for (; boxes_ < headless::MessageBoxes().size(); ++boxes_)
            Print("message " + headless::MessageBoxes()[boxes_]);
    }

    std::string Show(zb::ui::Dialog& d, int id) {
        const zb::ui::ItemTemplate* t = nullptr;
        for (const auto& it : zb::kSettingsItems) {
            if (it.id == id) t = &it;
        }
        std::string s = ItemNameOf(id);
        if (t == nullptr || id == zb::ui::kNoId) return s + " ?";
        zb::ui::Control* control = d.BoundControl(id);
        if (t->kind == ItemKind::Edit || t->kind == ItemKind::Label) s += " " + Quoted(d.GetItemText(id));
        if (auto* list = dynamic_cast<zb::ui::ComboBox*>(control))
            s += " sel " + std::to_string(list->GetCurSel());
        if (auto* spin = dynamic_cast<zb::ui::Spin*>(control)) {
            int lo = 0, hi = 0;
            spin->GetRange32(lo, hi);
            s += " range " + std::to_string(lo) + ".." + std::to_string(hi);
        }
        if (t->kind == ItemKind::CheckBox) {
            auto* box = dynamic_cast<zb::ui::Button*>(control);
            s += box != nullptr && box->GetCheck() ? " checked" : " unchecked";
        }
        if (!d.IsItemEnabled(id)) s += " disabled";
        if (!d.IsItemVisible(id)) s += " hidden";
        return s;
    }

    void Stored(const std::vector<std::string>& w) {
        std::vector<const Field*> fields;
        for (size_t k = 1; k < w.size(); ++k) fields.push_back(FieldNamed(w[k]));
        if (w.size() == 1) {
            for (const Field& f : Fields()) fields.push_back(&f);
        }
        std::string line;
        for (const Field* f : fields) {
            if (f == nullptr) continue;
            char value[32];
            const int64_t v = f->get(SettingsView(&block_));
            std::snprintf(value, sizeof value, f->hex ? "%llX" : "%lld", static_cast<long long>(v));
            const std::string part = f->name + "=" + value;
            if (!line.empty() && line.size() + part.size() >= 100) {
                Print(line);
                line.clear();
            }
            line += (line.empty() ? "" : " ") + part;
        }
        if (!line.empty()) Print(line);
    }

    // The dialog as ConfigDialog runs it, played by `lines`.
    void RunModal(const std::vector<std::string>& lines) {
        headless::SetModalDriver([&](zb::ui::Dialog& d) {
            for (const std::string& line : lines) {
                out_ += line + "\n";
                const std::vector<std::string> w = Words(line);
                if (!w.empty() && w[0][0] != '#') Do(w, &d);
            }
        });
        zb::RunSettingsDialog(call_, block_);
        headless::SetModalDriver(nullptr);
    }

    DecoderSettings block_{};
    zb::CallContext call_;
    std::string directory_;
    std::unique_ptr<zb::cZbBiSSDlg> dialog_;
    size_t boxes_ = 0;
    std::string out_;
};

class DialogScript : public ::testing::TestWithParam<const char*> {};

TEST_P(DialogScript, TranscriptMatches) {
    const std::string path = std::string(ZB_DIALOG_SCRIPTS) + "/" + GetParam() + ".txt";
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const std::string message = CompareWithGolden(path, Script().Run(lines));
    EXPECT_TRUE(message.empty()) << message;
}

INSTANTIATE_TEST_SUITE_P(Scripts, DialogScript, ::testing::Values("open", "apply", "channels"));

}  // namespace
}  // namespace zbtest
