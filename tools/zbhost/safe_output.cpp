// Temporary output files, the plug-in's private temporary directory, and the interrupt handler that
// removes them. What the handler needs is kept in fixed arrays set up before a file exists, so it
// reads no object that the program might be changing and calls nothing but system calls.
#include "safe_output.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "progress_bar.h"

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif
#endif

namespace zbhost {

namespace {

constexpr int kSlots = 16;
constexpr size_t kPathMax = 4096;
constexpr size_t kTempDirMax = 259;  // the longest text host message 0 may carry
constexpr char kInterruptMessage[] = "zbhost: interrupted; partial outputs and temporary files removed\n";

char g_paths[kSlots][kPathMax];
volatile std::sig_atomic_t g_used[kSlots];
char g_tempDir[kPathMax];
volatile std::sig_atomic_t g_tempDirSet = 0;
#if defined(__linux__)
char g_shmPath[kPathMax];
volatile std::sig_atomic_t g_shmSet = 0;
#endif
volatile std::sig_atomic_t g_requested = 0;
std::atomic<uint32_t*> g_stopWord{nullptr};

bool CopyPath(char* to, const std::string& from) {
    if (from.size() + 1 > kPathMax) return false;
    std::memcpy(to, from.c_str(), from.size() + 1);
    return true;
}

int Register(const std::string& path) {
    for (int i = 0; i < kSlots; ++i) {
        if (g_used[i] == 0 && CopyPath(g_paths[i], path)) {
            g_used[i] = 1;
            return i;
        }
    }
    return -1;
}

void Unregister(int& slot) {
    if (slot >= 0) g_used[slot] = 0;
    slot = -1;
}

std::string SystemTempDir() {
#if defined(_WIN32)
    char buf[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(sizeof buf, buf);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string(".\\");
#else
    const char* t = std::getenv("TMPDIR");
    return t && *t ? t : "/tmp";
#endif
}

#if !defined(_WIN32)
#if defined(__linux__)
// The entries of the private directory are the plug-in's files; they are removed by name through
// the directory's descriptor (getdents64 and unlinkat are plain system calls).
struct LinuxDirent64 {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

void EmptyDirectory(const char* dir) {
    const int fd = ::open(dir, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    alignas(8) char buffer[4096];
    for (int pass = 0; pass < 4; ++pass) {
        bool removed = false;
        ::lseek(fd, 0, SEEK_SET);
        for (;;) {
            const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
            if (n <= 0) break;
            for (long at = 0; at < n;) {
                const LinuxDirent64* d = reinterpret_cast<const LinuxDirent64*>(buffer + at);
                const char* name = d->name;
                if (!(name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))))
                    removed |= ::unlinkat(fd, name, 0) == 0;
                at += d->reclen;
            }
        }
        if (!removed) break;
    }
    ::close(fd);
}
#else
void EmptyDirectory(const char*) {}
#endif

void OnSignal(int sig) {
    g_requested = sig;
    if (uint32_t* word = g_stopWord.load()) *word = 1;
    ProgressBar::EndLineAfterSignal();
    for (int i = 0; i < kSlots; ++i) {
        if (g_used[i] != 0) ::unlink(g_paths[i]);
    }
    if (g_tempDirSet != 0) {
        EmptyDirectory(g_tempDir);
        ::rmdir(g_tempDir);
    }
#if defined(__linux__)
    if (g_shmSet != 0) ::unlink(g_shmPath);
#endif
    const ssize_t ignored = ::write(2, kInterruptMessage, sizeof kInterruptMessage - 1);
    (void)ignored;
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}
#else
void OnSignal(int sig) {
    g_requested = sig;
    if (uint32_t* word = g_stopWord.load()) *word = 1;
    std::signal(sig, OnSignal);
}
#endif

}  // namespace

int ProcessId() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

void InstallInterruptCleanup() {
    static bool installed = false;
    if (installed) return;
    installed = true;
#if defined(_WIN32)
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&action.sa_mask, sig);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        // A signal ignored from the start (a background job of a script, nohup) stays ignored.
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(sig, &action, nullptr);
    }
#endif
}

bool InterruptRequested() {
    return g_requested != 0;
}

void ThrowIfInterrupted() {
    if (g_requested != 0) throw Interrupted();
}

void SetInterruptStopWord(uint32_t* word) {
    g_stopWord.store(word);
}

