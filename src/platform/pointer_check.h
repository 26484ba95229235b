// Checks on memory an application hands over, so that a pointer that does
// not reach readable or writable memory is refused instead of followed.
#pragma once

#include <cstddef>

namespace platform {

// On Windows the pages are asked for their protection; the native build
// refuses null and the lowest 64 KiB, which no process maps.
bool IsReadable(const void* pointer, std::size_t bytes);
bool IsWritable(void* pointer, std::size_t bytes);
// Whether a function pointer handed over leads to code: on Windows the page
// it points into must be executable.
bool IsExecutable(const void* pointer);

}  // namespace platform
