// Register accesses and commands of BiSS-C, sent one bit per frame: the master's CDM bit in the
// pause after a frame and the slave's CDS bit in the frame after that. This file turns one access
// into the sequence of (CDM, CDS) pairs that master and slave put on the wire.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace bissgen {

enum class AccessKind : uint8_t { Read, Write, Command };

struct RegisterAccess {
    AccessKind kind = AccessKind::Read;
    uint8_t id = 0;       // 3-bit slave ID (read and write)
    uint8_t address = 0;  // 7-bit register address (read and write)
    uint8_t ids = 0;      // 8-bit IDS (command)
    uint8_t command = 0;  // 2-bit command (command)
    // Write: the bytes the master sends; read: the bytes the slave answers with. 1..64 bytes; an
    // empty list sends one byte of 0.
    std::vector<uint8_t> data;
    bool refuse = false;  // the slave answers R = W = 0 and the access ends there
    int masterRw = -1;    // the master's R and W bits as R * 2 + W; -1: from the kind (read 2, write 1)
    int waitFrames = 0;   // frames the slave lets pass (CDS 0) before each of its start bits
    // The slave never sends its start bit: after R and W only `waitFrames` frames of CDS 0 follow.
    bool neverStarts = false;
    // The slave's last stop bit is 0 (it offers another byte) and the master does not ask for one;
    // two frames of CDM 0 follow so the access ends.
    bool offerMore = false;
    bool corruptAddressCrc = false;  // the master sends the address CRC with its last bit inverted
    int corruptByte = -1;            // index of the data byte whose CRC goes out with its last bit inverted
    // The CDS bits the slave sends while the master sends start, CTS, address and CRC (16 bits,
    // MSB first; 0 = an idle slave).
    uint16_t headerCds = 0;
};

// The three plain accesses, with every other field at its default.
inline RegisterAccess RegisterRead(uint8_t id, uint8_t address, std::vector<uint8_t> data) {
    RegisterAccess a;
    a.kind = AccessKind::Read;
    a.id = id;
    a.address = address;
    a.data = std::move(data);
    return a;
}
inline RegisterAccess RegisterWrite(uint8_t id, uint8_t address, std::vector<uint8_t> data) {
    RegisterAccess a = RegisterRead(id, address, std::move(data));
    a.kind = AccessKind::Write;
    return a;
}
inline RegisterAccess BusCommand(uint8_t ids, uint8_t command) {
    RegisterAccess a;
    a.kind = AccessKind::Command;
    a.ids = ids;
    a.command = command;
    return a;
}

// One step of the control channel: the master's CDM bit (in the pause after frame k) and the
// slave's answer on CDS (in frame k + 1).
struct ControlStep {
    uint8_t cdm = 0;
    uint8_t cds = 0;
};

// What goes over the control channel for one access, derived from the request.
struct AccessPlan {
    std::vector<ControlStep> steps;
    uint32_t addressCrc = 0;         // CRC as sent (after any corruption)
    uint8_t slaveRw = 0;             // the slave's R * 2 + W answer
    bool valid = true;               // R differs from W: the data part follows
    std::vector<uint8_t> bytes;      // the data bytes carried
    std::vector<uint32_t> byteCrcs;  // each byte's CRC as sent
};

AccessPlan PlanAccess(const RegisterAccess& access);

}  // namespace bissgen
