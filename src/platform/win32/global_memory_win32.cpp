// Global memory blocks over the Windows heap functions. GlobalLock and
// GlobalSize answer null and 0 for a bad handle rather than faulting.
#include <windows.h>

#include <atomic>

#include "platform/global_memory.h"

namespace platform {
namespace {
std::atomic<long> outstanding{0};
std::atomic<int> allocationsLeft{-1};
}  // namespace

GlobalHandle GlobalAllocate(unsigned flags, std::size_t bytes) {
    int left = allocationsLeft.load();
    if (left == 0) return nullptr;
    if (left > 0) allocationsLeft.store(left - 1);
    HGLOBAL handle = ::GlobalAlloc(flags, bytes);
    if (handle != nullptr) ++outstanding;
    return handle;
}

void* GlobalLockBlock(GlobalHandle handle) { return handle ? ::GlobalLock(static_cast<HGLOBAL>(handle)) : nullptr; }

void GlobalUnlockBlock(GlobalHandle handle) {
    if (handle) ::GlobalUnlock(static_cast<HGLOBAL>(handle));
}

void GlobalFreeBlock(GlobalHandle handle) {
    if (handle == nullptr) return;
    if (::GlobalFree(static_cast<HGLOBAL>(handle)) == nullptr) --outstanding;
}

std::size_t GlobalBlockSize(GlobalHandle handle) { return handle ? ::GlobalSize(static_cast<HGLOBAL>(handle)) : 0; }

long GlobalBlocksOutstanding() { return outstanding.load(); }

void FailGlobalAllocationsAfter(int count) { allocationsLeft.store(count < 0 ? -1 : count); }

}  // namespace platform
