// ShownSettings: the scan settings a window offers beside the image type
// (resolution, tone, page size, rotation), as the application negotiated
// them: each value with the bounds the application left it. The protocol
// side fills it at every enabling; the window offers only what it allows
// and hands each change back (TakeShownSetting), so the window and the
// capabilities always hold the same set-up.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/rect32.h"

// A number the application may narrow to a range with a step.
struct NumberSetting {
    int current = 0;
    int minimum = 0;
    int maximum = 0;
    int step = 1;  // 0 or 1: every whole number between the bounds
    bool present = false;  // the source negotiates it at all
};

// A page size the window may offer: its TWSS_* code and its frame on the
// bed, in 1/300 inch.
struct PageSizeChoice {
    std::uint16_t code = 0;
    Rect32 frame;
};

struct ShownSettings {
    NumberSetting xResolution;
    NumberSetting yResolution;
    NumberSetting brightness;
    NumberSetting contrast;
    // ICAP_ROTATION in degrees clockwise; the orientation's quarter turns
    // (ICAP_ORIENTATION) add to it. The window shows and sets the page's
    // whole turn.
    NumberSetting rotation;
    int orientationTurns = 0;
    // The sizes the application allows that the bed holds, and the current
    // one (TWSS_NONE: no fixed size, the frame is the region or the bed).
    std::vector<PageSizeChoice> pageSizes;
    std::uint16_t pageSize = 0;
    // Whether the application allows TWSS_NONE: a region of no fixed size.
    bool anyRegion = true;
};

enum class ShownSetting { Resolution, Brightness, Contrast, PageSize, Rotation };
