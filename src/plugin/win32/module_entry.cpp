// Module start and end for the DLL: the loader calls DllMain at LoadLibrary and FreeLibrary.
#include <windows.h>

#include "plugin/app.h"
#include "plugin/module_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            zb::Module().moduleHandle = instance;
            return zb::TheApp().InitInstance() ? TRUE : FALSE;
        case DLL_PROCESS_DETACH:
            zb::TheApp().ExitInstance();
            return TRUE;
        default:
            return TRUE;
    }
}
