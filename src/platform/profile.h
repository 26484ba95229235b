// The source's persisted settings: integers in the profile file
// "vorelsrc.ini". On Windows the file lives where profile files without a
// folder live (the Windows folder); the native build keeps it in a folder
// that tests choose.
#pragma once

#include <string>

namespace platform {

int ProfileGetInt(const char* section, const char* key, int defaultValue);
// The text of a key as the file holds it; false when the key is missing.
bool ProfileGetText(const char* section, const char* key, std::string* text);
void ProfileWriteInt(const char* section, const char* key, int value);

// Native build only: the folder holding vorelsrc.ini (the working folder
// until set).
void SetProfileFolder(const std::string& folder);

}  // namespace platform
