// The BiSS master and slave model: builds a two-line capture (MA driven by the master, SLO by the
// slaves) frame by frame, with exactly known content, and keeps a truth record of what was sent
// and where its edges lie.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "bissgen/capture.h"
#include "bissgen/control.h"
#include "bissgen/crc.h"
#include "bissgen/random.h"

namespace bissgen {

enum class Protocol : uint8_t { BissC, BissB };  // BiSS-B has no CDS bit after the start bit

// The layout of one slave's word, the same for every slave of a chain.
struct Layout {
    Protocol protocol = Protocol::BissC;
    int multiTurnBits = 0;  // sent first
    int singleTurnBits = 12;
    int alignBits = 0;  // sent last
    CrcParams crc;
    int DataBits() const { return multiTurnBits + singleTurnBits + alignBits; }
};

struct Timing {
    uint64_t sampleRate = 200000000;  // samples per second
    double clockHz = 2000000;         // MA clock; at least 4 samples per period are kept
    int64_t lineDelay = 0;            // samples from an MA rising edge to the SLO change it launches
    double jitter = 0;                // largest deviation of an MA edge, samples (kept below P / 4)
    double pauseNs = 20000;           // last rising edge of a frame to the next frame's first falling
                                      // edge; at least 10 clock periods are kept
    double timeoutNs = 5000;          // the slave holds SLO low this long after a frame (kept inside
                                      // the pause)
    double leadNs = 10000;            // idle lines before the first frame and after the last
};

// One slave's part of a frame as the slave sends it.
struct SlaveWord {
    uint64_t multiTurn = 0;
    uint64_t singleTurn = 0;
    uint64_t alignment = 0;  // value of the alignment bits
    uint8_t err = 1;         // nErr as on the line (1 = no error)
    uint8_t warn = 1;        // nWarn as on the line (1 = no warning)
    uint32_t crcXor = 0;     // XORed into the correct CRC: non-zero sends a wrong CRC
};

struct Frame {
    std::vector<SlaveWord> slaves = std::vector<SlaveWord>(1);  // 1..8, in the order they reach SLO
    int ackClocks = 1;    // clocks of acknowledge (SLO low) before the start bit; more = busy slave
    int cutAfter = -1;    // the master stops clocking after this many rising edges (-1 = whole frame)
    int cdm = -1;         // master's CDM in the pause after the frame; -1: from the control queue
    int cds = -1;         // the slave's CDS bit (BiSS-C); -1: its answer from the control queue
    double pauseNs = -1;  // -1: Timing::pauseNs
};

struct SlaveTruth {
    SlaveWord word;           // as sent, values cut to their field widths
    uint64_t data = 0;        // the whole data field: multi-turn, single-turn, alignment bits
    uint32_t crc = 0;         // CRC as sent
    uint32_t crcCorrect = 0;  // the correct CRC
    int dataEdge = 0, errEdge = 0, warnEdge = 0, crcEdge = 0;  // indexes into FrameTruth::rises
};

struct FrameTruth {
    int index = 0;
    int64_t firstFall = 0;       // the master's first falling edge of MA
    std::vector<int64_t> rises;  // the MA rising edges clocked (SLO sampled at rise + lineDelay)
    std::vector<uint8_t> bits;   // the SLO bit of every planned clock (more than rises when cut)
    int ackClocks = 0;
    int startEdge = 0;
    int cdsEdge = -1;  // -1 in BiSS-B
    uint8_t cds = 0;
    uint8_t cdm = 0;   // 1: MA held low in the pause
    bool cut = false;  // the master stopped before the last CRC bit
    std::vector<SlaveTruth> slaves;
    int64_t pauseLowStart = -1, pauseLowEnd = -1;  // MA low in the pause (CDM 1)
    int64_t timeoutStart = -1, timeoutEnd = -1;    // SLO held low by the slave after the frame
    int cdmAccess = -1;                            // register access whose bit the CDM carries, -1 none
    int cdsAccess = -1;                            // register access whose bit the CDS carries, -1 none
};

struct AccessTruth {
    int index = 0;
    RegisterAccess request;
    AccessPlan plan;
    int firstFrame = -1;  // the frame after which the master sent the start bit on CDM
    int lastFrame = -1;   // the frame that carried the last CDS bit of the access
};

class Generator {
  public:
    Generator(const Timing& timing, const Layout& layout, uint64_t seed = 1);

    // Appends one frame and the pause after it; returns its index.
    int AddFrame(const Frame& frame);
    // Queues a register access or command; its bits ride on the CDM and CDS of the frames that
    // follow, then `idleSteps` frames with CDM 0. Returns its index.
    int QueueAccess(const RegisterAccess& access, int idleSteps = 1);
    // Adds copies of `filler` until every queued bit, CDS answers included, is on the wire.
    void FlushControl(const Frame& filler = Frame{});
    size_t PendingSteps() const { return queue_.size(); }
    void AddIdleNs(double ns);

    // The capture so far, closed with the lead-out idle time.
    Capture Finish() const;
    // The last sample position Finish would give.
    int64_t LastSample() const;
    const std::vector<FrameTruth>& Frames() const { return frames_; }
    const std::vector<AccessTruth>& Accesses() const { return accesses_; }
    const Timing& GetTiming() const { return timing_; }
    const Layout& GetLayout() const { return layout_; }
    double PeriodSamples() const { return period_; }

  private:
    struct Event {
        int64_t position;
        uint8_t level;
    };
    struct QueuedStep {
        ControlStep step;
        int access;
        bool first;
        bool last;
    };
    int64_t EdgeAt(double t);
    void Ma(int64_t position, uint8_t level) { ma_.push_back(Event{position, level}); }
    void Slo(int64_t position, uint8_t level) { slo_.push_back(Event{position, level}); }

    Timing timing_;
    Layout layout_;
    SplitMix64 random_;
    double period_ = 0;    // samples per clock
    double jitter_ = 0;    // samples
    double next_ = 0;      // where the next frame may begin (samples)
    int64_t lastMa_ = -1;  // last MA edge position, to keep edges strictly increasing
    std::vector<Event> ma_, slo_;
    std::vector<FrameTruth> frames_;
    std::vector<AccessTruth> accesses_;
    std::deque<QueuedStep> queue_;
    bool answerPending_ = false;  // the slave owes a CDS answer to the last measured CDM
    QueuedStep answer_{};
};

// Convenience: the capture of a list of frames with default pauses.
Capture MakeCapture(const Timing& timing, const Layout& layout, const std::vector<Frame>& frames,
                    uint64_t seed = 1);

}  // namespace bissgen
