// The rows of CapabilityInitTable. The masks matter only for the enumerated
// capabilities; the other rows leave them empty.
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
    // id                      container         item type  scale mask                                      min   max    cur   def   step  messages
    {CAP_XFERCOUNT,            TWON_ONEVALUE,    TWTY_INT16,  0,  0,                                         -1, 32767,   -1,   -1,  1,  kNegotiable},
    {CAP_FEEDERENABLED,        TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          0,     0,    0,    0,  0,  kNegotiable},
    {CAP_FEEDERLOADED,         TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          0,     1,    0,    0,  0,  kReadOnly},
    {CAP_AUTOFEED,             TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          1,     1,    1,    1,  1,  kNegotiable},
    {CAP_INDICATORS,           TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          0,     1,    1,    1,  0,  kNegotiable},
    {CAP_UICONTROLLABLE,       TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          1,     1,    1,    1,  0,  kReadOnly},
    {CAP_DEVICEONLINE,         TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          0,     1,    1,    1,  0,  kReadOnly},
    {ICAP_PIXELTYPE,           TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({TWPT_BW, TWPT_GRAY, TWPT_RGB}),       0,     2,    2,    2,  1,  kNegotiable},
    {ICAP_UNITS,               TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({0, 1, 2, 3, 4, 5}),                   0,     5,    5,    5,  1,  kNegotiable},
    {ICAP_XFERMECH,            TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY}), 0,    2,    0,    0,  1,  kNegotiable},
    {ICAP_XRESOLUTION,         TWON_RANGE,       TWTY_FIX32,  0,  0,                                         12,  2400,  150,  150,  1,  kNegotiable},
    {ICAP_YRESOLUTION,         TWON_RANGE,       TWTY_FIX32,  0,  0,                                         12,  2400,  150,  150,  1,  kNegotiable},
    {ICAP_BITORDER,            TWON_ONEVALUE,    TWTY_UINT16, 0,  0,                                          1,     1,    1,    1,  0,  kNegotiable},
    {ICAP_PIXELFLAVOR,         TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({TWPF_CHOCOLATE, TWPF_VANILLA}),       0,     1,    0,    0,  1,  kNegotiable},
    {ICAP_PLANARCHUNKY,        TWON_ONEVALUE,    TWTY_UINT16, 0,  0,                                          0,     0,    0,    0,  0,  kNegotiable},
    {ICAP_BITDEPTH,            TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({1, 8, 24}),                           1,    24,   24,   24,  0,  kNegotiable},
    {ICAP_IMAGEFILEFORMAT,     TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({TWFF_TIFF, TWFF_BMP, TWFF_JFIF, TWFF_TIFFMULTI, TWFF_PNG, TWFF_PDF}),
                                                                                                              0,    10,    2,    2,  1,  kNegotiable},
    // The compressions of every mechanism and format; MSG_GET lists those
    // of the present set-up (compression_rules.h).
    {ICAP_COMPRESSION,         TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({TWCP_NONE, TWCP_GROUP4, TWCP_JPEG, TWCP_LZW, TWCP_ZIP}),
                                                                                                              0,    13,    0,    0,  1,  kNegotiable},
    {CAP_PAPERDETECTABLE,      TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          0,     1,    0,    0,  0,  kReadOnly},
    {CAP_AUTOMATICSENSEMEDIUM, TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          0,     0,    0,    0,  0,  kNegotiable},
    {CAP_CUSTOMDSDATA,         TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          1,     1,    1,    1,  0,  kReadOnly},
    {ICAP_XNATIVERESOLUTION,   TWON_ONEVALUE,    TWTY_FIX32,  0,  0,  kScannerOpticalResolution, kScannerOpticalResolution, kScannerOpticalResolution, kScannerOpticalResolution, 0, kReadOnly},
    {ICAP_YNATIVERESOLUTION,   TWON_ONEVALUE,    TWTY_FIX32,  0,  0,  kScannerOpticalResolution, kScannerOpticalResolution, kScannerOpticalResolution, kScannerOpticalResolution, 0, kReadOnly},
    {ICAP_BITDEPTHREDUCTION,   TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({TWBR_THRESHOLD}),                     0,     0,    0,    0,  0,  kNegotiable},
    {ICAP_THRESHOLD,           TWON_ONEVALUE,    TWTY_FIX32,  0,  0,  kScannerThreshold, kScannerThreshold, kScannerThreshold, kScannerThreshold, 0, kNegotiable},
    {ICAP_SUPPORTEDSIZES,      TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({TWSS_NONE, TWSS_A4, TWSS_JISB5, TWSS_USLETTER, TWSS_USLEGAL, TWSS_A5,
                                                                        TWSS_ISOB6, TWSS_USEXECUTIVE, TWSS_A6, TWSS_C5, TWSS_C6}),
                                                                                                              0,    16,    0,    0,  1,  kNegotiable},
    {CAP_DUPLEX,               TWON_ONEVALUE,    TWTY_UINT16, 0,  0,                                          0,     0,    0,    0,  0,  kReadOnly},
    {CAP_DUPLEXENABLED,        TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          0,     0,    0,    0,  0,  kNegotiable},
    {CAP_ENABLEDSUIONLY,       TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          1,     1,    1,    1,  0,  kReadOnly},
    // The tone controls, on the tone map the scanner is sent: brightness and
    // contrast -1000 to 1000, gamma 0.10 to 10.00 in hundredths, shadow and
    // highlight as input levels.
    {ICAP_BRIGHTNESS,          TWON_RANGE,       TWTY_FIX32,  1,  0,                                      -1000,  1000,    0,    0,  1,  kNegotiable},
    {ICAP_CONTRAST,            TWON_RANGE,       TWTY_FIX32,  1,  0,                                      -1000,  1000,    0,    0,  1,  kNegotiable},
    {ICAP_GAMMA,               TWON_RANGE,       TWTY_FIX32,  100, 0,                                        10,  1000,  220,  220,  1,  kNegotiable},
    {ICAP_HIGHLIGHT,           TWON_RANGE,       TWTY_FIX32,  1,  0,                                          0,   255,  255,  255,  1,  kNegotiable},
    {ICAP_SHADOW,              TWON_RANGE,       TWTY_FIX32,  1,  0,                                          0,   255,    0,    0,  1,  kNegotiable},
    // The scanner's scaling as a factor in hundredths (1.00 is 100 %), the
    // same on both axes.
    {ICAP_XSCALING,            TWON_RANGE,       TWTY_FIX32,  100, 0,  kLowestScaling, kHighestScaling, 100, 100, 1, kNegotiable},
    {ICAP_YSCALING,            TWON_RANGE,       TWTY_FIX32,  100, 0,  kLowestScaling, kHighestScaling, 100, 100, 1, kNegotiable},
    {ICAP_EXTIMAGEINFO,        TWON_ONEVALUE,    TWTY_BOOL,   0,  0,                                          0,     1,    1,    1,  0,  kNegotiable},
    {ICAP_AUTODISCARDBLANKPAGES, TWON_ONEVALUE,  TWTY_INT32,  0,  0,                                         -2, 32767,   -2,   -2,  1,  kNegotiable},
    // The page turned clockwise: by ICAP_ROTATION (degrees, quarter turns
    // only) and by the orientation's quarters on top of it.
    {ICAP_ROTATION,            TWON_RANGE,       TWTY_FIX32,  1,  0,                                          0,   270,    0,    0, kQuarterTurnDegrees, kNegotiable},
    {ICAP_ORIENTATION,         TWON_ENUMERATION, TWTY_UINT16, 0,  Bits({TWOR_ROT0, TWOR_ROT90, TWOR_ROT180, TWOR_ROT270}),
                                                                                                              0,     3,    0,    0,  1,  kNegotiable},
    // 0 to 100, or one of the four named qualities (TWJQ_, -4 to -1).
    {ICAP_JPEGQUALITY,         TWON_RANGE,       TWTY_INT16,  0,  0,                                         -4,   100,   75,   75,  1,  kNegotiable},
    {ICAP_PHYSICALHEIGHT,      TWON_ONEVALUE,    TWTY_FIX32,  0,  0,                                          1,  4200, 4200, 4200,  1,  kReadOnly},
    {ICAP_PHYSICALWIDTH,       TWON_ONEVALUE,    TWTY_FIX32,  0,  0,                                          1,  2550, 2550, 2550,  1,  kReadOnly},
};
// clang-format on

static_assert(sizeof(CapabilityInit) == 24, "CapabilityInit keeps its 24-byte record");
