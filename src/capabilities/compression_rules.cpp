// The compressions each transfer carries, and ICAP_COMPRESSION following
// the set-up.
#include "capabilities/compression_rules.h"

namespace {

constexpr TW_UINT32 Bit(TW_UINT16 value) { return TW_UINT32{1} << value; }

}  // namespace

TW_UINT32 CompressionsFor(TW_UINT16 mechanism, TW_UINT16 pixelType, TW_UINT16 format) {
    const bool bilevel = pixelType == TWPT_BW;
    // JPEG for grey and colour, Group 4 for 1-bit.
    const TW_UINT32 native = bilevel ? Bit(TWCP_GROUP4) : Bit(TWCP_JPEG);
    switch (mechanism) {
    case TWSX_MEMORY:
        return Bit(TWCP_NONE) | native;
    case TWSX_FILE:
        switch (format) {
        case TWFF_TIFF:
        case TWFF_TIFFMULTI:
            return Bit(TWCP_NONE) | native | Bit(TWCP_LZW) | Bit(TWCP_ZIP);
        case TWFF_PDF:
            return Bit(TWCP_NONE) | native;
        case TWFF_JFIF:
            // A drawing goes into a JPEG file as grey.
            return Bit(TWCP_JPEG);
        default:
            // BMP, and PNG, which has its own coding.
            return Bit(TWCP_NONE);
        }
    default:
        return Bit(TWCP_NONE);
    }
}

namespace {

TW_UINT32 CompressionsOf(CapabilityTable& table, bool formatNamed) {
    const auto mechanism = static_cast<TW_UINT16>(table.Find(ICAP_XFERMECH).current);
    const auto pixelType = static_cast<TW_UINT16>(table.Find(ICAP_PIXELTYPE).current);
    if (mechanism != TWSX_FILE || formatNamed) {
        return CompressionsFor(mechanism, pixelType, static_cast<TW_UINT16>(table.Find(ICAP_IMAGEFILEFORMAT).current));
    }
    TW_UINT32 any = 0;
    for (TW_UINT16 format : {TWFF_TIFF, TWFF_BMP, TWFF_JFIF, TWFF_TIFFMULTI, TWFF_PNG, TWFF_PDF}) {
        any |= CompressionsFor(mechanism, pixelType, format);
    }
    return any;
}

}  // namespace

TW_UINT32 CompressionsNow(CapabilityTable& table) { return CompressionsOf(table, false); }

void FollowCompression(CapabilityTable& table, bool formatNamed) {
    Capability* compression = table.Lookup(ICAP_COMPRESSION);
    if (compression == nullptr) return;
    const TW_UINT32 carried = CompressionsOf(table, formatNamed);
    if (compression->current >= 0 && compression->current < 32 && (carried >> compression->current & 1)) return;
    compression->current = (carried & Bit(TWCP_NONE)) ? TWCP_NONE : TWCP_JPEG;
}

int JpegQualityOf(TW_INT16 value) {
    switch (value) {
    case TWJQ_LOW: return 50;
    case TWJQ_MEDIUM: return 75;
    case TWJQ_HIGH: return 90;
    case TWJQ_UNKNOWN: return 75;
    default: return value < 1 ? 1 : value > 100 ? 100 : value;
    }
}
