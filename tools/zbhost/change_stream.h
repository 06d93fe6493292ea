// A capture as a stream of change blocks: what every reader offers the sample source. A stream
// yields its changes in order, block by block, and (when its input can be read again) goes back to a
// checkpoint that an earlier block carried. Also here: a stream over a change list held in memory,
// and a wrapper that runs a reader in a thread of its own, a few blocks ahead of the decode.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bissgen/capture.h"
#include "change_block.h"

namespace zbhost {

class ChangeStream {
  public:
    virtual ~ChangeStream() = default;
    // The next changes into `out` (cleared first); false, with `out` empty, at the end of the
    // capture. Throws CaptureError when the input turns out to be broken.
    virtual bool Next(ChangeBlock& out) = 0;
    // Whether Restart works: files can be read again, standard input cannot.
    virtual bool CanRestart() const = 0;
    // Reads again from a checkpoint an earlier block carried: the next block holds the changes
    // after the checkpoint's change in force.
    virtual void Restart(const Checkpoint& from) = 0;
    // Samples per second, 0 when the capture does not say.
    virtual uint64_t SampleRate() const = 0;
    // The position of the last sample: known from the start when LengthKnown() says so (session
    // files), otherwise once Next has returned false; -1 before.
    virtual int64_t LastSample() const = 0;
    virtual bool LengthKnown() const = 0;
    // Seconds the stream's own threads have worked (inflating, scanning, parsing).
    virtual double WorkSeconds() const { return 0; }
    // The share of the input read so far in per mille; 0 when its size is unknown.
    virtual uint32_t ReadPermille() const { return 0; }
};

// The changes of a capture held in memory, in blocks of `blockChanges`.
class CaptureStream : public ChangeStream {
  public:
    explicit CaptureStream(bissgen::Capture capture, size_t blockChanges = kBlockChanges);
    bool Next(ChangeBlock& out) override;
    bool CanRestart() const override { return true; }
    void Restart(const Checkpoint& from) override;
    uint64_t SampleRate() const override { return capture_.sampleRate; }
    int64_t LastSample() const override { return capture_.lastSample; }
    bool LengthKnown() const override { return true; }

  private:
    bissgen::Capture capture_;
    size_t blockChanges_;
    size_t next_ = 0;
};

// Runs `inner` in a thread that keeps up to `depth` blocks ready.
class ThreadedStream : public ChangeStream {
  public:
    explicit ThreadedStream(std::unique_ptr<ChangeStream> inner, size_t depth = 4);
    ~ThreadedStream() override;
    bool Next(ChangeBlock& out) override;
    bool CanRestart() const override { return inner_->CanRestart(); }
    void Restart(const Checkpoint& from) override;
    uint64_t SampleRate() const override { return inner_->SampleRate(); }
    int64_t LastSample() const override;
    bool LengthKnown() const override { return inner_->LengthKnown(); }
    double WorkSeconds() const override;
    uint32_t ReadPermille() const override;

  private:
    void Start();
    void Stop();
    void Run();

    std::unique_ptr<ChangeStream> inner_;
    size_t depth_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<ChangeBlock> ready_;
    std::vector<ChangeBlock> spare_;
    bool ended_ = false;
    bool stopping_ = false;
    std::exception_ptr error_;
    double workSeconds_ = 0;
    uint32_t permille_ = 0;
    std::thread thread_;
};

// All changes of a stream as one list (tests, `zbhost read`): the whole capture in memory.
bissgen::Capture ReadAll(ChangeStream& stream);

}  // namespace zbhost
