// String resources for the native build, from the same texts the resource
// script compiles.
#include "platform/strings.h"

#include <cstring>

#include "resources/resource_ids.h"

namespace platform {
namespace {

struct StringEntry {
    unsigned id;
    const char* text;
};

const StringEntry kStrings[] = {
    {IDS_MANUFACTURER, TEXT_MANUFACTURER},
    {IDS_PRODUCT_FAMILY, TEXT_PRODUCT_FAMILY},
    {IDS_PRODUCT_NAME, TEXT_PRODUCT_NAME},
    {IDS_VERSION_INFO, TEXT_VERSION_INFO},
    {IDS_ABOUTBOX, TEXT_ABOUTBOX},
    {IDS_BW_DRAWING, TEXT_BW_DRAWING},
    {IDS_BW_PHOTO, TEXT_BW_PHOTO},
    {IDS_COLOR_PHOTO, TEXT_COLOR_PHOTO},
    {IDS_MEMORY_ERROR, TEXT_MEMORY_ERROR},
    {IDS_OPEN_FAILED, TEXT_OPEN_FAILED},
    {IDS_NO_COMMUNICATION, TEXT_NO_COMMUNICATION},
    {IDS_NO_HALFTONE, TEXT_NO_HALFTONE},
    {IDS_FEEDER_JAM, TEXT_FEEDER_JAM},
    {IDS_CHECK_FEEDER, TEXT_CHECK_FEEDER},
    {IDS_FEEDER_QUESTION, TEXT_FEEDER_QUESTION},
    {IDS_NO_PREVIEW_WITH_FEEDER, TEXT_NO_PREVIEW_WITH_FEEDER},
    {IDS_FRAME_CANNOT_BE_SCANNED, TEXT_FRAME_CANNOT_BE_SCANNED},
    {IDS_SCAN_INCOMPLETE, TEXT_SCAN_INCOMPLETE},
    {IDS_SETUP_OK, TEXT_SETUP_OK},
};

void* moduleInstance = nullptr;

}  // namespace

int LoadStringResource(unsigned id, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    for (const StringEntry& entry : kStrings) {
        if (entry.id != id) continue;
        std::size_t length = std::strlen(entry.text);
        if (length > static_cast<std::size_t>(size - 1)) length = static_cast<std::size_t>(size - 1);
        std::memcpy(buffer, entry.text, length);
        buffer[length] = '\0';
        return static_cast<int>(length);
    }
    return 0;
}

void SetModuleInstance(void* instance) { moduleInstance = instance; }
void* ModuleInstance() { return moduleInstance; }

}  // namespace platform
