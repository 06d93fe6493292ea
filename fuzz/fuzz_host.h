// The host side the fuzz targets share: a private directory for the plug-in's temporary files
// (host message 0), the application object started once, and the checks of the report text that
// a host receives.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "abi/host_record.h"
#include "fuzz_input.h"
#include "platform/platform.h"
#include "plugin/app.h"
#include "report_parser.h"

extern "C" void SetMsgInfo(uint64_t message, const void* data);

namespace zbfuzz {

inline std::string& TempDir() {
    static std::string dir;
    return dir;
}

inline void RemoveTempDir() {
    zb::TheApp().ExitInstance();  // the engine deletes its stores' files
    if (!TempDir().empty()) rmdir(TempDir().c_str());
}

// Starts the module once per process: the engine, and a temporary directory of its own.
inline void StartModule() {
    static bool started = false;
    if (started) return;
    started = true;
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/zbfuzz.XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
        TempDir() = pattern + "/";
        SetMsgInfo(0, TempDir().c_str());
    }
    zb::TheApp().InitInstance();
    std::atexit(RemoveTempDir);
}

// Checks a whole report as the host received it: a header line first, then rows that parse, each
// with as many cells as the header has colour pairs to choose from.
inline void CheckReportLines(const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    ParsedHeader header;
    ZB_FUZZ_CHECK(ParseHeaderLine(lines[0], header));
    const size_t pairs = header.colours.size() / 2;
    size_t columns = SIZE_MAX;
    for (size_t i = 1; i < lines.size(); ++i) {
        ParsedRow row;
        ZB_FUZZ_CHECK2(ParseRowLine(lines[i], row), i, lines[i].size());
        for (int p : row.pairs) ZB_FUZZ_CHECK2(static_cast<size_t>(p) < pairs, p, pairs);
        if (columns == SIZE_MAX) columns = row.cells.size();
        ZB_FUZZ_CHECK2(row.cells.size() == columns, row.cells.size(), columns);
    }
}

// Splits a published report text (lines ended by CR LF) into its lines.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        ZB_FUZZ_CHECK2(end != std::string::npos, start, text.size());
        lines.push_back(text.substr(start, end + 2 - start));
        start = end + 2;
    }
    return lines;
}

// Reads the named block the plug-in published (POSIX shared memory), checks that it is one NUL
// terminated text, removes it and returns the text.
inline std::string TakeSharedBlock(const char* name) {
    char object[256];
    zb::platform::SharedBlockObjectName(name, object, sizeof object);
    const int fd = shm_open(object, O_RDONLY, 0);
    if (fd < 0) return std::string();
    struct stat st {};
    std::string text;
    if (fstat(fd, &st) == 0 && st.st_size > 0) {
        void* view = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
        ZB_FUZZ_CHECK(view != MAP_FAILED);
        const char* bytes = static_cast<const char*>(view);
        ZB_FUZZ_CHECK(bytes[st.st_size - 1] == '\0');
        text.assign(bytes);
        // A fresh block is exactly as long as the text and its NUL.
        ZB_FUZZ_CHECK2(text.size() + 1 == static_cast<size_t>(st.st_size), text.size(), st.st_size);
        munmap(view, static_cast<size_t>(st.st_size));
    }
    close(fd);
    shm_unlink(object);
    return text;
}

}  // namespace zbfuzz
