// A cursor that writes little-endian numbers into a byte buffer, one field
// at a time. The image formats write their headers with it instead of
// copying structures, so the bytes do not depend on the compiler's layout
// or the host's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

class LittleEndianWriter {
public:
    explicit LittleEndianWriter(void* buffer) : start_(static_cast<std::uint8_t*>(buffer)), at_(start_) {}

    void u8(std::uint32_t value) { *at_++ = static_cast<std::uint8_t>(value); }
    void u16(std::uint32_t value) {
        u8(value);
        u8(value >> 8);
    }
    void u32(std::uint32_t value) {
        u16(value);
        u16(value >> 16);
    }
    void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
    void bytes(const char* text, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) u8(static_cast<std::uint8_t>(text[i]));
    }

    // Bytes written so far; writers compare it with the size they promised.
    std::size_t written() const { return static_cast<std::size_t>(at_ - start_); }

private:
    std::uint8_t* start_;
    std::uint8_t* at_;
};

// Reading back a field written by the writer above.
inline std::uint32_t ReadU16(const void* buffer, std::size_t offset) {
    const auto* p = static_cast<const std::uint8_t*>(buffer) + offset;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
}
inline std::uint32_t ReadU32(const void* buffer, std::size_t offset) {
    return ReadU16(buffer, offset) | ReadU16(buffer, offset + 2) << 16;
}
