// What the portable core needs from the operating system, in one place. platform/win32/ and
// platform/posix/ implement these same names; CMake compiles one of the two. Paths and texts are
// UTF-8 inside the plug-in; the implementations convert where the system wants something else.
//
// Every operation that can fail in the field (create, write, map, shared block) also consults the
// injected faults below, so tests can make it fail on Linux the way a full disk or a bad directory
// would.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zb::platform {

// ---- Text -------------------------------------------------------------------------------------

// Encodes valid UTF-8 text in the host's narrow code page (Windows: the ANSI code page; POSIX: the
// locale's codeset) into `out`, cut to outSize - 1 bytes and terminated. False when the text is not
// valid UTF-8 or cannot be encoded; `out` is then unspecified (callers keep the original text).
bool Utf8ToHostCodePage(const char* utf8, char* out, size_t outSize);

// True when `text` is well-formed UTF-8 (shortest forms, no surrogates, below U+110000).
bool IsValidUtf8(const char* text);

// ---- Files ------------------------------------------------------------------------------------

// An open file, closed by the destructor. The native handle is -1 when nothing is open (this is
// INVALID_HANDLE_VALUE on Windows and an invalid descriptor on POSIX).
class File {
  public:
    File() = default;
    ~File() { Close(); }
    File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Creates the file for reading and writing, truncating an existing one unless `mustBeNew`,
    // in which case an existing file makes the call fail.
    static File Create(const char* path, bool mustBeNew);
    // Opens an existing file for reading and writing.
    static File Open(const char* path);

    bool IsOpen() const { return handle_ != -1; }
    // Appends at the end of what was written so far. False unless all bytes were written.
    bool Append(const void* data, size_t size);
    // Writes at `offset`, over what is there or past the end. False unless all bytes were written.
    bool WriteAt(uint64_t offset, const void* data, size_t size);
    // Reads up to `size` bytes at `offset`; returns the number of bytes read (0 on error).
    size_t ReadAt(uint64_t offset, void* data, size_t size) const;
    // Current size in bytes, or -1 on error.
    int64_t Size() const;
    // Empties the file; the next Append writes at offset 0.
    bool Truncate();
    // Cuts the file to `size` bytes or extends it with zeros.
    bool Resize(uint64_t size);
    void Close();
    intptr_t NativeHandle() const { return handle_; }

  private:
    explicit File(intptr_t handle) : handle_(handle) {}
    intptr_t handle_ = -1;
};

bool PathExists(const char* path);
bool RemoveFile(const char* path);
// Seconds since 1970.
int64_t NowSeconds();
// The system's directory for temporary files, ending in a path separator.
bool TempDirectory(char* out, size_t size);
// Creates a new, empty file with a unique name "<dir><prefix><hex>.tmp" and writes its path to
// `out`. False when no file could be made.
bool CreateUniqueTempFile(const char* dir, const char* prefix, char* out, size_t size);

// ---- File mappings ----------------------------------------------------------------------------

// A read/write view of the first `size` bytes of an open file, unmapped by the destructor. The view
// stays valid after the File is closed.
class FileMapping {
  public:
    FileMapping() = default;
    ~FileMapping() { Release(); }
    FileMapping(FileMapping&& other) noexcept;
    FileMapping& operator=(FileMapping&& other) noexcept;
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    static FileMapping Map(const File& file, uint64_t size);
    void* Data() const { return data_; }
    uint64_t Size() const { return size_; }
    bool IsMapped() const { return data_ != nullptr; }
    // Tells the system that the view's whole pages between the page that holds byte `from` and
    // the one that holds byte `to` (not included) are not needed for now: their memory goes back
    // and a later read faults them in again from the file, so the data stay as they are. A reader
    // that goes through the view once calls it behind itself, each time from where the last call
    // ended.
    void ReleasePages(uint64_t from, uint64_t to);
    void Release();

  private:
    void* data_ = nullptr;
    uint64_t size_ = 0;
    intptr_t mappingHandle_ = 0;  // Windows: the mapping object; POSIX: unused
};

// ---- Page buffers -----------------------------------------------------------------------------

