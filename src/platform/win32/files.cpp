// Files, temporary files, file mappings and the clock for Windows. A path that is valid UTF-8 and
// holds non-ASCII bytes goes through the wide (UTF-16) calls; any other path is passed to the
// ANSI calls as text in the system code page. Every create, write and map asks the injected
// faults first so the failure paths can be tested.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/platform.h"

namespace zb::platform {

namespace {

constexpr DWORD kShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;
// ReadFile and WriteFile take 32-bit counts: larger transfers go in chunks of this size.
constexpr size_t kMaxChunk = 1u << 30;

HANDLE Native(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}
intptr_t Wrap(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(handle);
}

// Moves the file pointer (FILE_BEGIN or FILE_END plus `distance`) and writes all of `size` bytes
// there, as far as the injected write budget allows. False unless all bytes were written.
bool WriteThere(HANDLE h, LONGLONG distance, DWORD method, const void* data, size_t size) {
    LARGE_INTEGER where;
    where.QuadPart = distance;
    if (!SetFilePointerEx(h, where, nullptr, method)) return false;
    const size_t allowed = AllowedWriteBytes(size);
    const char* p = static_cast<const char*>(data);
    size_t left = allowed;
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(left < kMaxChunk ? left : kMaxChunk);
        DWORD written = 0;
        if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) return false;
        p += written;
        left -= written;
    }
    return allowed == size;
}

// True when the path holds a byte of 0x80 or above and is well-formed UTF-8: such a path is meant
// as UTF-8; any other is taken to be in the system code page already.
bool IsNonAsciiUtf8(const char* text) {
    bool nonAscii = false;
    for (const char* p = text; *p != 0 && !nonAscii; ++p) nonAscii = static_cast<unsigned char>(*p) >= 0x80;
    return nonAscii && IsValidUtf8(text);
}

// The UTF-16 form of a path chosen for the wide calls; empty when the ANSI calls are to be used.
std::wstring WidePath(const char* path) {
    if (!IsNonAsciiUtf8(path)) return std::wstring();
    const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (count <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(count), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, &wide[0], count) != count) {
        return std::wstring();
    }
    wide.resize(static_cast<size_t>(count - 1));  // drop the terminator the count included
    return wide;
}

HANDLE OpenPath(const char* path, DWORD disposition) {
    const std::wstring wide = WidePath(path);
    if (!wide.empty()) {
        return CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, kShareMode, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, kShareMode, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// ---- File -------------------------------------------------------------------------------------

File File::Create(const char* path, bool mustBeNew) {
    if (path == nullptr || TakeCreateFailure()) return File();
    return File(Wrap(OpenPath(path, mustBeNew ? CREATE_NEW : CREATE_ALWAYS)));
}

File File::Open(const char* path) {
    if (path == nullptr) return File();
    return File(Wrap(OpenPath(path, OPEN_EXISTING)));
}

bool File::Append(const void* data, size_t size) {
    if (!IsOpen() || (data == nullptr && size > 0)) return false;
    // ReadAt moves the file pointer, so every append first goes back to the end.
    return WriteThere(Native(handle_), 0, FILE_END, data, size);
}

bool File::WriteAt(uint64_t offset, const void* data, size_t size) {
    if (!IsOpen() || (data == nullptr && size > 0) || offset > static_cast<uint64_t>(INT64_MAX) - size)
        return false;
    return WriteThere(Native(handle_), static_cast<LONGLONG>(offset), FILE_BEGIN, data, size);
}

size_t File::ReadAt(uint64_t offset, void* data, size_t size) const {
    if (!IsOpen() || data == nullptr) return 0;
    HANDLE h = Native(handle_);
    LARGE_INTEGER where;
    where.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(h, where, nullptr, FILE_BEGIN)) return 0;
    char* out = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
        const size_t left = size - done;
        const DWORD chunk = static_cast<DWORD>(left < kMaxChunk ? left : kMaxChunk);
        DWORD got = 0;
        if (!ReadFile(h, out + done, chunk, &got, nullptr)) return 0;
        if (got == 0) break;  // end of file
        done += got;
    }
    return done;
}

