// Moves of the platform's handle classes: the same on every system, since only the handle values
// change hands; closing and unmapping are the implementations' own.
#include "platform/platform.h"

namespace zb::platform {

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

FileMapping::FileMapping(FileMapping&& other) noexcept
    : data_(other.data_), size_(other.size_), mappingHandle_(other.mappingHandle_) {
    other.data_ = nullptr;
    other.size_ = 0;
    other.mappingHandle_ = 0;
}

FileMapping& FileMapping::operator=(FileMapping&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = other.data_;
        size_ = other.size_;
        mappingHandle_ = other.mappingHandle_;
        other.data_ = nullptr;
        other.size_ = 0;
        other.mappingHandle_ = 0;
    }
    return *this;
}

}  // namespace zb::platform
