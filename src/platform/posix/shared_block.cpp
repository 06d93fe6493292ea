// Named shared memory on POSIX: a shm object "/<name>" sized with ftruncate and mapped with mmap.
// An object that already exists keeps its size (fstat tells it), exactly as a Windows block of
// the same name would; the caller never gets a view longer than the object.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace zb::platform {

void SharedBlockObjectName(const char* name, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    constexpr size_t kMaxObjectName = 250;
    const size_t limit = size - 1 < kMaxObjectName ? size - 1 : kMaxObjectName;
    size_t n = 0;
    if (n < limit) out[n++] = '/';
    for (const char* p = name != nullptr ? name : ""; *p != '\0' && n < limit; ++p) {
        out[n++] = *p == '/' ? '_' : *p;
    }
    out[n] = '\0';
}

SharedBlock::~SharedBlock() {
    ReleaseView();
    if (handle_ != -1) ::close(static_cast<int>(handle_));
}

bool SharedBlock::Create(const char* name, uint64_t size) {
    ReleaseView();
    if (handle_ != -1) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
    existed_ = false;
    if (name == nullptr || name[0] == '\0' || size == 0) return false;
    if (FailsHere(FaultPoint::SharedBlock)) return false;

    char object[256];
    SharedBlockObjectName(name, object, sizeof object);
    int fd = ::shm_open(object, O_RDWR | O_CREAT | O_EXCL, 0600);
    uint64_t blockSize = size;
    if (fd >= 0) {
        if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            ::close(fd);
            ::shm_unlink(object);
            return false;
        }
    } else {
        if (errno != EEXIST) return false;
        fd = ::shm_open(object, O_RDWR, 0);
        if (fd < 0) return false;
        existed_ = true;
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return false;
        }
        blockSize = static_cast<uint64_t>(st.st_size);
        // An object that exists but was never sized holds nothing anyone could have read yet.
        if (blockSize == 0) {
            if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
                ::close(fd);
                return false;
            }
            blockSize = size;
        }
    }
    void* view = ::mmap(nullptr, static_cast<size_t>(blockSize), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    // The mapping keeps the object alive; the descriptor is not needed any more.
    ::close(fd);
    if (view == MAP_FAILED) return false;
    view_ = view;
    viewSize_ = blockSize;
    return true;
}

void SharedBlock::ReleaseView() {
    if (view_ != nullptr) ::munmap(view_, static_cast<size_t>(viewSize_));
    view_ = nullptr;
    viewSize_ = 0;
}

intptr_t SharedBlock::Detach() {
    const intptr_t handle = handle_;
    handle_ = -1;
    return handle;
}

}  // namespace zb::platform
