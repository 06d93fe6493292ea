// Page buffers for POSIX systems: an anonymous private mapping with its last page made
// inaccessible.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "platform/platform.h"

namespace zb::platform {

bool PageBuffer::Allocate(size_t bytes) {
    Release();
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    if (bytes == 0 || bytes > SIZE_MAX - 2 * page || InjectedFaults().pagesFail) return false;
    const size_t usable = (bytes + page - 1) / page * page;
    void* p = ::mmap(nullptr, usable + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return false;
    if (::mprotect(static_cast<char*>(p) + usable, page, PROT_NONE) != 0) {
        ::munmap(p, usable + page);
        return false;
    }
    data_ = p;
    size_ = usable;
    mapped_ = usable + page;
    return true;
}

void PageBuffer::Release() {
    if (data_ != nullptr) ::munmap(data_, mapped_);
    data_ = nullptr;
    size_ = mapped_ = 0;
}

}  // namespace zb::platform
