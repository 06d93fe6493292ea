// zbhost's outputs of a decode: the records with their labels (text or CSV) and an SVG picture of MA
// and SLO with the labels drawn over the waveform in the colours the plug-in gives.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "bissgen/capture.h"
#include "host_session.h"

namespace zbhost {

enum class LabelFormat { Text, Csv };

// One line per record: position, time, code, label, colours.
void WriteLabels(HostSession& session, uint64_t sampleRate, LabelFormat format, std::ostream& out);

enum class LabelFont { Normal, Small };

struct FittedLabel {
    std::string text;
    LabelFont font = LabelFont::Normal;
};

// What a label box `width` pixels wide shows, as a host draws it: the long form whole (in the
// normal font, else in the small one); when that does not fit, the short form whole (asked from
// `shortForm` only then); when even that does not fit, the short form cut to the box in the small
// font (the long form when the short one is empty).
FittedLabel FitLabel(const std::string& longForm, double width,
                     const std::function<std::string()>& shortForm);

struct SvgRange {
    int64_t from = -1;  // -1: chosen from the capture (the first burst of activity)
    int64_t to = -1;
    double width = 1400;  // picture width in pixels
};

// Resolves a default range: from just before the first change after position 0 over the next few
// hundred changes.
SvgRange ChooseSvgRange(const bissgen::Capture& capture, SvgRange wanted);
void WriteSvg(HostSession& session, const bissgen::Capture& capture, SvgRange range, std::ostream& out);

}  // namespace zbhost
