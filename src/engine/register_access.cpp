// The register-access assembler's state machine: one step per frame, each (CDM, CDS) pair moving
// the access in progress through its fields and storing a record where a field is complete.
#include "engine/register_access.h"

#include "engine/frame_crc.h"

namespace zb {

namespace {

constexpr int32_t kAddressPartBits = 10;      // 3-bit ID + 7-bit address, or 8-bit IDS + 2-bit command
constexpr int32_t kAddressCrcInputBits = 11;  // CTS and the 10 address-part bits
constexpr int32_t kIdBitsBeforeAddress = 3;
constexpr int32_t kIdsBitsBeforeCommand = 8;
constexpr int32_t kSlaveViewBits = 9;  // CDS bits kept for the slave view's Idl record
constexpr int32_t kControlCrcBits = 4;
constexpr uint32_t kControlCrcMask = 0xF;
constexpr int32_t kByteBits = 8;
constexpr int32_t kMaxBytes = 64;
constexpr int32_t kFramesForNextStart = 2;
constexpr double kStartWaitLimitNs = 2e7;  // the slave's start bit must come within 20 ms
constexpr double kNsPerSecond = 1e9;

}  // namespace

void RegisterAssembler::Reset(bool slaveView, uint64_t sampleRate) {
    slaveView_ = slaveView;
    sampleRate_ = sampleRate;
    a_ = Access{};
}

// The ten address-part bits are in: the slave view shows the first nine CDS bits as one field, the
// master view the ID and address of a register access or the IDS and command of a command.
void RegisterAssembler::EndAddressPart() {
    if (slaveView_) {
        out_.Store(MakeCode(RecordKind::Idl, a_.cdsBits & 0x1FF), a_.ctsPos);
    } else if (a_.ctsBit != 0) {
        out_.Store(MakeCode(RecordKind::Id, (a_.addressBits >> 7) & 7), a_.idPos);
        out_.Store(MakeCode(RecordKind::Adr, a_.addressBits & 0x7F), a_.adrPos);
    } else {
        out_.Store(MakeCode(RecordKind::Id, kIdIsIds | ((a_.addressBits >> 2) & 0xFF)), a_.idPos);
        out_.Store(MakeCode(RecordKind::Cmd, a_.addressBits & 3), a_.adrPos);
    }
}

// The access is over: an Idle record closes it and the next CDM bit of 1 starts a new one.
void RegisterAssembler::EndAccess(int64_t idlePos) {
    out_.Store(MakeStatus(StatusCode::Idle), idlePos);
    a_ = Access{};
}

void RegisterAssembler::Feed(int64_t pos, uint32_t cdm, uint32_t cds) {
    cdm &= 1u;
    cds &= 1u;
    // A register write carries its data in the master's bits; everything else comes from the slave.
    // The slave view always reads the slave's line.
    const uint32_t dataBit = (a_.readBit == 1 || slaveView_) ? cds : cdm;
    switch (a_.field) {
        case Field::Idle:
            if (cdm == 0) return;
            a_.cdsBits = cds;
            a_.cdsBitCount = 1;
            a_.fieldPos = pos;
            if (!slaveView_) out_.Store(MakeCode(RecordKind::Start), pos);
            a_.field = Field::Cts;
            return;
        case Field::Cts:
            a_.ctsBit = cdm;
            a_.ctsPos = pos;
            a_.addressBits = 0;
            a_.cdsBits = a_.cdsBits * 2 + cds;
            a_.cdsBitCount = 2;
            a_.bitCount = 0;
            a_.fieldPos = PositionAfter(pos, 1);
            if (!slaveView_) out_.Store(MakeCode(RecordKind::Cts, cdm), pos);
            a_.field = Field::Address;
            return;
        case Field::Address:
            if (a_.bitCount == 0) a_.idPos = pos;
            if (a_.bitCount == (a_.ctsBit != 0 ? kIdBitsBeforeAddress : kIdsBitsBeforeCommand))
                a_.adrPos = pos;
            a_.addressBits = a_.addressBits * 2 + cdm;
            if (a_.cdsBitCount < kSlaveViewBits) {
                a_.cdsBits = a_.cdsBits * 2 + cds;
                ++a_.cdsBitCount;
            }
            if (++a_.bitCount < kAddressPartBits) return;
            EndAddressPart();
            a_.bitCount = 0;
            a_.fieldPos = PositionAfter(pos, 1);
            a_.field = Field::AddressCrc;
            return;
        case Field::AddressCrc: {
            a_.crc = (a_.crc * 2 + cdm) & kControlCrcMask;
            if (++a_.bitCount < kControlCrcBits) return;
            const uint32_t expected =
                ControlCrc4((uint64_t{a_.ctsBit} << kAddressPartBits) | a_.addressBits, kAddressCrcInputBits);
            a_.bitCount = 0;
            uint32_t payload = a_.crc;
            if (payload != expected) payload |= kCrcMismatchFlag;
            if (!slaveView_) out_.Store(MakeCode(RecordKind::Crc, payload), a_.fieldPos);
            a_.fieldPos = PositionAfter(pos, 1);
            if (a_.ctsBit != 0) {
                a_.field = Field::ReadWrite;
            } else {  // a command ends with its CRC
                EndAccess(PositionAfter(pos, 2));
            }
            return;
        }
        case Field::ReadWrite: {
            if (a_.bitCount == 0) {
                a_.readBit = cds;
                a_.bitCount = 1;
                return;
            }
            a_.writeBit = cds;
            const bool invalid = a_.readBit == a_.writeBit;
            uint32_t payload = a_.readBit * 2 + a_.writeBit;
            if (invalid) payload |= kReadWriteInvalid;
            out_.Store(MakeCode(RecordKind::ReadWrite, payload), a_.fieldPos);
            if (invalid) {
                out_.Store(MakeStatus(StatusCode::Error), PositionAfter(pos, 1));
                EndAccess(PositionAfter(pos, 2));
                return;
            }
            a_.bitCount = 0;
            a_.byteIndex = 0;
            a_.fieldPos = PositionAfter(pos, 1);
            a_.field = Field::WaitStart;
            return;
        }
        case Field::WaitStart:
            if (cds == 1) {  // the slave's start bit
                a_.waitStart = 0;
                a_.byte = 0;
                a_.bitCount = 0;
                a_.fieldPos = PositionAfter(pos, 1);
                a_.field = Field::Data;
                return;
            }
            if (a_.waitStart == 0) a_.waitStart = pos;
            if (sampleRate_ >= 1 &&
                static_cast<double>(pos - a_.waitStart) * kNsPerSecond / static_cast<double>(sampleRate_) >
                    kStartWaitLimitNs) {
                out_.Store(MakeStatus(StatusCode::Timeout), a_.waitStart);
                EndAccess(PositionAfter(pos, 1));
            }
            return;
        case Field::Data:
            a_.byte = (a_.byte * 2 + dataBit) & 0xFF;
            if (++a_.bitCount < kByteBits) return;
            a_.bitCount = 0;
            if (ShowsData()) {
                out_.Store(MakeCode(RecordKind::RegData,
                                    ((static_cast<uint32_t>(a_.byteIndex) & 63) << 8) | a_.byte),
                           a_.fieldPos);
            } else {
                out_.Store(MakeStatus(StatusCode::Reading), a_.fieldPos);
            }
            a_.fieldPos = PositionAfter(pos, 1);
            a_.field = Field::DataCrc;
            return;
        case Field::DataCrc: {
            a_.crc = (a_.crc * 2 + dataBit) & kControlCrcMask;
            if (++a_.bitCount < kControlCrcBits) return;
            const uint32_t expected = ControlCrc4(a_.byte, kByteBits);
            a_.bitCount = 0;
            if (ShowsData()) {
                uint32_t payload = a_.crc;
                if (a_.crc != expected) payload |= kCrcMismatchFlag;
                out_.Store(MakeCode(RecordKind::Crc, payload), a_.fieldPos);
            }
            a_.fieldPos = PositionAfter(pos, 1);
            // A write leaves one frame for the slave to store the byte before its stop bit.
            a_.field = a_.readBit == 1 ? Field::Stop : Field::WriteGap;
            return;
        }
        case Field::WriteGap:
            a_.fieldPos = PositionAfter(pos, 1);
            a_.field = Field::Stop;
            return;
        case Field::Stop:
            if (ShowsData()) out_.Store(MakeCode(RecordKind::Stop, cds), a_.fieldPos);
            if (cds == 0 && a_.byteIndex + 1 < kMaxBytes) {
                a_.field = Field::NextByte;
            } else {
                EndAccess(PositionAfter(pos, 1));
            }
            return;
        case Field::NextByte:
            // After a stop bit of 0 the master may continue with the next byte by a new start bit
            // within two frames; otherwise the access is over.
            if (cdm == 1 && a_.bitCount < kFramesForNextStart) {
                ++a_.byteIndex;
                a_.byte = 0;
                a_.fieldPos = PositionAfter(pos, 1);
                if (cds == 0) {
                    a_.waitStart = pos;
                    a_.field = Field::WaitStart;
                } else {
                    a_.bitCount = 0;
                    a_.field = Field::Data;
                }
                return;
            }
            if (++a_.bitCount >= kFramesForNextStart) EndAccess(PositionAfter(pos, 1));
            return;
    }
}

}  // namespace zb
