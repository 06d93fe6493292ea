// Writes a capture as a sigrok session file (srzip): a zip archive with a "version" file, a
// "metadata" ini file and the raw samples in chunk files, one byte per sample (bit 0 MA, bit 1
// SLO). The samples are produced while the archive is written, so memory stays bounded.
#pragma once

#include <cstdint>
#include <string>

#include "bissgen/capture.h"

namespace bissgen {

constexpr uint64_t kSrzipChunkSamples = uint64_t{4} << 20;

// "200 MHz", "2500 kHz", "123 Hz": the largest unit that divides the rate exactly.
std::string SamplerateText(uint64_t sampleRate);
std::string SrzipMetadata(uint64_t sampleRate);

bool WriteSrzip(const std::string& path, const Capture& capture, std::string* error = nullptr,
                uint64_t chunkSamples = kSrzipChunkSamples);

}  // namespace bissgen
