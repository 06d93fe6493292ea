// A settings dialog opened headless on a block of its own, with short names for reading and
// driving its items; shared by the native dialog tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "dialog/dialog_template.h"
#include "dialog/settings_dialog.h"
#include "platform/ui/headless/headless_ui.h"

namespace zbtest {

using zb::ItemId;
namespace headless = zb::ui::headless;

class DialogFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(&block, 0, sizeof block);
        block.size = zb::kSettingsBlockSize;
        call = zb::CallContext{};
        headless::ClearMessageBoxes();
    }

    // A block holding the defaults, to be changed by the test before Open.
    zb::SettingsView Defaults() {
        zb::SettingsView v(&block);
        v.ApplyDefaults();
        return v;
    }
    zb::SettingsView View() { return zb::SettingsView(&block); }

    void Open() {
        dialog = std::make_unique<zb::cZbBiSSDlg>(call, &block);
        ASSERT_TRUE(headless::Open(*dialog));
    }

    std::string Text(ItemId id) const { return dialog->GetItemText(zb::Id(id)); }
    bool Enabled(ItemId id) const { return dialog->IsItemEnabled(zb::Id(id)); }
    bool Visible(ItemId id) const { return dialog->IsItemVisible(zb::Id(id)); }
    int Selection(ItemId id) const {
        auto* list = dynamic_cast<zb::ui::ComboBox*>(dialog->BoundControl(zb::Id(id)));
        return list ? list->GetCurSel() : -2;
    }
    int Selection(int id) const { return Selection(static_cast<ItemId>(id)); }
    bool Checked(ItemId id) const {
        auto* box = dynamic_cast<zb::ui::Button*>(dialog->BoundControl(zb::Id(id)));
        return box && box->GetCheck();
    }
    void Paste(ItemId id, const std::string& text) { headless::Paste(*dialog, zb::Id(id), text); }
    void Select(ItemId id, int index) { headless::Select(*dialog, zb::Id(id), index); }
    void Select(int id, int index) { headless::Select(*dialog, id, index); }
    void Click(ItemId id) { headless::Click(*dialog, zb::Id(id)); }
    intptr_t Step(ItemId id, int delta) { return headless::Step(*dialog, zb::Id(id), delta); }
    void SpinRange(ItemId id, int& lo, int& hi) const {
        auto* spin = dynamic_cast<zb::ui::Spin*>(dialog->BoundControl(zb::Id(id)));
        lo = hi = -999;
        if (spin) spin->GetRange32(lo, hi);
    }

    zb::DecoderSettings block;
    zb::CallContext call;  // the dialog's context: no host directory unless a test names one
    std::unique_ptr<zb::cZbBiSSDlg> dialog;
};

}  // namespace zbtest