void SetInterruptSharedBlock(const std::string& object) {
#if defined(__linux__)
    // POSIX shared memory lives in /dev/shm on Linux; unlinking the file there is shm_unlink.
    g_shmSet = 0;
    if (!object.empty() && CopyPath(g_shmPath, "/dev/shm" + object)) g_shmSet = 1;
#else
    (void)object;
#endif
}

OutputFile::~OutputFile() {
    Discard();
}

void OutputFile::Discard() {
    if (!temp_.empty() && !committed_) {
        if (file_.is_open()) file_.close();
        std::remove(temp_.c_str());
    }
    Unregister(slot_);
    temp_.clear();
}

bool OutputFile::Open(const std::string& path, std::string& error) {
    path_ = path;
    if (path == "-") {
        out_ = &std::cout;
        return true;
    }
    struct stat st {};
    const bool exists = stat(path.c_str(), &st) == 0;
    if (exists && (st.st_mode & S_IFMT) == S_IFDIR) {
        error = "cannot write '" + path + "': it is a directory";
        return false;
    }
    if (exists && (st.st_mode & S_IFMT) != S_IFREG) {
        // A device or a pipe (/dev/null, a FIFO) is written in place: a temporary file renamed
        // over it would replace the device itself with a plain file.
        errno = 0;
        file_.open(path, std::ios::binary);
        if (!file_) {
            error = "cannot write '" + path + "': " + std::strerror(errno != 0 ? errno : EIO);
            return false;
        }
        out_ = &file_;
        return true;
    }
    temp_ = path + "." + std::to_string(ProcessId()) + ".part";
    slot_ = Register(temp_);
    errno = 0;
    file_.open(temp_, std::ios::binary | std::ios::trunc);
    if (!file_) {
        const int code = errno != 0 ? errno : EIO;
        Unregister(slot_);
        temp_.clear();
        error = "cannot write '" + path + "': " + std::strerror(code);
        return false;
    }
    out_ = &file_;
    return true;
}

bool OutputFile::Commit(std::string& error) {
    out_->flush();
    if (!*out_) {
        error = "writing '" + path_ + "' failed";
        Discard();
        return false;
    }
    if (temp_.empty()) {
        if (file_.is_open()) file_.close();
        if (file_.fail()) {
            error = "writing '" + path_ + "' failed";
            return false;
        }
        return true;
    }
    file_.close();
    std::error_code ec;
    if (!file_.fail()) std::filesystem::rename(temp_, path_, ec);
    if (file_.fail() || ec) {
        error = "cannot complete '" + path_ + "'" + (ec ? ": " + ec.message() : std::string());
        Discard();
        return false;
    }
    committed_ = true;
    Unregister(slot_);
    return true;
}

PrivateTempDir::~PrivateTempDir() {
    if (path_.empty()) return;
    g_tempDirSet = 0;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

bool PrivateTempDir::Create(const std::string& wanted, std::string& error) {
    std::string parent = wanted.empty() ? SystemTempDir() : wanted;
    while (parent.size() > 1 && (parent.back() == '/' || parent.back() == '\\')) parent.pop_back();
    struct stat st {};
    if (stat(parent.c_str(), &st) != 0) {
        error = "temporary directory '" + parent + "': " + std::strerror(errno);
        return false;
    }
    if ((st.st_mode & S_IFDIR) == 0) {
        error = "temporary directory '" + parent + "' is not a directory";
        return false;
    }
    static int serial = 0;
    const std::string dir =
        parent + "/zbhost-" + std::to_string(ProcessId()) + "-" + std::to_string(++serial);
#if defined(_WIN32)
    const int made = _mkdir(dir.c_str());
#else
    const int made = mkdir(dir.c_str(), 0700);
#endif
    if (made != 0) {
        error =
            "cannot make a directory in the temporary directory '" + parent + "': " + std::strerror(errno);
        return false;
    }
    path_ = dir + "/";
    if (path_.size() > kTempDirMax) {
        error = "the temporary directory path is longer than " + std::to_string(kTempDirMax) +
                " characters: choose a shorter one with --temp-dir";
        std::error_code ec;
        std::filesystem::remove(dir, ec);
        path_.clear();
        return false;
    }
    if (CopyPath(g_tempDir, dir)) g_tempDirSet = 1;
    return true;
}

}  // namespace zbhost
