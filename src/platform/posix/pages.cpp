// The page calls behind PageBuffer for POSIX systems: anonymous private mappings.
#include <sys/mman.h>
#include <unistd.h>

#include "platform/platform.h"

namespace zb::platform {

size_t SystemPageSize() {
    return static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

void* MapPages(size_t size) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

bool ProtectPages(void* start, size_t size) {
    return ::mprotect(start, size, PROT_NONE) == 0;
}

void UnmapPages(void* start, size_t size) {
    ::munmap(start, size);
}

}  // namespace zb::platform
