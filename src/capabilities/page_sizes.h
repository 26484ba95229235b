// The page sizes ICAP_SUPPORTEDSIZES offers: the ones the bed holds, each
// with its frame in the source's length unit of 1/300 inch, placed at the
// bed's origin.
#pragma once

#include <cstdint>

#include "twain/twain.h"

struct PageFrame {
    std::int32_t width;   // 1/300 inch
    std::int32_t height;  // 1/300 inch
};

// The frame of a TWSS_* size; false for TWSS_NONE (no fixed size) and for a
// size the source does not offer.
bool FrameOfPageSize(TW_UINT16 size, PageFrame* frame);
