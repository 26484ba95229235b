// String resources from the module's own string table.
#include <windows.h>

#include "platform/strings.h"

namespace platform {
namespace {
void* moduleInstance = nullptr;
}

int LoadStringResource(unsigned id, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    return ::LoadStringA(static_cast<HINSTANCE>(moduleInstance), id, buffer, size);
}

void SetModuleInstance(void* instance) { moduleInstance = instance; }
void* ModuleInstance() { return moduleInstance; }

}  // namespace platform
