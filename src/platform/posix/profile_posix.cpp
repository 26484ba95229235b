// The profile for the native build: a small INI file "vorelsrc.ini" in a
// folder the tests choose. Only what the source needs: integer keys in
// named sections, read and written back.
#include "platform/profile.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace platform {
namespace {

std::string& Folder() {
    static std::string folder;
    return folder;
}

std::string ProfilePath() {
    std::string folder = Folder();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + "vorelsrc.ini";
}

std::vector<std::string> ReadLines() {
    std::vector<std::string> lines;
    std::ifstream in(ProfilePath());
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool IsSection(const std::string& line, std::string* name) {
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
    *name = line.substr(1, line.size() - 2);
    return true;
}

// Index of the line holding `key` in `section`, or -1; `sectionEnd` is where
// a new key of the section would go (-1 when the section is missing).
int FindKey(const std::vector<std::string>& lines, const char* section, const char* key, int* sectionEnd) {
    bool inSection = false;
    *sectionEnd = -1;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        std::string name;
        if (IsSection(lines[i], &name)) {
            inSection = (name == section);
            if (inSection) *sectionEnd = i + 1;
            continue;
        }
        if (!inSection) continue;
        *sectionEnd = i + 1;
        auto eq = lines[i].find('=');
        if (eq != std::string::npos && lines[i].substr(0, eq) == key) return i;
    }
    return -1;
}

}  // namespace

int ProfileGetInt(const char* section, const char* key, int defaultValue) {
    std::vector<std::string> lines = ReadLines();
    int sectionEnd;
    int at = FindKey(lines, section, key, &sectionEnd);
    if (at < 0) return defaultValue;
    std::string value = lines[at].substr(lines[at].find('=') + 1);
    return static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
}

bool ProfileGetText(const char* section, const char* key, std::string* text) {
    std::vector<std::string> lines = ReadLines();
    int sectionEnd;
    int at = FindKey(lines, section, key, &sectionEnd);
    if (at < 0) return false;
    if (text != nullptr) *text = lines[at].substr(lines[at].find('=') + 1);
    return true;
}

void ProfileWriteInt(const char* section, const char* key, int value) {
    std::vector<std::string> lines = ReadLines();
    std::string entry = std::string(key) + "=" + std::to_string(value);
    int sectionEnd;
    int at = FindKey(lines, section, key, &sectionEnd);
    if (at >= 0) {
        lines[at] = entry;
    } else if (sectionEnd >= 0) {
        lines.insert(lines.begin() + sectionEnd, entry);
    } else {
        lines.push_back(std::string("[") + section + "]");
        lines.push_back(entry);
    }
    std::ofstream out(ProfilePath(), std::ios::trunc);
    for (const std::string& line : lines) out << line << "\n";
}

void SetProfileFolder(const std::string& folder) { Folder() = folder; }

}  // namespace platform
