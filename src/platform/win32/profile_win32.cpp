// The profile over the Windows profile-file functions. A file name without
// a folder lives in the Windows folder, where applications' profiles live.
#include <windows.h>

#include <cstdio>

#include "platform/profile.h"

namespace platform {
namespace {
const char kProfileFile[] = "vorelsrc.ini";
}

int ProfileGetInt(const char* section, const char* key, int defaultValue) {
    return static_cast<int>(::GetPrivateProfileIntA(section, key, defaultValue, kProfileFile));
}

void ProfileWriteInt(const char* section, const char* key, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    ::WritePrivateProfileStringA(section, key, text, kProfileFile);
}

void SetProfileFolder(const std::string&) {}

}  // namespace platform
