// Which compressions a transfer can carry: a native transfer is always an
// uncompressed DIB; memory strips may be JPEG (grey and colour) or Group 4
// (1-bit); a file takes what its format holds. ICAP_COMPRESSION lists and
// takes only those of the present mechanism, pixel type and file format,
// and follows when one of them changes.
#pragma once

#include "capabilities/capability_table.h"
#include "twain/twain.h"

// The TWCP_ values (as bits 0 to 31) a transfer of `mechanism` (TWSX_),
// `pixelType` (TWPT_) and, for a file, `format` (TWFF_) can carry.
TW_UINT32 CompressionsFor(TW_UINT16 mechanism, TW_UINT16 pixelType, TW_UINT16 format);
// What ICAP_COMPRESSION lists and takes now: for a file transfer, what any
// format carries for the pixel type (applications often name the format
// only with the file, after the compression); else CompressionsFor.
TW_UINT32 CompressionsNow(CapabilityTable& table);
// Puts ICAP_COMPRESSION back on a value the set-up can carry, when a change
// of mechanism or pixel type left it on one it cannot, or (`formatNamed`)
// the file format just named cannot carry it: no compression, or the
// format's own when it has nothing else (JPEG for JFIF).
void FollowCompression(CapabilityTable& table, bool formatNamed = false);
// libjpeg's quality for ICAP_JPEGQUALITY's value.
int JpegQualityOf(TW_INT16 value);
