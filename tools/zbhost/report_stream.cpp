// The report's writer thread and the queue that feeds it. Chunks of 256 KiB keep the handing over
// rare and stay in the processor's cache between the two threads; at most eight wait in the
// queue, so a writer that falls behind holds the plug-in up rather than letting memory grow, and
// the written chunks' memory is used again.
#include "report_stream.h"

namespace zbhost {

namespace {
constexpr size_t kQueuedChunks = 8;
}  // namespace

ReportStream::ReportStream(std::ostream* wire, std::ostream* csv, bool withColours, size_t chunkBytes)
    : wire_(wire), chunkBytes_(chunkBytes) {
    if (csv != nullptr) csv_ = std::make_unique<ReportCsvWriter>(*csv, withColours);
    chunk_.reserve(chunkBytes_);
    writer_ = std::thread([this] { Run(); });
}

ReportStream::~ReportStream() {
    if (!finished_) Finish();
}

void ReportStream::Lines(std::string_view text) {
    chunk_.append(text);
    if (chunk_.size() >= chunkBytes_) Hand(std::move(chunk_));
}

// Queues the chunk and takes a written one's memory for the next, or fresh memory.
void ReportStream::Hand(std::string&& chunk) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kQueuedChunks; });
    queue_.push_back(std::move(chunk));
    changed_.notify_all();
    chunk_ = std::string();
    if (!spare_.empty()) {
        chunk_.swap(spare_.back());
        spare_.pop_back();
    }
    lock.unlock();
    chunk_.clear();
    chunk_.reserve(chunkBytes_);
}

void ReportStream::Run() {
    bool readable = true;
    std::string chunk;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty() || ended_; });
            if (queue_.empty()) break;
            chunk = std::move(queue_.front());
            queue_.pop_front();
            changed_.notify_all();
        }
        if (wire_ != nullptr) wire_->write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        // After a line that cannot be read the CSV takes nothing more; the wire text goes on.
        if (csv_ && readable) readable = csv_->Lines(chunk, error_);
        std::lock_guard<std::mutex> lock(mutex_);
        if (spare_.size() < kQueuedChunks) spare_.push_back(std::move(chunk));
        chunk = std::string();
    }
    if (csv_ && readable && !csv_->Finish(error_)) readable = false;
    if (!readable) error_ = "the report cannot be read: " + error_;
}

std::string ReportStream::Finish() {
    if (finished_) return error_;
    finished_ = true;
    if (!chunk_.empty()) Hand(std::move(chunk_));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }
    writer_.join();
    return error_;
}

}  // namespace zbhost
