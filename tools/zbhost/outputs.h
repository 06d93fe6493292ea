// zbhost's outputs of a decode: the records with their labels (text or CSV) and an SVG picture of MA
// and SLO with the labels drawn over the waveform in the colours the plug-in gives. Where a frame is
// too narrow for its labels the picture draws it as one block coloured by its outcome, and the
// traces are reduced to one vertical stroke per pixel column, so a picture of a whole long capture
// stays small.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "bissgen/capture.h"
#include "host_session.h"

namespace zbhost {

enum class LabelFormat { Text, Csv };

// One line per record: position, time, code, label, colours (no time when the rate is unknown).
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
    int64_t from = -1;    // -1: chosen from the capture (the first burst of activity)
    int64_t to = -1;      // the end, exclusive (at most the capture's last sample + 1)
    double width = 1400;  // picture width in pixels
};

// Resolves a default range: from just before the first change after position 0 over the next few
// hundred changes.
SvgRange ChooseSvgRange(const bissgen::Capture& capture, SvgRange wanted);
void WriteSvg(HostSession& session, const bissgen::Capture& capture, SvgRange range, std::ostream& out);

// "samples 840 .. 4,239 (4.200 us .. 21.195 us)" for the samples [from, to).
std::string RangeCaption(int64_t from, int64_t to, uint64_t rate);

// The levels of MA and SLO over [from, to): `visit` is called with the levels in force at `from`,
// then at every change in the range. The one place the pictures read the capture.
void WalkChanges(const bissgen::Capture& capture, int64_t from, int64_t to,
                 const std::function<void(int64_t position, int ma, int slo)>& visit);

}  // namespace zbhost
