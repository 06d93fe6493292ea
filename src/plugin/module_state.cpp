// The one instance of the module-wide state.
#include "plugin/module_state.h"

namespace zb {

ModuleState& Module() {
    static ModuleState state;
    return state;
}

}  // namespace zb
