// Truth lines. A frame line lists its first falling edge, the rising edges of acknowledge, start,
// CDS and every slave's fields (SLO is sampled at these edges plus the line delay), the values
// and CRC each slave sent, and the master's CDM. An access line lists the request and the frames
// that carried it.
#include "bissgen/truth.h"

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace bissgen {

namespace {

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* fmt, ...) {
    char buffer[256];
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    std::string out;
    if (n >= 0 && static_cast<size_t>(n) < sizeof buffer) {
        out.assign(buffer, static_cast<size_t>(n));
    } else if (n >= 0) {
        std::vector<char> big(static_cast<size_t>(n) + 1);
        if (std::vsnprintf(big.data(), big.size(), fmt, again) == n)
            out.assign(big.data(), static_cast<size_t>(n));
    }
    va_end(again);
    return out;
}

int64_t EdgeOrNone(const FrameTruth& f, int edge) {
    return edge >= 0 && static_cast<size_t>(edge) < f.rises.size() ? f.rises[static_cast<size_t>(edge)] : -1;
}

const char* KindName(AccessKind kind) {
    switch (kind) {
        case AccessKind::Read:
            return "read";
        case AccessKind::Write:
            return "write";
        case AccessKind::Command:
            return "command";
    }
    return "?";
}

}  // namespace

std::string FrameLine(const FrameTruth& f, const Layout& layout) {
    std::string line = Format("frame %d fall=%" PRId64 " ack=%" PRId64 "x%d start=%" PRId64, f.index,
                              f.firstFall, EdgeOrNone(f, 0), f.ackClocks, EdgeOrNone(f, f.startEdge));
    if (f.cdsEdge >= 0) line += Format(" cds=%u@%" PRId64, f.cds, EdgeOrNone(f, f.cdsEdge));
    for (size_t s = 0; s < f.slaves.size(); ++s) {
        const SlaveTruth& st = f.slaves[s];
        line += Format(" | s%u data=0x%" PRIX64 "@%" PRId64, static_cast<unsigned>(s), st.data,
                       EdgeOrNone(f, st.dataEdge));
        if (layout.multiTurnBits > 0) line += Format(" mt=0x%" PRIX64, st.word.multiTurn);
        line += Format(" st=0x%" PRIX64, st.word.singleTurn);
        if (layout.alignBits > 0) line += Format(" align=0x%" PRIX64, st.word.alignment);
        line += Format(" err=%u warn=%u crc=0x%X@%" PRId64 " %s", st.word.err, st.word.warn, st.crc,
                       EdgeOrNone(f, st.crcEdge), st.crc == st.crcCorrect ? "ok" : "bad");
        if (st.crc != st.crcCorrect) line += Format("(expected 0x%X)", st.crcCorrect);
    }
    line += Format(" | last=%" PRId64, f.rises.empty() ? -1 : f.rises.back());
    if (f.cut) {
        line +=
            Format(" cut=%u/%u", static_cast<unsigned>(f.rises.size()), static_cast<unsigned>(f.bits.size()));
    } else {
        line += Format(" cdm=%u", f.cdm);
        if (f.cdm != 0) line += Format(" low=%" PRId64 "..%" PRId64, f.pauseLowStart, f.pauseLowEnd);
    }
    if (f.cdmAccess >= 0) line += Format(" cdm-access=%d", f.cdmAccess);
    if (f.cdsAccess >= 0) line += Format(" cds-access=%d", f.cdsAccess);
    return line;
}

std::string AccessLine(const AccessTruth& a) {
    const RegisterAccess& r = a.request;
    std::string line = Format("access %d %s", a.index, KindName(r.kind));
    if (r.kind == AccessKind::Command) {
        line += Format(" ids=0x%02X cmd=%u", r.ids, r.command & 3u);
    } else {
        line += Format(" id=%u adr=0x%02X", r.id & 7u, r.address & 0x7Fu);
    }
    line += Format(" crc=0x%X", a.plan.addressCrc);
    if (r.kind != AccessKind::Command) {
        line += Format(" rw=%u%u %s", (a.plan.slaveRw >> 1) & 1u, a.plan.slaveRw & 1u,
                       a.plan.valid ? "valid" : "refused");
        if (a.plan.valid) {
            line += " data=";
            for (size_t i = 0; i < a.plan.bytes.size(); ++i) {
                line += Format("%s%02X/%X", i == 0 ? "" : ",", a.plan.bytes[i], a.plan.byteCrcs[i]);
            }
        }
    }
    if (r.neverStarts) line += " no-start";
    if (r.offerMore) line += " offer-more";
    line += Format(" steps=%u frames=%d..%d", static_cast<unsigned>(a.plan.steps.size()), a.firstFrame,
                   a.lastFrame);
    return line;
}

std::string TruthHeader(const Generator& g) {
    const Timing& t = g.GetTiming();
    const Layout& l = g.GetLayout();
    return Format("# bissgen truth: %s sample-rate=%" PRIu64 " clock-hz=%.0f period=%.3f delay=%" PRId64
                  " mt=%d st=%d align=%d crc-bits=%d crc-poly=0x%X crc-init=0x%X\n",
                  l.protocol == Protocol::BissC ? "BiSS-C" : "BiSS-B", t.sampleRate, t.clockHz,
                  g.PeriodSamples(), t.lineDelay, l.multiTurnBits, l.singleTurnBits, l.alignBits, l.crc.bits,
                  l.crc.poly, l.crc.init);
}

std::string TruthText(const Generator& g) {
    const Layout& l = g.GetLayout();
    std::string text = TruthHeader(g);
    for (const FrameTruth& f : g.Frames()) text += FrameLine(f, l) + "\n";
    for (const AccessTruth& a : g.Accesses()) text += AccessLine(a) + "\n";
    return text;
}

bool WriteTruth(const std::string& path, const Generator& g, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        if (error != nullptr) *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    const Layout& l = g.GetLayout();
    const std::string head = TruthHeader(g);
    ok = std::fputs(head.c_str(), f) >= 0;
    for (const FrameTruth& fr : g.Frames()) {
        if (!ok) break;
        ok = std::fputs((FrameLine(fr, l) + "\n").c_str(), f) >= 0;
    }
    for (const AccessTruth& a : g.Accesses()) {
        if (!ok) break;
        ok = std::fputs((AccessLine(a) + "\n").c_str(), f) >= 0;
    }
    if (std::fclose(f) != 0) ok = false;
    if (!ok && error != nullptr) *error = "cannot write " + path;
    return ok;
}

}  // namespace bissgen
