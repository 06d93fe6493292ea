// The plain-text truth of a generated capture: one line per frame and one per register access,
// saying what master and slave sent and at which sample positions the key edges lie.
#pragma once

#include <string>

#include "bissgen/generator.h"

namespace bissgen {

std::string FrameLine(const FrameTruth& frame, const Layout& layout);
std::string AccessLine(const AccessTruth& access);
// One comment line with the timing and layout.
std::string TruthHeader(const Generator& generator);
// A header comment with the settings, then every frame line, then every access line.
std::string TruthText(const Generator& generator);
bool WriteTruth(const std::string& path, const Generator& generator, std::string* error = nullptr);

}  // namespace bissgen
