// TWAIN container blocks: their field offsets, little-endian access to the
// fields, and the building of a block handed to the application. Containers
// are read and written byte by byte at their fixed offsets, so neither the
// host's structure layout nor the alignment of an application's block
// matters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/global_memory.h"
#include "protocol/manager_services.h"

namespace containers {

// Offsets shared by every container: ItemType at 0.
constexpr std::size_t kItemType = 0;

// TW_ONEVALUE.
constexpr std::size_t kOneValueItem = 2;
constexpr std::size_t kOneValueSize = 6;

// TW_RANGE.
constexpr std::size_t kRangeMinValue = 2;
constexpr std::size_t kRangeMaxValue = 6;
constexpr std::size_t kRangeStepSize = 10;
constexpr std::size_t kRangeDefaultValue = 14;
constexpr std::size_t kRangeCurrentValue = 18;
constexpr std::size_t kRangeSize = 22;

// TW_ENUMERATION: the head, then the items.
constexpr std::size_t kEnumNumItems = 2;
constexpr std::size_t kEnumCurrentIndex = 6;
constexpr std::size_t kEnumDefaultIndex = 10;
constexpr std::size_t kEnumItemList = 14;

// TW_ARRAY: the head, then the items.
constexpr std::size_t kArrayNumItems = 2;
constexpr std::size_t kArrayItemList = 6;

inline void PutU8(std::uint8_t* block, std::size_t offset, std::uint8_t value) { block[offset] = value; }

inline void PutU16(std::uint8_t* block, std::size_t offset, std::uint16_t value) {
    block[offset] = static_cast<std::uint8_t>(value);
    block[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutU32(std::uint8_t* block, std::size_t offset, std::uint32_t value) {
    PutU16(block, offset, static_cast<std::uint16_t>(value));
    PutU16(block, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

inline std::uint8_t GetU8(const std::uint8_t* block, std::size_t offset) { return block[offset]; }

inline std::uint16_t GetU16(const std::uint8_t* block, std::size_t offset) {
    return static_cast<std::uint16_t>(block[offset] | (block[offset + 1] << 8));
}

inline std::uint32_t GetU32(const std::uint8_t* block, std::size_t offset) {
    return GetU16(block, offset) | (static_cast<std::uint32_t>(GetU16(block, offset + 2)) << 16);
}

// Allocates a block for the application of `size` bytes (through the
// TWAIN 2 manager's memory functions when it gave them, else movable,
// shareable global memory), has `fill` write the fields into it while it is
// locked, and returns the unlocked handle; null when no block could be had. The block starts zeroed here rather than by
// an allocation flag, so spare bytes never carry leftover heap contents to
// the application whatever the platform's allocator does.
template <typename Fill>
platform::GlobalHandle BuildBlock(std::size_t size, Fill fill) noexcept {
    platform::GlobalHandle handle = application_memory::Allocate(size);
    if (handle == nullptr) return nullptr;
    bool filled = false;
    {
        application_memory::LockedBlock locked(handle);
        if (locked) {
            std::memset(locked.bytes(), 0, size);
            fill(locked.bytes());
            filled = true;
        }
    }
    if (!filled) {
        application_memory::Free(handle);
        return nullptr;
    }
    return handle;
}

}  // namespace containers
