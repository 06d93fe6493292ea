// The fault seam shared by both platform implementations: tests switch faults on, the
// implementations ask before they create, write, map, publish or take pages, and every such
// question is counted, so that a test can fail each fault point of a call in turn.
#include "platform/platform.h"

namespace zb::platform {

Faults& InjectedFaults() {
    static Faults faults;
    return faults;
}

namespace {

// Counts a fault point; true when it is the one chosen to fail.
bool CountedFailure(Faults& f, FaultPoint point) {
    if (++f.pointsReached != f.failAt) return false;
    f.failed = point;
    return true;
}

}  // namespace

bool FailsHere(FaultPoint point) {
    Faults& f = InjectedFaults();
    if (CountedFailure(f, point)) return true;
    switch (point) {
        case FaultPoint::Map:
            return f.mapFails;
        case FaultPoint::SharedBlock:
            return f.sharedBlockFails;
        case FaultPoint::Pages:
            return f.pagesFail;
        default:
            return false;
    }
}

bool TakeCreateFailure() {
    Faults& f = InjectedFaults();
    if (CountedFailure(f, FaultPoint::Create)) return true;
    if (f.createFailures <= 0) return false;
    --f.createFailures;
    return true;
}

size_t AllowedWriteBytes(size_t size) {
    Faults& f = InjectedFaults();
    if (CountedFailure(f, FaultPoint::Write)) return 0;
    if (f.writeBudget < 0) return size;
    const size_t allowed =
        static_cast<uint64_t>(f.writeBudget) < size ? static_cast<size_t>(f.writeBudget) : size;
    f.writeBudget -= static_cast<int64_t>(allowed);
    return allowed;
}

}  // namespace zb::platform
