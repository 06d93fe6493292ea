// The fault seam shared by both platform implementations: tests switch faults on, the
// implementations ask before they create, write, map or publish.
#include "platform/platform.h"

namespace zb::platform {

Faults& InjectedFaults() {
    static Faults faults;
    return faults;
}

bool TakeCreateFailure() {
    Faults& f = InjectedFaults();
    if (f.createFailures <= 0) return false;
    --f.createFailures;
    return true;
}

size_t AllowedWriteBytes(size_t size) {
    Faults& f = InjectedFaults();
    if (f.writeBudget < 0) return size;
    const size_t allowed =
        static_cast<uint64_t>(f.writeBudget) < size ? static_cast<size_t>(f.writeBudget) : size;
    f.writeBudget -= static_cast<int64_t>(allowed);
    return allowed;
}

}  // namespace zb::platform
