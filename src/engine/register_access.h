// The register-access assembler. In BiSS-C the master sends one control bit per frame (CDM, read
// from MA in the pause after the frame) and the slave answers with one bit per frame (CDS, the bit
// after the next start bit). Collected over many frames these pairs form control frames: start,
// CTS, slave ID or IDS, register address or command, a 4-bit CRC, the read and write bits and then
// data bytes, each with its own CRC and stop bit. The frame parser feeds the pairs in; every field
// becomes a record. The master view shows what the master sent, the slave view what the slave sent.
#pragma once

#include <cstdint>

#include "engine/record_output.h"

namespace zb {

class RegisterAssembler {
  public:
    explicit RegisterAssembler(RecordOutput& out) : out_(out) {}
    RegisterAssembler(const RegisterAssembler&) = delete;
    RegisterAssembler& operator=(const RegisterAssembler&) = delete;

    // Starts over with no access in progress. `slaveView` selects the slave's view; `sampleRate`
    // (samples per second, 0 = unknown) times the wait for the slave's start bit.
    void Reset(bool slaveView, uint64_t sampleRate);
    // One frame's pair: the master's CDM bit, whose records go to `pos`, and the slave's CDS bit
    // that answers it. Only bit 0 of each counts.
    void Feed(int64_t pos, uint32_t cdm, uint32_t cds);

  private:
    // Which field of a control frame the next pair belongs to.
    enum class Field : uint8_t {
        Idle,
        Cts,
        Address,
        AddressCrc,
        ReadWrite,
        WaitStart,
        Data,
        DataCrc,
        WriteGap,
        Stop,
        NextByte,
    };

    void EndAddressPart();
    void EndAccess(int64_t idlePos);
    // The data bytes are shown in the slave view and, in the master view, for a write (the
    // master sends them); the master view of a read shows "Reading" instead.
    bool ShowsData() const { return a_.readBit == 0 || slaveView_; }

    RecordOutput& out_;
    bool slaveView_ = false;
    uint64_t sampleRate_ = 0;

    // The access in progress; a new one starts from these values.
    struct Access {
        Field field = Field::Idle;
        int32_t bitCount = 0;  // bits of the current field, or frames waited after a stop bit of 0
        uint32_t ctsBit = 0;
        uint32_t addressBits = 0;  // the ten address-part bits from CDM
        uint32_t cdsBits = 0;      // the first nine CDS bits, for the slave view's IDL record
        int32_t cdsBitCount = 0;
        // The last four CRC bits received: a 4-bit register, so the bits of an earlier field have
        // shifted out by the time the four CRC bits are in.
        uint32_t crc = 0;
        uint32_t readBit = 0;
        uint32_t writeBit = 0;
        uint32_t byte = 0;
        int32_t byteIndex = 0;
        int64_t fieldPos = 0;  // where the record of the field being read goes
        int64_t ctsPos = 0;
        int64_t idPos = 0;
        int64_t adrPos = 0;
        int64_t waitStart = 0;  // first frame without the slave's start bit, 0 while not waiting
    };
    Access a_;
};

}  // namespace zb
