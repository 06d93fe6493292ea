// PageBuffer on top of the system's page calls: whole pages for the buffer and one guard page
// after it.
#include <cstdint>

#include "platform/platform.h"

namespace zb::platform {

bool PageBuffer::Allocate(size_t bytes) {
    Release();
    const size_t page = SystemPageSize();
    if (bytes == 0 || bytes > SIZE_MAX - 2 * page || FailsHere(FaultPoint::Pages)) return false;
    const size_t usable = (bytes + page - 1) / page * page;
    void* p = MapPages(usable + page);
    if (p == nullptr) return false;
    if (!ProtectPages(static_cast<char*>(p) + usable, page)) {
        UnmapPages(p, usable + page);
        return false;
    }
    data_ = p;
    size_ = usable;
    mapped_ = usable + page;
    return true;
}

void PageBuffer::Release() {
    if (data_ != nullptr) UnmapPages(data_, mapped_);
    data_ = nullptr;
    size_ = mapped_ = 0;
}

}  // namespace zb::platform
