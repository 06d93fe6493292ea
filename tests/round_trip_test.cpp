// Round trips: the traffic generator writes frames and register accesses with known content, the
// in-memory host serves them, the Analysis path decodes them, and the records must say exactly
// what the generator's truth says was sent: values, flags, CRCs and their check, CDS and CDM,
// chains, broken frames, register accesses in both views, and the data length found automatically.
#include <gtest/gtest.h>

#include <algorithm>

#include "bissgen/generator.h"
#include "engine/decode_engine.h"
#include "support/engine_records.h"
#include "support/memory_host.h"

namespace zbtest {
namespace {

using bissgen::FrameTruth;
using zb::RecordKind;
using zb::StatusCode;

struct TrafficSetup {
    bissgen::Layout layout;
    bissgen::Timing timing;
    int slaves = 1;
    bool combine = false;
    zb::DecodeMode mode = zb::DecodeMode::SingleCycle;
    bool autoLength = false;  // the settings then keep their default length of 12 bits
};

// Decodes the capture with settings that describe the generator's layout.
std::vector<Rec> Decode(const bissgen::Capture& capture, const TrafficSetup& s,
                        uint32_t* detected = nullptr) {
    MemoryHost host(capture);
    zb::DecoderSettings block;
    zb::CopySettingsIn(host.Record(), block);
    zb::SettingsView v(&block);
    v.ApplyDefaults();
    if (!s.autoLength) {
        v.SetAutoLength(false);
        v.SetDataLength(s.layout.DataBits());
        v.SetSingleTurnBits(s.layout.singleTurnBits);
    }
    v.SetMode(static_cast<uint32_t>(s.mode));
    v.SetAlignmentBits(s.layout.alignBits);
    v.SetCrcBits(s.layout.crc.bits);
    v.SetCrcPolynomial(s.layout.crc.poly);
    v.SetCrcInitial(s.layout.crc.init);
    v.SetProtocol(s.layout.protocol == bissgen::Protocol::BissB ? 1 : 0);
    v.SetDataChannels(static_cast<uint32_t>(s.slaves - 1));
    v.SetCombineTurns(s.combine);
    v.SetSloPhase(static_cast<int32_t>(s.timing.lineDelay));
    zb::CallContext call;
    zb::DecodeEngine engine(call);
    call.Remember(&host.Record());
    const int64_t* pos = nullptr;
    const uint32_t* codes = nullptr;
    const uint32_t n = zb::AnalyseCapture(engine, &block, &pos, &codes);
    if (detected != nullptr) *detected = v.DetectedLength();
    return RecordsFrom(pos, codes, n);
}

// The records of the frames' fields: start, CDS, values, nErr, nWarn, CRC, stop, CDM and the
// separators of a chain.
std::vector<Rec> FieldRecords(const std::vector<Rec>& all) {
    std::vector<Rec> out;
    for (const Rec& r : all) {
        const RecordKind k = zb::KindOf(r.code);
        if (k == RecordKind::Start || k == RecordKind::Cds || k == RecordKind::Err || k == RecordKind::Warn ||
            k == RecordKind::Crc || k == RecordKind::Stop || k == RecordKind::Cdm ||
            r.code == S(StatusCode::SlaveSeparator) || (zb::KindByte(r.code) & 0xF0) == 0xB0)
            out.push_back(r);
    }
    return out;
}

void Triple(std::vector<Rec>& out, const zb::ValueTriple& t, uint64_t v, int64_t pos) {
    out.push_back(R(pos, C(t.high, zb::TripleHighPayload(v))));
    out.push_back(R(pos, C(t.mid, zb::TripleMidPayload(v))));
    out.push_back(R(pos, C(t.low, zb::TripleLowPayload(v))));
}

// The field records a complete frame must give, from what the generator sent and where: each bit
// is read at its rising edge plus the line delay; Stop and Cdm follow one and two clock periods
// after the last CRC bit. The pause after the frame is measured (and its Cdm stored) when MA
// changes after it: another frame follows, or the master held MA low for CDM 1.
void ExpectFrame(std::vector<Rec>& out, const FrameTruth& t, const TrafficSetup& s, int64_t period,
                 bool pauseMeasured) {
    auto at = [&](int edge) { return t.rises[static_cast<size_t>(edge)] + s.timing.lineDelay; };
    const bissgen::Layout& l = s.layout;
    out.push_back(R(at(t.startEdge), C(RecordKind::Start)));
    if (t.cdsEdge >= 0) out.push_back(R(at(t.cdsEdge), C(RecordKind::Cds, t.cds)));
    for (size_t k = 0; k < t.slaves.size(); ++k) {
        const bissgen::SlaveTruth& st = t.slaves[k];
        if (s.combine) {
            Triple(out, zb::kDataTriple, st.data >> l.alignBits, at(st.dataEdge));
        } else {
            if (l.multiTurnBits > 0) Triple(out, zb::kMultiTurnTriple, st.word.multiTurn, at(st.dataEdge));
            if (l.singleTurnBits > 0)
                Triple(out, zb::kSingleTurnTriple, st.word.singleTurn, at(st.dataEdge + l.multiTurnBits));
        }
        out.push_back(R(at(st.errEdge), C(RecordKind::Err, st.word.err)));
        out.push_back(R(at(st.warnEdge), C(RecordKind::Warn, st.word.warn)));
        const uint32_t flag = st.crc != st.crcCorrect ? zb::kCrcMismatchFlag : 0;
        out.push_back(R(at(st.crcEdge), C(RecordKind::Crc, (st.crc & 0xFF) | flag)));
        const int64_t last = at(st.crcEdge + l.crc.bits - 1);
        if (k + 1 < t.slaves.size()) {
            out.push_back(R(last + 1, S(StatusCode::SlaveSeparator)));
        } else {
            out.push_back(R(last + period, C(RecordKind::Stop, 0)));
            if (pauseMeasured || t.cdm == 1) out.push_back(R(last + 2 * period, C(RecordKind::Cdm, t.cdm)));
        }
    }
}

// Random frames of a layout, every fourth with a wrong CRC in a bit that moves over the whole CRC,
// acknowledges of 1..3 clocks and alternating CDM; their field records against the truth.
void RoundTripFrames(const TrafficSetup& s, int frames, uint64_t seed, const std::string& name) {
    bissgen::Generator g(s.timing, s.layout, seed);
    bissgen::SplitMix64 rng(seed + 5);
    for (int f = 0; f < frames; ++f) {
        bissgen::Frame frame;
        frame.slaves.assign(static_cast<size_t>(s.slaves), bissgen::SlaveWord{});
        for (auto& w : frame.slaves) {
            w.multiTurn = rng.Next();
            w.singleTurn = rng.Next();
            w.alignment = rng.Next();
            w.err = static_cast<uint8_t>(rng.Next() & 1);
            w.warn = static_cast<uint8_t>(rng.Next() & 1);
            w.crcXor = f % 4 == 3 ? 1u << ((5 * f) % s.layout.crc.bits) : 0u;
        }
        frame.ackClocks = 1 + f % 3;
        frame.cdm = f % 2;
        g.AddFrame(frame);
    }
    const std::vector<Rec> all = Decode(g.Finish(), s);
    std::vector<Rec> expected;
    for (const FrameTruth& t : g.Frames())
        ExpectFrame(expected, t, s, static_cast<int64_t>(g.PeriodSamples()), &t != &g.Frames().back());
    EXPECT_TRUE(SameRecords(FieldRecords(all), expected)) << name;
    EXPECT_EQ(std::count_if(all.begin(), all.end(),
                            [](const Rec& r) { return zb::KindOf(r.code) == RecordKind::Ack; }),
              frames)
        << name;
}

TEST(RoundTrip, SingleCycleFramesOfEveryLayoutCrcAndChain) {
    struct LayoutCase {
        const char* name;
        int mt, st, align, crcBits;
        uint32_t poly;
        bissgen::Protocol protocol;
        bool combine;
        int64_t lineDelay;
    } cases[] = {
        {"ST 12", 0, 12, 0, 6, 0x43, bissgen::Protocol::BissC, false, 0},
        {"MT 12 + ST 13 + align 2", 12, 13, 2, 6, 0x43, bissgen::Protocol::BissC, false, 0},
        {"combined MT 8 + ST 16", 8, 16, 0, 8, 0x2F, bissgen::Protocol::BissC, true, 0},
        {"64 bits MT 16 + ST 48", 16, 48, 0, 16, 0x1021, bissgen::Protocol::BissC, false, 0},
        {"64 bits single-turn", 0, 64, 0, 6, 0x43, bissgen::Protocol::BissC, false, 0},
        {"BiSS-B MT 4 + ST 20", 4, 20, 0, 6, 0x43, bissgen::Protocol::BissB, false, 0},
        {"line delay 7", 0, 18, 0, 6, 0x43, bissgen::Protocol::BissC, false, 7},
        {"BiSS-B line delay 20", 6, 10, 1, 5, 0x15, bissgen::Protocol::BissB, false, 20},
        {"line delay above half a period", 0, 12, 0, 6, 0x43, bissgen::Protocol::BissC, false, 60},
    };
    for (const LayoutCase& c : cases) {
        TrafficSetup s;
        s.layout.multiTurnBits = c.mt;
        s.layout.singleTurnBits = c.st;
        s.layout.alignBits = c.align;
        s.layout.crc = bissgen::CrcParams{c.crcBits, c.poly, 0};
        s.layout.protocol = c.protocol;
        s.timing.lineDelay = c.lineDelay;
        s.combine = c.combine;
        RoundTripFrames(s, 12, 99, c.name);
    }
    // Every CRC width with its own polynomial and initial value; chains of one to eight slaves.
    for (int bits = 1; bits <= 16; ++bits) {
        TrafficSetup s;
        s.layout.singleTurnBits = 17;
        s.layout.crc = bissgen::CrcParams{bits, (0x8005u * static_cast<uint32_t>(bits)) | 1u,
                                          bits % 3 == 0 ? 0x5u & zb::CrcMask(bits) : 0u};
        RoundTripFrames(s, 8, static_cast<uint64_t>(bits), std::to_string(bits) + "-bit CRC");
    }
    // The chains run on a clock of an odd sample ratio (66.7 samples).
    for (int n = 1; n <= 8; ++n) {
        TrafficSetup s;
        s.layout.multiTurnBits = 3;
        s.layout.singleTurnBits = 9;
        s.slaves = n;
        s.timing.clockHz = 3e6;
        RoundTripFrames(s, 4, static_cast<uint64_t>(n), std::to_string(n) + " slaves");
    }
}

// A busy acknowledge that completes is an ordinary frame; frames the master cuts off give one
// status with the acknowledge count (Error before any CRC was seen or with a single acknowledge
// clock, Timeout when the acknowledge lasted over 40 us by the sample rate, else Busy), then Idle:
// right after the status, or after the frame's last edge when the cut came in the data field.
TEST(RoundTrip, BusyAndCutOffFrames) {
    struct CutCase {
        const char* name;
        int ackClocks;
        int cutAfter;  // -2: cut in the middle of the data field
        StatusCode status;
        bool crcSeen = true;  // complete frames come first
        uint64_t sampleRate = 200000000;
    } cases[] = {
        {"cut in data", 1, -2, StatusCode::Error},
        {"cut in data, no CRC seen yet", 3, -2, StatusCode::Error, false},
        {"busy, cut in acknowledge", 6, 6, StatusCode::Busy},
        {"busy, cut in data", 4, -2, StatusCode::Busy},
        {"acknowledge over 40 us", 90, 90, StatusCode::Timeout},
        {"acknowledge over 40 us, no sample rate", 90, 90, StatusCode::Busy, true, 0},
        {"acknowledge of 81 clocks is exactly 40 us", 81, 81, StatusCode::Busy},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.name);
        TrafficSetup s;
        bissgen::Generator g(s.timing, s.layout, 3);
        bissgen::Frame busy, cut;
        busy.ackClocks = 12;  // a long acknowledge that completes is no error
        cut.ackClocks = c.ackClocks;
        const int dataEdge = c.ackClocks + 2;
        cut.cutAfter = c.cutAfter == -2 ? dataEdge + 5 : c.cutAfter;
        if (c.crcSeen) {
            g.AddFrame(bissgen::Frame{});
            g.AddFrame(busy);
        }
        g.AddFrame(cut);
        g.AddFrame(bissgen::Frame{});
        bissgen::Capture capture = g.Finish();
        capture.sampleRate = c.sampleRate;
        const std::vector<Rec> all = Decode(capture, s);
        const FrameTruth& t = g.Frames()[c.crcSeen ? 2 : 0];
        ASSERT_TRUE(t.cut);
        // The complete frames decode in full; of the cut frame only its status and Idle follow.
        std::vector<Rec> expected;
        for (const FrameTruth& f : g.Frames()) {
            if (!f.cut)
                ExpectFrame(expected, f, s, static_cast<int64_t>(g.PeriodSamples()),
                            &f != &g.Frames().back());
        }
        std::vector<Rec> fields = FieldRecords(all);
        fields.erase(
            std::remove_if(fields.begin(), fields.end(),
                           [&](const Rec& r) { return r.pos > t.firstFall && r.pos < (&t + 1)->firstFall; }),
            fields.end());
        EXPECT_TRUE(SameRecords(fields, expected));
        const int64_t last = t.rises.back();
        const int64_t at = c.cutAfter == -2 ? t.rises[static_cast<size_t>(dataEdge)] : last + 1;
        const auto it = std::find_if(all.begin(), all.end(), [](const Rec& r) {
            return zb::KindOf(r.code) == RecordKind::Status && r.code != S(StatusCode::Idle);
        });
        ASSERT_NE(it, all.end());
        ASSERT_NE(it + 1, all.end());
        EXPECT_EQ(std::vector<Rec>(it, it + 2),
                  (std::vector<Rec>{R(at, S(c.status, static_cast<uint32_t>(c.ackClocks))),
                                    R(at == last + 1 ? at + 1 : last + 1, S(StatusCode::Idle))}));
    }
}

// ---- Register accesses ---------------------------------------------------------------------

bissgen::RegisterAccess Access(bissgen::AccessKind kind, std::vector<uint8_t> data, int wait = 0) {
    bissgen::RegisterAccess a;
    a.kind = kind;
    a.id = 5;
    a.address = 0x31;
    a.ids = 0xC6;
    a.command = 1;
    a.data = std::move(data);
    a.waitFrames = wait;
    a.headerCds = 0xB5A3;
    return a;
}

// The records an access must give, from the plan the generator sent. Step i of the plan rides on
// the CDM of frame firstFrame + i, so its fields are placed at that frame's CDM position: two clocks
// after the frame's last bit as the decoder reads it. In the register-access modes a frame is read
// with the 4-bit CRC, whatever CRC the slave sends, so it ends at the fourth CRC bit.
std::vector<Rec> ExpectAccess(const bissgen::Generator& g, const bissgen::AccessTruth& a, bool slaveView,
                              uint64_t sampleRate) {
    const int64_t period = static_cast<int64_t>(g.PeriodSamples());
    auto pos = [&](size_t step) {
        const FrameTruth& t = g.Frames()[static_cast<size_t>(a.firstFrame) + step];
        return t.rises[static_cast<size_t>(t.slaves.back().crcEdge + 3)] + g.GetTiming().lineDelay +
               2 * period;
    };
    const bissgen::AccessPlan& p = a.plan;
    const bissgen::RegisterAccess& r = a.request;
    const bool command = r.kind == bissgen::AccessKind::Command;
    std::vector<Rec> out;
    if (slaveView) {
        out.push_back(R(pos(1), C(RecordKind::Idl, (r.headerCds >> 7) & 0x1FF)));
    } else {
        const uint32_t cts = command ? 0 : 1;
        const uint32_t field =
            command ? (uint32_t{r.ids} << 2) | r.command : (uint32_t{r.id} << 7) | r.address;
        const uint32_t good = zb::ControlCrc4((uint64_t{cts} << 10) | field, 11);
        out.push_back(R(pos(0), C(RecordKind::Start)));
        out.push_back(R(pos(1), C(RecordKind::Cts, cts)));
        out.push_back(R(pos(2), C(RecordKind::Id, command ? zb::kIdIsIds | r.ids : r.id)));
        out.push_back(R(pos(command ? 10 : 5),
                        command ? C(RecordKind::Cmd, r.command) : C(RecordKind::Adr, r.address)));
        out.push_back(R(pos(11) + 1, C(RecordKind::Crc,
                                       p.addressCrc | (p.addressCrc != good ? zb::kCrcMismatchFlag : 0))));
    }
    if (command) {
        out.push_back(R(pos(15) + 2, S(StatusCode::Idle)));
        return out;
    }
    out.push_back(
        R(pos(15) + 1, C(RecordKind::ReadWrite, p.slaveRw | (p.valid ? 0 : zb::kReadWriteInvalid))));
    if (!p.valid) {
        out.push_back(R(pos(17) + 1, S(StatusCode::Error)));
        out.push_back(R(pos(17) + 2, S(StatusCode::Idle)));
        return out;
    }
    if (r.neverStarts) {
        // The first frame without the start bit opens the wait; it ends in a time-out at the first
        // frame more than 20 ms later, when the sample rate says when that is.
        for (size_t k = 18; sampleRate > 0 && k < 18 + static_cast<size_t>(r.waitFrames); ++k) {
            if (static_cast<double>(pos(k) - pos(18)) * 1e9 / static_cast<double>(sampleRate) > 2e7) {
                out.push_back(R(pos(18), S(StatusCode::Timeout)));
                out.push_back(R(pos(k) + 1, S(StatusCode::Idle)));
                break;
            }
        }
        return out;
    }
    const bool read = (p.slaveRw >> 1) != 0;
    const size_t wait = static_cast<size_t>(std::max(0, r.waitFrames));
    size_t previousStop = 17;
    for (size_t i = 0; i < p.bytes.size(); ++i) {
        const size_t start = previousStop + 1 + wait;
        const size_t stop = start + (read ? 13 : 14);
        const bool last = i + 1 == p.bytes.size();
        if (slaveView || !read) {
            const uint32_t good = zb::ControlCrc4(p.bytes[i], 8);
            out.push_back(R(pos(start) + 1, C(RecordKind::RegData, ((i & 63) << 8) | p.bytes[i])));
            out.push_back(
                R(pos(start + 8) + 1,
                  C(RecordKind::Crc, p.byteCrcs[i] | (p.byteCrcs[i] != good ? zb::kCrcMismatchFlag : 0))));
            out.push_back(R(pos(stop - 1) + 1, C(RecordKind::Stop, last && !r.offerMore ? 1 : 0)));
        } else {
            out.push_back(R(pos(start) + 1, S(StatusCode::Reading)));
        }
        previousStop = stop;
    }
    // A last stop bit of 0 offers another byte: two frames without a new start end the access,
    // unless it was the 64th byte, which ends it at once.
    const bool offered = r.offerMore && p.bytes.size() < 64;
    out.push_back(R(pos(previousStop + (offered ? 2 : 0)) + 1, S(StatusCode::Idle)));
    return out;
}

// The assembler's records: everything but the parser's first-frame and clock records and the Idle
// that follows each.
std::vector<Rec> ControlRecords(const std::vector<Rec>& all) {
    std::vector<Rec> out;
    bool afterParserRecord = false;
    for (const Rec& r : all) {
        const RecordKind k = zb::KindOf(r.code);
        const bool parserIdle = afterParserRecord && r.code == S(StatusCode::Idle);
        afterParserRecord = k == RecordKind::FirstFrame || k == RecordKind::ClockPeriod;
        if (!afterParserRecord && !parserIdle) out.push_back(r);
    }
    return out;
}

TEST(RoundTrip, RegisterAccessesInBothViews) {
    using bissgen::AccessKind;
    struct AccessCase {
        const char* name;
        bissgen::RegisterAccess access;
        uint64_t sampleRate = 200000000;
    };
    std::vector<AccessCase> cases = {
        {"read one byte", Access(AccessKind::Read, {0xA5})},
        {"read burst with waits", Access(AccessKind::Read, {0x01, 0x80, 0xFE}, 2)},
        {"write one byte", Access(AccessKind::Write, {0x3C}, 1)},
        {"write burst", Access(AccessKind::Write, {0x11, 0x22, 0x33, 0x44})},
        {"command", Access(AccessKind::Command, {})},
        {"refused", Access(AccessKind::Read, {0x10})},
        {"corrupted CRCs", Access(AccessKind::Read, {0x5A, 0x6B}, 1)},
        {"master sends R = W = 1", Access(AccessKind::Write, {0x77})},
        {"a byte more offered, not taken", Access(AccessKind::Read, {0x42, 0x43})},
        {"the 64th byte ends the access", Access(AccessKind::Read, std::vector<uint8_t>(64, 0x99))},
        {"the slave never starts: time-out after 20 ms", Access(AccessKind::Read, {}, 700)},
        {"the slave never starts, no sample rate: no time-out", Access(AccessKind::Read, {}, 700), 0},
    };
    cases[5].access.refuse = true;
    cases[6].access.corruptAddressCrc = true;
    cases[6].access.corruptByte = 1;
    cases[7].access.masterRw = 3;
    cases[8].access.offerMore = cases[9].access.offerMore = true;
    cases[10].access.neverStarts = cases[11].access.neverStarts = true;
    for (const AccessCase& c : cases) {
        for (bool slaveView : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (slaveView ? " (slave view)" : " (master view)"));
            TrafficSetup s;
            s.mode = slaveView ? zb::DecodeMode::RegisterSlave : zb::DecodeMode::RegisterMaster;
            bissgen::Generator g(s.timing, s.layout, 11);
            g.AddFrame(bissgen::Frame{});
            g.AddFrame(bissgen::Frame{});
            g.QueueAccess(c.access, 3);
            g.FlushControl();
            bissgen::Capture capture = g.Finish();
            capture.sampleRate = c.sampleRate;
            ASSERT_EQ(g.Accesses().size(), 1u);
            const std::vector<Rec> expected = ExpectAccess(g, g.Accesses()[0], slaveView, c.sampleRate);
            EXPECT_TRUE(SameRecords(ControlRecords(Decode(capture, s)), expected));
            const bool timedOut = std::any_of(expected.begin(), expected.end(),
                                              [](const Rec& r) { return r.code == S(StatusCode::Timeout); });
            EXPECT_EQ(timedOut, c.access.neverStarts && c.sampleRate > 0);
        }
    }
}

// The length is found, and every frame read whole, on a clock whose edges jitter.
TEST(RoundTrip, AutoLengthFindsTheGeneratedLength) {
    for (int bits : {7, 13, 26, 40}) {
        TrafficSetup s;
        s.autoLength = true;
        s.layout.singleTurnBits = bits;
        s.timing.jitter = bits / 2;  // MA edges off by up to 20 of the clock's 100 samples
        bissgen::Generator g(s.timing, s.layout, static_cast<uint64_t>(bits));
        bissgen::SplitMix64 rng(static_cast<uint64_t>(bits));
        for (int f = 0; f < 30; ++f) {
            bissgen::Frame frame;
            frame.slaves[0].singleTurn = rng.Next();
            g.AddFrame(frame);
        }
        uint32_t detected = 0;
        const std::vector<Rec> all = Decode(g.Finish(), s, &detected);
        EXPECT_EQ(detected, static_cast<uint32_t>(bits));
        EXPECT_EQ(std::count_if(all.begin(), all.end(),
                                [](const Rec& r) { return r.code == C(RecordKind::Crc, r.code & 0xFF); }),
                  30)
            << bits;
    }
}

}  // namespace
}  // namespace zbtest
