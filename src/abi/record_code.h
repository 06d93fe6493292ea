// Record codes: a decoded item is a sample position and a 32-bit code whose top byte is the
// RecordKind and whose low 24 bits are the payload. Building and reading codes happens here only.
#pragma once

#include <cstdint>

namespace zb {

enum class RecordKind : uint8_t {
    Failure = 0x00,  // the single record of a failed decode (code 0)
    ReadWrite = 0x20,
    Cmd = 0x30,
    Adr = 0x40,
    Id = 0x50,
    Idl = 0x51,
    Ida = 0x52,  // known to the labels, never stored
    Cts = 0x60,
    Cdm = 0x70,
    Stop = 0x80,
    Crc = 0x90,
    Warn = 0xAE,
    Err = 0xAF,
    RegData = 0xB0,
    DataMid = 0xB7,
    SingleTurnMid = 0xB8,
    MultiTurnMid = 0xB9,
    DataLow = 0xBA,
    DataHigh = 0xBB,
    SingleTurnLow = 0xBC,
    SingleTurnHigh = 0xBD,
    MultiTurnLow = 0xBE,
    MultiTurnHigh = 0xBF,
    Cds = 0xC0,
    Start = 0xD0,
    Ack = 0xE0,
    ClockPeriod = 0xF0,
    FirstFrame = 0xF1,
    Status = 0xFF,
};

enum class StatusCode : uint8_t {
    Idle = 0,
    Reading = 1,
    Busy = 2,
    Error = 3,
    SlaveSeparator = 4,
    Timeout = 5,
};

// The three kinds of one 64-bit value, stored with one position: bits 63..48, 47..24, 23..0.
struct ValueTriple {
    RecordKind high, mid, low;
};
constexpr ValueTriple kMultiTurnTriple{RecordKind::MultiTurnHigh, RecordKind::MultiTurnMid,
                                       RecordKind::MultiTurnLow};
constexpr ValueTriple kSingleTurnTriple{RecordKind::SingleTurnHigh, RecordKind::SingleTurnMid,
                                        RecordKind::SingleTurnLow};
constexpr ValueTriple kDataTriple{RecordKind::DataHigh, RecordKind::DataMid, RecordKind::DataLow};

constexpr uint32_t kPayloadMask = 0x00FFFFFFu;
constexpr uint32_t kCrcMismatchFlag = 0x100;   // Crc payload bit 8
constexpr uint32_t kReadWriteInvalid = 0x100;  // ReadWrite payload bit 8
constexpr uint32_t kIdIsIds = 0x10000;         // Id payload bit 16: IDS of a command

constexpr uint32_t MakeCode(RecordKind kind, uint32_t payload = 0) {
    return (static_cast<uint32_t>(kind) << 24) | (payload & kPayloadMask);
}
constexpr uint32_t MakeStatus(StatusCode status, uint32_t ackCount = 0) {
    return MakeCode(RecordKind::Status, static_cast<uint32_t>(status) | ((ackCount & 0xFF) << 8));
}
constexpr RecordKind KindOf(uint32_t code) {
    return static_cast<RecordKind>(code >> 24);
}
constexpr uint8_t KindByte(uint32_t code) {
    return static_cast<uint8_t>(code >> 24);
}
constexpr uint32_t PayloadOf(uint32_t code) {
    return code & kPayloadMask;
}
constexpr uint32_t LowByte(uint32_t code) {
    return code & 0xFF;
}
constexpr uint32_t SecondByte(uint32_t code) {
    return (code >> 8) & 0xFF;
}
// An Id record holds an IDS (of a command) rather than a slave ID when any of payload bits 19..16
// is set (the assembler sets bit 16, kIdIsIds).
constexpr bool IdIsIds(uint32_t code) {
    return (code & 0xF0000u) != 0;
}

constexpr uint32_t TripleHighPayload(uint64_t v) {
    return static_cast<uint32_t>(v >> 48) & 0xFFFF;
}
constexpr uint32_t TripleMidPayload(uint64_t v) {
    return static_cast<uint32_t>(v >> 24) & kPayloadMask;
}
constexpr uint32_t TripleLowPayload(uint64_t v) {
    return static_cast<uint32_t>(v) & kPayloadMask;
}
constexpr uint64_t JoinTriple(uint32_t high, uint32_t mid, uint32_t low) {
    return (uint64_t{high & 0xFFFF} << 48) | (uint64_t{mid & kPayloadMask} << 24) | (low & kPayloadMask);
}

}  // namespace zb
