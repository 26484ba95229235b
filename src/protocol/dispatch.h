// The entry point's core: caller filter, event processing and the two
// dispatch tables. DS_Entry (module/) wraps it for the outside world.
#pragma once

#include "protocol/triplet.h"

extern const TripletHandler controlTable[];
extern const TripletHandler imageTable[];

// Everything DS_Entry does but catching what escapes.
TW_UINT16 Dispatch(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
