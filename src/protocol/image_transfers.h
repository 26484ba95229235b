// The bookkeeping of the memory transfer that outlives one DAT_IMAGEMEMXFER
// call: how many bytes have been delivered and whether the last strip has
// gone. The transfer handlers themselves are declared in protocol/handlers.h.
#pragma once

// Back to no strip delivered. A new final scan calls it, so that a second
// memory transfer in the same opening starts at its first row.
void ResetMemoryTransfer();

#include <cstdint>

#include "twain/twain.h"

// The compression the pending image of `bitsPerPixel` comes in by the
// negotiated mechanism (TWCP_NONE for a native transfer, an uncompressed
// file or memory transfer), as DAT_IMAGEINFO tells it.
TW_UINT16 CompressionOfTransfer(std::uint32_t bitsPerPixel);
// libjpeg's quality for the negotiated ICAP_JPEGQUALITY.
int NegotiatedJpegQuality();
