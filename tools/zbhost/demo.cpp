// zbhost demo: a built-in example capture decoded and drawn. It waits for the traffic generator.
#include <cstdio>

#include "app.h"

namespace zbhost {

int RunDemo(const std::vector<std::string>&) {
    std::fprintf(stderr, "zbhost: the demo needs the traffic generator, which this build lacks\n");
    return 1;
}

}  // namespace zbhost
