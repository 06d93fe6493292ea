// The register-access assembler fed (CDM, CDS) pairs directly, one per frame: reads, writes,
// bursts and commands in the master and the slave view, refusals, the start-bit time-out, the
// two-frame window after a stop bit of 0 and the 64-byte limit.
#include <gtest/gtest.h>

#include "support/engine_records.h"

namespace zbtest {
namespace {

using zb::RecordKind;
using zb::StatusCode;

int64_t Pos(size_t frame) {
    return 1000 + 100 * static_cast<int64_t>(frame);
}

// The (CDM, CDS) pairs of a run of frames, built field by field.
struct Script {
    std::vector<std::pair<uint32_t, uint32_t>> f;
    void Add(uint32_t cdm, uint32_t cds) { f.push_back({cdm, cds}); }
    void CdmBits(uint32_t value, int bits, uint32_t cds = 0) {
        for (int i = bits - 1; i >= 0; --i) Add((value >> i) & 1, cds);
    }
    void CdsBits(uint32_t value, int bits, uint32_t cdm = 0) {
        for (int i = bits - 1; i >= 0; --i) Add(cdm, (value >> i) & 1);
    }
    // Start, CTS and the ten address-part bits on CDM with their CRC; `slaveBits` are the CDS bits
    // of the first 9 of these frames.
    void Header(uint32_t cts, uint32_t addressPart, uint32_t slaveBits = 0x155, bool goodCrc = true) {
        const size_t first = f.size();
        Add(1, 0);
        Add(cts, 0);
        CdmBits(addressPart, 10);
        for (int i = 0; i < 9; ++i) f[first + i].second = (slaveBits >> (8 - i)) & 1;
        uint32_t crc = zb::ControlCrc4((uint64_t{cts} << 10) | addressPart, 11);
        if (!goodCrc) crc ^= 1;
        CdmBits(crc, 4);
    }
    // One data byte after the start bit: CDM and CDS each carry their own byte and CRC.
    void Byte(uint32_t cdmByte, uint32_t cdsByte, int waitFrames, bool write, uint32_t stop) {
        for (int i = 0; i < waitFrames; ++i) Add(0, 0);
        Add(0, 1);  // the slave's start bit
        for (int i = 7; i >= 0; --i) Add((cdmByte >> i) & 1, (cdsByte >> i) & 1);
        const uint32_t cdmCrc = zb::ControlCrc4(cdmByte, 8), cdsCrc = zb::ControlCrc4(cdsByte, 8);
        for (int i = 3; i >= 0; --i) Add((cdmCrc >> i) & 1, (cdsCrc >> i) & 1);
        if (write) Add(0, 0);  // the frame the slave takes to store the byte
        Add(0, stop);
    }
};

// The assembler on a record output of its own (its stores stay in memory: they are never reset).
struct Assembler {
    zb::RecordOutput out;
    zb::RegisterAssembler a{out};
    explicit Assembler(bool slaveView, uint64_t sampleRate = 0) { a.Reset(slaveView, sampleRate); }
    std::vector<Rec> Run(const Script& s) {
        for (size_t i = 0; i < s.f.size(); ++i) a.Feed(Pos(i), s.f[i].first, s.f[i].second);
        std::vector<Rec> records;
        for (uint64_t i = 0; i < out.positionStore.StoreCount(); ++i)
            records.push_back({out.positionStore.ElementAt(i), out.codeStore.ElementAt(i)});
        return records;
    }
};

constexpr uint32_t kId = 5, kAdr = 0x42;
constexpr uint32_t kAddressPart = (kId << 7) | kAdr;
const uint32_t kHeaderCrc = zb::ControlCrc4((1u << 10) | kAddressPart, 11);

TEST(RegisterAccess, ReadInBothViews) {
    Script s;
    s.Header(1, kAddressPart);
    s.Add(0, 1);  // R
    s.Add(0, 0);  // W
    s.Byte(0x00, 0xA5, 1, false, 1);
    ASSERT_EQ(s.f.size(), 33u);
    const std::vector<Rec> master = {
        R(Pos(0), C(RecordKind::Start)),
        R(Pos(1), C(RecordKind::Cts, 1)),
        R(Pos(2), C(RecordKind::Id, kId)),
        R(Pos(5), C(RecordKind::Adr, kAdr)),
        R(Pos(11) + 1, C(RecordKind::Crc, kHeaderCrc)),
        R(Pos(15) + 1, C(RecordKind::ReadWrite, 2)),
        R(Pos(19) + 1, S(StatusCode::Reading)),
        R(Pos(32) + 1, S(StatusCode::Idle)),
    };
    const std::vector<Rec> slave = {
        R(Pos(1), C(RecordKind::Idl, 0x155)),         R(Pos(15) + 1, C(RecordKind::ReadWrite, 2)),
        R(Pos(19) + 1, C(RecordKind::RegData, 0xA5)), R(Pos(27) + 1, C(RecordKind::Crc, 0x4)),
        R(Pos(31) + 1, C(RecordKind::Stop, 1)),       R(Pos(32) + 1, S(StatusCode::Idle)),
    };
    EXPECT_EQ(Assembler(false).Run(s), master);
    EXPECT_EQ(Assembler(true).Run(s), slave);
}

TEST(RegisterAccess, WriteDataComesFromCdmInTheMasterViewAndCdsInTheSlaveView) {
    Script s;
    s.Header(1, kAddressPart);
    s.Add(0, 0);  // R
    s.Add(0, 1);  // W
    s.Byte(0x3C, 0xC3, 2, true, 1);
    const size_t data = 18 + 2 + 1;  // first data frame
    for (bool slaveView : {false, true}) {
        const uint32_t byte = slaveView ? 0xC3 : 0x3C;
        std::vector<Rec> out = Assembler(slaveView).Run(s);
        ASSERT_GE(out.size(), 5u);
        out.erase(out.begin(), out.end() - 5);
        const std::vector<Rec> tail = {
            R(Pos(15) + 1, C(RecordKind::ReadWrite, 1)),
            R(Pos(data - 1) + 1, C(RecordKind::RegData, byte)),
            R(Pos(data + 7) + 1, C(RecordKind::Crc, zb::ControlCrc4(byte, 8))),
            R(Pos(data + 12) + 1, C(RecordKind::Stop, 1)),  // one frame after the write gap
            R(Pos(data + 13) + 1, S(StatusCode::Idle)),
        };
        EXPECT_EQ(out, tail) << (slaveView ? "slave" : "master");
    }
}

TEST(RegisterAccess, BurstNumbersTheBytes) {
    Script s;
    s.Header(1, kAddressPart);
    s.Add(0, 1);
    s.Add(0, 0);
    s.Byte(0, 0x11, 1, false, 0);
    s.Add(1, 0);  // next start from the master; the slave's start bit comes later
    s.Byte(0, 0x22, 0, false, 0);
    s.Add(0, 0);  // one frame without a start is still inside the window
    s.Add(1, 1);  // start, and the slave's start bit in the same frame
    for (int i = 7; i >= 0; --i) s.Add(0, (0x33 >> i) & 1);
    s.CdsBits(zb::ControlCrc4(0x33, 8), 4);
    s.Add(0, 1);  // stop 1
    std::vector<uint32_t> bytes;
    for (const Rec& r : Assembler(true).Run(s))
        if (zb::KindOf(r.code) == RecordKind::RegData) bytes.push_back(zb::PayloadOf(r.code));
    EXPECT_EQ(bytes, (std::vector<uint32_t>{0x011, 0x122, 0x233}));
    const std::vector<Rec> out = Assembler(true).Run(s);
    EXPECT_EQ(out.back(), R(Pos(s.f.size() - 1) + 1, S(StatusCode::Idle)));
}

TEST(RegisterAccess, NoNewStartWithinTwoFramesEndsTheAccess) {
    Script s;
    s.Header(1, kAddressPart);
    s.Add(0, 1);
    s.Add(0, 0);
    s.Byte(0, 0x11, 1, false, 0);
    s.Add(0, 0);
    s.Add(0, 0);
    s.Add(1, 1);  // too late: a new control frame starts here instead
    Assembler a(false);
    const std::vector<Rec> out = a.Run(s);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[out.size() - 2], R(Pos(s.f.size() - 2) + 1, S(StatusCode::Idle)));
    EXPECT_EQ(out.back(), R(Pos(s.f.size() - 1), C(RecordKind::Start)));
}

TEST(RegisterAccess, TheSixtyFourthByteEndsTheAccess) {
    Script s;
    s.Header(1, kAddressPart);
    s.Add(0, 1);
    s.Add(0, 0);
    for (int b = 0; b < 64; ++b) {
        if (b > 0) s.Add(1, 0);
        s.Byte(0, static_cast<uint32_t>(b), 0, false, 0);  // stop 0 every time
    }
    const std::vector<Rec> out = Assembler(true).Run(s);
    int bytes = 0;
    for (const Rec& r : out)
        if (zb::KindOf(r.code) == RecordKind::RegData) ++bytes;
    EXPECT_EQ(bytes, 64);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[out.size() - 2].code, C(RecordKind::Stop, 0));
    EXPECT_EQ(out.back(), R(Pos(s.f.size() - 1) + 1, S(StatusCode::Idle)));
    const std::vector<Rec> last(out.end() - 4, out.end() - 3);
    EXPECT_EQ(zb::PayloadOf(last[0].code), (63u << 8) | 63u);
}

