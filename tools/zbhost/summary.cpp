// Counting, the advice, and the two forms of the summary (lines for people, JSON for scripts).
#include "summary.h"

#include <cinttypes>

#include "time_units.h"

namespace zbhost {

namespace {

std::string ChannelText(const ChannelPick& p) {
    if (!p.valid) return "?";
    std::string text = "channel " + std::to_string(p.index);
    if (!p.name.empty()) text += " \"" + p.name + "\"";
    return text;
}

std::string ChannelList(const std::vector<std::string>& names) {
    std::string list;
    for (size_t i = 0; i < names.size() && i < 16; ++i) {
        list += (i ? ", " : "") + std::to_string(i) + (names[i].empty() ? "" : "=" + names[i]);
    }
    return names.size() > 16 ? list + ", ..." : list;
}

// "200 MHz", "2.5 MHz", "48 kHz".
std::string RateText(double hz) {
    static const std::pair<double, const char*> kScales[] = {
        {1e9, "GHz"}, {1e6, "MHz"}, {1e3, "kHz"}, {1, "Hz"}};
    for (const auto& [scale, unit] : kScales) {
        if (hz >= scale || scale == 1) {
            char text[40];
            std::snprintf(text, sizeof text, "%.4g %s", hz / scale, unit);
            return text;
        }
    }
    return "";
}

std::string TimeOf(int64_t sample, uint64_t rate) {
    return rate ? FormatSeconds(static_cast<double>(sample) / static_cast<double>(rate)) : std::string();
}

// "samples 0 .. 595,800 (0 s .. 2.979 ms)", the end inclusive.
std::string RangeText(int64_t from, int64_t to, uint64_t rate) {
    std::string text = "samples " + Grouped(from) + " .. " + Grouped(to - 1);
    if (rate) text += " (" + TimeOf(from, rate) + " .. " + TimeOf(to - 1, rate) + ")";
    return text;
}

// "1 frame", "2 frames".
std::string Count(uint64_t n, const char* noun) {
    return Grouped(static_cast<int64_t>(n)) + " " + noun + (n == 1 ? "" : "s");
}

std::string LengthSource(const DecodeLayout& l) {
    if (l.lengthDetected) return "detected";
    return l.detectionRan ? "configured; detection found none" : "configured";
}

void AddHints(DecodeSummary& s) {
    const DecodeLayout& l = s.layout;
    const std::string length = std::to_string(l.dataBits);
    if (l.sampleRate == 0)
        s.notes.push_back(
            "the capture has no sample rate, so times are unknown and only samples are shown; "
            "--samplerate RATE gives them");
    if (l.mode == ViewMode::SingleCycle) {
        const FrameCounts& f = s.frames;
        const uint64_t complete = f.crcGood + f.crcBad;
        if (f.frames == 0) {
            std::string hint = "no BiSS frame was found. Check the channels: MA is " +
                               ChannelText(s.channels.ma) + ", SLO is " + ChannelText(s.channels.slo);
            if (s.channels.ma.how == PickedBy::Default || s.channels.slo.how == PickedBy::Default)
                hint += " (no channel is named like MA or SLO)";
            if (!s.channels.names.empty()) hint += "; the capture has " + ChannelList(s.channels.names);
            s.hints.push_back(hint +
                              ". Choose them with --ma and --slo (swap them if MA and SLO are swapped).");
        } else if (complete > 0 && 2 * f.crcBad > complete) {
            if (l.detectionRan && !l.lengthDetected) {
                s.hints.push_back(
                    "most frames fail their CRC and automatic length detection found no length (it "
                    "needs three complete frames whose CRC fits one length), so the configured " +
                    length + " bits were used: give the encoder's length with --data-length N");
            } else {
                s.hints.push_back(
                    "most frames fail their CRC. Check the data length (--data-length N, now " + length +
                    " bits" + (l.autoLength ? "" : "; --data-length auto finds it from three clean frames") +
                    "), the CRC (--crc-bits, --crc-poly, --crc-init), the protocol (--protocol b for BiSS-B) "
                    "and "
                    "the SLO sampling point (--slo-phase N samples after the MA edge, for a long line)");
            }
        }
        if (f.cdmSet > 0)
            s.notes.push_back(
                "CDM 1 after " + Grouped(static_cast<int64_t>(f.cdmSet)) +
                " frames: the master sends register accesses; --mode master or --mode slave decodes them");
    } else if (s.accesses.accesses == 0) {
        s.hints.push_back(
            l.bissB ? "no register access was found: BiSS-B carries none over CDM and CDS (--protocol c "
                      "for BiSS-C); --mode scd shows the frames"
                    : "no register access was found: the master sends them bit by bit on CDM, one bit "
                      "per frame; --mode scd shows the frames and whether any CDM bit is 1");
    }
}

void AppendJsonNumberOrNull(std::string& out, bool known, double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v);
    out += known ? text : "null";
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

DecodeSummary Summarise(const RecordView& records, const DecodeLayout& layout, const ChannelPicks& channels,
                        const ReadStats& read, double decodeSeconds) {
    DecodeSummary s;
    s.read = read;
    s.channels = channels;
    s.layout = layout;
    s.records = records.count;
    s.decodeSeconds = decodeSeconds;
    s.clockPeriod = ClockPeriodOf(records);
    if (layout.mode == ViewMode::SingleCycle) {
        FrameCounts& c = s.frames;
        ForEachFrame(records, [&](const DecodedFrame& f) {
            ++c.frames;
            c.crcGood += f.status == FrameStatus::Ok;
            c.crcBad += f.status == FrameStatus::CrcError;
            c.cutShort += f.status == FrameStatus::CutShort;
            c.busy += f.status == FrameStatus::Busy;
            c.timeouts += f.status == FrameStatus::Timeout;
            c.cdmSet += f.cdm == 1;
            bool err = false, warn = false;
            for (const SlaveWord& w : f.slaves) err |= w.err == 0, warn |= w.warn == 0;
            c.nErrActive += err;
            c.nWarnActive += warn;
        });
    } else {
        AccessCounts& c = s.accesses;
        ForEachAccess(records, layout.mode == ViewMode::Slave, [&](const DecodedAccess& a) {
            ++c.accesses;
            c.reads += a.kind == AccessKind::Read;
            c.writes += a.kind == AccessKind::Write;
            c.commands += a.kind == AccessKind::Command;
            c.crcErrors += a.status == AccessStatus::CrcError;
            c.refused += a.status == AccessStatus::Refused;
            c.timeouts += a.status == AccessStatus::Timeout;
            c.incomplete += a.status == AccessStatus::Incomplete;
        });
    }
    AddHints(s);
    return s;
}

void PrintSummary(const DecodeSummary& s, std::FILE* out) {
    const DecodeLayout& l = s.layout;
    const uint64_t rate = l.sampleRate;
    auto n = [](uint64_t v) { return Grouped(static_cast<int64_t>(v)); };
    std::string capture = n(static_cast<uint64_t>(s.read.samples)) + " samples";
    if (rate)
        capture += " at " + RateText(static_cast<double>(rate)) + " (" + TimeOf(s.read.samples, rate) + ")";
    capture += ", " + n(s.read.changes) + " changes";
    std::fprintf(out, "zbhost: %s\n", s.capture.c_str());
    std::fprintf(out, "  capture    %s\n", capture.c_str());
    std::fprintf(out, "  channels   MA = %s, SLO = %s%s\n", ChannelText(s.channels.ma).c_str(),
                 ChannelText(s.channels.slo).c_str(),
                 s.channels.ma.how == PickedBy::Alias || s.channels.slo.how == PickedBy::Alias
                     ? " (found by name)"
                 : s.channels.ma.how == PickedBy::Default ? " (the first two)"
                                                          : "");
    std::fprintf(out, "  decoded    %s: %s records\n", RangeText(l.rangeFrom, l.rangeTo, rate).c_str(),
                 Grouped(s.records).c_str());
    if (l.mode == ViewMode::SingleCycle) {
        const FrameCounts& f = s.frames;
        std::fprintf(out, "  frames     %s: %s CRC good, %s CRC bad, %s cut short, %s busy, %s\n",
                     n(f.frames).c_str(), n(f.crcGood).c_str(), n(f.crcBad).c_str(), n(f.cutShort).c_str(),
                     n(f.busy).c_str(), Count(f.timeouts, "timeout").c_str());
        std::fprintf(out, "  flags      nErr active in %s, nWarn active in %s\n",
                     Count(f.nErrActive, "frame").c_str(), Count(f.nWarnActive, "frame").c_str());
    } else {
        const AccessCounts& a = s.accesses;
        std::fprintf(out,
                     "  accesses   %s in the %s's view: %s, %s, %s; %s with CRC errors, %s refused, %s, %s "
                     "incomplete\n",
                     n(a.accesses).c_str(), ModeName(l.mode), Count(a.reads, "read").c_str(),
                     Count(a.writes, "write").c_str(), Count(a.commands, "command").c_str(),
                     n(a.crcErrors).c_str(), n(a.refused).c_str(), Count(a.timeouts, "timeout").c_str(),
                     n(a.incomplete).c_str());
    }
    if (s.clockPeriod > 0) {
        std::string clock = Grouped(s.clockPeriod) + " samples per period";
        if (rate)
            clock =
                RateText(static_cast<double>(rate) / static_cast<double>(s.clockPeriod)) + " (" + clock + ")";
        std::fprintf(out, "  MA clock   %s\n", clock.c_str());
    } else {
        std::fprintf(out, "  MA clock   not measured (fewer than 16 clock periods)\n");
    }
    if (l.mode == ViewMode::SingleCycle) {
        std::string data = std::to_string(l.dataBits) + " bits (" + LengthSource(l) + ")";
        data += l.combined ? ": one value of " + std::to_string(l.singleTurnBits + l.multiTurnBits)
                           : ": multi-turn " + std::to_string(l.multiTurnBits) + " + single-turn " +
                                 std::to_string(l.singleTurnBits);
        if (l.alignmentBits > 0) data += " + " + std::to_string(l.alignmentBits) + " alignment";
        char crc[64];
        std::snprintf(crc, sizeof crc, ", CRC %d bits (polynomial 0x%X)", l.crc.bits, l.crc.polynomial);
        data += crc;
        if (l.slaves > 1) data += ", " + std::to_string(l.slaves) + " slaves";
        std::fprintf(out, "  data       %s\n", data.c_str());
    }
    std::fprintf(out, "  time       reading %.3f s, decoding %.3f s\n", s.read.waitSeconds, s.decodeSeconds);
    for (const std::string& note : s.notes) std::fprintf(out, "  note       %s\n", note.c_str());
    for (const std::string& hint : s.hints) std::fprintf(out, "  hint       %s\n", hint.c_str());
}

void WriteSummaryJson(const DecodeSummary& s, std::ostream& out) {
    const DecodeLayout& l = s.layout;
    const uint64_t rate = l.sampleRate;
    const double perSample = rate ? 1.0 / static_cast<double>(rate) : 0;
    auto u = [](uint64_t v) { return std::to_string(v); };
    auto channel = [](const ChannelPick& p) {
        static const char* const kHow[] = {"name", "number", "sigrok name", "usual name", "default"};
        return "{\"index\": " + std::to_string(p.index) + ", \"name\": " + JsonString(p.name) +
               ", \"found_by\": " + JsonString(kHow[static_cast<int>(p.how)]) + "}";
    };
    std::string j = "{\n";
    j += "  \"capture\": {\"path\": " + JsonString(s.capture) +
         ", \"samples\": " + std::to_string(s.read.samples) + ", \"sample_rate_hz\": ";
    AppendJsonNumberOrNull(j, rate != 0, static_cast<double>(rate));
    j += ", \"duration_s\": ";
    AppendJsonNumberOrNull(j, rate != 0, static_cast<double>(s.read.samples) * perSample);
    j += ", \"changes\": " + u(s.read.changes) + "},\n";
    j += "  \"channels\": {\"ma\": " + channel(s.channels.ma) + ", \"slo\": " + channel(s.channels.slo) +
         "},\n";
    j += "  \"range\": {\"from_sample\": " + std::to_string(l.rangeFrom) +
         ", \"to_sample\": " + std::to_string(l.rangeTo - 1) + ", \"from_s\": ";
    AppendJsonNumberOrNull(j, rate != 0, static_cast<double>(l.rangeFrom) * perSample);
    j += ", \"to_s\": ";
    AppendJsonNumberOrNull(j, rate != 0, static_cast<double>(l.rangeTo - 1) * perSample);
    j += "},\n";
    j += "  \"mode\": " + JsonString(ModeName(l.mode)) +
         ", \"protocol\": " + JsonString(l.bissB ? "BiSS-B" : "BiSS-C") + ", \"records\": " + u(s.records) +
         ",\n";
    j += "  \"data\": {\"length_bits\": " + std::to_string(l.dataBits) +
         ", \"length_source\": " + JsonString(LengthSource(l)) +
         ", \"multi_turn_bits\": " + std::to_string(l.multiTurnBits) +
         ", \"single_turn_bits\": " + std::to_string(l.singleTurnBits) +
         ", \"alignment_bits\": " + std::to_string(l.alignmentBits) +
         ", \"combined\": " + (l.combined ? "true" : "false") +
         ", \"crc_bits\": " + std::to_string(l.crc.bits) +
         ", \"crc_polynomial\": " + std::to_string(l.crc.polynomial) +
         ", \"slaves\": " + std::to_string(l.slaves) + "},\n";
    j += "  \"ma_clock\": {\"period_samples\": ";
    AppendJsonNumberOrNull(j, s.clockPeriod > 0, static_cast<double>(s.clockPeriod));
    j += ", \"hz\": ";
    AppendJsonNumberOrNull(
        j, s.clockPeriod > 0 && rate != 0,
        s.clockPeriod > 0 ? static_cast<double>(rate) / static_cast<double>(s.clockPeriod) : 0);
    j += "},\n";
    if (l.mode == ViewMode::SingleCycle) {
        const FrameCounts& f = s.frames;
        j += "  \"frames\": {\"total\": " + u(f.frames) + ", \"crc_good\": " + u(f.crcGood) +
             ", \"crc_bad\": " + u(f.crcBad) + ", \"cut_short\": " + u(f.cutShort) +
             ", \"busy\": " + u(f.busy) + ", \"timeouts\": " + u(f.timeouts) +
             ", \"nerr_active\": " + u(f.nErrActive) + ", \"nwarn_active\": " + u(f.nWarnActive) +
             ", \"cdm_set\": " + u(f.cdmSet) + "},\n";
    } else {
        const AccessCounts& a = s.accesses;
        j += "  \"register_accesses\": {\"view\": " + JsonString(ModeName(l.mode)) +
             ", \"total\": " + u(a.accesses) + ", \"reads\": " + u(a.reads) + ", \"writes\": " + u(a.writes) +
             ", \"commands\": " + u(a.commands) + ", \"crc_errors\": " + u(a.crcErrors) +
             ", \"refused\": " + u(a.refused) + ", \"timeouts\": " + u(a.timeouts) +
             ", \"incomplete\": " + u(a.incomplete) + "},\n";
    }
    j += "  \"wall_time_s\": {\"reading\": ";
    AppendJsonNumberOrNull(j, true, s.read.waitSeconds);
    j += ", \"decoding\": ";
    AppendJsonNumberOrNull(j, true, s.decodeSeconds);
    j += "},\n";
    auto list = [](const std::vector<std::string>& items) {
        std::string text = "[";
        for (size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + JsonString(items[i]);
        return text + "]";
    };
    j += "  \"notes\": " + list(s.notes) + ",\n  \"hints\": " + list(s.hints) + "\n}\n";
    out << j;
}

}  // namespace zbhost
