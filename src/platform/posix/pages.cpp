// The page calls behind PageBuffer for POSIX systems: anonymous private mappings, on huge pages
// where the system offers them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "platform/platform.h"

namespace zb::platform {

namespace {

// The size of a transparent huge page on x86-64 and arm64 (with 4 KiB base pages).
constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

size_t SystemPageSize() {
    return static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

// A buffer of several MiB (the result stores' blocks, taken at a store's first append and written
// over by every decode after it) would otherwise be committed one 4 KiB page fault at a time:
// thousands of traps, which cost more than the records written into the pages. So it starts on a
// huge-page boundary and asks for huge pages, and each fault commits 2 MiB. Where the system has
// no huge pages the advice is ignored and the buffer works as before.
void* MapPages(size_t size) {
    if (size < 2 * kHugePage) {
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return p == MAP_FAILED ? nullptr : p;
    }
    if (size > SIZE_MAX - kHugePage) return nullptr;
    void* raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    // Keep [start, start + size) on the boundary and give back what lies before and after it.
    const uintptr_t base = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t start = (base + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    if (start > base) ::munmap(raw, start - base);
    const size_t tail = kHugePage - (start - base);
    if (tail > 0) ::munmap(reinterpret_cast<void*>(start + size), tail);
    void* p = reinterpret_cast<void*>(start);
#ifdef MADV_HUGEPAGE  // a Linux advice; other systems place pages their own way
    ::madvise(p, size, MADV_HUGEPAGE);
#endif
    return p;
}

bool ProtectPages(void* start, size_t size) {
    return ::mprotect(start, size, PROT_NONE) == 0;
}

void UnmapPages(void* start, size_t size) {
    ::munmap(start, size);
}

}  // namespace zb::platform