TEST(RegisterAccess, Command) {
    constexpr uint32_t kIds = 0x9A, kCmd = 2;
    Script s;
    s.Header(0, (kIds << 2) | kCmd);
    const uint32_t crc = zb::ControlCrc4((kIds << 2) | kCmd, 11);
    const std::vector<Rec> master = {
        R(Pos(0), C(RecordKind::Start)),
        R(Pos(1), C(RecordKind::Cts, 0)),
        R(Pos(2), C(RecordKind::Id, zb::kIdIsIds | kIds)),
        R(Pos(10), C(RecordKind::Cmd, kCmd)),
        R(Pos(11) + 1, C(RecordKind::Crc, crc)),
        R(Pos(15) + 2, S(StatusCode::Idle)),
    };
    EXPECT_EQ(Assembler(false).Run(s), master);
    const std::vector<Rec> slave = {R(Pos(1), C(RecordKind::Idl, 0x155)),
                                    R(Pos(15) + 2, S(StatusCode::Idle))};
    EXPECT_EQ(Assembler(true).Run(s), slave);
}

TEST(RegisterAccess, InvalidReadWriteAndCrcMismatches) {
    for (uint32_t rw : {0u, 3u}) {
        Script s;
        s.Header(1, kAddressPart, 0x155, false);
        s.Add(0, rw >> 1);
        s.Add(0, rw & 1);
        s.Add(0, 1);  // ignored: the access was abandoned, and CDM 0 starts nothing
        Assembler a(false);
        const std::vector<Rec> out = a.Run(s);
        ASSERT_EQ(out.size(), 8u);
        EXPECT_EQ(out[4], R(Pos(11) + 1, C(RecordKind::Crc, (kHeaderCrc ^ 1) | zb::kCrcMismatchFlag)));
        EXPECT_EQ(out[5], R(Pos(15) + 1, C(RecordKind::ReadWrite, rw | zb::kReadWriteInvalid)));
        EXPECT_EQ(out[6], R(Pos(17) + 1, S(StatusCode::Error)));
        EXPECT_EQ(out[7], R(Pos(17) + 2, S(StatusCode::Idle)));
    }
    // A data CRC that does not match only sets the flag.
    Script s;
    s.Header(1, kAddressPart);
    s.Add(0, 1);
    s.Add(0, 0);
    s.Add(0, 1);
    s.CdsBits(0x5A, 8);
    s.CdsBits(zb::ControlCrc4(0x5A, 8) ^ 0x8, 4);
    s.Add(0, 1);
    const std::vector<Rec> out = Assembler(true).Run(s);
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[out.size() - 3].code,
              C(RecordKind::Crc, (zb::ControlCrc4(0x5A, 8) ^ 0x8) | zb::kCrcMismatchFlag));
}

TEST(RegisterAccess, SlaveStartBitTimeout) {
    Script s;
    s.Header(1, kAddressPart);
    s.Add(0, 1);
    s.Add(0, 0);
    for (int i = 0; i < 400; ++i) s.Add(0, 0);  // the slave never answers
    // 1 MS/s and 100 samples per frame: 20 ms are 200 frames after the first waiting frame (18).
    Assembler timed(false, 1000000);
    const std::vector<Rec> out = timed.Run(s);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[out.size() - 2], R(Pos(18), S(StatusCode::Timeout)));
    EXPECT_EQ(out.back(), R(Pos(18 + 201) + 1, S(StatusCode::Idle)));
    // Without a sample rate the wait has no limit.
    Assembler untimed(false, 0);
    const std::vector<Rec> open = untimed.Run(s);
    EXPECT_EQ(zb::KindOf(open.back().code), RecordKind::ReadWrite);
}

}  // namespace
}  // namespace zbtest
