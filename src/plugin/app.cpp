// The application object of the plug-in module.
#include "plugin/app.h"

#include <new>

#include "engine/decode_engine.h"
#include "plugin/module_state.h"

namespace zb {

// The module loads even without an engine: the exports that need one then refuse to decode. A
// constructor that throws counts as memory running out; nothing may leave the loader's callback.
bool CZbBiSSApp::InitInstance() {
    if (Module().engine == nullptr) {
        try {
            Module().engine = new (std::nothrow) DecodeEngine(Module().call);
        } catch (...) {
            Module().engine = nullptr;
        }
    }
    return true;
}

int CZbBiSSApp::ExitInstance() {
    delete Module().engine;
    Module().engine = nullptr;
    return 0;
}

CZbBiSSApp& TheApp() {
    static CZbBiSSApp app;
    return app;
}

}  // namespace zb
