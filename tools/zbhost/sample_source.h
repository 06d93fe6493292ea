// The capture as zbhost serves it to the plug-in: the answer to sampleQuery (the levels in force at a
// position and the position of the next change) from a window of change blocks over a reader's
// stream, so that memory stays bounded whatever the capture's length.
//
// The plug-in walks forward change by change, but walks twice: the length detection walks first
// (and stops after 24 frames), then the decode walk starts again at the range's start; cursors may
// start a walk anywhere. So the window keeps every block it has read until the first query that
// goes back (within a memory limit), and afterwards only the block in use and the one before it.
// A query before the window goes back to the nearest checkpoint and reads again from there; a
// reader that cannot go back (standard input) makes that a clear failure instead.
//
// When the capture's length is not known before the end has been read (VCD, CSV, raw samples),
// the host cannot give the plug-in its last sample up front. The source then answers as if one
// more change came at the last sample, marked with kEndMark: the host raises its stop word there,
// so that both walks end exactly at the last sample, as they would with the length known. When the
// decode range ends at a cursor no later than the last sample, the walks end at the cursor, and
// there is no such change (see EndWalksAt).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "bissgen/capture.h"
#include "change_stream.h"

namespace zbhost {

// What a decode's reading cost, for the summary of a decode.
struct ReadStats {
    double waitSeconds = 0;  // wall time the decode waited for the readers (inflating, scanning)
    double workSeconds = 0;  // time the readers' own threads worked, summed over the threads
    int64_t samples = 0;     // samples of the capture, once known
    uint64_t changes = 0;    // changes of MA and SLO read (a part read again counts once)
    uint32_t restarts = 0;   // times the source went back to a checkpoint
};

class SampleSource {
  public:
    // The levels' bit that marks the end of a capture whose length was not known (see above), and
    // the one that marks a failure (see Failure()).
    static constexpr uint8_t kEndMark = 0x80;
    static constexpr uint8_t kFailMark = 0x40;
    static constexpr uint64_t kNoFurtherChange = ~uint64_t{0};
    static constexpr uint64_t kDefaultMemoryLimit = uint64_t{128} << 20;

    // `memoryLimit` bounds the blocks kept for queries that go back (for a reader that can go back
    // itself, at most kSeekableHeadLimit of them are kept).
    explicit SampleSource(std::unique_ptr<ChangeStream> stream, uint64_t memoryLimit = kDefaultMemoryLimit);
    // A source over a change list in memory.
    explicit SampleSource(const bissgen::Capture& capture);
    SampleSource(const SampleSource&) = delete;
    SampleSource& operator=(const SampleSource&) = delete;

    // sampleQuery: the levels at `position` (bit 0 MA, bit 1 SLO, and the marks below) and the
    // position of the next change, or kNoFurtherChange. The walk's usual step (the position of the
    // next change, within the block in use) and a position within the entry in use are answered
    // here; anything else by Locate.
    uint64_t Query(int64_t position, uint8_t& levels) {
        if (position == next_ && index_ + 2 < count_) {
            ++index_;
            next_ = positionArray_[index_ + 1];
            levels = levelArray_[index_];
            return static_cast<uint64_t>(next_);
        }
        if (index_ < count_ && position >= positionArray_[index_] && position < next_) {
            levels = levelArray_[index_];
            return next_ == INT64_MAX ? kNoFurtherChange : static_cast<uint64_t>(next_);
        }
        return Locate(position, levels);
    }

    uint64_t SampleRate() const { return stream_->SampleRate(); }
    // Whether the last sample was known before reading (session files, change lists).
    bool LengthKnown() const { return lengthKnown_; }
    // The last sample's position: -1 while not known.
    int64_t LastSample() const;
    // A read failure (a broken file, or a query that went back too far): the message; empty if none.
    const std::string& Failure() const { return failure_; }
    ReadStats Stats() const;
    // The share of the input read so far, per mille (0 when unknown).
    uint32_t ReadPermille() const { return stream_->ReadPermille(); }

    // Where the plug-in's walks end when they do not reach the end of the capture: the decode
    // range's end (a cursor); INT64_MAX (the default) for a range up to the buffer tail. Set before
    // the decode.
    void EndWalksAt(int64_t position) { walkEnd_ = position; }

    // Keeps, from here on, what a picture of [from, to) needs as the changes pass: the change in
    // force at `from` and those up to `to`, and the first `firstChanges` of the capture (for a
    // range chosen from the capture's start; from and to are then -1).
    void KeepForPicture(int64_t from, int64_t to, size_t firstChanges);
    // Those changes as a capture, after the decode; reads on as far as the picture needs.
    bissgen::Capture Picture();

    static constexpr uint64_t kSeekableHeadLimit = uint64_t{16} << 20;

  private:
    uint64_t Locate(int64_t position, uint8_t& levels);
    // Appends the next block of the stream; false at its end.
    bool Pull();
    void Restart(int64_t position);
    void Drop(size_t blocks);
    void Invalidate();
    void Offer(const ChangeBlock& block);
    void MarkEnd();
    void Fail(const std::string& message);

    std::unique_ptr<ChangeStream> stream_;
    uint64_t memoryLimit_;
    bool lengthKnown_;

    // The window: blocks in change order. windowAtStart_ says that nothing of the capture lies
    // before the first block.
    std::deque<std::unique_ptr<ChangeBlock>> blocks_;
    std::vector<std::unique_ptr<ChangeBlock>> spare_;
    uint64_t heldBytes_ = 0;
    bool windowAtStart_ = true;
    bool keepAll_ = true;  // until the first query that goes back
    bool ended_ = false;
    std::vector<Checkpoint> checkpoints_;

    // The entry in use: its block (index in blocks_), the block's arrays and size, the entry's
    // index, and the next change's position (INT64_MAX after the last change).
    size_t block_ = 0;
    const int64_t* positionArray_ = nullptr;
    const uint8_t* levelArray_ = nullptr;
    size_t count_ = 0;
    size_t index_ = 0;
    int64_t next_ = INT64_MIN;

    std::string failure_;
    ReadStats stats_;
    int64_t newestRead_ = -1;  // the latest position read so far (re-reads stay below it)
    int64_t lastSample_ = -1;  // once the end has been read
    bool endMarked_ = false;
    int64_t walkEnd_ = INT64_MAX;

    struct PictureKeep {
        bool on = false;
        int64_t from = -1;
        int64_t to = -1;
        size_t first = 0;
        bool haveInForce = false;
        bissgen::Change inForce{};
        std::vector<bissgen::Change> kept;
    } picture_;
};

}  // namespace zbhost
