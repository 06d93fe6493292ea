// The page calls behind PageBuffer for Windows: VirtualAlloc reserves and commits the range (the
// system supplies each page when it is first touched).
#include <windows.h>

#include "platform/platform.h"

namespace zb::platform {

size_t SystemPageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

void* MapPages(size_t size) {
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

bool ProtectPages(void* start, size_t size) {
    DWORD old = 0;
    return VirtualProtect(start, size, PAGE_NOACCESS, &old) != FALSE;
}

void UnmapPages(void* start, size_t size) {
    (void)size;  // a whole reservation is released at once
    VirtualFree(start, 0, MEM_RELEASE);
}

}  // namespace zb::platform
