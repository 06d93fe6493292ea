// Reads a named report block the way a host does after Analysis (Windows: a file mapping opened
// by name; POSIX: the shared-memory object), and removes it again on POSIX.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zbtest {

struct PublishedBlock {
    bool exists = false;
    std::string bytes;  // the whole block (Windows: the whole mapped region, page granular)
    // The text before the first NUL.
    std::string Text() const { return std::string(bytes.c_str()); }
};

#if defined(_WIN32)
inline PublishedBlock ReadPublishedBlock(const char* name) {
    PublishedBlock p;
    HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    if (h == nullptr) return p;
    const void* view = MapViewOfFile(h, FILE_MAP_READ, 0, 0, 0);
    if (view != nullptr) {
        MEMORY_BASIC_INFORMATION info{};
        VirtualQuery(view, &info, sizeof info);
        p.exists = true;
        p.bytes.assign(static_cast<const char*>(view), info.RegionSize);
        UnmapViewOfFile(view);
    }
    CloseHandle(h);
    return p;
}
inline void RemovePublishedBlock(const char*) {}  // the block ends with its last handle
inline unsigned long TestProcessId() {
    return GetCurrentProcessId();
}
#else
inline PublishedBlock ReadPublishedBlock(const char* name) {
    PublishedBlock p;
    char object[256];
    zb::platform::SharedBlockObjectName(name, object, sizeof object);
    const int fd = shm_open(object, O_RDONLY, 0);
    if (fd < 0) return p;
    struct stat st {};
    fstat(fd, &st);
    p.exists = true;
    if (st.st_size > 0) {
        void* view = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
        if (view != MAP_FAILED) {
            p.bytes.assign(static_cast<const char*>(view), static_cast<size_t>(st.st_size));
            munmap(view, static_cast<size_t>(st.st_size));
        }
    }
    close(fd);
    return p;
}
inline void RemovePublishedBlock(const char* name) {
    char object[256];
    zb::platform::SharedBlockObjectName(name, object, sizeof object);
    shm_unlink(object);
}
inline unsigned long TestProcessId() {
    return static_cast<unsigned long>(getpid());
}
#endif

}  // namespace zbtest
