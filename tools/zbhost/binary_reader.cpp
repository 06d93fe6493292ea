// Reads raw logic samples as `sigrok-cli -O binary` writes them: no header, `unitSize` bytes per
// sample, little-endian, channel c in bit c. The sample rate and the sample size come from the
// command line; channels are named by number (or D0, D1, ... as sigrok names them). The samples
// are read in pieces and scanned for changes; a block starts at a sample whose byte offset and
// levels make a checkpoint (for files; a pipe is read once).
#include <vector>

#include "capture_readers.h"
#include "sample_scan.h"

namespace zbhost {

namespace {

constexpr size_t kPieceBytes = size_t{1} << 16;  // at most this many changes past a full block

class BinaryStream : public InputChangeStream {
  public:
    BinaryStream(ByteInput input, const ReadOptions& options, unsigned maBit, unsigned sloBit)
        : InputChangeStream(std::move(input), options.sampleRate),
          scanner_(options.unitSize, maBit, sloBit),
          piece_(kPieceBytes / options.unitSize * options.unitSize) {
        next_.valid = true;
    }
    bool Next(ChangeBlock& out) override;
    void Restart(const Checkpoint& from) override;

  private:
    SampleScanner scanner_;
    std::vector<uint8_t> piece_;
    Checkpoint next_;
    bool ended_ = false;
};

bool BinaryStream::Next(ChangeBlock& out) {
    out.Clear();
    if (ended_) return false;
    out.start = next_;
    while (out.Size() < kBlockChanges) {
        const size_t got = in_.Read(piece_.data(), piece_.size());
        if (got == 0) {
            ended_ = true;
            if (scanner_.PendingBytes() != 0) throw CaptureError("the samples end inside a sample");
            if (scanner_.SampleCount() == 0) throw CaptureError("the input holds no samples");
            lastSample_ = scanner_.SampleCount() - 1;
            return !out.Empty();
        }
        scanner_.Feed(piece_.data(), got, out);
    }
    // The next block starts after the samples read so far (the pieces hold whole samples).
    next_ = Checkpoint{};
    next_.valid = true;
    next_.where = static_cast<uint64_t>(scanner_.SampleCount()) * scanner_.UnitSize();
    next_.position = scanner_.SampleCount();
    next_.inForcePosition = out.positions.back();
    next_.inForceLevels = out.levels.back();
    return true;
}

void BinaryStream::Restart(const Checkpoint& from) {
    in_.Seek(from.where);
    next_ = from;
    ended_ = false;
    if (from.inForcePosition < 0)
        scanner_.Start(0);
    else
        scanner_.Resume(from.position, from.inForceLevels);
}

}  // namespace

std::unique_ptr<ChangeStream> OpenBinary(ByteInput input, const ReadOptions& options) {
    if (options.unitSize < 1 || options.unitSize > 8) throw CaptureError("--unitsize must be 1..8 bytes");
    std::vector<std::string> names;
    for (unsigned i = 0; i < options.unitSize * 8; ++i) names.push_back("D" + std::to_string(i));
    const auto ma = static_cast<unsigned>(ResolveChannel(options.ma, names, "MA"));
    const auto slo = static_cast<unsigned>(ResolveChannel(options.slo, names, "SLO"));
    return std::make_unique<BinaryStream>(std::move(input), options, ma, slo);
}

}  // namespace zbhost
