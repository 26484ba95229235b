// Loading a library and finding its functions by name or by ordinal, and
// the folders libraries are taken from.
//
// The source runs inside someone else's process, whose folder and working
// folder may hold anything: it never lets the system search for a library.
// A library is loaded from a full path only; a bare name is answered only
// by a library of that name the process has already loaded.
#pragma once

#include <string>

namespace platform {

using LibraryHandle = void*;

// `name` with a folder: that file. A bare name: the library of that name
// already in the process, with a reference added (free it as any other);
// null when there is none. Nothing is ever searched for.
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
// The system folder (system32) and the Windows folder, ending in a
// separator; empty where there are none (the native build).
std::string SystemFolder();
std::string WindowsFolder();

}  // namespace platform
