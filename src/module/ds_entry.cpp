// DS_Entry: the one function the module exports. It only guards the
// boundary: nothing thrown inside ever reaches the application.
#include "protocol/dispatch.h"
#include "protocol/reporting.h"

extern "C" TW_UINT16 TW_CALLINGSTYLE DS_Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                              TW_MEMREF data) {
    try {
        return Dispatch(origin, dg, dat, msg, data);
    } catch (...) {
        conditionCode = TWCC_BUMMER;
        return TWRC_FAILURE;
    }
}
