// The host side the fuzz targets share: the application object started once with a private
// directory for the plug-in's temporary files (host message 0), and the checks of the report text
// that a host receives.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "abi/host_record.h"
#include "fuzz_input.h"
#include "plugin/app.h"
#include "report_parser.h"
#include "support/published_block.h"
#include "support/scratch_dir.h"

extern "C" void SetMsgInfo(uint64_t message, const void* data);

namespace zbfuzz {

// Starts the module once per process: the engine, and a temporary directory of its own that is
// removed, with whatever is left in it, when the process ends (after the engine has gone).
// Returns the directory.
inline const std::string& StartModule() {
    static const zbtest::ScratchDir dir("zbfuzz");
    static const bool started = [] {
        SetMsgInfo(0, dir.Path().c_str());
        zb::TheApp().InitInstance();
        std::atexit([] { zb::TheApp().ExitInstance(); });  // the engine deletes its stores' files
        return true;
    }();
    (void)started;
    return dir.Path();
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

// Reads the named block the plug-in published, checks that it is one NUL-terminated text, removes
// it and returns the text.
inline std::string TakeSharedBlock(const char* name) {
    const zbtest::PublishedBlock block = zbtest::ReadPublishedBlock(name);
    zbtest::RemovePublishedBlock(name);
    if (block.bytes.empty()) return std::string();
    // A fresh block is exactly as long as the text and its NUL.
    ZB_FUZZ_CHECK2(block.Text().size() + 1 == block.bytes.size(), block.Text().size(), block.bytes.size());
    return block.Text();
}

}  // namespace zbfuzz
