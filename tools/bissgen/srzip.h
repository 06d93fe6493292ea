// Writes a capture as a sigrok session file (srzip): a zip archive with a "version" file, a
// "metadata" ini file and the raw samples in chunk files. By default a sample is one byte (bit 0
// MA, bit 1 SLO); a layout can widen it to 8 bytes and put the two lines on any bits. The samples
// are produced while the archive is written, so memory stays bounded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bissgen/capture.h"

namespace bissgen {

constexpr uint64_t kSrzipChunkSamples = uint64_t{4} << 20;
constexpr unsigned kSrzipMaxUnitSize = 8;

// How the two lines sit in a sample. Probe c in the metadata ("probe<c+1>=name") is bit c of the
// sample, which is stored little-endian in unitSize bytes.
struct SrzipLayout {
    unsigned unitSize = 1;  // bytes per sample, 1..kSrzipMaxUnitSize
    unsigned maBit = 0;     // below unitSize * 8, and not sloBit
    unsigned sloBit = 1;
    std::vector<std::string> probeNames{"MA", "SLO"};
};

// "" when the layout can be written, else what is wrong with it.
std::string CheckSrzipLayout(const SrzipLayout& layout);

// "200 MHz", "2500 kHz", "123 Hz": the largest unit that divides the rate exactly.
std::string SamplerateText(uint64_t sampleRate);
std::string SrzipMetadata(uint64_t sampleRate, const SrzipLayout& layout = {});

// Writes samples 0..capture.lastSample, chunkSamples per "logic-1-N" file (0 = the default).
// False with a message in *error (when given) if the layout is bad or the file cannot be written.
bool WriteSrzip(const std::string& path, const Capture& capture, std::string* error = nullptr,
                uint64_t chunkSamples = kSrzipChunkSamples, const SrzipLayout& layout = {});

}  // namespace bissgen
