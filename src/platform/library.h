// Loading a library and finding its functions by name or by ordinal, and
// the folder this module was loaded from.
#pragma once

#include <string>

namespace platform {

using LibraryHandle = void*;

LibraryHandle LoadLibraryByName(const char* name);
void* FindFunction(LibraryHandle library, const char* name);
// Windows only; the native build has no ordinals and answers null.
void* FindFunctionByOrdinal(LibraryHandle library, unsigned ordinal);
void FreeLibraryHandle(LibraryHandle library);
// A library already loaded into the process, without loading it or adding
// a reference (nothing to free); null when it is not loaded.
LibraryHandle FindLoadedLibrary(const char* name);

// The folder of the module holding this code, ending in a separator;
// empty when it cannot be told.
std::string ModuleFolder();

}  // namespace platform
