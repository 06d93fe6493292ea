// The module's single analysis object: it owns the two result stores and all decode state.
// (Shell for now: the decode itself arrives with the engine.)
#pragma once

namespace zb {

class DecodeEngine {
public:
    DecodeEngine() = default;
    ~DecodeEngine() = default;
    DecodeEngine(const DecodeEngine&) = delete;
    DecodeEngine& operator=(const DecodeEngine&) = delete;
};

}  // namespace zb
