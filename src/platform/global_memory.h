// Global memory blocks: the movable, lockable blocks through which a TWAIN
// source hands containers and images to the application, and in which it
// keeps its own scanner buffers. On Windows these are GlobalAlloc handles;
// the native build keeps a table of handles so that a handle the table does
// not know locks to null, just as a bad handle does on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using GlobalHandle = void*;

constexpr unsigned kGmemMoveable = 0x0002;
constexpr unsigned kGmemZeroInit = 0x0040;
constexpr unsigned kGmemDdeShare = 0x2000;
// Movable and shareable: the flags of every block handed to an application.
constexpr unsigned kGmemShareable = kGmemMoveable | kGmemDdeShare;

// Returns null when the block cannot be had.
GlobalHandle GlobalAllocate(unsigned flags, std::size_t bytes);
// Returns null for a null, freed or unknown handle; never faults.
void* GlobalLockBlock(GlobalHandle handle);
void GlobalUnlockBlock(GlobalHandle handle);
// A null handle is accepted and ignored.
void GlobalFreeBlock(GlobalHandle handle);
// 0 for a null, freed or unknown handle.
std::size_t GlobalBlockSize(GlobalHandle handle);

// Blocks allocated through GlobalAllocate and not yet freed through
// GlobalFreeBlock (blocks the application frees itself are not seen).
long GlobalBlocksOutstanding();
// Test hook: the next `count` allocations succeed, every later one fails;
// a negative count restores normal service.
void FailGlobalAllocationsAfter(int count);

// Locks a block for the lifetime of the object.
class LockedBlock {
public:
    explicit LockedBlock(GlobalHandle handle) : handle_(handle), data_(GlobalLockBlock(handle)) {}
    ~LockedBlock() {
        if (data_ != nullptr) GlobalUnlockBlock(handle_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;

    void* get() const { return data_; }
    std::uint8_t* bytes() const { return static_cast<std::uint8_t*>(data_); }
    explicit operator bool() const { return data_ != nullptr; }

private:
    GlobalHandle handle_;
    void* data_;
};

}  // namespace platform
