// The profile over the Windows profile-file functions. A file name without
// a folder lives in the Windows folder, where applications' profiles live.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/profile.h"

namespace platform {
namespace {
const char kProfileFile[] = "vorelsrc.ini";
}

int ProfileGetInt(const char* section, const char* key, int defaultValue) {
    return static_cast<int>(::GetPrivateProfileIntA(section, key, defaultValue, kProfileFile));
}

bool ProfileGetText(const char* section, const char* key, std::string* text) {
    // A default no file line can hold tells a missing key from an empty one.
    static const char kMissing[] = "\x01";
    char value[256] = {};
    ::GetPrivateProfileStringA(section, key, kMissing, value, sizeof value, kProfileFile);
    if (std::string(value) == kMissing) return false;
    if (text != nullptr) *text = value;
    return true;
}

void ProfileWriteInt(const char* section, const char* key, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    ::WritePrivateProfileStringA(section, key, text, kProfileFile);
}

void SetProfileFolder(const std::string&) {}

}  // namespace platform
