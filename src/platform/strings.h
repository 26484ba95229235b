// The module's string resources, and the module instance they are loaded
// from. On Windows the strings come from the string table of the module; the
// native build reads the same texts from the table the resource script is
// built from.
#pragma once

#include <string>

namespace platform {

// Copies string `id` into `buffer` (at most size - 1 characters and a
// terminating zero) and returns the characters copied; 0 when the string
// does not exist (buffer then holds the empty text).
int LoadStringResource(unsigned id, char* buffer, int size);
std::string LoadStringResource(unsigned id);

// The module instance (HINSTANCE on Windows) resources are loaded from.
void SetModuleInstance(void* instance);
void* ModuleInstance();

}  // namespace platform
