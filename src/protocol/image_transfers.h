// The bookkeeping of the memory transfer that outlives one DAT_IMAGEMEMXFER
// call: how many bytes have been delivered and whether the last strip has
// gone. The transfer handlers themselves are declared in protocol/handlers.h.
#pragma once

// Back to no strip delivered. A new final scan calls it, so that a second
// memory transfer in the same opening starts at its first row.
void ResetMemoryTransfer();
