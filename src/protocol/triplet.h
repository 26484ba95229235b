// One DS_Entry call as the handlers see it, and the rows of the dispatch
// tables that route it.
#pragma once

#include "twain/twain.h"

struct TripletRequest {
    pTW_IDENTITY origin;
    TW_UINT32 dg;
    TW_UINT16 dat;
    TW_UINT16 msg;
    TW_MEMREF data;
};

using Handler = TW_UINT16 (*)(const TripletRequest* request) noexcept;

struct TripletHandler {
    TW_UINT16 dat;
    Handler handler;  // null in the closing row
};