// Memory taken straight from the system in whole pages for large working buffers: each page is
// committed when it is first touched (and reads as zero until written) and all of them go back to
// the system on Release. An inaccessible guard page follows the end, so a write past the buffer
// faults at once instead of landing in other data.
class PageBuffer {
  public:
    PageBuffer() = default;
    ~PageBuffer() { Release(); }
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;

    // At least `bytes` usable bytes (replacing what was held); false, holding nothing, when the
    // system refuses or `bytes` is 0.
    bool Allocate(size_t bytes);
    void Release();
    void* Data() const { return data_; }
    size_t Size() const { return size_; }

  private:
    void* data_ = nullptr;
    size_t size_ = 0;    // usable bytes, whole pages
    size_t mapped_ = 0;  // with the guard page
};

// ---- Named shared memory ----------------------------------------------------------------------

// A named block of shared memory that another process opens by name. Creating it maps a view;
// ReleaseView unmaps the view but keeps the block alive for the other process (on Windows the
// handle stays open until the block object is destroyed or the module ends; on POSIX the name stays
// until the reader unlinks it).
class SharedBlock {
  public:
    SharedBlock() = default;
    ~SharedBlock();
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    // Creates (or opens, when it already exists) the block `name` of `size` bytes and maps all of
    // it. ViewSize() is what may be written: smaller than `size` when an older, smaller block of
    // the same name exists.
    bool Create(const char* name, uint64_t size);
    void* View() const { return view_; }
    uint64_t ViewSize() const { return viewSize_; }
    bool AlreadyExisted() const { return existed_; }
    void ReleaseView();
    // Hands the open handle over to the caller (the block then outlives this object). On Windows
    // the module keeps it in a list, one per name, and closes it when the next block of that name
    // is created or the module ends; the caller must not close it.
    intptr_t Detach();

  private:
    void* view_ = nullptr;
    uint64_t viewSize_ = 0;
    bool existed_ = false;
    intptr_t handle_ = -1;
    char name_[256] = {};  // Windows: the block's name, under which a detached handle is kept
};

// The POSIX object name under which a block called `name` is published: "/" followed by the name
// with every '/' replaced by '_', cut to 250 bytes. On Windows the name is used as given.
void SharedBlockObjectName(const char* name, char* out, size_t size);

// ---- Injected faults (tests only; all off in production) --------------------------------------

// The places where the system can let the program down; each call of one is a fault point.
enum class FaultPoint : uint8_t { None, Create, Write, Map, SharedBlock, Pages };

struct Faults {
    int createFailures = 0;         // the next N File::Create / CreateUniqueTempFile calls fail
    int64_t writeBudget = -1;       // bytes that Append may still write; -1 = unlimited. A write
                                    // beyond it writes what fits and fails ("disk full").
    bool mapFails = false;          // FileMapping::Map fails
    bool sharedBlockFails = false;  // SharedBlock::Create fails
    bool pagesFail = false;         // PageBuffer::Allocate fails ("out of memory")
    // One fault by number, for a loop over every fault point: each point reached is counted in
    // pointsReached, and the failAt-th one (from 1; 0 = none) fails; a write there writes nothing.
    // `failed` says which kind of point that was.
    int64_t failAt = 0;
    int64_t pointsReached = 0;
    FaultPoint failed = FaultPoint::None;
};
Faults& InjectedFaults();
// Used by the implementations at a fault point of a map, a shared block or pages: counts it, and
// true when it must fail.
bool FailsHere(FaultPoint point);
// Used by the implementations: true when this create must fail (counts it as a fault point; a
// createFailures failure is consumed).
bool TakeCreateFailure();
// Used by the implementations: how many of `size` bytes the next write may put out (counts it).
size_t AllowedWriteBytes(size_t size);

// The system's part of PageBuffer, one per implementation: the page size; `size` bytes of fresh
// read/write pages (null when refused); making pages inaccessible; giving pages back.
size_t SystemPageSize();
void* MapPages(size_t size);
bool ProtectPages(void* start, size_t size);
void UnmapPages(void* start, size_t size);

}  // namespace zb::platform
