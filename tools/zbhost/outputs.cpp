// Label listing and the SVG waveform. The SVG draws each labelled record as the host does: a box
// from the record's position to the next record's, filled with the label's background colour and
// holding the long label when it fits, else the short one, in its text colour.
#include "outputs.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "report_table.h"

namespace zbhost {

namespace {

constexpr double kLeft = 60;
constexpr double kRight = 20;
constexpr double kCharWidth = 6.6;       // 11 px monospace
constexpr double kSmallCharWidth = 5.4;  // 9 px monospace
constexpr double kTextMargin = 2;        // pixels of a box not written on
constexpr int64_t kDefaultChanges = 400;

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += static_cast<unsigned char>(c) < 0x20 ? '.' : c;
        }
    }
    return out;
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

double CharWidth(LabelFont font) {
    return font == LabelFont::Small ? kSmallCharWidth : kCharWidth;
}

size_t CharsThatFit(double width, LabelFont font) {
    return static_cast<size_t>(std::max(0.0, (width - kTextMargin) / CharWidth(font)));
}

// The font that holds `text` whole in the box, the normal one first; false when neither does.
bool FontThatHolds(const std::string& text, double width, LabelFont& font) {
    for (LabelFont f : {LabelFont::Normal, LabelFont::Small}) {
        if (text.size() <= CharsThatFit(width, f)) {
            font = f;
            return true;
        }
    }
    return false;
}

}  // namespace

FittedLabel FitLabel(const std::string& longForm, double width,
                     const std::function<std::string()>& shortForm) {
    FittedLabel fitted;
    if (FontThatHolds(longForm, width, fitted.font)) {
        fitted.text = longForm;
        return fitted;
    }
    std::string text = shortForm ? shortForm() : std::string();
    if (text.empty()) text = longForm;
    if (FontThatHolds(text, width, fitted.font)) {
        fitted.text = text;
        return fitted;
    }
    fitted.font = LabelFont::Small;
    fitted.text = text.substr(0, CharsThatFit(width, LabelFont::Small));
    return fitted;
}

void WriteLabels(HostSession& session, uint64_t sampleRate, LabelFormat format, std::ostream& out) {
    if (format == LabelFormat::Csv) out << "position,time_s,code,label,text_colour,back_colour\n";
    char line[512];
    for (uint32_t i = 0; i < session.RecordCount(); ++i) {
        const Label l = session.LabelOf(i);
        const double t = sampleRate ? static_cast<double>(l.position) / static_cast<double>(sampleRate) : 0.0;
        const std::string fg = l.coloured ? CssColour(l.textColour) : "";
        const std::string bg = l.coloured ? CssColour(l.backColour) : "";
        if (format == LabelFormat::Csv) {
            std::snprintf(line, sizeof line, "%" PRId64 ",%.9f,%08X,", l.position, t, l.code);
            out << line << CsvField(l.text) << ',' << fg << ',' << bg << '\n';
        } else {
            std::snprintf(line, sizeof line, "%12" PRId64 "  %14.9f s  %08X  %-22s  %s on %s\n", l.position,
                          t, l.code, l.text.c_str(), l.coloured ? fg.c_str() : "-",
                          l.coloured ? bg.c_str() : "-");
            out << line;
        }
    }
}

SvgRange ChooseSvgRange(const bissgen::Capture& capture, SvgRange wanted) {
    SvgRange r = wanted;
    const auto& c = capture.changes;
    if (r.from < 0)
        r.from = c.size() > 1
                     ? std::max<int64_t>(
                           0, c[1].position - (c.size() > 2 ? (c[2].position - c[1].position) * 4 : 10))
                     : 0;
    if (r.to < 0) {
        const auto first = std::lower_bound(
            c.begin(), c.end(), r.from, [](const bissgen::Change& ch, int64_t p) { return ch.position < p; });
        const int64_t left = c.end() - first;
        r.to = left > kDefaultChanges ? first[kDefaultChanges].position : capture.lastSample;
    }
    r.to = std::min(r.to, capture.lastSample);
    if (r.to <= r.from) r.to = r.from + 1;
    return r;
}

