// Where an encoder puts its bytes: a file the source opened (FileSink) or a
// growing block of memory (MemorySink). Encoders only ever see a ByteSink,
// so the same code writes a transfer file and a memory transfer's strips.
// libtiff reads back what it wrote (to link a new page to the last), so a
// sink reads too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/file.h"

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes at the position and moves it on; true only when every byte went.
    virtual bool Write(const void* data, std::size_t bytes) = 0;
    // Reads up to `bytes` at the position; the bytes read.
    virtual std::size_t Read(void* data, std::size_t bytes) = 0;
    virtual bool Seek(std::uint64_t position) = 0;
    std::uint64_t Position() const { return position_; }
    std::uint64_t Size() const { return size_; }

protected:
    std::uint64_t position_ = 0;
    std::uint64_t size_ = 0;
};

// A file, open for reading and writing, whose bytes from `start` on are the
// sink's: a sink over a file that already holds pages goes on after them.
class FileSink : public ByteSink {
public:
    explicit FileSink(platform::File& file, std::uint64_t size = 0) : file_(file) {
        size_ = size;
        position_ = size;
    }
    bool Write(const void* data, std::size_t bytes) override;
    std::size_t Read(void* data, std::size_t bytes) override;
    bool Seek(std::uint64_t position) override;
    // Cuts the file back to `size` bytes (the file as it was after its last
    // whole page); the position goes there too.
    bool CutTo(std::uint64_t size);

private:
    platform::File& file_;
};

// Bytes in memory. A reader may take bytes from the front (a memory
// transfer's strips) while an encoder appends; positions stay those of the
// whole stream.
class MemorySink : public ByteSink {
public:
    bool Write(const void* data, std::size_t bytes) override;
    std::size_t Read(void* data, std::size_t bytes) override;
    bool Seek(std::uint64_t position) override;
    // The bytes not taken yet.
    std::size_t Pending() const { return bytes_.size() - taken_; }
    const std::uint8_t* PendingData() const { return bytes_.data() + taken_; }
    // Takes up to `bytes` from the front; the bytes taken.
    std::size_t Take(void* out, std::size_t bytes);
    // The whole stream, for a caller that takes nothing.
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
    // Bytes before `base_` were taken and dropped.
    std::vector<std::uint8_t> bytes_;
    std::uint64_t base_ = 0;
    std::size_t taken_ = 0;
};
