// The capture readers of zbhost: sigrok session files (srzip), VCD and CSV exports, and raw logic
// samples (sigrok-cli's binary output). Each opens its input, checks the header and the channels
// at once, and then yields the changes of the two chosen channels (MA and SLO) as a ChangeStream,
// piece by piece, so that memory does not grow with the capture. Broken input ends in a
// CaptureError whose message names the problem; it never crashes the reader.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bissgen/capture.h"
#include "byte_input.h"
#include "change_builder.h"
#include "change_stream.h"

namespace zbhost {

enum class CaptureFormat { Auto, Srzip, Vcd, Csv, Binary };

struct ReadOptions {
    // A probe name, or the channel's 0-based number in the file when no probe has that name.
    std::string ma = "0";
    std::string slo = "1";
    // Samples per second: turns VCD and CSV times into sample positions (0 = the file's own), and
    // gives raw samples their rate.
    uint64_t sampleRate = 0;
    // Bytes per sample of raw binary input (1..8).
    unsigned unitSize = 1;
    // Threads that inflate the members of a session file (0: one per processor).
    unsigned threads = 0;
};

// Picks the reader by the file name's extension (.sr, .vcd, .csv, .bin); throws for an unknown one.
CaptureFormat FormatFromPath(const std::string& path);
CaptureFormat ParseFormatName(const std::string& name);

// Opens the capture at `path`, "-" for standard input (which needs --format), with the chosen (or
// guessed) reader. The text and raw readers run in a thread of their own.
std::unique_ptr<ChangeStream> OpenCapture(const std::string& path, CaptureFormat format,
                                          const ReadOptions& options);
// The same for a VCD, CSV or raw capture held in memory (tests and fuzzing), read like a pipe
// unless `canSeek`.
std::unique_ptr<ChangeStream> OpenCaptureBytes(std::string bytes, CaptureFormat format,
                                               const ReadOptions& options, bool canSeek = true);
// Reads the whole capture at `path` into one change list.
bissgen::Capture ReadCapture(const std::string& path, CaptureFormat format, const ReadOptions& options);

// True when this build can read sigrok session files.
bool SrzipSupported();
std::unique_ptr<ChangeStream> OpenSrzip(const std::string& path, const ReadOptions& options);
// The part every reader of one byte input shares (VCD, CSV, raw samples): the capture's length is
// known only at its end, the stream can go back when the input can seek, and its progress is the
// share of the input's bytes read.
class InputChangeStream : public ChangeStream {
  public:
    bool CanRestart() const override { return in_.CanSeek(); }
    uint64_t SampleRate() const override { return sampleRate_; }
    int64_t LastSample() const override { return lastSample_; }
    bool LengthKnown() const override { return false; }
    uint32_t ReadPermille() const override {
        return in_.Size() ? static_cast<uint32_t>(in_.Offset() * 1000 / in_.Size()) : 0;
    }

  protected:
    InputChangeStream(ByteInput input, uint64_t sampleRate)
        : in_(std::move(input)), sampleRate_(sampleRate) {}
    ByteInput in_;
    uint64_t sampleRate_;
    int64_t lastSample_ = -1;  // once the end has been read
};

// The state the text readers (VCD, CSV) share: the block being built, the last position read,
// where the next block starts and whether its first token or line is already read, and the end.
class TextChangeStream : public InputChangeStream {
  protected:
    using InputChangeStream::InputChangeStream;
    // The end of the text: the open change goes into `out` and the capture's length is known.
    bool EndOfText(const ChangeBlock& out) {
        builder_.Commit();
        ended_ = true;
        lastSample_ = position_;
        return !out.Empty();
    }
    // Back to a checkpoint; the reader restores what else it keeps.
    void RestartText(const Checkpoint& from) {
        in_.Seek(from.where);
        next_ = from;
        holding_ = false;
        ended_ = false;
        position_ = from.position;
        builder_.Restore(from);
    }

    ChangeBuilder builder_;
    int64_t position_ = 0;
    bool ended_ = false;
    Checkpoint next_;       // where the next block starts
    bool holding_ = false;  // the token or line at next_ is already read: it opens the next block
};

std::unique_ptr<ChangeStream> OpenVcd(ByteInput input, const ReadOptions& options);
std::unique_ptr<ChangeStream> OpenCsv(ByteInput input, const ReadOptions& options);
std::unique_ptr<ChangeStream> OpenBinary(ByteInput input, const ReadOptions& options);

// Finds the channel for `spec` among `names` (by name first, then as a 0-based number); throws a
// CaptureError naming `role` and listing the channels when there is none.
size_t ResolveChannel(const std::string& spec, const std::vector<std::string>& names, const char* role);

// Parses a rate such as "200 MHz", "1.5MHz", "48000" or "1 GHz" into samples per second; 0 when the
// text is not a rate.
uint64_t ParseSampleRate(const std::string& text);

}  // namespace zbhost
