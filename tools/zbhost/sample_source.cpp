// The sample source's window: finding a position among the blocks held, reading on, going back to
// a checkpoint, what is kept and dropped, the end of a capture of unknown length, and the changes
// kept for a picture.
#include "sample_source.h"

#include <algorithm>
#include <chrono>

namespace zbhost {

namespace {
constexpr size_t kSpareBlocks = 4;
constexpr size_t kTrailingBlocks = 3;  // after the first query that goes back: in use, before, newest

double SecondsSince(std::chrono::steady_clock::time_point begin) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}
}  // namespace

SampleSource::SampleSource(std::unique_ptr<ChangeStream> stream, uint64_t memoryLimit)
    : stream_(std::move(stream)), memoryLimit_(memoryLimit), lengthKnown_(stream_->LengthKnown()) {}

SampleSource::SampleSource(const bissgen::Capture& capture)
    : SampleSource(std::make_unique<CaptureStream>(capture)) {}

int64_t SampleSource::LastSample() const {
    return lengthKnown_ ? stream_->LastSample() : lastSample_;
}

ReadStats SampleSource::Stats() const {
    ReadStats s = stats_;
    s.workSeconds = stream_->WorkSeconds();
    const int64_t last = LastSample();
    s.samples = last >= 0 ? last + 1 : 0;
    return s;
}

void SampleSource::Fail(const std::string& message) {
    if (failure_.empty()) failure_ = message;
    Invalidate();
}

void SampleSource::Invalidate() {
    // No entry is in use: every query goes to Locate.
    next_ = INT64_MIN;
    count_ = 0;
    index_ = 0;
}

void SampleSource::Drop(size_t blocks) {
    for (size_t k = 0; k < blocks && !blocks_.empty(); ++k) {
        std::unique_ptr<ChangeBlock> b = std::move(blocks_.front());
        blocks_.pop_front();
        heldBytes_ -= b->Bytes();
        if (spare_.size() < kSpareBlocks) spare_.push_back(std::move(b));
        windowAtStart_ = false;
        if (block_ == 0)
            Invalidate();
        else
            --block_;
    }
}

bool SampleSource::Pull() {
    std::unique_ptr<ChangeBlock> block;
    if (!spare_.empty()) {
        block = std::move(spare_.back());
        spare_.pop_back();
    } else {
        block = std::make_unique<ChangeBlock>();
    }
    const auto begin = std::chrono::steady_clock::now();
    const bool more = stream_->Next(*block);
    stats_.waitSeconds += SecondsSince(begin);
    if (!more) {
        spare_.push_back(std::move(block));
        ended_ = true;
        lastSample_ = stream_->LastSample();
        MarkEnd();
        return false;
    }
    const Checkpoint& c = block->start;
    if (c.valid && (checkpoints_.empty() || c.where > checkpoints_.back().where)) checkpoints_.push_back(c);
    Offer(*block);
    heldBytes_ += block->Bytes();
    blocks_.push_back(std::move(block));
    if (keepAll_) {
        // Everything read is kept for the walk that comes back, within the limit; a reader that
        // can read again needs to keep little.
        const uint64_t limit =
            stream_->CanRestart() ? std::min(memoryLimit_, kSeekableHeadLimit) : memoryLimit_;
        while (heldBytes_ > limit && blocks_.size() > 2) Drop(1);
    } else if (blocks_.size() > kTrailingBlocks) {
        Drop(blocks_.size() - kTrailingBlocks);
    }
    return true;
}

void SampleSource::MarkEnd() {
    if (lengthKnown_ || endMarked_ || blocks_.empty()) return;
    endMarked_ = true;
    // A walk that ends at a cursor no later than the last sample ends there by itself: the plug-in
    // clamps its range to lastSample only, so there the answer stays "no further change".
    const int64_t last = lastSample_;
    if (walkEnd_ <= last) return;
    // The last block may grow here: the callers (Locate, Picture) find the entry in use afterwards.
    ChangeBlock& b = *blocks_.back();
    if (last == b.positions.back()) {
        b.levels.back() |= kEndMark;
    } else if (last > b.positions.back()) {
        b.Push(last, static_cast<uint8_t>(b.levels.back() | kEndMark));
    }
}

void SampleSource::Restart(int64_t position) {
    if (!stream_->CanRestart()) {
        throw CaptureError("the decode went back to sample " + std::to_string(position) +
                           ", which is no longer held, and standard input cannot be read again; raise "
                           "--memory-limit (now " +
                           std::to_string(memoryLimit_ >> 20) + " MiB) or save the capture to a file first");
    }
    // The latest checkpoint whose change in force lies at or before the position (the start of
    // the capture has none and goes before everything).
    auto after = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), position,
                                  [](int64_t p, const Checkpoint& c) { return p < c.inForcePosition; });
    if (after == checkpoints_.begin() && !checkpoints_.empty() && checkpoints_.front().inForcePosition < 0)
        ++after;
    if (after == checkpoints_.begin()) throw CaptureError("no place to read the capture again from");
    const Checkpoint& from = *(after - 1);
    Drop(blocks_.size());
    Invalidate();
    ended_ = false;
    endMarked_ = false;
    const auto begin = std::chrono::steady_clock::now();
    stream_->Restart(from);
    stats_.waitSeconds += SecondsSince(begin);
    ++stats_.restarts;
    windowAtStart_ = from.inForcePosition < 0;
    if (!windowAtStart_) {
        // The window starts with the change in force at the checkpoint.
        auto seed = std::make_unique<ChangeBlock>();
        seed->Push(from.inForcePosition, from.inForceLevels);
        heldBytes_ += seed->Bytes();
        blocks_.push_back(std::move(seed));
    }
}

