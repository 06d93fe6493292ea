// zbhost: a command-line stand-in for the logic-analyzer host. It reads a capture file, loads the
// decoder plug-in by file name, drives it through its exports exactly as the host does, and writes
// the decoded records with their labels, the report (wire text or CSV) and an SVG of the waveform.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "app.h"

int main(int argc, char** argv) {
    try {
        return zbhost::RunApp(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "zbhost: out of memory\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zbhost: %s\n", e.what());
    }
    return 1;
}
