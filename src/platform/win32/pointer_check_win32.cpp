// Pointer checks over VirtualQuery: every page of the range must be
// committed, without a guard, and readable (or writable) by its protection.
// Nothing is touched, so a bad pointer costs no fault.
#include <windows.h>

#include <cstdint>

#include "platform/pointer_check.h"

namespace platform {
namespace {

bool RangeHasAccess(const void* pointer, std::size_t bytes, DWORD accepted) {
    auto address = reinterpret_cast<std::uintptr_t>(pointer);
    if (address < 0x10000) return false;
    if (bytes == 0) bytes = 1;
    std::uintptr_t end = address + bytes;
    if (end < address) return false;
    while (address < end) {
        MEMORY_BASIC_INFORMATION info{};
        if (::VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) == 0) return false;
        if (info.State != MEM_COMMIT) return false;
        if (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) return false;
        if ((info.Protect & accepted) == 0) return false;
        std::uintptr_t regionEnd = reinterpret_cast<std::uintptr_t>(info.BaseAddress) + info.RegionSize;
        if (regionEnd <= address) return false;
        address = regionEnd;
    }
    return true;
}

const DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                        PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
const DWORD kWritable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

}  // namespace

bool IsReadable(const void* pointer, std::size_t bytes) { return RangeHasAccess(pointer, bytes, kReadable); }
bool IsWritable(void* pointer, std::size_t bytes) { return RangeHasAccess(pointer, bytes, kWritable); }
bool IsExecutable(const void* pointer) {
    return RangeHasAccess(pointer, 1, PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY);
}

}  // namespace platform
