// The system's side of giving back record pages: where the arrays lie, from the process's map of
// its mappings, and madvise to drop the pages behind a reader. Windows keeps its working set by
// itself here: nothing is done there.
#include "record_pages.h"

#include <cstdint>
#include <cstdio>

#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace zbhost {

bool InSharedFileMapping(const void* address) {
#if defined(_WIN32)
    (void)address;
    return false;
#else
    std::FILE* maps = std::fopen("/proc/self/maps", "r");
    if (maps == nullptr || address == nullptr) {
        if (maps != nullptr) std::fclose(maps);
        return false;
    }
    const auto at = reinterpret_cast<uintptr_t>(address);
    bool shared = false;
    char line[4096];
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        // "start-end perms offset major:minor inode path": a shared mapping of a file has 's' as
        // its fourth permission and a non-zero inode.
        unsigned long long start = 0, end = 0, inode = 0;
        char perms[8] = {};
        if (std::sscanf(line, "%llx-%llx %7s %*s %*s %llu", &start, &end, perms, &inode) != 4) continue;
        if (at < start || at >= end) continue;
        shared = perms[3] == 's' && inode != 0;
        break;
    }
    std::fclose(maps);
    return shared;
#endif
}

void ReleaseFilePages(const void* from, const void* to) {
#if defined(_WIN32)
    (void)from;
    (void)to;
#else
    const long size = ::sysconf(_SC_PAGESIZE);
    if (size <= 0) return;
    const auto page = static_cast<uintptr_t>(size);
    const uintptr_t first = (reinterpret_cast<uintptr_t>(from) + page - 1) / page * page;
    const uintptr_t last = reinterpret_cast<uintptr_t>(to) / page * page;
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
#endif
}

}  // namespace zbhost