int64_t File::Size() const {
    if (!IsOpen()) return -1;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(Native(handle_), &size)) return -1;
    return static_cast<int64_t>(size.QuadPart);
}

bool File::Resize(uint64_t size) {
    if (!IsOpen() || size > static_cast<uint64_t>(INT64_MAX)) return false;
    HANDLE h = Native(handle_);
    LARGE_INTEGER where;
    where.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(h, where, nullptr, FILE_BEGIN)) return false;
    return SetEndOfFile(h) != FALSE;
}

bool File::Truncate() {
    if (!IsOpen()) return false;
    HANDLE h = Native(handle_);
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(h, zero, nullptr, FILE_BEGIN)) return false;
    return SetEndOfFile(h) != FALSE;
}

void File::Close() {
    if (handle_ != -1) {
        CloseHandle(Native(handle_));
        handle_ = -1;
    }
}

// ---- Paths, time, temporary files -------------------------------------------------------------

bool PathExists(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    const std::wstring wide = WidePath(path);
    const DWORD attributes = wide.empty() ? GetFileAttributesA(path) : GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    const std::wstring wide = WidePath(path);
    return (wide.empty() ? DeleteFileA(path) : DeleteFileW(wide.c_str())) != FALSE;
}

int64_t NowSeconds() {
    return static_cast<int64_t>(_time64(nullptr));
}

bool TempDirectory(char* out, size_t size) {
    if (out == nullptr || size == 0) return false;
    char buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof buffer, buffer);
    if (n == 0 || n >= sizeof buffer || static_cast<size_t>(n) >= size) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, buffer, static_cast<size_t>(n) + 1);
    return true;
}

// The system makes the name and the empty file in one call (unique number 0); it uses at most the
// first three characters of the prefix.
bool CreateUniqueTempFile(const char* dir, const char* prefix, char* out, size_t size) {
    if (dir == nullptr || prefix == nullptr || out == nullptr || size == 0) return false;
    out[0] = '\0';
    if (TakeCreateFailure()) return false;
    char buffer[MAX_PATH + 1];
    if (GetTempFileNameA(dir, prefix, 0, buffer) == 0) return false;
    const size_t length = std::strlen(buffer);
    if (length >= size) {
        DeleteFileA(buffer);
        return false;
    }
    std::memcpy(out, buffer, length + 1);
    return true;
}

// ---- FileMapping ------------------------------------------------------------------------------

FileMapping FileMapping::Map(const File& file, uint64_t size) {
    FileMapping mapping;
    if (!file.IsOpen() || size == 0 || FailsHere(FaultPoint::Map)) return mapping;
    if (size > static_cast<uint64_t>(SIZE_MAX)) return mapping;
    HANDLE object = CreateFileMappingW(Native(file.NativeHandle()), nullptr, PAGE_READWRITE,
                                       static_cast<DWORD>(size >> 32), static_cast<DWORD>(size), nullptr);
    if (object == nullptr) return mapping;
    void* data = MapViewOfFile(object, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(size));
    if (data == nullptr) {
        CloseHandle(object);
        return mapping;
    }
    mapping.data_ = data;
    mapping.size_ = size;
    mapping.mappingHandle_ = reinterpret_cast<intptr_t>(object);
    return mapping;
}

// Unlocking pages that were never locked takes them out of the working set; the view keeps them.
void FileMapping::ReleasePages(uint64_t from, uint64_t to) {
    const uint64_t page = SystemPageSize();
    const uint64_t first = from / page * page;
    const uint64_t last = (to < size_ ? to : size_) / page * page;
    if (data_ != nullptr && last > first)
        VirtualUnlock(static_cast<char*>(data_) + first, static_cast<SIZE_T>(last - first));
}

void FileMapping::Release() {
    if (data_ != nullptr) {
        UnmapViewOfFile(data_);
        data_ = nullptr;
        size_ = 0;
    }
    if (mappingHandle_ != 0) {
        CloseHandle(reinterpret_cast<HANDLE>(mappingHandle_));
        mappingHandle_ = 0;
    }
}

}  // namespace zb::platform
