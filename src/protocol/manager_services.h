// What a TWAIN 2 source manager hands its sources with DG_CONTROL /
// DAT_ENTRYPOINT / MSG_SET: its DSM_Entry, through which the source's
// notifications then go without looking any library up, and its memory
// functions, with which every block handed to the application is made so
// that the application can free it with that manager's. Without them (a
// TWAIN 1.x manager) notifications find TWAIN_32.DLL and blocks are movable,
// shareable global memory, as they always were.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/global_memory.h"
#include "protocol/triplet.h"

// Takes the entry points after checking them: the structure must be at
// least as long as the source knows it and every function must lead to
// code. False, and nothing kept, otherwise.
bool KeepManagerEntryPoints(const TW_ENTRYPOINT* entry);
void ForgetManagerEntryPoints();
// The manager's DSM_Entry, or null when no manager gave one.
DSMENTRYPROC ManagerDsmEntry();

// Blocks for the application. Allocate returns null when no block can be
// had; Lock returns null for a block that cannot be locked.
namespace application_memory {
platform::GlobalHandle Allocate(std::size_t bytes);
void* Lock(platform::GlobalHandle handle);
void Unlock(platform::GlobalHandle handle);
void Free(platform::GlobalHandle handle);

// Locks a block for the lifetime of the object.
class LockedBlock {
public:
    explicit LockedBlock(platform::GlobalHandle handle) : handle_(handle), data_(Lock(handle)) {}
    ~LockedBlock() {
        if (data_ != nullptr) Unlock(handle_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;

    std::uint8_t* bytes() const { return static_cast<std::uint8_t*>(data_); }
    explicit operator bool() const { return data_ != nullptr; }

private:
    platform::GlobalHandle handle_;
    void* data_;
};
}  // namespace application_memory
