// How the capture readers chose the MA and SLO channels, so that the decode can say which it took.
// A reader resolves MA first and SLO second (ResolveChannel, capture_readers.h); the two choices of
// the last read are kept here. An empty channel text asks for the automatic choice: a probe named
// like the line (MA, CLK, ...; SLO, DATA, ...), else the lowest channel the other line does not use.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zbhost {

// The channel text that asks for the automatic choice.
inline const char kAutoChannel[] = "";

enum class PickedBy { Name, Number, SigrokName, Alias, Default };

struct ChannelPick {
    bool valid = false;
    size_t index = 0;
    std::string name;  // the probe's name in the file, may be empty
    PickedBy how = PickedBy::Default;
};

struct ChannelPicks {
    std::vector<std::string> names;  // every channel of the capture, by number
    ChannelPick ma, slo;
};

// The choices of the last read (both invalid before any).
const ChannelPicks& LastChannelPicks();
void ForgetChannelPicks();

}  // namespace zbhost
