// Files, temporary files, file mappings and the clock for POSIX systems: plain descriptors,
// write/pread/ftruncate and mmap. Every create, write and map asks the injected faults first so
// tests can play "cannot create", "disk full" and "cannot map" on Linux.
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

namespace zb::platform {

namespace {

constexpr int kCreateMode = 0600;
// Unique temporary names are tried this many times before CreateUniqueTempFile gives up; only a
// name that already exists leads to another try.
constexpr int kUniqueNameAttempts = 64;

int Descriptor(intptr_t handle) {
    return static_cast<int>(handle);
}

// Writes all of `size` bytes at the file offset (offset < 0) or at `offset`, continuing after short
// writes and interruptions.
bool WriteAll(int fd, const char* data, size_t size, int64_t offset = -1) {
    while (size > 0) {
        const ssize_t n =
            offset < 0 ? ::write(fd, data, size) : ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        if (offset >= 0) offset += n;
    }
    return true;
}

}  // namespace

// ---- File -------------------------------------------------------------------------------------

File File::Create(const char* path, bool mustBeNew) {
    if (path == nullptr || TakeCreateFailure()) return File();
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (mustBeNew ? O_EXCL : O_TRUNC);
    int fd;
    do {
        fd = ::open(path, flags, kCreateMode);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? File() : File(fd);
}

File File::Open(const char* path) {
    if (path == nullptr) return File();
    int fd;
    do {
        fd = ::open(path, O_RDWR | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? File() : File(fd);
}

bool File::Append(const void* data, size_t size) {
    if (!IsOpen() || (data == nullptr && size > 0)) return false;
    const int fd = Descriptor(handle_);
    // Reads go through pread and leave the offset alone, but a file opened with Open starts at 0:
    // always write at the end.
    if (::lseek(fd, 0, SEEK_END) < 0) return false;
    const size_t allowed = AllowedWriteBytes(size);
    if (!WriteAll(fd, static_cast<const char*>(data), allowed)) return false;
    return allowed == size;
}

bool File::WriteAt(uint64_t offset, const void* data, size_t size) {
    if (!IsOpen() || (data == nullptr && size > 0) || offset > static_cast<uint64_t>(INT64_MAX) - size)
        return false;
    const size_t allowed = AllowedWriteBytes(size);
    if (!WriteAll(Descriptor(handle_), static_cast<const char*>(data), allowed, static_cast<int64_t>(offset)))
        return false;
    return allowed == size;
}

size_t File::ReadAt(uint64_t offset, void* data, size_t size) const {
    if (!IsOpen() || data == nullptr) return 0;
    const int fd = Descriptor(handle_);
    char* out = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        if (n == 0) break;  // end of file
        done += static_cast<size_t>(n);
    }
    return done;
}

int64_t File::Size() const {
    if (!IsOpen()) return -1;
    struct stat st;
    if (::fstat(Descriptor(handle_), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool File::Resize(uint64_t size) {
    if (!IsOpen() || size > static_cast<uint64_t>(INT64_MAX)) return false;
    return ::ftruncate(Descriptor(handle_), static_cast<off_t>(size)) == 0;
}

bool File::Truncate() {
    if (!IsOpen()) return false;
    const int fd = Descriptor(handle_);
    if (::ftruncate(fd, 0) != 0) return false;
    return ::lseek(fd, 0, SEEK_SET) == 0;
}

void File::Close() {
    if (handle_ != -1) {
        ::close(Descriptor(handle_));
        handle_ = -1;
    }
}

// ---- Paths, time, temporary files -------------------------------------------------------------

bool PathExists(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    struct stat st;
    return ::stat(path, &st) == 0;
}

bool RemoveFile(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    return ::unlink(path) == 0;
}

int64_t NowSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

bool TempDirectory(char* out, size_t size) {
    if (out == nullptr || size == 0) return false;
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || dir[0] == '\0') dir = "/tmp/";
    const size_t length = std::strlen(dir);
    const bool needsSeparator = dir[length - 1] != '/';
    const int n = std::snprintf(out, size, "%s%s", dir, needsSeparator ? "/" : "");
    if (n < 0 || static_cast<size_t>(n) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool CreateUniqueTempFile(const char* dir, const char* prefix, char* out, size_t size) {
    if (dir == nullptr || prefix == nullptr || out == nullptr || size == 0) return false;
    out[0] = '\0';
    if (TakeCreateFailure()) return false;
    // A mix of the process id and the clock gives a starting point that differs between
    // processes; the names then step through the 16-bit space as the system's own call does.
    static unsigned counter = 0;
    const unsigned seed =
        static_cast<unsigned>(::getpid()) * 2654435761u ^ static_cast<unsigned>(std::time(nullptr));
    for (int attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
        const unsigned unique = (seed + ++counter) % 0xFFFFu + 1;  // 1..FFFF, never twice in a row
        const int n = std::snprintf(out, size, "%s%s%X.tmp", dir, prefix, unique);
        if (n < 0 || static_cast<size_t>(n) >= size) break;
        int fd;
        do {
            fd = ::open(out, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kCreateMode);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        if (errno != EEXIST) break;  // a missing or unwritable directory: another name won't help
    }
    out[0] = '\0';
    return false;
}

// ---- FileMapping ------------------------------------------------------------------------------

FileMapping FileMapping::Map(const File& file, uint64_t size) {
    FileMapping mapping;
    if (!file.IsOpen() || size == 0 || FailsHere(FaultPoint::Map)) return mapping;
    if (size > static_cast<uint64_t>(SIZE_MAX)) return mapping;
    void* data = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED,
                        static_cast<int>(file.NativeHandle()), 0);
    if (data == MAP_FAILED) return mapping;
    mapping.data_ = data;
    mapping.size_ = size;
    return mapping;
}

// A shared file view: the pages dropped here are still in the file (and usually in the page cache).
void FileMapping::ReleasePages(uint64_t from, uint64_t to) {
    const uint64_t page = SystemPageSize();
    const uint64_t first = from / page * page;
    const uint64_t last = (to < size_ ? to : size_) / page * page;
    if (data_ != nullptr && last > first)
        ::madvise(static_cast<char*>(data_) + first, static_cast<size_t>(last - first), MADV_DONTNEED);
}

void FileMapping::Release() {
    if (data_ != nullptr) {
        ::munmap(data_, static_cast<size_t>(size_));
        data_ = nullptr;
        size_ = 0;
    }
    mappingHandle_ = 0;
}

}  // namespace zb::platform
