#include "tool_rules.h"

#include <cstdio>
#include <cstring>

namespace {

// Reads the decimal number at `text`, at least one digit and at most a
// 32-bit value; moves past it.
bool Digits(const char*& text, unsigned long* value) {
    unsigned long long read = 0;
    int count = 0;
    while (*text >= '0' && *text <= '9') {
        read = read * 10 + static_cast<unsigned>(*text++ - '0');
        if (++count > 10 || read > 0xFFFFFFFFULL) return false;
    }
    *value = static_cast<unsigned long>(read);
    return count > 0;
}

bool Skip(const char*& text, const char* word) {
    const std::size_t length = std::strlen(word);
    if (std::strncmp(text, word, length) != 0) return false;
    text += length;
    return true;
}

std::string Pages(int count) { return count == 1 ? "the page" : "the " + std::to_string(count) + " pages"; }

}  // namespace

PartOwner PartFileOwner(const std::string& leaf, unsigned long* process) {
    const char* text = leaf.c_str();
    unsigned long serial = 0;
    if (Skip(text, ".vorelscan-") && Digits(text, process) && Skip(text, "-") && Digits(text, &serial) &&
        Skip(text, ".part") && *text == '\0') {
        return PartOwner::Tool;
    }
    text = leaf.c_str();
    if (Skip(text, "~vorel-transfer") && Digits(text, &serial) && Skip(text, ".part") && *text == '\0') {
        return PartOwner::Source;
    }
    return PartOwner::Other;
}

std::string ToolPartName(unsigned long process, unsigned serial) {
    char name[64];
    std::snprintf(name, sizeof name, ".vorelscan-%lu-%u.part", process, serial);
    return name;
}

std::string KeptPagesText(int written, bool multipage, const std::string& out) {
    if (written <= 0) return {};
    if (multipage) return "; " + out + " holds " + Pages(written) + " before it";
    return "; " + Pages(written) + " before it " + (written == 1 ? "was" : "were") + " written";
}

std::string MemoryBufferRefusal(std::uint32_t size, std::uint32_t rowBytes, std::uint32_t sourceMinimum,
                                std::uint32_t maximum) {
    const std::string row = std::to_string(rowBytes);
    if (size > maximum) return "the memory buffer holds at most " + std::to_string(maximum) + " bytes";
    if (rowBytes > maximum) {
        return "one row of this image takes " + row + " bytes, more than a memory buffer holds (" +
               std::to_string(maximum) + "): choose a smaller region, resolution or type, or --mech native";
    }
    if (size >= rowBytes && size >= sourceMinimum) return {};
    if (sourceMinimum > rowBytes) {
        return "the memory buffer must hold at least " + std::to_string(sourceMinimum) +
               " bytes, the least the source takes (one row of the image is " + row + " bytes)";
    }
    return "the memory buffer must hold at least one row of the image (" + row + " bytes)";
}
