// The position-over-time plot (--plot FILE.svg): the decoded value of every frame with a good CRC
// (the joined position, the single-turn or the multi-turn value) against time, one panel per slave,
// with strips that mark the frames with CRC errors, active nErr or nWarn, and broken-off frames.
// A long capture is reduced to the picture's resolution: each pixel column draws the first, lowest,
// highest and last value of its frames, so jumps and one-frame glitches still show.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "decoded_frames.h"

namespace zbhost {

enum class PlotValue { Position, SingleTurn, MultiTurn };

struct PlotOptions {
    PlotValue value = PlotValue::Position;
    double width = 1400;
    int64_t from = 0, to = 0;  // samples [from, to); to <= from: the decoded range
};

bool ParsePlotValue(const std::string& text, PlotValue& value);
// False with a message when the decode has no such value to plot.
bool CanPlot(const DecodeLayout& layout, PlotValue value, std::string& error);
void WritePositionPlot(const RecordView& records, const DecodeLayout& layout, const PlotOptions& options,
                       std::ostream& out);

}  // namespace zbhost
