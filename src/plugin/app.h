// The module's application object: its start creates the one DecodeEngine, its end destroys it.
#pragma once

namespace zb {

class CZbBiSSApp {
  public:
    // Called once when the module is loaded; creates the engine (the pointer stays null when
    // memory runs out, and Analysis then refuses to decode).
    bool InitInstance();
    // Called once when the module is unloaded; destroys the engine and with it the stores' files.
    int ExitInstance();
};

CZbBiSSApp& TheApp();

}  // namespace zb
