// The handlers of the two dispatch tables, one per DAT code.
#pragma once

#include "protocol/triplet.h"

TW_UINT16 IdentityHandler(const TripletRequest* request) noexcept;
TW_UINT16 UserInterfaceHandler(const TripletRequest* request) noexcept;
TW_UINT16 CapabilityHandler(const TripletRequest* request) noexcept;
TW_UINT16 StatusHandler(const TripletRequest* request) noexcept;
TW_UINT16 PendingXfersHandler(const TripletRequest* request) noexcept;
TW_UINT16 SetupMemXferHandler(const TripletRequest* request) noexcept;
TW_UINT16 SetupFileXferHandler(const TripletRequest* request) noexcept;
TW_UINT16 XferGroupHandler(const TripletRequest* request) noexcept;
TW_UINT16 EntryPointHandler(const TripletRequest* request) noexcept;
TW_UINT16 CustomDsDataHandler(const TripletRequest* request) noexcept;

TW_UINT16 ImageInfoHandler(const TripletRequest* request) noexcept;
TW_UINT16 ImageLayoutHandler(const TripletRequest* request) noexcept;
TW_UINT16 ImageMemXferHandler(const TripletRequest* request) noexcept;
TW_UINT16 ImageNativeXferHandler(const TripletRequest* request) noexcept;
TW_UINT16 ImageFileXferHandler(const TripletRequest* request) noexcept;
TW_UINT16 ExtImageInfoHandler(const TripletRequest* request) noexcept;
TW_UINT16 JpegCompressionHandler(const TripletRequest* request) noexcept;

// The image type (0 bi-level, 1 grey, 2 colour) the negotiated
// ICAP_BITDEPTH and ICAP_PIXELTYPE choose.
int NegotiatedImageType();
