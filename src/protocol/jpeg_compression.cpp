// DAT_JPEGCOMPRESSION: how the source codes its JPEG data (libjpeg-turbo's
// baseline coding at ICAP_JPEGQUALITY): grey as one component, colour as
// YCbCr with the colour components halved both ways, no restart markers,
// and the coder's own tables, which travel in the data, so no table is
// handed out. The source codes only so: MSG_SET is refused.
#include <cstring>

#include "capabilities/capability_table.h"
#include "protocol/handlers.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"

TW_UINT16 JpegCompressionHandler(const TripletRequest* request) noexcept {
    if (sourceState < 400 || sourceState > 600) return Refuse(TWCC_SEQERROR);
    switch (request->msg) {
    case MSG_GET:
    case MSG_GETDEFAULT:
    case MSG_RESET: {
        if (request->msg == MSG_RESET && sourceState != 400) return Refuse(TWCC_SEQERROR);
        auto* jpeg = WritableData<TW_JPEGCOMPRESSION>(request);
        if (jpeg == nullptr) return Refuse(TWCC_BADVALUE);
        const bool colour = capabilityTable.Find(ICAP_PIXELTYPE).current == TWPT_RGB;
        std::memset(jpeg, 0, sizeof *jpeg);
        jpeg->ColorSpace = colour ? TWPT_YUV : TWPT_GRAY;
        // One nibble a component, horizontal factors then vertical ones.
        jpeg->SubSampling = colour ? 0x21102110u : 0x10001000u;
        jpeg->NumComponents = colour ? 3 : 1;
        jpeg->RestartFrequency = 0;
        jpeg->QuantMap[1] = jpeg->QuantMap[2] = colour ? 1 : 0;
        jpeg->HuffmanMap[1] = jpeg->HuffmanMap[2] = colour ? 1 : 0;
        return TWRC_SUCCESS;
    }
    default:  // MSG_SET too: the coding is fixed
        return Refuse(TWCC_BADPROTOCOL);
    }
}
