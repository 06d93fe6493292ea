// Buffered reading with offsets, over C stdio (the same code for both builds).
#include "byte_input.h"

#include <cerrno>
#include <cstring>

#include "change_block.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define ZB_SEEK _fseeki64
#define ZB_TELL _ftelli64
#else
#define ZB_SEEK fseeko
#define ZB_TELL ftello
#endif

namespace zbhost {

namespace {
constexpr size_t kBufferBytes = size_t{1} << 18;
}

ByteInput ByteInput::File(const std::string& path) {
    ByteInput in;
    in.file_ = std::fopen(path.c_str(), "rb");
    if (in.file_ == nullptr) throw CaptureError("cannot open '" + path + "': " + std::strerror(errno));
    in.ownsFile_ = true;
    // A regular file can be read again from any offset; a named pipe cannot.
    if (ZB_SEEK(in.file_, 0, SEEK_END) == 0) {
        const auto end = ZB_TELL(in.file_);
        if (end >= 0 && ZB_SEEK(in.file_, 0, SEEK_SET) == 0) {
            in.seekable_ = true;
            in.size_ = static_cast<uint64_t>(end);
        }
    }
    in.buffer_.resize(kBufferBytes);
    in.data_ = in.buffer_.data();
    return in;
}

ByteInput ByteInput::StandardInput() {
    ByteInput in;
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    in.file_ = stdin;
    in.buffer_.resize(kBufferBytes);
    in.data_ = in.buffer_.data();
    return in;
}

ByteInput ByteInput::Memory(std::string bytes, bool canSeek) {
    ByteInput in;
    in.memory_ = std::move(bytes);
    in.seekable_ = canSeek;
    in.size_ = in.memory_.size();
    in.data_ = reinterpret_cast<const uint8_t*>(in.memory_.data());
    in.end_ = in.memory_.size();
    return in;
}

ByteInput::ByteInput(ByteInput&& other) noexcept {
    *this = std::move(other);
}

ByteInput& ByteInput::operator=(ByteInput&& other) noexcept {
    if (this == &other) return *this;
    Close();
    file_ = other.file_;
    ownsFile_ = other.ownsFile_;
    seekable_ = other.seekable_;
    size_ = other.size_;
    const bool inMemory = other.file_ == nullptr;
    memory_ = std::move(other.memory_);
    buffer_ = std::move(other.buffer_);
    data_ = inMemory ? reinterpret_cast<const uint8_t*>(memory_.data()) : buffer_.data();
    pos_ = other.pos_;
    end_ = other.end_;
    base_ = other.base_;
    other.file_ = nullptr;
    other.ownsFile_ = false;
    other.data_ = nullptr;
    other.pos_ = other.end_ = 0;
    return *this;
}

ByteInput::~ByteInput() {
    Close();
}

void ByteInput::Close() {
    if (file_ != nullptr && ownsFile_) std::fclose(file_);
    file_ = nullptr;
    ownsFile_ = false;
}

int ByteInput::Refill() {
    if (file_ == nullptr) return EOF;
    base_ += end_;
    pos_ = end_ = 0;
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (end_ == 0) return EOF;
    return data_[pos_++];
}

size_t ByteInput::Read(uint8_t* out, size_t size) {
    size_t done = 0;
    const size_t buffered = end_ - pos_ < size ? end_ - pos_ : size;
    if (buffered > 0) {
        std::memcpy(out, data_ + pos_, buffered);
        pos_ += buffered;
        done = buffered;
    }
    if (done < size && file_ != nullptr) {
        // Large reads go straight from the file into `out`.
        base_ += end_;
        pos_ = end_ = 0;
        while (done < size) {
            const size_t n = std::fread(out + done, 1, size - done, file_);
            if (n == 0) break;
            done += n;
            base_ += n;
        }
    }
    return done;
}

void ByteInput::Seek(uint64_t offset) {
    if (!seekable_) throw CaptureError("this input cannot be read again");
    if (file_ == nullptr) {
        pos_ = offset < end_ ? static_cast<size_t>(offset) : end_;
        return;
    }
    if (ZB_SEEK(file_, static_cast<long long>(offset), SEEK_SET) != 0) {
        throw CaptureError("cannot go back in the capture file");
    }
    base_ = offset;
    pos_ = end_ = 0;
}

}  // namespace zbhost
