// Parallel inflating and scanning of a session file's sample members. Worker w takes the members
// m with m mod workers == w, in order, and hands each member's changes to its own short queue in
// pieces of about kBlockChanges; so the queues stay in member order, and a worker waits while its
// queue is full, which bounds the memory to a few pieces per worker. Inflating uses ISA-L's igzip
// (fast on the long runs that logic captures compress into), with the CRC-32 of every member
// checked against the archive's directory.
#include "session_stream.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "sample_scan.h"

namespace zbhost {

namespace {

constexpr size_t kInputBytes = size_t{1} << 16;
constexpr size_t kOutputBytes = size_t{1} << 18;
constexpr size_t kScanSlice = size_t{1} << 16;  // a block grows by at most this many changes past full
// Pieces a worker may have queued: a dense member (a change every few samples) fills about a dozen,
// and a worker must be able to finish most of one while the consumer still takes the one before.
constexpr size_t kQueuePieces = 12;
constexpr size_t kSparePieces = 4;  // per worker
constexpr unsigned kMaxWorkers = 16;

// A piece of one member's changes, as a worker hands it over.
struct Piece {
    uint64_t generation = 0;
    size_t member = 0;
    bool hasFirst = false;  // the member's first piece, when the member has samples: firstLevels is valid
    uint8_t firstLevels = 0;
    bool last = false;
    std::string error;
    ChangeBlock block;
};

class SessionStream : public ChangeStream {
  public:
    SessionStream(SessionLayout layout, unsigned workers);
    ~SessionStream() override;
    bool Next(ChangeBlock& out) override;
    bool CanRestart() const override { return true; }
    void Restart(const Checkpoint& from) override;
    uint64_t SampleRate() const override { return layout_.sampleRate; }
    int64_t LastSample() const override { return layout_.samples - 1; }
    bool LengthKnown() const override { return true; }
    double WorkSeconds() const override { return static_cast<double>(workNanos_.load()) * 1e-9; }
    uint32_t ReadPermille() const override {
        return static_cast<uint32_t>(member_ * 1000 / std::max<size_t>(1, layout_.members.size()));
    }

  private:
    struct Queue {
        std::deque<Piece> pieces;
        size_t nextMember = 0;   // the worker's next member
        uint64_t waitNanos = 0;  // time the worker waited for room in its queue
    };

    void Work(size_t w);
    // Inflates and scans member m; false when the stream was restarted or stopped meanwhile.
    bool Produce(size_t w, size_t m, uint64_t generation, zip_t* archive, std::vector<uint8_t>& input,
                 std::vector<uint8_t>& output);
    bool Hand(size_t w, Piece&& piece);
    void Assign(size_t fromMember);
    // A block for a new piece, from the ones the consumer gave back when there are any.
    ChangeBlock SpareBlock();
    void GiveBack(ChangeBlock&& block);

    SessionLayout layout_;
    size_t workers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Queue> queues_;
    std::vector<ChangeBlock> spare_;
    uint64_t generation_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
    std::atomic<uint64_t> workNanos_{0};

    // The consumer's side: the member being joined and the last change handed out.
    size_t member_ = 0;
    bool inMember_ = false;
    bool hasLast_ = false;
    int64_t lastPosition_ = -1;
    uint8_t lastLevels_ = 0;
    Checkpoint pending_;  // the checkpoint the next block handed out starts at
};

SessionStream::SessionStream(SessionLayout layout, unsigned workers)
    : layout_(std::move(layout)), workers_(workers), queues_(workers) {
    Assign(0);
    pending_.valid = true;
    for (size_t w = 0; w < workers_; ++w) threads_.emplace_back([this, w] { Work(w); });
}

SessionStream::~SessionStream() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& t : threads_) t.join();
}

void SessionStream::Assign(size_t fromMember) {
    for (size_t w = 0; w < workers_; ++w) {
        // The first member at or after fromMember that is worker w's.
        const size_t base = fromMember - fromMember % workers_;
        queues_[w].nextMember = base + w >= fromMember ? base + w : base + w + workers_;
        queues_[w].pieces.clear();
    }
}

