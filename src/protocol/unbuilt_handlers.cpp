// Handlers whose triplets this source does not answer yet: they refuse with
// TWCC_BADPROTOCOL, as for an unknown DAT.
#include "protocol/handlers.h"
#include "protocol/reporting.h"

namespace {
TW_UINT16 NotYetAnswered() { return Refuse(TWCC_BADPROTOCOL); }
}  // namespace

TW_UINT16 ImageMemXferHandler(const TripletRequest*) noexcept { return NotYetAnswered(); }
TW_UINT16 ImageNativeXferHandler(const TripletRequest*) noexcept { return NotYetAnswered(); }
TW_UINT16 ImageFileXferHandler(const TripletRequest*) noexcept { return NotYetAnswered(); }
