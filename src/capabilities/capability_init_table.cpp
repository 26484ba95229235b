// The rows of CapabilityInitTable and SupportedCapsList. The masks matter
// only for the enumerated capabilities; the other rows leave them empty.
#include "capabilities/capability_init_table.h"

#include <initializer_list>

namespace {

constexpr TW_UINT32 Bits(std::initializer_list<unsigned> values) {
    TW_UINT32 mask = 0;
    for (unsigned v : values) mask |= TW_UINT32{1} << v;
    return mask;
}

}  // namespace

// clang-format off
const CapabilityInit CapabilityInitTable[kCapabilityCount] = {
    // id                  container         item type    pad mask                                      min   max    cur   def   step pad
    {CAP_XFERCOUNT,        TWON_ONEVALUE,    TWTY_INT16,  0,  0,                                         -1, 32767,   -1,   -1,  1,  0},
    {CAP_FEEDERENABLED,    TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          0,     1,    0,    0,  0,  0},
    {CAP_FEEDERLOADED,     TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          0,     1,    0,    0,  0,  0},
    {CAP_AUTOFEED,         TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          1,     1,    1,    1,  1,  0},
    {CAP_INDICATORS,       TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          0,     0,    0,    0,  0,  0},
    {CAP_UICONTROLLABLE,   TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          1,     1,    1,    1,  0,  0},
    {CAP_DEVICEONLINE,     TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          0,     1,    1,    1,  0,  0},
    {ICAP_PIXELTYPE,       TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({TWPT_BW, TWPT_GRAY, TWPT_RGB}),       0,     2,    2,    2,  1,  0},
    {ICAP_UNITS,           TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({0, 1, 2, 3, 4, 5}),                   0,     5,    5,    5,  1,  0},
    {ICAP_XFERMECH,        TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY}), 0,    2,    0,    0,  1,  0},
    {ICAP_XRESOLUTION,     TWON_RANGE,       TWTY_UINT16, 0,  0,                                         12,  2400,  150,  150,  1,  0},
    {ICAP_YRESOLUTION,     TWON_RANGE,       TWTY_UINT16, 0,  0,                                         12,  2400,  150,  150,  1,  0},
    {ICAP_BITORDER,        TWON_ONEVALUE,    TWTY_UINT16, 0,  0,                                          1,     1,    1,    1,  0,  0},
    {ICAP_PIXELFLAVOR,     TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({TWPF_CHOCOLATE, TWPF_VANILLA}),       0,     1,    0,    0,  1,  0},
    {ICAP_PLANARCHUNKY,    TWON_ONEVALUE,    TWTY_UINT16, 0,  0,                                          0,     0,    0,    0,  0,  0},
    {ICAP_BITDEPTH,        TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({1, 8, 24}),                           1,    24,   24,   24,  0,  0},
    {ICAP_IMAGEFILEFORMAT, TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({TWFF_TIFF, TWFF_BMP}),                0,     2,    2,    2,  1,  0},
    {ICAP_COMPRESSION,     TWON_ONEVALUE,    TWTY_UINT16, 0,  0,                                          0,     0,    0,    0,  1,  0},
    {ICAP_PHYSICALHEIGHT,  TWON_ONEVALUE,    TWTY_FIX32,  0,  0,                                          1,  4200, 4200, 4200,  1,  0},
    {ICAP_PHYSICALWIDTH,   TWON_ONEVALUE,    TWTY_FIX32,  0,  0,                                          1,  2550, 2550, 2550,  1,  0},
};

const TW_UINT16 SupportedCapsList[kSupportedCapsCount] = {
    CAP_XFERCOUNT,    CAP_FEEDERENABLED, CAP_FEEDERLOADED,  CAP_AUTOFEED,      CAP_INDICATORS,
    CAP_UICONTROLLABLE, CAP_DEVICEONLINE, CAP_SUPPORTEDCAPS, ICAP_PIXELTYPE,   ICAP_UNITS,
    ICAP_XFERMECH,    ICAP_XRESOLUTION,  ICAP_YRESOLUTION,  ICAP_BITORDER,     ICAP_PIXELFLAVOR,
    ICAP_PLANARCHUNKY, ICAP_BITDEPTH,    ICAP_IMAGEFILEFORMAT, ICAP_PHYSICALHEIGHT, ICAP_PHYSICALWIDTH,
};
// clang-format on

static_assert(sizeof(CapabilityInit) == 24, "CapabilityInit keeps its 24-byte record");