uint64_t SampleSource::Locate(int64_t position, uint8_t& levels) {
    levels = 0;
    if (!failure_.empty()) {
        levels = kFailMark;
        return kNoFurtherChange;
    }
    try {
        // A query before the entry in use: a second walk (or a cursor) starts. From now on only
        // the blocks in use are kept.
        if (count_ > 0 && position < positionArray_[index_]) keepAll_ = false;
        // Before the window: read again from a checkpoint.
        if (!windowAtStart_ && (blocks_.empty() || position < blocks_.front()->positions.front())) {
            Restart(position);
        }
        // Read on until a change after the position is held (or the capture ends).
        while (!ended_ && (blocks_.empty() || position >= blocks_.back()->positions.back())) {
            if (!Pull()) break;
        }
        if (blocks_.empty()) return kNoFurtherChange;  // a capture without any change
        // The last block that starts at or before the position, and the entry in force there (a
        // position before the capture's first change reads as that change).
        auto b = std::upper_bound(
            blocks_.begin(), blocks_.end(), position,
            [](int64_t p, const std::unique_ptr<ChangeBlock>& x) { return p < x->positions.front(); });
        size_t k = b == blocks_.begin() ? 0 : static_cast<size_t>(b - blocks_.begin()) - 1;
        if (!keepAll_ && k > 1) {
            Drop(k - 1);
            k = 1;
        }
        const ChangeBlock& block = *blocks_[k];
        const auto& p = block.positions;
        const auto after = std::upper_bound(p.begin(), p.end(), position);
        const size_t i = after == p.begin() ? 0 : static_cast<size_t>(after - p.begin()) - 1;
        block_ = k;
        positionArray_ = p.data();
        levelArray_ = block.levels.data();
        count_ = block.Size();
        index_ = i;
        if (i + 1 < count_) {
            next_ = p[i + 1];
        } else if (k + 1 < blocks_.size()) {
            next_ = blocks_[k + 1]->positions.front();
        } else {
            next_ = INT64_MAX;  // the last change: the loop above read to the end
        }
        levels = block.levels[i];
        return next_ == INT64_MAX ? kNoFurtherChange : static_cast<uint64_t>(next_);
    } catch (const std::exception& e) {
        // Nothing may escape into the plug-in, which called the host: a failure to report.
        Fail(e.what());
        levels = kFailMark;
        return kNoFurtherChange;
    }
}

void SampleSource::Offer(const ChangeBlock& block) {
    const auto& p = block.positions;
    // Only what was not read before counts (a part read again after going back does not).
    const size_t fresh = static_cast<size_t>(std::upper_bound(p.begin(), p.end(), newestRead_) - p.begin());
    if (fresh == p.size()) return;
    stats_.changes += p.size() - fresh;
    newestRead_ = p.back();
    PictureKeep& k = picture_;
    if (!k.on) return;
    for (size_t i = fresh; i < p.size(); ++i) {
        const bissgen::Change c{p[i], static_cast<uint8_t>(block.levels[i] & kMaLevel),
                                static_cast<uint8_t>((block.levels[i] & kSloLevel) >> 1)};
        if (k.kept.size() < k.first) {
            k.kept.push_back(c);
            continue;
        }
        if (k.from < 0) break;  // a range chosen from the start needs only the first changes
        if (c.position <= k.from) {
            k.inForce = c;
            k.haveInForce = true;
            continue;
        }
        if (k.haveInForce) k.kept.push_back(k.inForce), k.haveInForce = false;
        if (c.position >= k.to) break;
        k.kept.push_back(c);
    }
}

void SampleSource::KeepForPicture(int64_t from, int64_t to, size_t firstChanges) {
    picture_ = PictureKeep{};
    picture_.on = true;
    picture_.from = from;
    picture_.to = to;
    picture_.first = firstChanges;
}

bissgen::Capture SampleSource::Picture() {
    PictureKeep& k = picture_;
    // The decode may have stopped before the picture's range (a cursor); a capture whose length
    // was not known is read to its end, so that the picture knows it.
    keepAll_ = false;
    Invalidate();
    try {
        while (failure_.empty() && !ended_) {
            const bool haveRange = k.from < 0 ? k.kept.size() >= k.first : newestRead_ >= k.to;
            if (haveRange && LastSample() >= 0) break;
            if (!Pull()) break;
            Drop(blocks_.size() > 1 ? blocks_.size() - 1 : 0);
        }
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    if (k.haveInForce) k.kept.push_back(k.inForce), k.haveInForce = false;
    bissgen::Capture c;
    c.sampleRate = SampleRate();
    c.lastSample = LastSample();
    c.changes = k.kept;
    return c;
}

}  // namespace zbhost
