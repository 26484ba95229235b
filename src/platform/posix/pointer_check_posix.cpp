// Pointer checks for the native build: null and the lowest 64 KiB are
// refused; anything else is taken as the caller's word, except that code
// must lie in a loaded object.
#include "platform/pointer_check.h"

#include <dlfcn.h>

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
// Code lives in the program or a library it loaded; dladdr finds no object
// for an address on the heap, the stack or nowhere.
bool IsExecutable(const void* pointer) {
    Dl_info info{};
    return Plausible(pointer, 1) && dladdr(pointer, &info) != 0;
}

}  // namespace platform
