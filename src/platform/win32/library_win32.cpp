// Libraries over LoadLibraryA and GetProcAddress, by name or by ordinal.
#include <windows.h>

#include "platform/library.h"
#include "platform/strings.h"

namespace platform {

LibraryHandle LoadLibraryByName(const char* name) { return name ? ::LoadLibraryA(name) : nullptr; }

void* FindFunction(LibraryHandle library, const char* name) {
    if (!library || !name) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void* FindFunctionByOrdinal(LibraryHandle library, unsigned ordinal) {
    if (!library || ordinal == 0 || ordinal > 0xFFFF) return nullptr;
    return reinterpret_cast<void*>(
        ::GetProcAddress(static_cast<HMODULE>(library), reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal))));
}

void FreeLibraryHandle(LibraryHandle library) {
    if (library) ::FreeLibrary(static_cast<HMODULE>(library));
}

LibraryHandle FindLoadedLibrary(const char* name) { return name ? ::GetModuleHandleA(name) : nullptr; }

std::string ModuleFolder() {
    char path[MAX_PATH + 1] = {};
    DWORD length = ::GetModuleFileNameA(static_cast<HMODULE>(ModuleInstance()), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::string folder(path, length);
    auto slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

}  // namespace platform
