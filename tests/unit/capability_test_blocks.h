// What the capability tests share: playing the application's side of a
// container exchange. Containers an "application" hands in are written byte
// by byte here, and the blocks the source hands out are read back as raw
// bytes, the way an application of the 32-bit build sees them.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/global_memory.h"
#include "twain/twain.h"

namespace capability_test {

using Bytes = std::vector<std::uint8_t>;

// Little-endian byte builder for application containers.
struct ByteWriter {
    Bytes bytes;
    ByteWriter& u8(std::uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    ByteWriter& u16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
    ByteWriter& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
};

inline Bytes OneValue(std::uint16_t itemType, std::uint32_t item) { return ByteWriter().u16(itemType).u32(item).bytes; }

inline Bytes Range(std::uint16_t itemType, std::uint32_t min, std::uint32_t max, std::uint32_t step,
                   std::uint32_t def, std::uint32_t cur) {
    return ByteWriter().u16(itemType).u32(min).u32(max).u32(step).u32(def).u32(cur).bytes;
}

// An enumeration head; items are appended by the caller.
inline ByteWriter EnumerationHead(std::uint16_t itemType, std::uint32_t numItems, std::uint32_t currentIndex,
                                  std::uint32_t defaultIndex = 0) {
    ByteWriter w;
    w.u16(itemType).u32(numItems).u32(currentIndex).u32(defaultIndex);
    return w;
}

// A block holding exactly `bytes`, as an application would allocate it.
inline platform::GlobalHandle AppBlock(const Bytes& bytes) {
    platform::GlobalHandle handle = platform::GlobalAllocate(platform::kGmemShareable, bytes.size());
    if (handle == nullptr) return nullptr;
    platform::LockedBlock locked(handle);
    if (!bytes.empty()) std::memcpy(locked.get(), bytes.data(), bytes.size());
    return handle;
}

// Reads a block the source handed out and frees it, as the application must.
inline Bytes TakeBlock(TW_HANDLE handle) {
    Bytes out;
    if (handle == nullptr) return out;
    {
        platform::LockedBlock locked(handle);
        if (locked) out.assign(locked.bytes(), locked.bytes() + platform::GlobalBlockSize(handle));
    }
    platform::GlobalFreeBlock(handle);
    return out;
}

// hContainer by value: in the native build the handle sits unaligned inside
// the packed TW_CAPABILITY, so it must not be bound to a reference.
inline TW_HANDLE HandleOf(const TW_CAPABILITY& cap) { return cap.hContainer; }

// A handle no allocation produced, to check that hContainer was left alone.
inline TW_HANDLE Sentinel() { return reinterpret_cast<TW_HANDLE>(std::uintptr_t{0xDEADBEEF}); }

}  // namespace capability_test
