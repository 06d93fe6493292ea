// Page buffers for Windows: reserved and committed with VirtualAlloc (the system hands out the
// physical pages as they are first touched), the last page set to no access.
#include <windows.h>

#include <cstdint>

#include "platform/platform.h"

namespace zb::platform {

bool PageBuffer::Allocate(size_t bytes) {
    Release();
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    if (bytes == 0 || bytes > SIZE_MAX - 2 * page || InjectedFaults().pagesFail) return false;
    const size_t usable = (bytes + page - 1) / page * page;
    void* p = VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (p == nullptr) return false;
    DWORD old = 0;
    if (!VirtualProtect(static_cast<char*>(p) + usable, page, PAGE_NOACCESS, &old)) {
        VirtualFree(p, 0, MEM_RELEASE);
        return false;
    }
    data_ = p;
    size_ = usable;
    mapped_ = usable + page;
    return true;
}

void PageBuffer::Release() {
    if (data_ != nullptr) VirtualFree(data_, 0, MEM_RELEASE);
    data_ = nullptr;
    size_ = mapped_ = 0;
}

}  // namespace zb::platform