void SessionStream::Work(size_t w) {
    int error = 0;
    zip_t* archive = OpenArchive(layout_.path, ZIP_RDONLY, &error);
    std::vector<uint8_t> input(kInputBytes), output(kOutputBytes);
    for (;;) {
        size_t m = 0;
        uint64_t generation = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || queues_[w].nextMember < layout_.members.size(); });
            if (stopping_) break;
            m = queues_[w].nextMember;
            queues_[w].nextMember += workers_;
            generation = generation_;
        }
        if (archive == nullptr) {
            Piece failed;
            failed.generation = generation;
            failed.member = m;
            failed.last = true;
            failed.error = "cannot open '" + layout_.path + "' again to read its samples";
            Hand(w, std::move(failed));
            continue;
        }
        const auto begin = std::chrono::steady_clock::now();
        const uint64_t waitedBefore = queues_[w].waitNanos;  // written by this thread only
        try {
            Produce(w, m, generation, archive, input, output);
        } catch (const std::exception& e) {
            Piece failed;
            failed.generation = generation;
            failed.member = m;
            failed.last = true;
            failed.error = "reading member '" + layout_.members[m].name + "' failed: " + e.what();
            Hand(w, std::move(failed));
        }
        const auto elapsed = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - begin)
                .count());
        workNanos_ += elapsed - std::min(elapsed, queues_[w].waitNanos - waitedBefore);
    }
    if (archive != nullptr) zip_discard(archive);
}

// Queues a piece for the consumer, waiting while the worker's queue is full (the wait does not
// count as work).
bool SessionStream::Hand(size_t w, Piece&& piece) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto begin = std::chrono::steady_clock::now();
    changed_.wait(lock, [&] {
        return stopping_ || generation_ != piece.generation || queues_[w].pieces.size() < kQueuePieces;
    });
    queues_[w].waitNanos += static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - begin)
            .count());
    if (stopping_ || generation_ != piece.generation) return false;
    queues_[w].pieces.push_back(std::move(piece));
    lock.unlock();
    changed_.notify_all();
    return true;
}

bool SessionStream::Produce(size_t w, size_t m, uint64_t generation, zip_t* archive,
                            std::vector<uint8_t>& input, std::vector<uint8_t>& output) {
    const SampleMember& member = layout_.members[m];
    Piece piece;
    piece.generation = generation;
    piece.member = m;
    auto fail = [&](const std::string& why) {
        piece.error = "member '" + member.name + "' " + why;
        piece.last = true;
        Hand(w, std::move(piece));
        return false;
    };
    piece.block = SpareBlock();
    zip_file_t* file = zip_fopen_index(archive, member.index, ZIP_FL_COMPRESSED);
    if (file == nullptr)
        return fail("cannot be opened: " + std::string(zip_error_strerror(zip_get_error(archive))));
    struct Closer {
        zip_file_t* f;
        ~Closer() { zip_fclose(f); }
    } closer{file};

    SampleScanner scanner(layout_.unitSize, layout_.maBit, layout_.sloBit);
    scanner.Start(member.firstSample);
    uint64_t total = 0;
    uint32_t crc = 0;
    // Scans freshly inflated bytes; the member's first sample is taken out as its first levels.
    auto scan = [&](const uint8_t* data, size_t size) {
        total += size;
        if (total > member.size) return false;
        size_t at = 0;
        while (scanner.SampleCount() == member.firstSample && at < size) {
            scanner.Feed(data + at, 1, piece.block);
            ++at;
            if (!piece.block.Empty()) {
                piece.hasFirst = true;
                piece.firstLevels = piece.block.levels.back();
                piece.block.Clear();
            }
        }
        while (at < size) {
            const size_t n = std::min(kScanSlice, size - at);
            scanner.Feed(data + at, n, piece.block);
            at += n;
            if (piece.block.Size() >= kBlockChanges) {
                Piece next;
                next.generation = generation;
                next.member = m;
                next.block = SpareBlock();
                if (!Hand(w, std::move(piece))) return false;
                piece = std::move(next);
            }
        }
        return true;
    };

    if (member.method == ZIP_CM_STORE) {
        for (;;) {
            const zip_int64_t got = zip_fread(file, output.data(), output.size());
            if (got < 0)
                return fail("cannot be read: " + std::string(zip_error_strerror(zip_file_get_error(file))));
            if (got == 0) break;
            crc = crc32_gzip_refl(crc, output.data(), static_cast<uint64_t>(got));
            if (!scan(output.data(), static_cast<size_t>(got))) {
                return total > member.size ? fail("holds more bytes than the archive says") : false;
            }
        }
    } else {
        inflate_state state;
        isal_inflate_init(&state);
        state.crc_flag = ISAL_GZIP_NO_HDR;  // raw deflate; the CRC-32 of the output is kept
        bool inputDone = false;
        for (;;) {
            if (state.avail_in == 0 && !inputDone) {
                const zip_int64_t got = zip_fread(file, input.data(), input.size());
                if (got < 0)
                    return fail("cannot be read: " +
                                std::string(zip_error_strerror(zip_file_get_error(file))));
                inputDone = got == 0;
                state.next_in = input.data();
                state.avail_in = static_cast<uint32_t>(got);
            }
            const uint32_t inBefore = state.avail_in;
            state.next_out = output.data();
            state.avail_out = static_cast<uint32_t>(output.size());
            if (isal_inflate(&state) < 0) return fail("is damaged (bad compressed data)");
            const size_t produced = output.size() - state.avail_out;
            if (produced > 0 && !scan(output.data(), produced)) {
                return total > member.size ? fail("holds more bytes than the archive says") : false;
            }
            if (state.block_state == ISAL_BLOCK_FINISH) break;
            // Neither input taken nor output made: the compressed data ends before the member does.
            if (produced == 0 && state.avail_in == inBefore) return fail("is cut short");
        }
        crc = state.crc;
    }
    if (total != member.size) return fail("holds fewer bytes than the archive says");
    if (crc != member.crc) return fail("is damaged (CRC mismatch)");
    piece.last = true;
    return Hand(w, std::move(piece));
}

