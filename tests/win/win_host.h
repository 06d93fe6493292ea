// The pieces every Windows host program in tests/win shares: the plug-in DLL loaded by path and its
// exports found by name, the host record as a plain byte buffer with the offsets a host fills and
// reads (written as numbers here, never taken from the plug-in's own declarations, so a layout
// mistake in the plug-in cannot hide), and the counting and printing of failed checks.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace zbwin {

// ---- Exit codes -----------------------------------------------------------------------------------

constexpr int kExitPassed = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSkipped = 77;  // ctest's SKIP_RETURN_CODE for the dialog host

// ---- The host record: 0x748 bytes, little-endian, pointers 8 bytes ---------------------------------

constexpr size_t kRecordSize = 0x748;
// Host callbacks.
constexpr size_t kSampleQuery = 0x018;  // uint64 (uint64 position, uint8 state[16])
constexpr size_t kAbortPoll = 0x020;    // uint32 ()
constexpr size_t kReportRow = 0x028;    // int32 (const char* text, uint32 length)
// Capture and host facts.
constexpr size_t kCaptureChannelCount = 0x050;
constexpr size_t kLastSample = 0x060;
constexpr size_t kCursors = 0x068;  // int64 each
constexpr size_t kHostValueFormat = 0x098;
constexpr size_t kHostFlags = 0x09C;
constexpr size_t kDecoderChannelCount = 0x0A0;
constexpr size_t kDialogResult = 0x0F8;
constexpr size_t kSampleRate = 0x100;
constexpr size_t kReportBlockName = 0x108;  // 32 characters
// The plug-in's results.
constexpr size_t kCodeArray = 0x128;      // const uint32*
constexpr size_t kPositionArray = 0x130;  // const int64*
// Settings.
constexpr size_t kSettingsState = 0x194;  // uint16
constexpr size_t kChannelTable = 0x198;   // uint32 per decoder channel
constexpr size_t kDecoderWords = 0x698;   // the decoder's own 0x80 bytes
constexpr size_t kOptionWord = kDecoderWords + 0x00;
constexpr size_t kColourWord = kDecoderWords + 0x04;
constexpr size_t kAuxWord = kDecoderWords + 0x08;
constexpr size_t kSingleTurnBits = kDecoderWords + 0x0C;
constexpr size_t kCrcBits = kDecoderWords + 0x10;
constexpr size_t kCrcPolynomial = kDecoderWords + 0x14;
constexpr size_t kCrcInitial = kDecoderWords + 0x18;
constexpr size_t kAlignmentBits = kDecoderWords + 0x1C;
constexpr size_t kProtocol = kDecoderWords + 0x20;
constexpr size_t kDecoderWordsEnd = 0x718;
// Progress and stop.
constexpr size_t kProgress = 0x738;
constexpr size_t kStopFlag = 0x740;  // uint32*

// A value of any type at a byte offset of a buffer (memcpy: no alignment assumed).
template <typename T>
T Get(const uint8_t* p, size_t offset) {
    T v;
    std::memcpy(&v, p + offset, sizeof v);
    return v;
}
template <typename T>
void Put(uint8_t* p, size_t offset, T v) {
    std::memcpy(p + offset, &v, sizeof v);
}

inline uint32_t Get32(const uint8_t* p, size_t offset) {
    return Get<uint32_t>(p, offset);
}
inline void Put32(uint8_t* p, size_t offset, uint32_t v) {
    Put<uint32_t>(p, offset, v);
}

// A host record as the host allocates it, every byte set to `fill`. A little slack after it keeps a
// plug-in that writes past the record from spoiling the host's other data.
class RecordBuffer {
  public:
    explicit RecordBuffer(uint8_t fill = 0) { std::memset(bytes_, fill, sizeof bytes_); }

    uint8_t* data() { return bytes_; }
    const uint8_t* data() const { return bytes_; }
    static constexpr size_t size() { return kRecordSize; }
    uint8_t& operator[](size_t at) { return bytes_[at]; }
    uint8_t operator[](size_t at) const { return bytes_[at]; }
    bool operator==(const RecordBuffer& other) const {
        return std::memcmp(bytes_, other.bytes_, kRecordSize) == 0;
    }
    bool operator!=(const RecordBuffer& other) const { return !(*this == other); }

    template <typename T>
    T Get(size_t at) const {
        return zbwin::Get<T>(bytes_, at);
    }
    template <typename T>
    void Put(size_t at, T v) {
        zbwin::Put<T>(bytes_, at, v);
    }
    uint32_t U32(size_t at) const { return Get<uint32_t>(at); }
    uint16_t U16(size_t at) const { return Get<uint16_t>(at); }
    void Put32(size_t at, uint32_t v) { Put<uint32_t>(at, v); }

  private:
    static constexpr size_t kSlack = 16;
    alignas(16) uint8_t bytes_[kRecordSize + kSlack];
};

// ---- Failures -------------------------------------------------------------------------------------

inline std::atomic<int>& Failures() {
    static std::atomic<int> failures{0};
    return failures;
}

// Counts a failed check and prints "FAIL: " and the printf-style message.
inline void Expect(bool ok, const char* format, ...) {
    if (ok) return;
    ++Failures();
    std::va_list args;
    va_start(args, format);
    std::printf("FAIL: ");
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
    std::fflush(stdout);  // the dialog host checks from two threads and may be killed on a hang
}

inline void Check(bool ok, const std::string& what) {
    Expect(ok, "%s", what.c_str());
}

// Prints the program's summary line and gives its exit code.
inline int Finish(const char* program) {
    const int failures = Failures();
    if (failures == 0) {
        std::printf("%s: all checks passed\n", program);
    } else {
        std::printf("%s: %d failure(s)\n", program, failures);
    }
    return failures == 0 ? kExitPassed : kExitFailed;
}

// ---- The plug-in DLL ------------------------------------------------------------------------------

class PluginDll {
  public:
    PluginDll() = default;
    PluginDll(const PluginDll&) = delete;
    PluginDll& operator=(const PluginDll&) = delete;
    ~PluginDll() {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    // Loads the DLL named as the program's first argument. Prints the usage or the loader's error
    // and gives the exit code to return (kExitPassed when loaded).
    int LoadFromCommandLine(int argc, char** argv, const char* program) {
        if (argc < 2) {
            std::printf("usage: %s <path of ZbBiSS64.dll>\n", program);
            return kExitUsage;
        }
        module_ = LoadLibraryA(argv[1]);
        if (module_ == nullptr) {
            std::printf("FAIL: cannot load %s (error %lu)\n", argv[1], GetLastError());
            return kExitFailed;
        }
        return kExitPassed;
    }

    HMODULE Module() const { return module_; }
    bool Has(const char* name) const { return GetProcAddress(module_, name) != nullptr; }

    // The export `name` as a function pointer of type Fn; nullptr when the DLL lacks it.
    template <typename Fn>
    Fn Export(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    // Unloads the DLL now; false when FreeLibrary fails.
    bool Free() {
        const bool ok = module_ == nullptr || FreeLibrary(module_) != 0;
        module_ = nullptr;
        return ok;
    }

  private:
    HMODULE module_ = nullptr;
};

}  // namespace zbwin
