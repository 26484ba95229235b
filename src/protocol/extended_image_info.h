// DAT_EXTIMAGEINFO: what the source tells of the image being transferred
// beyond DAT_IMAGEINFO, and the items it can tell (ICAP_SUPPORTEDEXTIMAGEINFO).
#pragma once

#include <cstddef>

#include "twain/twain.h"

// The source's own item: the sheets the feeder took and the source dropped
// as blank right before this image (since the image before it, or since
// the batch began), a TW_UINT32.
constexpr TW_UINT16 kInfoBlankSheetsBefore = 0x8001;

// The items DAT_EXTIMAGEINFO answers, in the order ICAP_SUPPORTEDEXTIMAGEINFO lists them.
constexpr TW_UINT16 kSupportedExtImageInfo[] = {TWEI_DOCUMENTNUMBER, TWEI_PAGENUMBER, TWEI_FRAMENUMBER,
                                                TWEI_FRAME,          TWEI_PIXELFLAVOR, TWEI_PAGESIDE,
                                                kInfoBlankSheetsBefore};
constexpr std::size_t kSupportedExtImageInfoCount = sizeof kSupportedExtImageInfo / sizeof kSupportedExtImageInfo[0];
