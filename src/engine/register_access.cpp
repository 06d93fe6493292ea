// The register-access assembler. In BiSS-C the master sends one control bit per frame (CDM, read
// from MA in the pause after the frame) and the slave answers with one bit per frame (CDS, the bit
// after the start bit). Collected over many frames these pairs form control frames: start, CTS,
// slave ID or IDS, register address or command, a 4-bit CRC, the read and write bits and then data
// bytes, each with its own CRC and stop bit. Every field becomes a record; the master view shows
// what the master sent, the slave view what the slave sent.
#include "engine/decode_engine.h"

namespace zb {

namespace {

constexpr int32_t kAddressPartBits = 10;      // 3-bit ID + 7-bit address, or 8-bit IDS + 2-bit command
constexpr int32_t kAddressCrcInputBits = 11;  // CTS and the 10 address-part bits
constexpr int32_t kIdBitsBeforeAddress = 3;
constexpr int32_t kIdsBitsBeforeCommand = 8;
constexpr int32_t kSlaveViewBits = 9;  // CDS bits kept for the slave view's Idl record
constexpr int32_t kControlCrcBits = 4;
constexpr int32_t kByteBits = 8;
constexpr int32_t kMaxBytes = 64;
constexpr int32_t kFramesForNextStart = 2;
constexpr double kStartWaitLimitNs = 2e7;  // the slave's start bit must come within 20 ms
constexpr double kNsPerSecond = 1e9;

}  // namespace

void DecodeEngine::ResetControl() {
    controlState = ControlState::ControlIdle;
    controlBitCount = 0;
    ctsBit = addressBits = cdsBits = 0;
    cdsBitCount = 0;
    controlCrc = readBit = writeBit = regByte = 0;
    byteIndex = 0;
    fieldPos = ctsPos = idPos = adrPos = waitStart = 0;
}

// The ten address-part bits are in: the slave view shows the first nine CDS bits as one field, the
// master view the ID and address of a register access or the IDS and command of a command.
void DecodeEngine::EndAddressPart() {
    if (slaveView) {
        StoreControlRecord(MakeCode(RecordKind::Idl, cdsBits & 0x1FF), ctsPos);
    } else if (ctsBit != 0) {
        StoreControlRecord(MakeCode(RecordKind::Id, (addressBits >> 7) & 7), idPos);
        StoreControlRecord(MakeCode(RecordKind::Adr, addressBits & 0x7F), adrPos);
    } else {
        StoreControlRecord(MakeCode(RecordKind::Id, kIdIsIds | ((addressBits >> 2) & 0xFF)), idPos);
        StoreControlRecord(MakeCode(RecordKind::Cmd, addressBits & 3), adrPos);
    }
}

void DecodeEngine::FeedControlBits(uint32_t cdm, uint32_t cds, int64_t pos) {
    cdm &= 1u;
    cds &= 1u;
    // A register write carries its data in the master's bits; everything else comes from the slave.
    // The slave view always reads the slave's line.
    const uint32_t dataBit = (readBit == 1 || slaveView) ? cds : cdm;
    switch (controlState) {
        case ControlState::ControlIdle:
            if (cdm == 0) return;
            cdsBits = cds;
            cdsBitCount = 1;
            fieldPos = pos;
            if (!slaveView) StoreControlRecord(MakeCode(RecordKind::Start), pos);
            controlState = ControlState::ControlCts;
            return;
        case ControlState::ControlCts:
            ctsBit = cdm;
            ctsPos = pos;
            addressBits = 0;
            cdsBits = cdsBits * 2 + cds;
            cdsBitCount = 2;
            controlBitCount = 0;
            fieldPos = pos + 1;
            if (!slaveView) StoreControlRecord(MakeCode(RecordKind::Cts, cdm), pos);
            controlState = ControlState::ControlAddress;
            return;
        case ControlState::ControlAddress:
            if (controlBitCount == 0) idPos = pos;
            if (controlBitCount == (ctsBit != 0 ? kIdBitsBeforeAddress : kIdsBitsBeforeCommand)) adrPos = pos;
            addressBits = addressBits * 2 + cdm;
            if (cdsBitCount < kSlaveViewBits) {
                cdsBits = cdsBits * 2 + cds;
                ++cdsBitCount;
            }
            if (++controlBitCount < kAddressPartBits) return;
            EndAddressPart();
            controlCrc = 0;
            controlBitCount = 0;
            fieldPos = pos + 1;
            controlState = ControlState::ControlAddressCrc;
            return;
        case ControlState::ControlAddressCrc: {
            controlCrc = (controlCrc * 2 + cdm) & 0xF;
            if (++controlBitCount < kControlCrcBits) return;
            const uint32_t expected =
                ControlCrc4((uint64_t{ctsBit} << kAddressPartBits) | addressBits, kAddressCrcInputBits);
            controlBitCount = 0;
            uint32_t payload = controlCrc & 0xF;
            if (payload != expected) payload |= kCrcMismatchFlag;
            if (!slaveView) StoreControlRecord(MakeCode(RecordKind::Crc, payload), fieldPos);
            fieldPos = pos + 1;
            if (ctsBit != 0) {
                controlState = ControlState::ControlReadWrite;
            } else {  // a command ends with its CRC
                StoreControlRecord(MakeStatus(StatusCode::Idle), pos + 2);
                ResetControl();
            }
            return;
        }
        case ControlState::ControlReadWrite: {
            if (controlBitCount == 0) {
                readBit = cds;
                controlBitCount = 1;
                return;
            }
            writeBit = cds;
            const bool invalid = readBit == writeBit;
            uint32_t payload = readBit * 2 + writeBit;
            if (invalid) payload |= kReadWriteInvalid;
            StoreControlRecord(MakeCode(RecordKind::ReadWrite, payload), fieldPos);
            if (invalid) {
                StoreControlRecord(MakeStatus(StatusCode::Error), pos + 1);
                StoreControlRecord(MakeStatus(StatusCode::Idle), pos + 2);
                ResetControl();
                return;
            }
            controlBitCount = 0;
            byteIndex = 0;
            fieldPos = pos + 1;
            controlState = ControlState::ControlWaitStart;
            return;
        }
        case ControlState::ControlWaitStart:
            if (cds == 1) {  // the slave's start bit
                waitStart = 0;
                regByte = 0;
                controlBitCount = 0;
                fieldPos = pos + 1;
                controlState = ControlState::ControlData;
                return;
            }
            if (waitStart == 0) waitStart = pos;
            if (sampleRate >= 1 &&
                static_cast<double>(pos - waitStart) * kNsPerSecond / static_cast<double>(sampleRate) >
                    kStartWaitLimitNs) {
                StoreControlRecord(MakeStatus(StatusCode::Timeout), waitStart);
                StoreControlRecord(MakeStatus(StatusCode::Idle), pos + 1);
                ResetControl();
            }
            return;
        case ControlState::ControlData:
            regByte = (regByte * 2 + dataBit) & 0xFF;
            if (++controlBitCount < kByteBits) return;
            controlCrc = 0;
            controlBitCount = 0;
            if (ShowsData()) {
                StoreControlRecord(
                    MakeCode(RecordKind::RegData, ((static_cast<uint32_t>(byteIndex) & 63) << 8) | regByte),
                    fieldPos);
            } else {
                StoreControlRecord(MakeStatus(StatusCode::Reading), fieldPos);
            }
            fieldPos = pos + 1;
            controlState = ControlState::ControlDataCrc;
            return;
        case ControlState::ControlDataCrc: {
            controlCrc = (controlCrc * 2 + dataBit) & 0xF;
            if (++controlBitCount < kControlCrcBits) return;
            const uint32_t expected = ControlCrc4(regByte, kByteBits);
            controlBitCount = 0;
            if (ShowsData()) {
                uint32_t payload = controlCrc;
                if (controlCrc != expected) payload |= kCrcMismatchFlag;
                StoreControlRecord(MakeCode(RecordKind::Crc, payload), fieldPos);
            }
            fieldPos = pos + 1;
            // A write leaves one frame for the slave to store the byte before its stop bit.
            controlState = readBit == 1 ? ControlState::ControlStop : ControlState::ControlWriteGap;
            return;
        }
        case ControlState::ControlWriteGap:
            fieldPos = pos + 1;
            controlState = ControlState::ControlStop;
            return;
        case ControlState::ControlStop:
            if (ShowsData()) StoreControlRecord(MakeCode(RecordKind::Stop, cds), fieldPos);
            if (cds == 0 && byteIndex + 1 < kMaxBytes) {
                controlState = ControlState::ControlNextByte;
            } else {
                StoreControlRecord(MakeStatus(StatusCode::Idle), pos + 1);
                ResetControl();
            }
            return;
        case ControlState::ControlNextByte:
            // After a stop bit of 0 the master may continue with the next byte by a new start bit
            // within two frames; otherwise the access is over.
            if (cdm == 1 && controlBitCount < kFramesForNextStart) {
                ++byteIndex;
                regByte = 0;
                fieldPos = pos + 1;
                if (cds == 0) {
                    waitStart = pos;
                    controlState = ControlState::ControlWaitStart;
                } else {
                    controlBitCount = 0;
                    controlState = ControlState::ControlData;
                }
                return;
            }
            if (++controlBitCount >= kFramesForNextStart) {
                StoreControlRecord(MakeStatus(StatusCode::Idle), pos + 1);
                ResetControl();
            }
            return;
    }
}

}  // namespace zb
