// The capture readers of zbhost: sigrok session files (srzip), VCD and CSV exports. Each streams the
// file, keeps only the changes of the two chosen channels (MA and SLO) and fails with a CaptureError
// whose message names the problem; a broken or hostile file never crashes the reader.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "bissgen/capture.h"
#include "change_builder.h"

namespace zbhost {

enum class CaptureFormat { Auto, Srzip, Vcd, Csv };

struct ReadOptions {
    // A probe name, or the channel's 0-based number in the file when no probe has that name.
    std::string ma = "0";
    std::string slo = "1";
    // Samples per second used to turn VCD and CSV times into sample positions; 0 = the file's own.
    uint64_t sampleRate = 0;
    uint64_t maxChanges = kDefaultMaxChanges;
    // Told the share of the file read so far, in per mille (sigrok session files); may be null.
    void (*progress)(void* context, uint32_t permille) = nullptr;
    void* progressContext = nullptr;
};

// Picks the reader by the file name's extension (.sr, .vcd, .csv); throws for an unknown one.
CaptureFormat FormatFromPath(const std::string& path);
CaptureFormat ParseFormatName(const std::string& name);

// Reads the capture at `path` with the chosen (or guessed) reader.
bissgen::Capture ReadCapture(const std::string& path, CaptureFormat format, const ReadOptions& options);

// True when this build can read sigrok session files.
bool SrzipSupported();
bissgen::Capture ReadSrzip(const std::string& path, const ReadOptions& options);
bissgen::Capture ReadVcd(std::istream& in, const ReadOptions& options);
bissgen::Capture ReadCsv(std::istream& in, const ReadOptions& options);

// Finds the channel for `spec` among `names` (by name first, then as a 0-based number); throws a
// CaptureError naming `role` and listing the channels when there is none.
size_t ResolveChannel(const std::string& spec, const std::vector<std::string>& names, const char* role);

// Parses a rate such as "200 MHz", "1.5MHz", "48000" or "1 GHz" into samples per second; 0 when the
// text is not a rate.
uint64_t ParseSampleRate(const std::string& text);

}  // namespace zbhost
