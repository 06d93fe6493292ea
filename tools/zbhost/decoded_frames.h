// What the records of a decode say, frame by frame (Single Cycle Data mode) or register access by
// register access (the master's and the slave's views). The records are read as the plug-in
// published them; the settings it decoded with (the detected data length included) come back in
// the host record. Frames and accesses are handed to a visitor one at a time, so a capture of
// millions of frames needs no list of them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "abi/host_record.h"
#include "engine/frame_crc.h"

namespace zbhost {

// Records a reader goes through between two releases of the pages behind it.
constexpr uint32_t kReleaseRecords = 1u << 19;

// The record arrays of a decode.
struct RecordView {
    const int64_t* positions = nullptr;
    const uint32_t* codes = nullptr;
    uint32_t count = 0;
    // Both arrays lie in shared file mappings (the plug-in's store files), whose pages may be
    // given back once read: touched again, they are read from the file.
    bool releasable = false;

    // Gives back the pages that hold only records of [from, to) (to at most count), when
    // releasable; the records still read the same afterwards.
    void Release(uint32_t from, uint32_t to) const;
    // For a reader going forward that has come to record i (it may step over several records at
    // once): the whole blocks of kReleaseRecords records between `released` (where its last
    // release ended; 0 at first) and i go back.
    void ReleaseBehind(uint32_t i, uint32_t& released) const {
        if (!releasable || i - released < kReleaseRecords) return;
        const uint32_t to = i - i % kReleaseRecords;
        Release(released, to);
        released = to;
    }
};

enum class ViewMode { SingleCycle, Master, Slave };

// The settings a decode ran with, as far as reading its records needs them.
struct DecodeLayout {
    ViewMode mode = ViewMode::SingleCycle;
    bool bissB = false;
    int32_t dataBits = 0;         // the length used: detected, or configured
    bool autoLength = false;      // detection was asked for
    bool detectionRan = false;    // ... and possible (Single Cycle Data, or BiSS-C)
    bool lengthDetected = false;  // ... and found a length
    int32_t alignmentBits = 0;
    int32_t singleTurnBits = 0;  // widths of the two values
    int32_t multiTurnBits = 0;
    int32_t singleTurnSetting = 0;  // the setting as the decode left it (it may have been cut)
    bool combined = false;          // one Data value instead of multi-turn and single-turn
    zb::FrameCrcParams crc{};
    int32_t slaves = 1;
    uint64_t sampleRate = 0;
    int64_t rangeFrom = 0;  // decoded samples [rangeFrom, rangeTo)
    int64_t rangeTo = 0;
};
DecodeLayout LayoutAfterDecode(const zb::HostRecord& record);
const char* ModeName(ViewMode mode);

enum class FrameStatus : uint8_t { Ok, CrcError, Busy, Timeout, CutShort };
const char* StatusName(FrameStatus status);

// One slave's part of a frame.
struct SlaveWord {
    bool hasMultiTurn = false, hasSingleTurn = false, hasData = false;
    uint64_t multiTurn = 0, singleTurn = 0, data = 0;
    int err = -1, warn = -1;  // as on the line (1 = no error), -1 = not received
    bool hasCrc = false;
    uint32_t crcLow8 = 0;  // the record keeps only the received CRC's low 8 bits
    bool crcBad = false;
    FrameStatus status = FrameStatus::Ok;

    bool HasValue() const { return hasMultiTurn || hasSingleTurn || hasData; }
    // Multi-turn and single-turn joined (or the combined Data value).
    uint64_t Position(const DecodeLayout& layout) const;
    // The CRC the slave should have sent for what was received; false when that is unknown (no
    // CRC, or alignment bits, which the records drop).
    bool ExpectedCrc(const DecodeLayout& layout, uint32_t& crc) const;
    // The received CRC in hex: in full when known (up to 8 bits, or a CRC that matched), else
    // its low 8 bits after '?' digits for the unknown ones. Empty without a CRC.
    std::string ReceivedCrcText(const DecodeLayout& layout) const;
};

struct DecodedFrame {
    uint64_t index = 0;
    int64_t position = 0;  // the acknowledge
    int cds = -1, cdm = -1;
    FrameStatus status = FrameStatus::Ok;
    std::vector<SlaveWord> slaves;  // at least one
};

// Frames in record order; the last frame of a decode that ended inside it is handed over too.
void ForEachFrame(const RecordView& records, const std::function<void(const DecodedFrame&)>& visit);

enum class AccessKind : uint8_t { Unknown, Read, Write, Command };
enum class AccessStatus : uint8_t { Ok, CrcError, Refused, Timeout, Incomplete };
const char* AccessKindName(AccessKind kind);
const char* AccessStatusName(AccessStatus status);

struct DecodedAccess {
    uint64_t index = 0;
    int64_t position = 0;  // its first record
    AccessKind kind = AccessKind::Unknown;
    int slaveId = -1, address = -1, ids = -1, command = -1;  // master view only
    int idl = -1;                                            // slave view: the first 9 CDS bits
    int rw = -1;                                             // R * 2 + W as the slave answered
    int addressCrc = -1;                                     // master view: the 4 received bits
    bool addressCrcBad = false;
    std::vector<int> bytes;  // -1: a byte the view does not show (a read seen from the master)
    int byteCrcs = 0, badByteCrcs = 0;
    AccessStatus status = AccessStatus::Ok;
};

void ForEachAccess(const RecordView& records, bool slaveView,
                   const std::function<void(const DecodedAccess&)>& visit);

// The MA clock period in samples from the last ClockPeriod record, 0 when there is none.
int64_t ClockPeriodOf(const RecordView& records);

}  // namespace zbhost
