// The bytes of a capture file, of standard input or of a buffer in memory, read through one buffer
// with the absolute offset of every byte, so that a text reader can note where a line or token
// starts and (files and memory, not pipes) go back there later.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zbhost {

class ByteInput {
  public:
    // Throws CaptureError when the file cannot be opened.
    static ByteInput File(const std::string& path);
    static ByteInput StandardInput();
    // Bytes in memory; read like a pipe (never again) unless `canSeek`.
    static ByteInput Memory(std::string bytes, bool canSeek = true);

    ByteInput(ByteInput&& other) noexcept;
    ByteInput& operator=(ByteInput&& other) noexcept;
    ByteInput(const ByteInput&) = delete;
    ByteInput& operator=(const ByteInput&) = delete;
    ~ByteInput();

    // The next byte, or EOF.
    int Get() { return pos_ < end_ ? data_[pos_++] : Refill(); }
    // The offset of the byte Get returns next.
    uint64_t Offset() const { return base_ + pos_; }
    // Up to `size` bytes into `out`; fewer only at the end of the input.
    size_t Read(uint8_t* out, size_t size);
    bool CanSeek() const { return seekable_; }
    // Goes to `offset` (only when CanSeek).
    void Seek(uint64_t offset);
    // The input's size in bytes; 0 when unknown (a pipe).
    uint64_t Size() const { return size_; }

  private:
    ByteInput() = default;
    int Refill();
    void Close();

    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
    bool seekable_ = false;
    uint64_t size_ = 0;
    std::string memory_;
    std::vector<uint8_t> buffer_;
    const uint8_t* data_ = nullptr;
    size_t pos_ = 0;
    size_t end_ = 0;
    uint64_t base_ = 0;  // offset of data_[0]
};

}  // namespace zbhost
