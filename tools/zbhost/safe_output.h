// Clean failure: every output is written under a temporary name in its own directory and renamed
// when complete, the plug-in's temporary files go into a directory of their own, and an interrupt
// (SIGINT, SIGTERM, SIGHUP, SIGPIPE) removes both and ends the progress line before zbhost exits.
// On POSIX systems the signal handler does the removal itself with async-signal-safe calls, so it
// works whatever zbhost is doing; on Windows the handler asks the decode to stop and the normal
// flow unwinds (ThrowIfInterrupted), which removes the files through the destructors below.
#pragma once

#include <cstdint>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <string>

namespace zbhost {

class Interrupted : public std::runtime_error {
  public:
    Interrupted() : std::runtime_error("interrupted") {}
};

// The process id, which temporary names carry.
int ProcessId();

// Installs the handlers (once per process).
void InstallInterruptCleanup();
bool InterruptRequested();
void ThrowIfInterrupted();
// The stop word of the host record in use (null: none), raised by the handler so that the
// plug-in ends its walk.
void SetInterruptStopWord(uint32_t* word);
// The POSIX shared-memory object of the report block (empty: none), removed by the handler.
void SetInterruptSharedBlock(const std::string& object);

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file next to `path` ("-" writes to standard output); false with the
    // reason, the system's text included.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return out_ != nullptr; }
    const std::string& Path() const { return path_; }
    std::ostream& Stream() { return *out_; }
    // Flushes and closes the temporary file and renames it to the final name.
    bool Commit(std::string& error);

  private:
    void Discard();
    std::string path_, temp_;
    std::ofstream file_;
    std::ostream* out_ = nullptr;
    int slot_ = -1;
    bool committed_ = false;
};

// A directory for the plug-in's temporary files, made inside `parent` (the system's temporary
// directory when empty) and removed with everything in it when the object ends.
class PrivateTempDir {
  public:
    PrivateTempDir() = default;
    ~PrivateTempDir();
    PrivateTempDir(const PrivateTempDir&) = delete;
    PrivateTempDir& operator=(const PrivateTempDir&) = delete;

    // False with the reason when `parent` is missing, no directory, or not writable.
    bool Create(const std::string& parent, std::string& error);
    // The directory, ending in a separator.
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace zbhost
