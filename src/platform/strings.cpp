// The string-returning form of LoadStringResource, shared by both builds.
#include "platform/strings.h"

namespace platform {

std::string LoadStringResource(unsigned id) {
    char buffer[1024];
    LoadStringResource(id, buffer, static_cast<int>(sizeof buffer));
    return buffer;
}

}  // namespace platform
