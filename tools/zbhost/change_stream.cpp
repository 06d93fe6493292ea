// The stream over a change list in memory, the reader thread, and the read into one list.
#include "change_stream.h"

#include <chrono>

namespace zbhost {

CaptureStream::CaptureStream(bissgen::Capture capture, size_t blockChanges)
    : capture_(std::move(capture)), blockChanges_(blockChanges < 1 ? 1 : blockChanges) {}

bool CaptureStream::Next(ChangeBlock& out) {
    out.Clear();
    const auto& c = capture_.changes;
    if (next_ >= c.size()) return false;
    out.start.valid = true;
    out.start.where = next_;
    if (next_ > 0) {
        out.start.inForcePosition = c[next_ - 1].position;
        out.start.inForceLevels = PackLevels(c[next_ - 1].ma, c[next_ - 1].slo);
    }
    const size_t end = next_ + blockChanges_ < c.size() ? next_ + blockChanges_ : c.size();
    for (; next_ < end; ++next_) out.Push(c[next_].position, PackLevels(c[next_].ma, c[next_].slo));
    return true;
}

void CaptureStream::Restart(const Checkpoint& from) {
    next_ = static_cast<size_t>(from.where);
}

ThreadedStream::ThreadedStream(std::unique_ptr<ChangeStream> inner, size_t depth)
    : inner_(std::move(inner)), depth_(depth < 1 ? 1 : depth) {
    Start();
}

ThreadedStream::~ThreadedStream() {
    Stop();
}

void ThreadedStream::Start() {
    ended_ = false;
    stopping_ = false;
    error_ = nullptr;
    thread_ = std::thread([this] { Run(); });
}

void ThreadedStream::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    for (auto& b : ready_) spare_.push_back(std::move(b));
    ready_.clear();
}

void ThreadedStream::Run() {
    for (;;) {
        ChangeBlock block;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || ready_.size() < depth_; });
            if (stopping_) return;
            if (!spare_.empty()) {
                block = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        const auto begin = std::chrono::steady_clock::now();
        bool more = false;
        std::exception_ptr error;
        try {
            more = inner_->Next(block);
        } catch (...) {
            error = std::current_exception();
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            workSeconds_ += seconds;
            permille_ = inner_->ReadPermille();
            if (error) {
                error_ = error;
            } else if (more) {
                ready_.push_back(std::move(block));
            } else {
                ended_ = true;
            }
        }
        changed_.notify_all();
        if (error || !more) return;
    }
}

bool ThreadedStream::Next(ChangeBlock& out) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !ready_.empty() || ended_ || error_; });
    if (ready_.empty()) {
        out.Clear();
        if (error_) std::rethrow_exception(error_);
        return false;
    }
    // The consumer's old block goes back to the thread for reuse.
    std::swap(out, ready_.front());
    spare_.push_back(std::move(ready_.front()));
    ready_.pop_front();
    lock.unlock();
    changed_.notify_all();
    return true;
}

void ThreadedStream::Restart(const Checkpoint& from) {
    Stop();
    inner_->Restart(from);
    Start();
}

int64_t ThreadedStream::LastSample() const {
    std::lock_guard<std::mutex> lock(mutex_);
    // Set by the inner stream on its thread; read once that thread has said it ended.
    return inner_->LengthKnown() || ended_ ? inner_->LastSample() : -1;
}

double ThreadedStream::WorkSeconds() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return workSeconds_;
}

uint32_t ThreadedStream::ReadPermille() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return permille_;
}

bissgen::Capture ReadAll(ChangeStream& stream) {
    bissgen::Capture capture;
    ChangeBlock block;
    while (stream.Next(block)) {
        for (size_t i = 0; i < block.Size(); ++i) {
            const uint8_t l = block.levels[i];
            capture.changes.push_back(bissgen::Change{block.positions[i], static_cast<uint8_t>(l & kMaLevel),
                                                      static_cast<uint8_t>((l & kSloLevel) >> 1)});
        }
    }
    capture.sampleRate = stream.SampleRate();
    capture.lastSample = stream.LastSample();
    return capture;
}

}  // namespace zbhost
