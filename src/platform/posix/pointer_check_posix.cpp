// Pointer checks for the native build: null and the lowest 64 KiB are
// refused; anything else is taken as the caller's word.
#include "platform/pointer_check.h"

#include <cstdint>

namespace platform {
namespace {
bool Plausible(const void* pointer, std::size_t bytes) {
    auto address = reinterpret_cast<std::uintptr_t>(pointer);
    return address >= 0x10000 && address + bytes >= address;
}
}  // namespace

bool IsReadable(const void* pointer, std::size_t bytes) { return Plausible(pointer, bytes); }
bool IsWritable(void* pointer, std::size_t bytes) { return Plausible(pointer, bytes); }

}  // namespace platform
