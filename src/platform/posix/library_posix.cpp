// Libraries for the native build, over dlopen. There are no ordinals here:
// the scanner library's table is installed directly by the tests.
#include "platform/library.h"

#include <dlfcn.h>

#include <cstring>

namespace platform {

// A bare name only finds a library already loaded, as on Windows.
LibraryHandle LoadLibraryByName(const char* name) {
    if (name == nullptr || name[0] == '\0') return nullptr;
    const bool hasFolder = std::strchr(name, '/') != nullptr;
    return dlopen(name, hasFolder ? RTLD_NOW | RTLD_LOCAL : RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
}

void* FindFunction(LibraryHandle library, const char* name) {
    return library && name ? dlsym(library, name) : nullptr;
}

void* FindFunctionByOrdinal(LibraryHandle, unsigned) { return nullptr; }

void FreeLibraryHandle(LibraryHandle library) {
    if (library) dlclose(library);
}

// The native build has no source managers to find: the tests receive the
// notifications through their hook.
LibraryHandle FindLoadedLibrary(const char*) { return nullptr; }

std::string ModuleFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) == 0 || info.dli_fname == nullptr) return {};
    std::string path = info.dli_fname;
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string SystemFolder() { return {}; }

std::string WindowsFolder() { return {}; }

}  // namespace platform
