// Libraries over LoadLibraryA and GetProcAddress, by name or by ordinal.
#include <windows.h>

#include <cstring>

#include "platform/library.h"
#include "platform/strings.h"

namespace platform {

namespace {

bool HasFolder(const char* name) { return std::strpbrk(name, "\\/:") != nullptr; }

// A folder answered by one of the GetXxxDirectoryA functions, with its separator.
template <typename Function>
std::string FolderFrom(Function function) {
    char path[MAX_PATH + 1] = {};
    const UINT length = function(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::string folder(path, length);
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
}

}  // namespace

LibraryHandle LoadLibraryByName(const char* name) {
    if (name == nullptr || name[0] == '\0') return nullptr;
    if (HasFolder(name)) {
        // Only the named file: a DLL it imports is looked for beside it
        // first, not in the application's folder.
        return ::LoadLibraryExA(name, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    // A bare name is never searched for: only a module already loaded,
    // with a reference of its own.
    HMODULE loaded = nullptr;
    if (!::GetModuleHandleExA(0, name, &loaded)) return nullptr;
    return loaded;
}

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

std::string SystemFolder() { return FolderFrom(::GetSystemDirectoryA); }

std::string WindowsFolder() { return FolderFrom(::GetWindowsDirectoryA); }

}  // namespace platform
