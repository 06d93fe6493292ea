// Drawing of the position plot: one pass over the frames fills per-column statistics (value range
// and marks), then the picture is written from the columns alone, so its size depends on its width.
#include "position_plot.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "outputs.h"
#include "safe_output.h"
#include "time_units.h"

namespace zbhost {

namespace {

constexpr double kLeft = 100;
constexpr double kRight = 20;
constexpr double kTop = 30;
constexpr double kPanelHeight = 130;
constexpr double kStripRow = 9;
constexpr double kPanelGap = 24;
constexpr double kAxisHeight = 50;
constexpr double kTickSpacing = 140;
constexpr uint64_t kInterruptCheckFrames = 4096;

enum Mark : uint8_t { kCrcError = 1, kErrActive = 2, kWarnActive = 4, kBroken = 8 };
struct MarkStyle {
    Mark mark;
    const char* name;
    const char* colour;
};
constexpr MarkStyle kMarks[] = {{kCrcError, "CRC error", "#D62728"},
                                {kErrActive, "nErr", "#FF7F0E"},
                                {kWarnActive, "nWarn", "#C8A800"},
                                {kBroken, "broken", "#7F7F7F"}};

struct Column {
    bool has = false;
    double first = 0, last = 0, low = 0, high = 0;
};

struct Panel {
    std::vector<Column> columns;
    std::vector<uint8_t> marks;
    uint64_t plotted = 0;
    bool any = false;
    double low = 0, high = 0;
};

std::string Px(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

const char* ValueName(PlotValue v) {
    switch (v) {
        case PlotValue::SingleTurn:
            return "single-turn value";
        case PlotValue::MultiTurn:
            return "multi-turn value";
        case PlotValue::Position:
            break;
    }
    return "position";
}

// Runs of columns that carry `mark`, as rectangles.
void WriteMarks(std::ostream& out, const std::vector<uint8_t>& marks, const MarkStyle& style, double y) {
    for (size_t c = 0; c < marks.size();) {
        if ((marks[c] & style.mark) == 0) {
            ++c;
            continue;
        }
        size_t end = c + 1;
        while (end < marks.size() && (marks[end] & style.mark) != 0) ++end;
        out << "<rect x=\"" << Px(kLeft + static_cast<double>(c)) << "\" y=\"" << Px(y) << "\" width=\""
            << end - c << "\" height=\"" << kStripRow - 1 << "\" fill=\"" << style.colour << "\"/>\n";
        c = end;
    }
}

}  // namespace

bool ParsePlotValue(const std::string& text, PlotValue& value) {
    if (text == "position" || text == "combined")
        value = PlotValue::Position;
    else if (text == "single-turn" || text == "st")
        value = PlotValue::SingleTurn;
    else if (text == "multi-turn" || text == "mt")
        value = PlotValue::MultiTurn;
    else
        return false;
    return true;
}

bool CanPlot(const DecodeLayout& l, PlotValue value, std::string& error) {
    if (l.mode != ViewMode::SingleCycle) {
        error = "--plot draws position frames: it needs --mode scd";
        return false;
    }
    if (l.combined && value != PlotValue::Position) {
        error = "--plot-value: with --combine on the frames carry one joined value (use position)";
        return false;
    }
    if (value == PlotValue::MultiTurn && l.multiTurnBits < 1) {
        error =
            "--plot-value multi-turn: the decode has no multi-turn bits (--st-bits takes the whole length)";
        return false;
    }
    return true;
}

void WritePositionPlot(const RecordView& records, const DecodeLayout& l, const PlotOptions& o,
                       std::ostream& out) {
    const int64_t from = o.to > o.from ? o.from : l.rangeFrom;
    const int64_t to = o.to > o.from ? o.to : std::max(l.rangeTo, l.rangeFrom + 1);
    const double width = std::max(200.0, o.width);
    const size_t columns = static_cast<size_t>(width - kLeft - kRight);
    const double scale = static_cast<double>(columns) / static_cast<double>(to - from);
    std::vector<Panel> panels(static_cast<size_t>(std::max(1, l.slaves)));
    for (Panel& p : panels) {
        p.columns.resize(columns);
        p.marks.resize(columns);
    }
    uint64_t frames = 0, bad = 0, seen = 0;
    ForEachFrame(records, [&](const DecodedFrame& f) {
        if ((++seen % kInterruptCheckFrames) == 0) ThrowIfInterrupted();
        if (f.position < from || f.position >= to) return;
        ++frames;
        const size_t c =
            std::min(columns - 1, static_cast<size_t>(static_cast<double>(f.position - from) * scale));
        for (size_t k = 0; k < f.slaves.size() && k < panels.size(); ++k) {
            const SlaveWord& w = f.slaves[k];
            Panel& p = panels[k];
            uint8_t& marks = p.marks[c];
            if (w.status == FrameStatus::CrcError) marks |= kCrcError, ++bad;
            if (w.status == FrameStatus::Busy || w.status == FrameStatus::Timeout ||
                w.status == FrameStatus::CutShort)
                marks |= kBroken;
            if (w.err == 0) marks |= kErrActive;
            if (w.warn == 0) marks |= kWarnActive;
            const bool has = o.value == PlotValue::Position     ? w.HasValue()
                             : o.value == PlotValue::SingleTurn ? w.hasSingleTurn
                                                                : w.hasMultiTurn;
            if (w.status != FrameStatus::Ok || !has) continue;
            const double v = static_cast<double>(o.value == PlotValue::Position     ? w.Position(l)
                                                 : o.value == PlotValue::SingleTurn ? w.singleTurn
                                                                                    : w.multiTurn);
            Column& col = p.columns[c];
            if (!col.has) col = Column{true, v, v, v, v};
            col.last = v;
            col.low = std::min(col.low, v);
            col.high = std::max(col.high, v);
            p.low = p.any ? std::min(p.low, v) : v;
            p.high = p.any ? std::max(p.high, v) : v;
            p.any = true;
            ++p.plotted;
        }
    });

    const double panelBlock = 4 * kStripRow + 6 + kPanelHeight + kPanelGap;
    const double height = kTop + static_cast<double>(panels.size()) * panelBlock + kAxisHeight;
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
        << "\" viewBox=\"0 0 " << width << ' ' << height
        << "\" font-family=\"monospace\" font-size=\"11\">\n";
    out << "<rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/>\n";
    const double rate = static_cast<double>(l.sampleRate);
    std::string title = std::string(ValueName(o.value)) + " of " + Grouped(static_cast<int64_t>(frames)) +
                        " frames, " + RangeCaption(from, to, l.sampleRate);
    title += "; " + Grouped(static_cast<int64_t>(bad)) + " CRC errors, marked and not plotted";
    out << "<text x=\"8\" y=\"16\" fill=\"#202020\">" << title << "</text>\n";

    const int maxTicks = std::max(2, static_cast<int>(static_cast<double>(columns) / kTickSpacing));
    const double toAxis = l.sampleRate ? 1.0 / rate : 1.0;
    const AxisTicks timeTicks =
        ChooseTicks(static_cast<double>(from) * toAxis, static_cast<double>(to - 1) * toAxis,
                    l.sampleRate != 0, maxTicks);
    auto timeX = [&](double t) { return kLeft + (t / toAxis - static_cast<double>(from)) * scale; };
    double top = kTop;
    for (size_t k = 0; k < panels.size(); ++k) {
        const Panel& p = panels[k];
        for (size_t m = 0; m < std::size(kMarks); ++m) {
            const double y = top + static_cast<double>(m) * kStripRow;
            out << "<text x=\"" << kLeft - 4 << "\" y=\"" << Px(y + kStripRow - 1)
                << "\" text-anchor=\"end\" font-size=\"8\" fill=\"" << kMarks[m].colour << "\">"
                << kMarks[m].name << "</text>\n";
            WriteMarks(out, p.marks, kMarks[m], y);
        }
        const double plotTop = top + 4 * kStripRow + 6;
        const double plotBottom = plotTop + kPanelHeight;
        out << "<rect x=\"" << kLeft << "\" y=\"" << Px(plotTop) << "\" width=\"" << columns << "\" height=\""
            << kPanelHeight << "\" fill=\"none\" stroke=\"#C0C0C0\"/>\n";
        for (double t : timeTicks.at) {
            out << "<line x1=\"" << Px(timeX(t)) << "\" y1=\"" << Px(plotTop) << "\" x2=\"" << Px(timeX(t))
                << "\" y2=\"" << Px(plotBottom) << "\" stroke=\"#EEEEEE\"/>\n";
        }
        if (panels.size() > 1)
            out << "<text x=\"" << kLeft + 4 << "\" y=\"" << Px(plotTop + 12) << "\" fill=\"#404040\">slave "
                << k << "</text>\n";
        if (!p.any) {
            out << "<text x=\"" << Px(kLeft + static_cast<double>(columns) / 2) << "\" y=\""
                << Px(plotTop + kPanelHeight / 2)
                << "\" text-anchor=\"middle\" fill=\"#808080\">no value with a good "
                << "CRC to plot</text>\n";
            top += panelBlock;
            continue;
        }
        const double low = p.low == p.high ? p.low - 1 : p.low;
        const double high = p.low == p.high ? p.high + 1 : p.high;
        auto y = [&](double v) { return plotBottom - 4 - (v - low) / (high - low) * (kPanelHeight - 8); };
        const AxisTicks valueTicks = ChooseTicks(low, high, false, 5);
        for (size_t t = 0; t < valueTicks.at.size(); ++t) {
            const double ty = y(valueTicks.at[t]);
            out << "<line x1=\"" << kLeft - 3 << "\" y1=\"" << Px(ty) << "\" x2=\"" << kLeft << "\" y2=\""
                << Px(ty) << "\" stroke=\"#888888\"/><text x=\"" << kLeft - 5 << "\" y=\"" << Px(ty + 4)
                << "\" text-anchor=\"end\" fill=\"#404040\">" << valueTicks.labels[t] << "</text>\n";
        }
        if (!valueTicks.origin.empty())
            out << "<text x=\"4\" y=\"" << Px(plotBottom + 14) << "\" font-size=\"9\" fill=\"#404040\">"
                << valueTicks.origin.substr(5) << " +</text>\n";
        // The trace: each column with values draws its first, lowest, highest and last value.
        std::string d;
        std::string dots;
        const bool sparse = p.plotted * 6 < columns;
        for (size_t c = 0; c < columns; ++c) {
            const Column& col = p.columns[c];
            if (!col.has) continue;
            const std::string x = Px(kLeft + static_cast<double>(c) + 0.5);
            d += (d.empty() ? "M" : "L") + x + "," + Px(y(col.first));
            if (col.low != col.first) d += "V" + Px(y(col.low));
            if (col.high != col.low) d += "V" + Px(y(col.high));
            if (col.last != col.high) d += "V" + Px(y(col.last));
            if (sparse)
                dots +=
                    "<circle cx=\"" + x + "\" cy=\"" + Px(y(col.last)) + "\" r=\"2\" fill=\"#1F3A93\"/>\n";
        }
        out << "<path fill=\"none\" stroke=\"#1F3A93\" stroke-width=\"1\" d=\"" << d << "\"/>\n" << dots;
        top += panelBlock;
    }
    const double axisY = top - kPanelGap + 4;
    for (size_t k = 0; k < timeTicks.at.size(); ++k) {
        const double px = timeX(timeTicks.at[k]);
        out << "<line x1=\"" << Px(px) << "\" y1=\"" << Px(axisY) << "\" x2=\"" << Px(px) << "\" y2=\""
            << Px(axisY + 5) << "\" stroke=\"#888888\"/><text x=\"" << Px(px) << "\" y=\"" << Px(axisY + 18)
            << "\" text-anchor=\"middle\" fill=\"#404040\">" << timeTicks.labels[k] << "</text>\n";
    }
    std::string axisNote = l.sampleRate ? "" : "sample numbers (the capture has no sample rate)";
    if (!timeTicks.origin.empty()) axisNote = timeTicks.origin + (axisNote.empty() ? "" : "; " + axisNote);
    if (!axisNote.empty())
        out << "<text x=\"" << kLeft << "\" y=\"" << Px(axisY + 34) << "\" fill=\"#404040\">" << axisNote
            << "</text>\n";
    out << "</svg>\n";
}

}  // namespace zbhost
