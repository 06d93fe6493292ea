// Named shared memory on Windows: a file-mapping object backed by the paging file, created under
// the host's block name. The host opens it by name after the call, so the plug-in's handle must
// stay open: detached handles are kept in a module-wide list, one per name, and closed when a new
// block of that name is made (the host's own handle keeps an older block alive while it reads it)
// or when the module ends.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zb::platform {
namespace {

struct RetainedBlock {
    std::string name;
    HANDLE handle;
};

class RetainedBlocks {
  public:
    ~RetainedBlocks() {
        for (const RetainedBlock& b : blocks_) CloseHandle(b.handle);
    }
    // Closes the handle kept for `name`, if any.
    void Drop(const char* name) {
        for (size_t i = 0; i < blocks_.size(); ++i) {
            if (blocks_[i].name == name) {
                CloseHandle(blocks_[i].handle);
                blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(i));
                return;
            }
        }
    }
    void Keep(const char* name, HANDLE handle) {
        Drop(name);
        try {
            blocks_.push_back(RetainedBlock{name, handle});
        } catch (...) {
            // Out of memory: the handle stays open without a list entry until the process ends.
        }
    }

  private:
    std::vector<RetainedBlock> blocks_;
};

RetainedBlocks& Retained() {
    static RetainedBlocks blocks;
    return blocks;
}

HANDLE CreateBlock(const char* name, uint64_t size) {
    return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(size >> 32),
                              static_cast<DWORD>(size & 0xFFFFFFFFu), name);
}

}  // namespace

void SharedBlockObjectName(const char* name, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    size_t n = 0;
    for (const char* p = name != nullptr ? name : ""; *p != '\0' && n + 1 < size; ++p) out[n++] = *p;
    out[n] = '\0';
}

SharedBlock::~SharedBlock() {
    ReleaseView();
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool SharedBlock::Create(const char* name, uint64_t size) {
    ReleaseView();
    if (handle_ != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
        handle_ = -1;
    }
    existed_ = false;
    if (name == nullptr || name[0] == '\0' || size == 0) return false;
    // Our own handle from the previous report would keep the old block (and its old size) alive;
    // it goes first, so that a block that cannot be made now leaves no stale report of ours behind.
    Retained().Drop(name);
    if (FailsHere(FaultPoint::SharedBlock)) return false;
    HANDLE h = CreateBlock(name, size);
    if (h != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        // Someone else still holds a block of this name: try once more, then take what we get.
        CloseHandle(h);
        h = CreateBlock(name, size);
    }
    if (h == nullptr) return false;
    existed_ = GetLastError() == ERROR_ALREADY_EXISTS;

    void* view = MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (view == nullptr) {
        CloseHandle(h);
        return false;
    }
    uint64_t viewSize = size;
    if (existed_) {
        // An existing block keeps its size; the view's region tells it (to page granularity).
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(view, &info, sizeof info) == 0) {
            UnmapViewOfFile(view);
            CloseHandle(h);
            return false;
        }
        viewSize = static_cast<uint64_t>(info.RegionSize);
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    view_ = view;
    viewSize_ = viewSize;
    SharedBlockObjectName(name, name_, sizeof name_);
    return true;
}

void SharedBlock::ReleaseView() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    view_ = nullptr;
    viewSize_ = 0;
}

intptr_t SharedBlock::Detach() {
    const intptr_t handle = handle_;
    handle_ = -1;
    if (handle != -1) Retained().Keep(name_, reinterpret_cast<HANDLE>(handle));
    return handle;
}

}  // namespace zb::platform
