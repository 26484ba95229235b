// vorelscan --ext-info: the line printed for each page from the source's
// answer to DAT_EXTIMAGEINFO. The items are copied out of the TW_INFO
// array first (a frame out of its block), so this part needs no Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "twain/twain.h"

// The items the tool asks for, in the order printed.
std::vector<TW_UINT16> ExtInfoItemsAsked();

struct ExtInfoItem {
    TW_UINT16 id = 0;
    TW_UINT16 returnCode = TWRC_INFONOTSUPPORTED;
    std::uint32_t value = 0;   // a whole-number item's value
    double frame[4] = {};      // TWEI_FRAME: left, top, right, bottom in the application's unit
};

// "page 2 info: document 1, page 3, side top, frame number 1, frame
// 0-8.5 x 0-11, flavour chocolate, blank sheets before 1"; an item the
// source does not support reads "<name> not supported".
std::string ExtInfoLine(int page, const std::vector<ExtInfoItem>& items);
