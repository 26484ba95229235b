// The two sinks: a file the source opened, and memory.
#include "imaging/codecs/byte_sink.h"

#include <algorithm>
#include <cstring>

bool FileSink::Write(const void* data, std::size_t bytes) {
    if (bytes == 0) return true;
    if (!file_.Write(data, bytes)) return false;
    position_ += bytes;
    size_ = std::max(size_, position_);
    return true;
}

std::size_t FileSink::Read(void* data, std::size_t bytes) {
    const std::size_t got = file_.Read(data, bytes);
    position_ += got;
    return got;
}

bool FileSink::Seek(std::uint64_t position) {
    if (!file_.Seek(position)) return false;
    position_ = position;
    return true;
}

bool FileSink::CutTo(std::uint64_t size) {
    if (!file_.Seek(size) || !file_.EndHere()) return false;
    position_ = size_ = size;
    return true;
}

bool MemorySink::Write(const void* data, std::size_t bytes) {
    // Only the bytes not yet taken can be written over; an encoder that
    // seeks back into what a reader already took has broken the stream.
    if (position_ < base_ + taken_) return false;
    const std::uint64_t at = position_ - base_;
    try {
        if (at + bytes > bytes_.size()) bytes_.resize(static_cast<std::size_t>(at + bytes));
    } catch (...) {
        return false;
    }
    if (bytes > 0) std::memcpy(bytes_.data() + at, data, bytes);
    position_ += bytes;
    size_ = std::max(size_, position_);
    return true;
}

std::size_t MemorySink::Read(void* data, std::size_t bytes) {
    if (position_ < base_ + taken_ || position_ >= size_) return 0;
    const std::size_t at = static_cast<std::size_t>(position_ - base_);
    const std::size_t n = std::min(bytes, bytes_.size() - at);
    std::memcpy(data, bytes_.data() + at, n);
    position_ += n;
    return n;
}

bool MemorySink::Seek(std::uint64_t position) {
    position_ = position;
    return true;
}

std::size_t MemorySink::Take(void* out, std::size_t bytes) {
    const std::size_t n = std::min(bytes, Pending());
    if (n > 0) std::memcpy(out, bytes_.data() + taken_, n);
    taken_ += n;
    // Dropped once most of the block is taken, so a long stream read in
    // strips never holds more than about a strip and what the encoder has
    // not handed out yet.
    if (taken_ > (1u << 20) && taken_ * 2 > bytes_.size()) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(taken_));
        base_ += taken_;
        taken_ = 0;
    }
    return n;
}
