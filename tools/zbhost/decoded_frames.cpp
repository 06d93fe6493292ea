// Reading the records back into frames and register accesses. A frame runs from its acknowledge
// to the Status Idle that follows it: start, CDS, for every slave of the chain its value records,
// nErr, nWarn and CRC (slaves parted by Status SlaveSeparator), the stop, and the master's CDM
// read in the pause. A frame that broke off carries Status Busy, Error or Timeout instead. An
// access runs from its first record (Start in the master's view, Idl in the slave's) to Status
// Idle; its data bytes come with a CRC and a stop bit each where the view shows them.
#include "decoded_frames.h"

#include <algorithm>
#include <cstdio>

#include "abi/decoder_settings.h"
#include "abi/record_code.h"
#include "record_pages.h"

namespace zbhost {

namespace {

using zb::RecordKind;
using zb::StatusCode;

StatusCode StatusOf(uint32_t code) {
    return static_cast<StatusCode>(zb::LowByte(code));
}

bool IsStatus(uint32_t code, StatusCode status) {
    return zb::KindOf(code) == RecordKind::Status && StatusOf(code) == status;
}

// The 64-bit value of the triple that starts at record i (its mid and low records follow).
bool TripleAt(const RecordView& r, uint32_t i, const zb::ValueTriple& triple, uint64_t& value) {
    if (i + 2 >= r.count || zb::KindOf(r.codes[i + 1]) != triple.mid ||
        zb::KindOf(r.codes[i + 2]) != triple.low)
        return false;
    value = zb::JoinTriple(zb::PayloadOf(r.codes[i]), zb::PayloadOf(r.codes[i + 1]),
                           zb::PayloadOf(r.codes[i + 2]));
    return true;
}

uint64_t LowBits(uint64_t v, int32_t bits) {
    return bits >= 64 ? v : v & ((uint64_t{1} << bits) - 1);
}

}  // namespace

DecodeLayout LayoutAfterDecode(const zb::HostRecord& record) {
    zb::DecoderSettings block{};
    zb::CopySettingsIn(record, block);
    const zb::SettingsView v(&block);
    DecodeLayout l;
    l.mode = v.Mode() == static_cast<uint32_t>(zb::DecodeMode::RegisterMaster)  ? ViewMode::Master
             : v.Mode() == static_cast<uint32_t>(zb::DecodeMode::RegisterSlave) ? ViewMode::Slave
                                                                                : ViewMode::SingleCycle;
    l.bissB = v.IsBissB();
    l.autoLength = v.AutoLength();
    l.detectionRan = l.autoLength && (l.mode == ViewMode::SingleCycle || !l.bissB);
    l.lengthDetected = l.detectionRan && v.DetectedLength() >= 1;
    l.dataBits = v.EffectiveDataLength();
    l.alignmentBits = v.Alignment();
    const int32_t positionBits = v.PositionBits();
    l.singleTurnBits =
        v.SingleTurnBits() < 0 ? 0 : (v.SingleTurnBits() < positionBits ? v.SingleTurnBits() : positionBits);
    l.multiTurnBits = positionBits - l.singleTurnBits;
    l.singleTurnSetting = v.SingleTurnBits();
    l.combined = v.CombineTurns();
    // The CRC frames were parsed with: in the register-access modes the 4-bit one.
    l.crc.bits = v.EffectiveCrcBits();
    l.crc.polynomial = v.EffectiveCrcPolynomial();
    l.crc.initial = v.EffectiveCrcInitial();
    l.crc.mask = v.EffectiveCrcMask();
    l.slaves = static_cast<int32_t>(v.DataChannels()) + 1;
    l.sampleRate = record.sampleRate;
    l.rangeFrom = v.RangeFrom() == 0 ? 0 : v.CursorPosition(v.RangeFrom() - 1);
    // (The length of a capture read as a stream stays unknown when the decode ended at a cursor.)
    l.rangeTo = v.RangeTo() != 0                ? v.CursorPosition(v.RangeTo() - 1)
                : record.lastSample < INT64_MAX ? record.lastSample + 1
                                                : INT64_MAX;
    if (record.lastSample < INT64_MAX && l.rangeTo > record.lastSample + 1) l.rangeTo = record.lastSample + 1;
    return l;
}

const char* ModeName(ViewMode mode) {
    switch (mode) {
        case ViewMode::Master:
            return "master";
        case ViewMode::Slave:
            return "slave";
        case ViewMode::SingleCycle:
            break;
    }
    return "scd";
}

const char* StatusName(FrameStatus status) {
    switch (status) {
        case FrameStatus::Ok:
            return "ok";
        case FrameStatus::CrcError:
            return "crc_error";
        case FrameStatus::Busy:
            return "busy";
        case FrameStatus::Timeout:
            return "timeout";
        case FrameStatus::CutShort:
            break;
    }
    return "cut_short";
}

const char* AccessKindName(AccessKind kind) {
    switch (kind) {
        case AccessKind::Read:
            return "read";
        case AccessKind::Write:
            return "write";
        case AccessKind::Command:
            return "command";
        case AccessKind::Unknown:
            break;
    }
    return "unknown";
}

const char* AccessStatusName(AccessStatus status) {
    switch (status) {
        case AccessStatus::Ok:
            return "ok";
        case AccessStatus::CrcError:
            return "crc_error";
        case AccessStatus::Refused:
            return "refused";
        case AccessStatus::Timeout:
            return "timeout";
        case AccessStatus::Incomplete:
            break;
    }
    return "incomplete";
}

uint64_t SlaveWord::Position(const DecodeLayout& l) const {
    if (hasData) return data;
    if (l.singleTurnBits >= 64) return singleTurn;
    return (multiTurn << l.singleTurnBits) | LowBits(singleTurn, l.singleTurnBits);
}

bool SlaveWord::ExpectedCrc(const DecodeLayout& l, uint32_t& crc) const {
    if (!hasCrc || err < 0 || warn < 0 || l.alignmentBits != 0) return false;
    crc =
        zb::FrameCrc(l.crc, Position(l), l.dataBits, static_cast<uint32_t>(err), static_cast<uint32_t>(warn));
    return true;
}

std::string SlaveWord::ReceivedCrcText(const DecodeLayout& l) const {
    if (!hasCrc) return "";
    const int digits = (l.crc.bits + 3) / 4;
    uint32_t expected = 0;
    char text[16];
    if (!crcBad && ExpectedCrc(l, expected)) {
        std::snprintf(text, sizeof text, "%0*X", digits, expected);
        return text;
    }
    std::snprintf(text, sizeof text, "%0*X", digits < 2 ? digits : 2, crcLow8);
    return std::string(digits > 2 ? static_cast<size_t>(digits - 2) : 0, '?') + text;
}

void RecordView::Release(uint32_t from, uint32_t to) const {
    if (!releasable || to > count || from >= to) return;
    ReleaseFilePages(positions + from, positions + to);
    ReleaseFilePages(codes + from, codes + to);
}

void ForEachFrame(const RecordView& r, const std::function<void(const DecodedFrame&)>& visit) {
    DecodedFrame frame;
    bool open = false;
    bool broken = false;  // a status record ended the frame before its last CRC
    // The decode's first acknowledge comes after the FirstFrame record and the records that go
    // with it, each placed one sample after the other: its own sample is the FirstFrame's.
    int64_t firstAck = -1;
    auto close = [&]() {
        if (!open) return;
        if (frame.slaves.empty()) frame.slaves.emplace_back();
        if (!broken) {
            frame.status = FrameStatus::Ok;
            for (SlaveWord& s : frame.slaves) {
                // A slave without its CRC (the decode ended inside it) counts as cut short.
                if (!s.hasCrc) s.status = FrameStatus::CutShort;
                if (s.status != FrameStatus::Ok && frame.status == FrameStatus::Ok) frame.status = s.status;
            }
        }
        visit(frame);
        ++frame.index;
        open = false;
    };
    auto slave = [&]() -> SlaveWord& {
        if (frame.slaves.empty()) frame.slaves.emplace_back();
        return frame.slaves.back();
    };
    uint32_t released = 0;
    for (uint32_t i = 0; i < r.count; ++i) {
        r.ReleaseBehind(i, released);
        const uint32_t code = r.codes[i];
        const uint32_t payload = zb::PayloadOf(code);
        const RecordKind kind = zb::KindOf(code);
        if (kind == RecordKind::FirstFrame) firstAck = r.positions[i];
        if (kind == RecordKind::Ack) {
            close();
            open = true;
            broken = false;
            frame.position = firstAck >= 0 ? firstAck : r.positions[i];
            firstAck = -1;
            frame.cds = frame.cdm = -1;
            frame.status = FrameStatus::Ok;
            frame.slaves.clear();
            continue;
        }
        if (!open) continue;
        uint64_t value = 0;
        switch (kind) {
            case RecordKind::Cds:
                frame.cds = static_cast<int>(payload & 1);
                break;
            case RecordKind::Cdm:
                frame.cdm = static_cast<int>(payload & 1);
                break;
            case RecordKind::MultiTurnHigh:
                if (TripleAt(r, i, zb::kMultiTurnTriple, value))
                    slave().hasMultiTurn = true, slave().multiTurn = value, i += 2;
                break;
            case RecordKind::SingleTurnHigh:
                if (TripleAt(r, i, zb::kSingleTurnTriple, value))
                    slave().hasSingleTurn = true, slave().singleTurn = value, i += 2;
                break;
            case RecordKind::DataHigh:
                if (TripleAt(r, i, zb::kDataTriple, value))
                    slave().hasData = true, slave().data = value, i += 2;
                break;
            case RecordKind::Err:
                slave().err = static_cast<int>(payload & 1);
                break;
            case RecordKind::Warn:
                slave().warn = static_cast<int>(payload & 1);
                break;
            case RecordKind::Crc:
                slave().hasCrc = true;
                slave().crcLow8 = zb::LowByte(code);
                slave().crcBad = (payload & zb::kCrcMismatchFlag) != 0;
                slave().status = slave().crcBad ? FrameStatus::CrcError : FrameStatus::Ok;
                break;
            case RecordKind::Status:
                switch (StatusOf(code)) {
                    case StatusCode::SlaveSeparator:
                        slave();
                        frame.slaves.emplace_back();
                        break;
                    case StatusCode::Busy:
                    case StatusCode::Error:
                    case StatusCode::Timeout:
                        broken = true;
                        frame.status = StatusOf(code) == StatusCode::Busy      ? FrameStatus::Busy
                                       : StatusOf(code) == StatusCode::Timeout ? FrameStatus::Timeout
                                                                               : FrameStatus::CutShort;
                        slave().status = frame.status;
                        break;
                    case StatusCode::Idle:
                        close();
                        break;
                    default:
                        break;
                }
                break;
            default:
                break;
        }
    }
    close();
}

void ForEachAccess(const RecordView& r, bool slaveView,
                   const std::function<void(const DecodedAccess&)>& visit) {
    DecodedAccess access;
    bool open = false;
    auto close = [&](AccessStatus ending) {
        if (!open) return;
        if (access.status == AccessStatus::Ok) access.status = ending;
        if (access.status == AccessStatus::Ok && (access.addressCrcBad || access.badByteCrcs > 0))
            access.status = AccessStatus::CrcError;
        // A command leaves no read/write answer: in the slave's view only its end tells it.
        if (access.kind == AccessKind::Unknown && access.rw < 0 && ending == AccessStatus::Ok && slaveView)
            access.kind = AccessKind::Command;
        visit(access);
        ++access.index;
        open = false;
    };
    uint32_t released = 0;
    for (uint32_t i = 0; i < r.count; ++i) {
        r.ReleaseBehind(i, released);
        const uint32_t code = r.codes[i];
        const uint32_t payload = zb::PayloadOf(code);
        const RecordKind kind = zb::KindOf(code);
        if (kind == (slaveView ? RecordKind::Idl : RecordKind::Start)) {
            close(AccessStatus::Incomplete);
            const uint64_t index = access.index;
            access = DecodedAccess{};
            access.index = index;
            access.position = r.positions[i];
            open = true;
            if (slaveView) access.idl = static_cast<int>(payload & 0x1FF);
            continue;
        }
        if (!open) continue;
        switch (kind) {
            case RecordKind::Cts:
                access.kind = (payload & 1) != 0 ? AccessKind::Unknown : AccessKind::Command;
                break;
            case RecordKind::Id:
                if (zb::IdIsIds(code))
                    access.ids = static_cast<int>(payload & 0xFF);
                else
                    access.slaveId = static_cast<int>(payload & 7);
                break;
            case RecordKind::Adr:
                access.address = static_cast<int>(payload & 0x7F);
                break;
            case RecordKind::Cmd:
                access.command = static_cast<int>(payload & 3);
                break;
            case RecordKind::ReadWrite:
                access.rw = static_cast<int>(payload & 3);
                if ((payload & zb::kReadWriteInvalid) != 0)
                    access.status = AccessStatus::Refused;
                else
                    access.kind = access.rw == 2 ? AccessKind::Read : AccessKind::Write;
                break;
            case RecordKind::RegData:
                access.bytes.push_back(static_cast<int>(zb::LowByte(code)));
                break;
            case RecordKind::Crc:
                // Before the read/write answer it is the address part's CRC, after it a byte's.
                if (access.rw < 0) {
                    access.addressCrc = static_cast<int>(payload & 0xF);
                    access.addressCrcBad = (payload & zb::kCrcMismatchFlag) != 0;
                } else {
                    ++access.byteCrcs;
                    if ((payload & zb::kCrcMismatchFlag) != 0) ++access.badByteCrcs;
                }
                break;
            case RecordKind::Status:
                if (IsStatus(code, StatusCode::Reading)) access.bytes.push_back(-1);
                if (IsStatus(code, StatusCode::Timeout)) access.status = AccessStatus::Timeout;
                if (IsStatus(code, StatusCode::Idle)) close(AccessStatus::Ok);
                break;
            default:
                break;
        }
    }
    close(AccessStatus::Incomplete);
}

int64_t ClockPeriodOf(const RecordView& r) {
    // From the end back; a capture that keeps one clock has its only record at the start.
    for (uint32_t i = r.count; i-- > 0;) {
        if (zb::KindOf(r.codes[i]) == RecordKind::ClockPeriod) return zb::PayloadOf(r.codes[i]);
        if (i % kReleaseRecords == 0) r.Release(i, std::min(r.count, i + kReleaseRecords));
    }
    return 0;
}

}  // namespace zbhost
