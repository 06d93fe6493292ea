// The application object of the plug-in module.
#include "plugin/app.h"

#include <new>

#include "engine/decode_engine.h"
#include "plugin/module_state.h"

namespace zb {

bool CZbBiSSApp::InitInstance() {
    if (Module().engine == nullptr) Module().engine = new (std::nothrow) DecodeEngine();
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
