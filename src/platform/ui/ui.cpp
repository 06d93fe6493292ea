// The parts of the dialog framework that both halves share: binding control members to items.
#include "platform/ui/ui.h"

namespace zb::ui {

Control* Dialog::BoundControl(int id) const {
    for (Control* c : bound_) {
        if (c->id_ == id) return c;
    }
    return nullptr;
}

}  // namespace zb::ui
