// What the capture readers hand to the sample source: runs of changes of MA and SLO (a position and
// the two levels from there on), and the checkpoints from which a reader can read again, so that a
// query that goes back re-reads from the nearest one instead of keeping the whole capture.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace zbhost {

// Every reader failure: a message for the user, never a crash.
class CaptureError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The two levels packed as the host's state byte 0 holds them: MA on channel 0, SLO on channel 1.
constexpr uint8_t kMaLevel = 1;
constexpr uint8_t kSloLevel = 2;
inline uint8_t PackLevels(uint8_t ma, uint8_t slo) {
    return static_cast<uint8_t>((ma & 1) | ((slo & 1) << 1));
}

// A place a reader can go back to. `where` is the reader's own: a member number of a session
// file, or the byte offset of a line or token of a text or raw file. The change in force just
// before that place is kept with it (the reader yields only the changes after it), together with
// the little parser state a text reader needs to go on from there.
struct Checkpoint {
    bool valid = false;
    uint64_t where = 0;
    int64_t inForcePosition = -1;  // -1: no change before `where` (the start of the capture)
    uint8_t inForceLevels = 0;
    int64_t position = 0;  // the reader's current sample position at `where`
    uint64_t time = 0;     // VCD: the last time value read; CSV: the number of rows read
    uint64_t line = 0;     // CSV: the line number, for messages
};

// Changes in order of strictly increasing position; `start` is valid when the block begins at a
// checkpoint.
struct ChangeBlock {
    std::vector<int64_t> positions;
    std::vector<uint8_t> levels;
    Checkpoint start;

    size_t Size() const { return positions.size(); }
    bool Empty() const { return positions.empty(); }
    void Push(int64_t position, uint8_t level) {
        positions.push_back(position);
        levels.push_back(level);
    }
    void Clear() {
        positions.clear();
        levels.clear();
        start = Checkpoint{};
    }
    // Memory held, for the source's budget.
    uint64_t Bytes() const { return positions.capacity() * sizeof(int64_t) + levels.capacity(); }
};

// The number of changes a reader puts into one block before it starts the next.
constexpr size_t kBlockChanges = size_t{1} << 16;

}  // namespace zbhost