void WriteSvg(HostSession& session, const bissgen::Capture& capture, SvgRange range, std::ostream& out) {
    range = ChooseSvgRange(capture, range);
    const double kWidth = range.width;
    const double span = static_cast<double>(range.to - range.from);
    const double scale = (kWidth - kLeft - kRight) / span;
    auto x = [&](int64_t p) {
        return kLeft + static_cast<double>(std::clamp(p, range.from, range.to) - range.from) * scale;
    };
    const double maHigh = 30, maLow = 70, sloHigh = 120, sloLow = 160, labelTop = 95, labelBottom = 185;
    const double height = 230;

    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\"" << height
        << "\" viewBox=\"0 0 " << kWidth << ' ' << height
        << "\" font-family=\"monospace\" font-size=\"11\">\n";
    out << "<rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/>\n";
    out << "<text x=\"8\" y=\"55\" fill=\"#202020\">MA</text>\n<text x=\"8\" y=\"145\" "
           "fill=\"#202020\">SLO</text>\n";

    // Labels behind the SLO trace: one box per position, from it to the next record's position.
    const uint32_t n = session.RecordCount();
    for (uint32_t i = 0; i < n; ++i) {
        const int64_t p = session.PositionAt(i);
        if (i > 0 && session.PositionAt(i - 1) == p) continue;  // the rest of a value triple
        uint32_t j = i + 1;
        while (j < n && session.PositionAt(j) == p) ++j;
        const int64_t end = j < n ? session.PositionAt(j) : range.to;
        if (end <= range.from || p >= range.to) continue;
        const Label l = session.LabelOf(i);
        if (!l.coloured) continue;
        const double x0 = x(p), x1 = x(end);
        const double w = std::max(0.5, x1 - x0);
        out << "<rect x=\"" << Number(x0) << "\" y=\"" << labelTop << "\" width=\"" << Number(w)
            << "\" height=\"" << labelBottom - labelTop << "\" fill=\"" << CssColour(l.backColour)
            << "\" fill-opacity=\"0.8\" stroke=\"#FFFFFF\" stroke-width=\"0.5\"/>\n";
        if (l.text.empty()) continue;
        const FittedLabel fitted = FitLabel(l.text, w, [&] { return session.ShortLabelOf(i).text; });
        if (fitted.text.empty()) continue;
        out << "<text x=\"" << Number(x0 + w / 2) << "\" y=\"" << labelBottom - 6
            << "\" text-anchor=\"middle\"" << (fitted.font == LabelFont::Small ? " font-size=\"9\"" : "")
            << " fill=\"" << CssColour(l.textColour) << "\">" << Escape(fitted.text) << "</text>\n";
    }

    // The traces: steps from change to change over the range.
    const auto& c = capture.changes;
    auto trace = [&](bool isMa, double high, double low, const char* colour) {
        auto level = [&](const bissgen::Change& ch) { return isMa ? ch.ma : ch.slo; };
        auto it = std::upper_bound(c.begin(), c.end(), range.from,
                                   [](int64_t p, const bissgen::Change& ch) { return p < ch.position; });
        int current = it == c.begin() ? 0 : level(*(it - 1));
        std::string points = Number(x(range.from)) + "," + Number(current ? high : low);
        for (; it != c.end() && it->position < range.to; ++it) {
            if (level(*it) == current) continue;
            const std::string px = Number(x(it->position));
            points += " " + px + "," + Number(current ? high : low);
            current = level(*it);
            points += " " + px + "," + Number(current ? high : low);
        }
        points += " " + Number(x(range.to)) + "," + Number(current ? high : low);
        out << "<polyline fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"1.5\" points=\"" << points
            << "\"/>\n";
    };
    trace(true, maHigh, maLow, "#1F3A93");
    trace(false, sloHigh, sloLow, "#101010");

    // A time axis in samples (and microseconds when the rate is known).
    for (int k = 0; k <= 10; ++k) {
        const int64_t p = range.from + static_cast<int64_t>(span * k / 10);
        const double px = x(p);
        char text[64];
        if (capture.sampleRate) {
            std::snprintf(text, sizeof text, "%.2f us",
                          static_cast<double>(p) * 1e6 / static_cast<double>(capture.sampleRate));
        } else {
            std::snprintf(text, sizeof text, "%" PRId64, p);
        }
        out << "<line x1=\"" << Number(px) << "\" y1=\"195\" x2=\"" << Number(px)
            << "\" y2=\"200\" stroke=\"#888888\"/>\n";
        out << "<text x=\"" << Number(px) << "\" y=\"215\" text-anchor=\"middle\" fill=\"#404040\">" << text
            << "</text>\n";
    }
    out << "</svg>\n";
}

}  // namespace zbhost
