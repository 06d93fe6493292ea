// Master and slave of the BiSS-C control channel. A control frame is: the master's start bit (CDM
// 1), CTS, then ID and register address (CTS 1) or IDS and command (CTS 0), then a 4-bit CRC over
// CTS and those 10 bits. For a register access the slave then answers the R and W bits on CDS,
// sends a start bit when its data is ready, and each data byte follows with its own 4-bit CRC and a
// stop bit; a stop bit of 0 lets the master ask for the next byte with a CDM 1.
#include "bissgen/control.h"

#include "bissgen/crc.h"

namespace bissgen {

namespace {

constexpr int kAddressFieldBits = 10;
constexpr int kControlCrcBits = 4;
constexpr int kHeaderSteps = 2 + kAddressFieldBits + kControlCrcBits;  // start, CTS, address, CRC
constexpr size_t kMaxBytes = 64;

class StepWriter {
  public:
    explicit StepWriter(AccessPlan& plan) : plan_(plan) {}
    void Put(uint32_t cdm, uint32_t cds) {
        plan_.steps.push_back(ControlStep{static_cast<uint8_t>(cdm & 1u), static_cast<uint8_t>(cds & 1u)});
    }
    // `count` bits of value, MSB first, on CDM (and echoed on CDS when echo is set).
    void PutMaster(uint32_t value, int count, bool echo) {
        for (int i = count - 1; i >= 0; --i) Put(value >> i, echo ? value >> i : 0);
    }
    void PutSlave(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) Put(0, value >> i);
    }

  private:
    AccessPlan& plan_;
};

}  // namespace

AccessPlan PlanAccess(const RegisterAccess& access) {
    AccessPlan plan;
    StepWriter out(plan);
    const bool isCommand = access.kind == AccessKind::Command;
    const uint32_t cts = isCommand ? 0u : 1u;
    const uint32_t field = isCommand ? ((uint32_t{access.ids} << 2) | (access.command & 3u))
                                     : ((uint32_t{access.id & 7u} << 7) | (access.address & 0x7Fu));
    uint32_t crc = ControlCrc4((uint64_t{cts} << kAddressFieldBits) | field, kAddressFieldBits + 1);
    if (access.corruptAddressCrc) crc ^= 1u;
    plan.addressCrc = crc;

    // Header: the master sends start, CTS, the 10 address bits and the CRC; the slave idles.
    const uint32_t header =
        (1u << (kHeaderSteps - 1)) | (cts << (kHeaderSteps - 2)) | (field << kControlCrcBits) | crc;
    for (int i = kHeaderSteps - 1; i >= 0; --i) out.Put(header >> i, access.headerCds >> i);
    if (isCommand) return plan;

    // R and W: the master sends its two bits, the slave answers them (both 0 when it refuses).
    const uint32_t masterRw =
        access.masterRw >= 0 ? (access.masterRw & 3u) : (access.kind == AccessKind::Read ? 2u : 1u);
    plan.slaveRw = static_cast<uint8_t>(access.refuse ? 0u : masterRw);
    out.Put(masterRw >> 1, plan.slaveRw >> 1);
    out.Put(masterRw, plan.slaveRw);
    plan.valid = (plan.slaveRw >> 1) != (plan.slaveRw & 1u);
    if (!plan.valid) return plan;

    const int wait = access.waitFrames < 0 ? 0 : access.waitFrames;
    if (access.neverStarts) {
        for (int w = 0; w < wait; ++w) out.Put(0, 0);
        return plan;
    }
    const bool isRead = (plan.slaveRw >> 1) != 0;
    plan.bytes = access.data.empty() ? std::vector<uint8_t>{0} : access.data;
    if (plan.bytes.size() > kMaxBytes) plan.bytes.resize(kMaxBytes);
    for (size_t i = 0; i < plan.bytes.size(); ++i) {
        // The slave's start bit, after `wait` frames; for a later byte the step that carries the
        // master's request for it (CDM 1) is the first of those frames, or holds the start bit.
        const uint32_t masterStart = isRead ? 0u : 1u;
        if (i == 0) {
            for (int w = 0; w < wait; ++w) out.Put(0, 0);
            out.Put(masterStart, 1);
        } else if (wait == 0) {
            out.Put(1, 1);
        } else {
            out.Put(1, 0);
            for (int w = 1; w < wait; ++w) out.Put(0, 0);
            out.Put(masterStart, 1);
        }
        const uint32_t byte = plan.bytes[i];
        uint32_t byteCrc = ControlCrc4(byte, 8);
        if (static_cast<int>(i) == access.corruptByte) byteCrc ^= 1u;
        plan.byteCrcs.push_back(byteCrc);
        if (isRead) {
            out.PutSlave(byte, 8);
            out.PutSlave(byteCrc, kControlCrcBits);
        } else {
            // A write: the master sends byte and CRC, the slave echoes each bit one frame later,
            // then one frame passes before the slave's stop bit.
            out.PutMaster(byte, 8, true);
            out.PutMaster(byteCrc, kControlCrcBits, true);
            out.Put(0, 0);
        }
        // The stop bit: 1 ends the access, 0 offers the next byte.
        const bool last = i + 1 == plan.bytes.size();
        out.Put(0, last && !access.offerMore ? 1u : 0u);
    }
    if (access.offerMore) {
        out.Put(0, 0);
        out.Put(0, 0);
    }
    return plan;
}

}  // namespace bissgen