ChangeBlock SessionStream::SpareBlock() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.empty()) return ChangeBlock{};
    ChangeBlock b = std::move(spare_.back());
    spare_.pop_back();
    return b;
}

void SessionStream::GiveBack(ChangeBlock&& block) {
    block.Clear();
    std::lock_guard<std::mutex> lock(mutex_);
    // A few for reuse; the rest is freed.
    if (spare_.size() < workers_ * kSparePieces) spare_.push_back(std::move(block));
}

bool SessionStream::Next(ChangeBlock& out) {
    out.Clear();
    const size_t count = layout_.members.size();
    while (member_ < count) {
        Piece piece;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            auto& queue = queues_[member_ % workers_].pieces;
            changed_.wait(lock, [&] { return !queue.empty(); });
            piece = std::move(queue.front());
            queue.pop_front();
        }
        changed_.notify_all();
        if (!piece.error.empty()) throw CaptureError(piece.error);
        if (!inMember_) {
            // A member begins: a checkpoint, and a change at its first sample unless the levels
            // there are those of the last change.
            inMember_ = true;
            pending_ = Checkpoint{};
            pending_.valid = true;
            pending_.where = member_;
            pending_.inForcePosition = hasLast_ ? lastPosition_ : -1;
            pending_.inForceLevels = lastLevels_;
            pending_.position = layout_.members[member_].firstSample;
            if (piece.hasFirst && (!hasLast_ || piece.firstLevels != lastLevels_)) {
                out.Push(layout_.members[member_].firstSample, piece.firstLevels);
            }
        }
        // The piece's changes follow; its block goes back to the workers for reuse.
        if (out.Empty()) {
            std::swap(out.positions, piece.block.positions);
            std::swap(out.levels, piece.block.levels);
        } else {
            out.positions.insert(out.positions.end(), piece.block.positions.begin(),
                                 piece.block.positions.end());
            out.levels.insert(out.levels.end(), piece.block.levels.begin(), piece.block.levels.end());
        }
        GiveBack(std::move(piece.block));
        if (piece.last) {
            inMember_ = false;
            ++member_;
        }
        if (!out.Empty()) {
            out.start = pending_;
            pending_.valid = false;
            hasLast_ = true;
            lastPosition_ = out.positions.back();
            lastLevels_ = out.levels.back();
            return true;
        }
    }
    return false;
}

void SessionStream::Restart(const Checkpoint& from) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++generation_;
        Assign(static_cast<size_t>(from.where));
    }
    changed_.notify_all();
    member_ = static_cast<size_t>(from.where);
    inMember_ = false;
    hasLast_ = from.inForcePosition >= 0;
    lastPosition_ = from.inForcePosition;
    lastLevels_ = from.inForceLevels;
}

}  // namespace

zip_t* OpenArchive(const std::string& path, int flags, int* error) {
    static std::mutex opening;
    std::lock_guard<std::mutex> lock(opening);
    return zip_open(path.c_str(), flags, error);
}

std::unique_ptr<ChangeStream> OpenSessionStream(SessionLayout layout, unsigned threads) {
    unsigned workers = threads != 0 ? threads : std::thread::hardware_concurrency();
    workers = std::clamp<unsigned>(workers, 1, kMaxWorkers);
    workers = static_cast<unsigned>(std::min<size_t>(workers, std::max<size_t>(1, layout.members.size())));
    return std::make_unique<SessionStream>(std::move(layout), workers);
}

}  // namespace zbhost
