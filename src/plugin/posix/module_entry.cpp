// Module start and end for the shared library: the loader runs these at dlopen and dlclose.
#include "plugin/app.h"

namespace {

__attribute__((constructor)) void ModuleStart() {
    zb::TheApp().InitInstance();
}
__attribute__((destructor)) void ModuleEnd() {
    zb::TheApp().ExitInstance();
}

}  // namespace
