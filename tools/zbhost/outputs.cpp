// Label listing and the SVG waveform. The SVG draws each labelled record as the host does: a box
// from the record's position to the next record's, filled with the label's background colour and
// holding the long label when it fits, else the short one, in its text colour. A frame (or register
// access: the records up to a Status Idle) too narrow for its labels becomes one block in the colour
// of its outcome; neighbouring blocks that share a pixel merge, and the traces draw at most one
// vertical stroke per pixel column, so the file grows with the picture's width, not the capture's.
#include "outputs.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "abi/record_code.h"
#include "report_table.h"
#include "safe_output.h"
#include "text_buffer.h"
#include "time_units.h"

namespace zbhost {

namespace {

constexpr double kLeft = 60;
constexpr double kRight = 20;
constexpr double kCharWidth = 6.6;       // 11 px monospace
constexpr double kSmallCharWidth = 5.4;  // 9 px monospace
constexpr double kTextMargin = 2;        // pixels of a box not written on
constexpr double kMinLabelWidth = 6;     // a frame narrower than this per record is drawn as a block
constexpr double kTickSpacing = 140;     // pixels per axis tick, about
constexpr int64_t kDefaultChanges = 400;
constexpr uint32_t kInterruptCheckRecords = 1024;

// Block colours by outcome: complete and CRC good, a CRC error, broken off (busy, timeout, cut).
enum class Outcome { Ok, CrcError, Broken };
const char* const kOutcomeColour[] = {"#9BD39B", "#E35D5D", "#F0A030"};
const char* const kOutcomeName[] = {"CRC good", "CRC error", "broken off"};

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

std::string Coarse(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
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

std::string RangeCaption(int64_t from, int64_t to, uint64_t rate) {
    std::string text = "samples " + Grouped(from) + " .. " + Grouped(to - 1);
    if (rate) {
        const double r = static_cast<double>(rate);
        // Times to a thousandth of the range, or to a sample when that is coarser.
        const double resolution = std::max(1.0, static_cast<double>(to - from) / 1e3) / r;
        text += " (" + FormatSecondsAt(static_cast<double>(from) / r, resolution) + " .. " +
                FormatSecondsAt(static_cast<double>(to - 1) / r, resolution) + ")";
    }
    return text;
}

namespace {

// One frame or access: records [first, last], the last being its Status Idle.
struct Span {
    uint32_t first = 0, last = 0;
    bool isFrame = false;  // holds an acknowledge, a start or an Idl, not only decode-wide records
    Outcome outcome = Outcome::Ok;
};

// The span that starts at record i; i must be below the count.
Span SpanAt(const RecordView& r, uint32_t i) {
    Span s;
    s.first = i;
    for (;; ++i) {
        const uint32_t code = r.codes[i];
        const zb::RecordKind kind = zb::KindOf(code);
        s.isFrame |=
            kind == zb::RecordKind::Ack || kind == zb::RecordKind::Start || kind == zb::RecordKind::Idl;
        if (kind == zb::RecordKind::Crc && (zb::PayloadOf(code) & zb::kCrcMismatchFlag) != 0 &&
            s.outcome == Outcome::Ok)
            s.outcome = Outcome::CrcError;
        if (kind == zb::RecordKind::ReadWrite && (zb::PayloadOf(code) & zb::kReadWriteInvalid) != 0)
            s.outcome = Outcome::Broken;
        if (kind == zb::RecordKind::Status) {
            const auto status = static_cast<zb::StatusCode>(zb::LowByte(code));
            if (status == zb::StatusCode::Busy || status == zb::StatusCode::Error ||
                status == zb::StatusCode::Timeout)
                s.outcome = Outcome::Broken;
            if (status == zb::StatusCode::Idle) break;
        }
        if (i + 1 >= r.count) break;
    }
    s.last = i;
    return s;
}

// The blocks of one picture: the worst outcome of the frames in each pixel column, drawn as one
// rectangle per run of columns that share it.
class BlockRow {
  public:
    BlockRow(double left, double columns)
        : left_(left), worst_(static_cast<size_t>(std::max(1.0, columns)), -1) {}
    void Add(double x0, double x1, Outcome o) {
        const size_t n = worst_.size();
        const size_t c0 = std::min(n - 1, static_cast<size_t>(std::max(0.0, x0 - left_)));
        const size_t c1 =
            std::min(n, std::max(c0 + 1, static_cast<size_t>(std::max(0.0, x1 - left_ + 0.999))));
        for (size_t c = c0; c < c1; ++c) worst_[c] = std::max<int8_t>(worst_[c], static_cast<int8_t>(o));
        used_[static_cast<int>(o)] = true;
    }
    bool Drew(Outcome o) const { return used_[static_cast<int>(o)]; }
    void Write(std::ostream& out, double top, double height) const {
        for (size_t c = 0; c < worst_.size();) {
            size_t end = c + 1;
            while (end < worst_.size() && worst_[end] == worst_[c]) ++end;
            if (worst_[c] >= 0) {
                out << "<rect x=\"" << Coarse(left_ + static_cast<double>(c)) << "\" y=\"" << top
                    << "\" width=\"" << end - c << "\" height=\"" << height << "\" fill=\""
                    << kOutcomeColour[worst_[c]] << "\"/>\n";
            }
            c = end;
        }
    }

  private:
    double left_;
    std::vector<int8_t> worst_;
    bool used_[3] = {false, false, false};
};

bool IsIdle(uint32_t code) {
    return zb::KindOf(code) == zb::RecordKind::Status &&
           static_cast<zb::StatusCode>(zb::LowByte(code)) == zb::StatusCode::Idle;
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

namespace {

// The label field of a text line: "%-*s" of the label with `width` (at most 32), written as two
// fixed copies into the line's room when it fits (the label, then spaces from its end on).
char* PaddedLabelAt(char* at, const RawLabel& l, size_t width) {
    static constexpr char kSpaces[32] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                         ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                         ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    static_assert(RawLabel::kCapacity >= sizeof kSpaces);
    if (l.length > width || width > sizeof kSpaces) return LeftAlignedAt(at, {l.text, l.length}, width);
    std::memcpy(at, l.text, sizeof kSpaces);
    std::memcpy(at + l.length, kSpaces, sizeof kSpaces);
    return at + width;
}

// The colours of a line, "#RRGGBB" and "#RRGGBB" with `between` (at most 4 characters), kept by
// pair: a capture's labels have a handful of colour pairs.
class ColourPairs {
  public:
    explicit ColourPairs(std::string_view between) : between_(between) {
        for (Entry& e : entries_) Fill(e, 0, 0);
    }
    // Writes the pair's text (18 bytes at most), as ColourAt, `between`, ColourAt would.
    char* At(char* at, uint32_t text, uint32_t back) {
        const uint64_t pair = (uint64_t{text} << 32) | back;
        Entry& e = entries_[(pair * 0x9E3779B97F4A7C15ull) >> (64 - kIndexBits)];
        if (e.pair != pair) Fill(e, text, back);
        std::memcpy(at, e.text, sizeof e.text);
        return at + e.length;
    }

  private:
    static constexpr unsigned kIndexBits = 8;
    static constexpr size_t kEntries = size_t{1} << kIndexBits;
    struct Entry {
        uint64_t pair = 0;
        size_t length = 0;
        char text[24] = {};
    };
    void Fill(Entry& e, uint32_t text, uint32_t back) {
        e.pair = (uint64_t{text} << 32) | back;
        e.length = static_cast<size_t>(ColourAt(PutAt(ColourAt(e.text, text), between_), back) - e.text);
    }
    std::string_view between_;
    Entry entries_[kEntries];
};

}  // namespace

void WriteLabels(HostSession& session, uint64_t sampleRate, LabelFormat format, std::ostream& out) {
    // Text lines are laid out as "%12" PRId64 "  %14s %s  %08X  %-22s  %s on %s" (time, "s"; or
    // "-" and a blank without a rate; colours or "-"), CSV lines as position,time,code,label,colours.
    // Each line is written in place, in room for its longest form and the fixed copies that
    // overshoot a field's end. Positions and times on the decimal grid of the rate are kept as
    // text from line to line (DecimalField).
    TextBuffer text(out);
    if (format == LabelFormat::Csv) text.Put("position,time_s,code,label,text_colour,back_colour\n");
    const SampleSeconds seconds(sampleRate);
    char time[SampleSeconds::kSize];
    DecimalField positionText;
    DecimalField timeText(seconds.Decimals());
    ColourPairs colours(format == LabelFormat::Csv ? "," : " on ");
    constexpr size_t kLineRoom = 128 + SampleSeconds::kSize + 2 * RawLabel::kCapacity + DecimalField::kWidest;
    RawLabel l;
    const RecordView records = session.Records();
    uint32_t released = 0;
    for (uint32_t i = 0; i < session.RecordCount(); ++i) {
        if ((i % kInterruptCheckRecords) == 0) ThrowIfInterrupted();
        records.ReleaseBehind(i, released);
        session.LabelInto(i, l);
        const bool counted = l.position >= 0;
        if (counted) positionText.Show(static_cast<uint64_t>(l.position));
        const bool onGrid = seconds.OnGrid(l.position);
        std::string_view t;
        if (onGrid)
            timeText.Show(seconds.GridSteps(l.position));
        else
            t = std::string_view(time, seconds.Format(l.position, time));
        const bool timed = onGrid || !t.empty();
        const std::string_view label(l.text, l.length);
        char* at = text.Room(kLineRoom);
        if (format == LabelFormat::Csv) {
            at = counted ? positionText.At(at) : DecimalAt(at, l.position);
            *at++ = ',';
            at = onGrid ? timeText.At(at) : PutAt(at, t);
            *at++ = ',';
            at = HexAt(at, l.code, 8);
            *at++ = ',';
            at = CsvFieldAt(at, label);
            *at++ = ',';
            at = l.coloured ? colours.At(at, l.textColour, l.backColour) : PutAt(at, ",");
        } else {
            at = counted ? positionText.RightAlignedAt(at, 12) : DecimalAt(at, l.position, 12);
            at = PutAt(at, "  ");
            at = onGrid ? timeText.RightAlignedAt(at, 14) : RightAlignedAt(at, timed ? t : "-", 14);
            at = PutAt(at, timed ? " s  " : "    ");
            at = HexAt(at, l.code, 8);
            at = PutAt(at, "  ");
            at = PaddedLabelAt(at, l, 22);
            at = PutAt(at, "  ");
            at = l.coloured ? colours.At(at, l.textColour, l.backColour) : PutAt(at, "- on -");
        }
        *at++ = '\n';
        text.Commit(at);
    }
}

void WalkChanges(const bissgen::Capture& capture, int64_t from, int64_t to,
                 const std::function<void(int64_t position, int ma, int slo)>& visit) {
    const auto& c = capture.changes;
    auto it = std::upper_bound(c.begin(), c.end(), from,
                               [](int64_t p, const bissgen::Change& ch) { return p < ch.position; });
    if (it == c.begin())
        visit(from, 0, 0);
    else
        visit(from, (it - 1)->ma, (it - 1)->slo);
    for (; it != c.end() && it->position < to; ++it) visit(it->position, it->ma, it->slo);
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
        r.to = left > kDefaultChanges ? first[kDefaultChanges].position : capture.lastSample + 1;
    }
    r.to = std::min(r.to, capture.lastSample + 1);
    if (r.to <= r.from) r.to = r.from + 1;
    return r;
}

void WriteSvg(HostSession& session, const bissgen::Capture& capture, SvgRange range, std::ostream& out) {
    const bool chosen = range.from < 0 && range.to < 0;
    range = ChooseSvgRange(capture, range);
    const double kWidth = range.width;
    const double span = static_cast<double>(range.to - range.from);
    const double scale = (kWidth - kLeft - kRight) / span;
    auto x = [&](int64_t p) {
        return kLeft + static_cast<double>(std::clamp(p, range.from, range.to) - range.from) * scale;
    };
    const double maHigh = 30, maLow = 70, sloHigh = 120, sloLow = 160, labelTop = 95, labelBottom = 185;
    const double height = 245;
    const uint64_t rate = capture.sampleRate;

    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\"" << height
        << "\" viewBox=\"0 0 " << kWidth << ' ' << height
        << "\" font-family=\"monospace\" font-size=\"11\">\n";
    out << "<rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/>\n";
    std::string caption = "MA and SLO, " + RangeCaption(range.from, range.to, rate) + " of " +
                          RangeCaption(0, capture.lastSample + 1, rate);
    if (chosen) caption += "; the first frames (--svg-range FROM:TO or all chooses)";
    out << "<text x=\"8\" y=\"14\" fill=\"#202020\">" << Escape(caption) << "</text>\n";
    out << "<text x=\"8\" y=\"55\" fill=\"#202020\">MA</text>\n<text x=\"8\" y=\"145\" "
           "fill=\"#202020\">SLO</text>\n";

    // Labels behind the SLO trace: frame by frame, each as its label boxes (one box per position,
    // up to the next record's) or as one block.
    const RecordView r = session.Records();
    const uint32_t n = r.count;
    // From the frame whose records reach into the range.
    uint32_t i =
        static_cast<uint32_t>(std::upper_bound(r.positions, r.positions + n, range.from) - r.positions);
    if (i > 0) --i;
    while (i > 0 && !IsIdle(r.codes[i - 1])) --i;
    BlockRow blocks(kLeft, kWidth - kLeft - kRight);
    while (i < n && r.positions[i] < range.to) {
        ThrowIfInterrupted();
        const Span s = SpanAt(r, i);
        const int64_t end = s.last + 1 < n ? r.positions[s.last + 1] : range.to;
        const double width = static_cast<double>(r.positions[s.last] - r.positions[s.first]) * scale;
        if (s.isFrame && width < kMinLabelWidth * (s.last - s.first + 1)) {
            if (r.positions[s.last] > range.from)
                blocks.Add(x(r.positions[s.first]), x(r.positions[s.last]), s.outcome);
            i = s.last + 1;
            continue;
        }
        for (; i <= s.last; ++i) {
            const int64_t p = r.positions[i];
            if (i > 0 && r.positions[i - 1] == p) continue;  // the rest of a value triple
            uint32_t j = i + 1;
            while (j < n && r.positions[j] == p) ++j;
            const int64_t boxEnd = j < n ? r.positions[j] : end;
            if (boxEnd <= range.from || p >= range.to) continue;
            const Label l = session.LabelOf(i);
            if (!l.coloured) continue;
            const double x0 = x(p), x1 = x(boxEnd);
            const double w = std::max(0.5, x1 - x0);
            out << "<rect x=\"" << Number(x0) << "\" y=\"" << labelTop << "\" width=\"" << Number(w)
                << "\" height=\"" << labelBottom - labelTop << "\" fill=\"" << CssColour(l.backColour)
                << "\" fill-opacity=\"0.8\" stroke=\"#FFFFFF\" stroke-width=\"0.5\"/>\n";
            if (l.text.empty()) continue;
            const uint32_t k = i;
            const FittedLabel fitted = FitLabel(l.text, w, [&] { return session.ShortLabelOf(k).text; });
            if (fitted.text.empty()) continue;
            out << "<text x=\"" << Number(x0 + w / 2) << "\" y=\"" << labelBottom - 6
                << "\" text-anchor=\"middle\"" << (fitted.font == LabelFont::Small ? " font-size=\"9\"" : "")
                << " fill=\"" << CssColour(l.textColour) << "\">" << Escape(fitted.text) << "</text>\n";
        }
    }
    blocks.Write(out, labelTop, labelBottom - labelTop);
    // A legend for the colours of the blocks drawn.
    double legendX = kWidth - kRight;
    for (int o = 2; o >= 0; --o) {
        if (!blocks.Drew(static_cast<Outcome>(o))) continue;
        legendX -= 14 + kCharWidth * static_cast<double>(std::string(kOutcomeName[o]).size()) + 10;
        out << "<rect x=\"" << Coarse(legendX) << "\" y=\"226\" width=\"10\" height=\"10\" fill=\""
            << kOutcomeColour[o] << "\"/><text x=\"" << Coarse(legendX + 14)
            << "\" y=\"235\" fill=\"#404040\">" << kOutcomeName[o] << "</text>\n";
    }

    // The traces: a step at every change; where a pixel column holds several changes, one
    // vertical stroke over both levels stands for all of them.
    auto trace = [&](bool isMa, double high, double low, const char* colour) {
        auto y = [&](int level) { return Coarse(level ? high : low); };
        std::string d;
        int level = 0, drawn = 0;
        int64_t lastColumn = -1;
        WalkChanges(capture, range.from, range.to, [&](int64_t p, int ma, int slo) {
            const int v = isMa ? ma : slo;
            if (d.empty()) {
                d = "M" + Coarse(x(range.from)) + "," + y(v);
                level = drawn = v;
                return;
            }
            if (v == level) return;
            const int before = level;
            level = v;
            const int64_t column = static_cast<int64_t>(x(p) - kLeft);
            if (column == lastColumn) return;
            if (drawn != before) d += "V" + y(before);  // the column before ends on its last level
            d += "H" + Coarse(x(p)) + "V" + y(level);
            drawn = level;
            lastColumn = column;
        });
        if (drawn != level) d += "V" + y(level);
        d += "H" + Coarse(x(range.to));
        out << "<path fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"1.5\" d=\"" << d << "\"/>\n";
    };
    trace(true, maHigh, maLow, "#1F3A93");
    trace(false, sloHigh, sloLow, "#101010");

    // The time axis: seconds in a unit that suits the range when the rate is known, else samples.
    const int maxTicks = std::max(2, static_cast<int>((kWidth - kLeft - kRight) / kTickSpacing));
    const double toAxis = rate ? 1.0 / static_cast<double>(rate) : 1.0;
    const AxisTicks ticks = ChooseTicks(static_cast<double>(range.from) * toAxis,
                                        static_cast<double>(range.to - 1) * toAxis, rate != 0, maxTicks);
    for (size_t k = 0; k < ticks.at.size(); ++k) {
        const double px = kLeft + (ticks.at[k] / toAxis - static_cast<double>(range.from)) * scale;
        out << "<line x1=\"" << Number(px) << "\" y1=\"195\" x2=\"" << Number(px)
            << "\" y2=\"200\" stroke=\"#888888\"/>\n";
        out << "<text x=\"" << Number(px) << "\" y=\"215\" text-anchor=\"middle\" fill=\"#404040\">"
            << Escape(ticks.labels[k]) << "</text>\n";
    }
    std::string axisNote = rate ? "" : "sample numbers (the capture has no sample rate)";
    if (!ticks.origin.empty()) axisNote = ticks.origin + (axisNote.empty() ? "" : "; " + axisNote);
    if (!axisNote.empty())
        out << "<text x=\"" << kLeft << "\" y=\"235\" fill=\"#404040\">" << Escape(axisNote) << "</text>\n";
    out << "</svg>\n";
}

}  // namespace zbhost
