// The TWAIN declarations this source speaks: scalar types, the packed
// structures exchanged through DS_Entry and DSM_Entry, and the codes, the
// 1.6 set and the TWAIN 2 additions (manager entry points, callbacks,
// capability query bits).
// Everything is laid out with 2-byte packing; the sizes of the 32-bit and
// 64-bit Windows builds are pinned below so that a layout slip cannot go
// unnoticed.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define TW_CALLINGSTYLE __stdcall
#else
#define TW_CALLINGSTYLE
#endif

using TW_INT8 = std::int8_t;
using TW_UINT8 = std::uint8_t;
using TW_INT16 = std::int16_t;
using TW_UINT16 = std::uint16_t;
using TW_INT32 = std::int32_t;
using TW_UINT32 = std::uint32_t;
using TW_BOOL = std::uint16_t;
using TW_HANDLE = void*;
using TW_UINTPTR = std::uintptr_t;
using TW_MEMREF = void*;
using TW_STR32 = char[34];
using TW_STR64 = char[66];
using TW_STR128 = char[130];
using TW_STR255 = char[256];

#pragma pack(push, 2)

struct TW_FIX32 {
    TW_INT16 Whole;
    TW_UINT16 Frac;
};

struct TW_FRAME {
    TW_FIX32 Left;
    TW_FIX32 Top;
    TW_FIX32 Right;
    TW_FIX32 Bottom;
};

struct TW_VERSION {
    TW_UINT16 MajorNum;
    TW_UINT16 MinorNum;
    TW_UINT16 Language;
    TW_UINT16 Country;
    TW_STR32 Info;
};

struct TW_IDENTITY {
    TW_UINT32 Id;
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor;
    TW_UINT16 ProtocolMinor;
    TW_UINT32 SupportedGroups;
    TW_STR32 Manufacturer;
    TW_STR32 ProductFamily;
    TW_STR32 ProductName;
};

struct TW_USERINTERFACE {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
};

struct TW_EVENT {
    TW_MEMREF pEvent;
    TW_UINT16 TWMessage;
};

struct TW_STATUS {
    TW_UINT16 ConditionCode;
    TW_UINT16 Reserved;
};

struct TW_PENDINGXFERS {
    TW_UINT16 Count;
    TW_UINT32 EOJ;
};

struct TW_SETUPMEMXFER {
    TW_UINT32 MinBufSize;
    TW_UINT32 MaxBufSize;
    TW_UINT32 Preferred;
};

struct TW_SETUPFILEXFER {
    TW_STR255 FileName;
    TW_UINT16 Format;
    TW_INT16 VRefNum;
};

struct TW_CAPABILITY {
    TW_UINT16 Cap;
    TW_UINT16 ConType;
    TW_HANDLE hContainer;
};

struct TW_ONEVALUE {
    TW_UINT16 ItemType;
    TW_UINT32 Item;
};

struct TW_RANGE {
    TW_UINT16 ItemType;
    TW_UINT32 MinValue;
    TW_UINT32 MaxValue;
    TW_UINT32 StepSize;
    TW_UINT32 DefaultValue;
    TW_UINT32 CurrentValue;
};

struct TW_ENUMERATION {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT32 CurrentIndex;
    TW_UINT32 DefaultIndex;
    TW_UINT8 ItemList[1];
};

struct TW_ARRAY {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT8 ItemList[1];
};

struct TW_IMAGEINFO {
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_INT32 ImageWidth;
    TW_INT32 ImageLength;
    TW_INT16 SamplesPerPixel;
    TW_INT16 BitsPerSample[8];
    TW_INT16 BitsPerPixel;
    TW_BOOL Planar;
    TW_INT16 PixelType;
    TW_UINT16 Compression;
};

struct TW_IMAGELAYOUT {
    TW_FRAME Frame;
    TW_UINT32 DocumentNumber;
    TW_UINT32 PageNumber;
    TW_UINT32 FrameNumber;
};

// DAT_EXTIMAGEINFO: the application names the items it wants (InfoID of
// each Info), the source fills the rest. Item holds the value itself when
// NumItems values of ItemType fit TW_UINTPTR, else a handle to a block the
// application frees. ReturnCode was CondCode in TWAIN 1.x: the same two bytes.
struct TW_INFO {
    TW_UINT16 InfoID;
    TW_UINT16 ItemType;
    TW_UINT16 NumItems;
    TW_UINT16 ReturnCode;
    TW_UINTPTR Item;
};

struct TW_EXTIMAGEINFO {
    TW_UINT32 NumInfos;
    TW_INFO Info[1];
};

struct TW_MEMORY {
    TW_UINT32 Flags;
    TW_UINT32 Length;
    TW_MEMREF TheMem;
};

// DAT_JPEGCOMPRESSION: how the source codes JPEG. Tables left empty are
// the coder's own, carried in the data.
struct TW_JPEGCOMPRESSION {
    TW_UINT16 ColorSpace;
    TW_UINT32 SubSampling;
    TW_UINT16 NumComponents;
    TW_UINT16 RestartFrequency;
    TW_UINT16 QuantMap[4];
    TW_MEMORY QuantTable[4];
    TW_UINT16 HuffmanMap[4];
    TW_MEMORY HuffmanDC[2];
    TW_MEMORY HuffmanAC[2];
};

struct TW_IMAGEMEMXFER {
    TW_UINT16 Compression;
    TW_UINT32 BytesPerRow;
    TW_UINT32 Columns;
    TW_UINT32 Rows;
    TW_UINT32 XOffset;
    TW_UINT32 YOffset;
    TW_UINT32 BytesWritten;
    TW_MEMORY Memory;
};

#pragma pack(pop)

using pTW_IDENTITY = TW_IDENTITY*;

// The TWAIN 2 manager's memory functions, which it hands its sources.
extern "C" {
typedef TW_HANDLE(TW_CALLINGSTYLE* DSM_MEMALLOCATE)(TW_UINT32 size);
typedef void(TW_CALLINGSTYLE* DSM_MEMFREE)(TW_HANDLE handle);
typedef TW_MEMREF(TW_CALLINGSTYLE* DSM_MEMLOCK)(TW_HANDLE handle);
typedef void(TW_CALLINGSTYLE* DSM_MEMUNLOCK)(TW_HANDLE handle);
typedef TW_UINT16(TW_CALLINGSTYLE* DSMENTRYPROC)(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16,
                                                 TW_MEMREF);
}

#pragma pack(push, 2)

// DAT_ENTRYPOINT: Size is the structure's own size as the manager built it.
struct TW_ENTRYPOINT {
    TW_UINT32 Size;
    DSMENTRYPROC DSM_Entry;
    DSM_MEMALLOCATE DSM_MemAllocate;
    DSM_MEMFREE DSM_MemFree;
    DSM_MEMLOCK DSM_MemLock;
    DSM_MEMUNLOCK DSM_MemUnlock;
};

// DAT_CALLBACK: the application's procedure the manager calls with the
// source's notifications.
struct TW_CALLBACK {
    TW_MEMREF CallBackProc;
    TW_UINT32 RefCon;
    TW_INT16 Message;
};

// DAT_CUSTOMDSDATA: a block of the source's own making that holds its whole
// set-up; InfoLength counts the bytes of hData that belong to it.
struct TW_CUSTOMDSDATA {
    TW_UINT32 InfoLength;
    TW_HANDLE hData;
};

#pragma pack(pop)

// Byte offsets and sizes that hold on every build (no handle or pointer involved).
static_assert(sizeof(TW_FIX32) == 4, "TW_FIX32");
static_assert(sizeof(TW_FRAME) == 16, "TW_FRAME");
static_assert(sizeof(TW_VERSION) == 42, "TW_VERSION");
static_assert(sizeof(TW_IDENTITY) == 156, "TW_IDENTITY");
static_assert(sizeof(TW_STATUS) == 4, "TW_STATUS");
static_assert(sizeof(TW_PENDINGXFERS) == 6, "TW_PENDINGXFERS");
static_assert(sizeof(TW_SETUPMEMXFER) == 12, "TW_SETUPMEMXFER");
static_assert(sizeof(TW_SETUPFILEXFER) == 260, "TW_SETUPFILEXFER");
static_assert(sizeof(TW_ONEVALUE) == 6, "TW_ONEVALUE");
static_assert(sizeof(TW_RANGE) == 22, "TW_RANGE");
static_assert(sizeof(TW_IMAGEINFO) == 42, "TW_IMAGEINFO");
static_assert(sizeof(TW_IMAGELAYOUT) == 28, "TW_IMAGELAYOUT");
static_assert(offsetof(TW_IDENTITY, ProtocolMajor) == 46, "TW_IDENTITY.ProtocolMajor");
static_assert(offsetof(TW_IDENTITY, SupportedGroups) == 50, "TW_IDENTITY.SupportedGroups");
static_assert(offsetof(TW_IDENTITY, Manufacturer) == 54, "TW_IDENTITY.Manufacturer");
static_assert(offsetof(TW_IDENTITY, ProductFamily) == 88, "TW_IDENTITY.ProductFamily");
static_assert(offsetof(TW_IDENTITY, ProductName) == 122, "TW_IDENTITY.ProductName");
static_assert(offsetof(TW_ENUMERATION, ItemList) == 14, "TW_ENUMERATION.ItemList");
static_assert(offsetof(TW_ARRAY, ItemList) == 6, "TW_ARRAY.ItemList");
static_assert(offsetof(TW_IMAGEINFO, BitsPerSample) == 18, "TW_IMAGEINFO.BitsPerSample");
static_assert(offsetof(TW_IMAGEINFO, BitsPerPixel) == 34, "TW_IMAGEINFO.BitsPerPixel");
static_assert(offsetof(TW_IMAGEINFO, Compression) == 40, "TW_IMAGEINFO.Compression");
static_assert(offsetof(TW_IMAGEMEMXFER, BytesWritten) == 22, "TW_IMAGEMEMXFER.BytesWritten");
static_assert(offsetof(TW_IMAGEMEMXFER, Memory) == 26, "TW_IMAGEMEMXFER.Memory");
static_assert(offsetof(TW_JPEGCOMPRESSION, QuantTable) == 18, "TW_JPEGCOMPRESSION.QuantTable");
static_assert(offsetof(TW_SETUPFILEXFER, Format) == 256, "TW_SETUPFILEXFER.Format");
static_assert(sizeof(TW_UINTPTR) == sizeof(void*), "TW_UINTPTR holds a handle");
static_assert(offsetof(TW_INFO, ReturnCode) == 6, "TW_INFO.ReturnCode");
static_assert(offsetof(TW_INFO, Item) == 8, "TW_INFO.Item");
static_assert(offsetof(TW_EXTIMAGEINFO, Info) == 4, "TW_EXTIMAGEINFO.Info");

#if defined(_WIN32) && !defined(_WIN64)
// The layouts an application of the 32-bit Windows build exchanges.
static_assert(sizeof(void*) == 4, "32-bit build");
static_assert(sizeof(TW_USERINTERFACE) == 8, "TW_USERINTERFACE");
static_assert(sizeof(TW_EVENT) == 6, "TW_EVENT");
static_assert(sizeof(TW_CAPABILITY) == 8, "TW_CAPABILITY");
static_assert(sizeof(TW_MEMORY) == 12, "TW_MEMORY");
static_assert(sizeof(TW_IMAGEMEMXFER) == 38, "TW_IMAGEMEMXFER");
static_assert(sizeof(TW_JPEGCOMPRESSION) == 122, "TW_JPEGCOMPRESSION");
static_assert(sizeof(TW_ENTRYPOINT) == 24, "TW_ENTRYPOINT");
static_assert(sizeof(TW_CALLBACK) == 10, "TW_CALLBACK");
static_assert(sizeof(TW_CUSTOMDSDATA) == 8, "TW_CUSTOMDSDATA");
static_assert(sizeof(TW_INFO) == 12, "TW_INFO");
static_assert(sizeof(TW_EXTIMAGEINFO) == 16, "TW_EXTIMAGEINFO");
#elif defined(_WIN64)
// The layouts of the 64-bit Windows build: handles and pointers of 8 bytes
// with the same 2-byte packing, so nothing is padded before them.
static_assert(sizeof(void*) == 8, "64-bit build");
static_assert(sizeof(TW_USERINTERFACE) == 12, "TW_USERINTERFACE");
static_assert(sizeof(TW_EVENT) == 10, "TW_EVENT");
static_assert(sizeof(TW_CAPABILITY) == 12, "TW_CAPABILITY");
static_assert(sizeof(TW_MEMORY) == 16, "TW_MEMORY");
static_assert(sizeof(TW_IMAGEMEMXFER) == 42, "TW_IMAGEMEMXFER");
static_assert(sizeof(TW_ENTRYPOINT) == 44, "TW_ENTRYPOINT");
static_assert(sizeof(TW_CALLBACK) == 14, "TW_CALLBACK");
static_assert(sizeof(TW_CUSTOMDSDATA) == 12, "TW_CUSTOMDSDATA");
static_assert(sizeof(TW_INFO) == 16, "TW_INFO");
static_assert(sizeof(TW_EXTIMAGEINFO) == 20, "TW_EXTIMAGEINFO");
static_assert(offsetof(TW_USERINTERFACE, hParent) == 4, "TW_USERINTERFACE.hParent");
static_assert(offsetof(TW_CAPABILITY, hContainer) == 4, "TW_CAPABILITY.hContainer");
static_assert(offsetof(TW_MEMORY, TheMem) == 8, "TW_MEMORY.TheMem");
#endif
// Pointer-sized members follow the 4-byte Size at offset 4 on every build.
static_assert(offsetof(TW_ENTRYPOINT, DSM_Entry) == 4, "TW_ENTRYPOINT.DSM_Entry");
static_assert(offsetof(TW_CALLBACK, RefCon) == sizeof(TW_MEMREF), "TW_CALLBACK.RefCon");
static_assert(offsetof(TW_CUSTOMDSDATA, hData) == 4, "TW_CUSTOMDSDATA.hData");

// Data groups.
constexpr TW_UINT32 DG_CONTROL = 0x0001;
constexpr TW_UINT32 DG_IMAGE = 0x0002;
constexpr TW_UINT32 DG_AUDIO = 0x0004;

// Data argument types.
constexpr TW_UINT16 DAT_NULL = 0x0000;
constexpr TW_UINT16 DAT_CAPABILITY = 0x0001;
constexpr TW_UINT16 DAT_EVENT = 0x0002;
constexpr TW_UINT16 DAT_IDENTITY = 0x0003;
constexpr TW_UINT16 DAT_PARENT = 0x0004;
constexpr TW_UINT16 DAT_PENDINGXFERS = 0x0005;
constexpr TW_UINT16 DAT_SETUPMEMXFER = 0x0006;
constexpr TW_UINT16 DAT_SETUPFILEXFER = 0x0007;
constexpr TW_UINT16 DAT_STATUS = 0x0008;
constexpr TW_UINT16 DAT_USERINTERFACE = 0x0009;
constexpr TW_UINT16 DAT_XFERGROUP = 0x000A;
constexpr TW_UINT16 DAT_CUSTOMDSDATA = 0x000C;
constexpr TW_UINT16 DAT_CALLBACK = 0x0010;
constexpr TW_UINT16 DAT_STATUSUTF8 = 0x0011;
constexpr TW_UINT16 DAT_CALLBACK2 = 0x0012;
constexpr TW_UINT16 DAT_ENTRYPOINT = 0x0403;
constexpr TW_UINT16 DAT_IMAGEINFO = 0x0101;
constexpr TW_UINT16 DAT_IMAGELAYOUT = 0x0102;
constexpr TW_UINT16 DAT_IMAGEMEMXFER = 0x0103;
constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x0104;
constexpr TW_UINT16 DAT_IMAGEFILEXFER = 0x0105;
constexpr TW_UINT16 DAT_EXTIMAGEINFO = 0x010B;
constexpr TW_UINT16 DAT_JPEGCOMPRESSION = 0x0109;

// Messages.
constexpr TW_UINT16 MSG_NULL = 0x0000;
constexpr TW_UINT16 MSG_GET = 0x0001;
constexpr TW_UINT16 MSG_GETCURRENT = 0x0002;
constexpr TW_UINT16 MSG_GETDEFAULT = 0x0003;
constexpr TW_UINT16 MSG_GETFIRST = 0x0004;
constexpr TW_UINT16 MSG_GETNEXT = 0x0005;
constexpr TW_UINT16 MSG_SET = 0x0006;
constexpr TW_UINT16 MSG_RESET = 0x0007;
constexpr TW_UINT16 MSG_QUERYSUPPORT = 0x0008;
constexpr TW_UINT16 MSG_GETHELP = 0x0009;
constexpr TW_UINT16 MSG_GETLABEL = 0x000A;
constexpr TW_UINT16 MSG_GETLABELENUM = 0x000B;
constexpr TW_UINT16 MSG_SETCONSTRAINT = 0x000C;
constexpr TW_UINT16 MSG_XFERREADY = 0x0101;
constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
constexpr TW_UINT16 MSG_CLOSEDSOK = 0x0103;
constexpr TW_UINT16 MSG_OPENDSM = 0x0301;
constexpr TW_UINT16 MSG_CLOSEDSM = 0x0302;
constexpr TW_UINT16 MSG_OPENDS = 0x0401;
constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
constexpr TW_UINT16 MSG_USERSELECT = 0x0403;
constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
constexpr TW_UINT16 MSG_ENABLEDSUIONLY = 0x0503;
constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
constexpr TW_UINT16 MSG_ENDXFER = 0x0701;
constexpr TW_UINT16 MSG_REGISTER_CALLBACK = 0x0902;
constexpr TW_UINT16 MSG_RESETALL = 0x0A01;

// SupportedGroups flags of TWAIN 2 parties.
constexpr TW_UINT32 DF_DSM2 = 0x10000000;
constexpr TW_UINT32 DF_APP2 = 0x20000000;
constexpr TW_UINT32 DF_DS2 = 0x40000000;

// MSG_QUERYSUPPORT answer bits.
constexpr TW_INT32 TWQC_GET = 0x0001;
constexpr TW_INT32 TWQC_SET = 0x0002;
constexpr TW_INT32 TWQC_GETDEFAULT = 0x0004;
constexpr TW_INT32 TWQC_GETCURRENT = 0x0008;
constexpr TW_INT32 TWQC_RESET = 0x0010;
constexpr TW_INT32 TWQC_SETCONSTRAINT = 0x0020;
constexpr TW_INT32 TWQC_CONSTRAINABLE = 0x0040;

// Return codes.
constexpr TW_UINT16 TWRC_SUCCESS = 0;
constexpr TW_UINT16 TWRC_FAILURE = 1;
constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
constexpr TW_UINT16 TWRC_CANCEL = 3;
constexpr TW_UINT16 TWRC_DSEVENT = 4;
constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
constexpr TW_UINT16 TWRC_XFERDONE = 6;
constexpr TW_UINT16 TWRC_ENDOFLIST = 7;
constexpr TW_UINT16 TWRC_INFONOTSUPPORTED = 8;

// Condition codes.
constexpr TW_UINT16 TWCC_SUCCESS = 0;
constexpr TW_UINT16 TWCC_BUMMER = 1;
constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
constexpr TW_UINT16 TWCC_NODS = 3;
constexpr TW_UINT16 TWCC_MAXCONNECTIONS = 4;
constexpr TW_UINT16 TWCC_OPERATIONERROR = 5;
constexpr TW_UINT16 TWCC_BADCAP = 6;
constexpr TW_UINT16 TWCC_BADPROTOCOL = 9;
constexpr TW_UINT16 TWCC_BADVALUE = 10;
constexpr TW_UINT16 TWCC_SEQERROR = 11;
constexpr TW_UINT16 TWCC_BADDEST = 12;
constexpr TW_UINT16 TWCC_CAPUNSUPPORTED = 13;
constexpr TW_UINT16 TWCC_CAPBADOPERATION = 14;
constexpr TW_UINT16 TWCC_CAPSEQERROR = 15;
constexpr TW_UINT16 TWCC_PAPERJAM = 20;
constexpr TW_UINT16 TWCC_CHECKDEVICEONLINE = 23;
constexpr TW_UINT16 TWCC_NOMEDIA = 29;

// Container types.
constexpr TW_UINT16 TWON_ARRAY = 3;
constexpr TW_UINT16 TWON_ENUMERATION = 4;
constexpr TW_UINT16 TWON_ONEVALUE = 5;
constexpr TW_UINT16 TWON_RANGE = 6;

// Item types.
constexpr TW_UINT16 TWTY_INT8 = 0;
constexpr TW_UINT16 TWTY_INT16 = 1;
constexpr TW_UINT16 TWTY_INT32 = 2;
constexpr TW_UINT16 TWTY_UINT8 = 3;
constexpr TW_UINT16 TWTY_UINT16 = 4;
constexpr TW_UINT16 TWTY_UINT32 = 5;
constexpr TW_UINT16 TWTY_BOOL = 6;
constexpr TW_UINT16 TWTY_FIX32 = 7;
constexpr TW_UINT16 TWTY_FRAME = 8;
constexpr TW_UINT16 TWTY_STR32 = 9;
constexpr TW_UINT16 TWTY_STR64 = 10;
constexpr TW_UINT16 TWTY_STR128 = 11;
constexpr TW_UINT16 TWTY_STR255 = 12;

// Units, pixel types, flavours, transfer mechanisms, file formats, compression.
constexpr TW_UINT16 TWUN_INCHES = 0;
constexpr TW_UINT16 TWUN_CENTIMETERS = 1;
constexpr TW_UINT16 TWUN_PICAS = 2;
constexpr TW_UINT16 TWUN_POINTS = 3;
constexpr TW_UINT16 TWUN_TWIPS = 4;
constexpr TW_UINT16 TWUN_PIXELS = 5;
constexpr TW_UINT16 TWPT_BW = 0;
constexpr TW_UINT16 TWPT_GRAY = 1;
constexpr TW_UINT16 TWPT_RGB = 2;
constexpr TW_UINT16 TWPF_CHOCOLATE = 0;
constexpr TW_UINT16 TWPF_VANILLA = 1;
constexpr TW_UINT16 TWSX_NATIVE = 0;
constexpr TW_UINT16 TWSX_FILE = 1;
constexpr TW_UINT16 TWSX_MEMORY = 2;
constexpr TW_UINT16 TWFF_TIFF = 0;
constexpr TW_UINT16 TWFF_PICT = 1;
constexpr TW_UINT16 TWFF_BMP = 2;
constexpr TW_UINT16 TWFF_JFIF = 4;
constexpr TW_UINT16 TWFF_TIFFMULTI = 6;
constexpr TW_UINT16 TWFF_PNG = 7;
constexpr TW_UINT16 TWFF_PDF = 10;
constexpr TW_UINT16 TWCP_NONE = 0;
constexpr TW_UINT16 TWCP_GROUP4 = 5;
constexpr TW_UINT16 TWCP_JPEG = 6;
constexpr TW_UINT16 TWCP_LZW = 7;
constexpr TW_UINT16 TWCP_ZIP = 13;
// ICAP_JPEGQUALITY's named qualities (0 to 100 are qualities themselves).
constexpr TW_INT16 TWJQ_UNKNOWN = -4;
constexpr TW_INT16 TWJQ_LOW = -3;
constexpr TW_INT16 TWJQ_MEDIUM = -2;
constexpr TW_INT16 TWJQ_HIGH = -1;
// A TW_IMAGEMEMXFER field that does not apply (a compressed strip's rows).
constexpr TW_UINT32 TWON_DONTCARE32 = 0xFFFFFFFF;
constexpr TW_UINT16 TWPT_YUV = 6;
constexpr TW_UINT16 TWBR_THRESHOLD = 0;
// CAP_DUPLEX
constexpr TW_UINT16 TWDX_NONE = 0;
constexpr TW_UINT16 TWDX_1PASSDUPLEX = 1;
constexpr TW_UINT16 TWDX_2PASSDUPLEX = 2;
// Page sizes of ICAP_SUPPORTEDSIZES (the ones a bed of 8.5 x 14 inches holds).
constexpr TW_UINT16 TWSS_NONE = 0;
constexpr TW_UINT16 TWSS_A4 = 1;
constexpr TW_UINT16 TWSS_JISB5 = 2;
constexpr TW_UINT16 TWSS_USLETTER = 3;
constexpr TW_UINT16 TWSS_USLEGAL = 4;
constexpr TW_UINT16 TWSS_A5 = 5;
constexpr TW_UINT16 TWSS_ISOB6 = 7;
constexpr TW_UINT16 TWSS_USEXECUTIVE = 10;
constexpr TW_UINT16 TWSS_A6 = 13;
constexpr TW_UINT16 TWSS_C5 = 15;
constexpr TW_UINT16 TWSS_C6 = 16;

// ICAP_ORIENTATION: the page's turn clockwise, in quarters.
constexpr TW_UINT16 TWOR_ROT0 = 0;
constexpr TW_UINT16 TWOR_ROT90 = 1;
constexpr TW_UINT16 TWOR_ROT180 = 2;
constexpr TW_UINT16 TWOR_ROT270 = 3;
constexpr TW_UINT16 TWOR_PORTRAIT = TWOR_ROT0;
constexpr TW_UINT16 TWOR_LANDSCAPE = TWOR_ROT270;

// ICAP_AUTODISCARDBLANKPAGES (any other value is a byte count).
constexpr TW_INT32 TWBP_DISABLE = -2;
constexpr TW_INT32 TWBP_AUTO = -1;
// TWEI_PAGESIDE
constexpr TW_UINT16 TWCS_TOP = 1;
constexpr TW_UINT16 TWCS_BOTTOM = 2;

// Extended image information items (DAT_EXTIMAGEINFO InfoID).
constexpr TW_UINT16 TWEI_DOCUMENTNUMBER = 0x123A;
constexpr TW_UINT16 TWEI_PAGENUMBER = 0x123B;
constexpr TW_UINT16 TWEI_FRAMENUMBER = 0x123D;
constexpr TW_UINT16 TWEI_FRAME = 0x123E;
constexpr TW_UINT16 TWEI_PIXELFLAVOR = 0x123F;
constexpr TW_UINT16 TWEI_PAGESIDE = 0x1245;
constexpr TW_UINT16 TWEI_PAPERCOUNT = 0x1249;

// Memory transfer buffer flags.
constexpr TW_UINT32 TWMF_APPOWNS = 0x0001;
constexpr TW_UINT32 TWMF_DSMOWNS = 0x0002;
constexpr TW_UINT32 TWMF_DSOWNS = 0x0004;
constexpr TW_UINT32 TWMF_POINTER = 0x0008;
constexpr TW_UINT32 TWMF_HANDLE = 0x0010;

constexpr TW_UINT16 TWLG_USA = 13;
constexpr TW_UINT16 TWCY_USA = 1;

// Capabilities answered by this source.
constexpr TW_UINT16 CAP_XFERCOUNT = 0x0001;
constexpr TW_UINT16 CAP_FEEDERENABLED = 0x1002;
constexpr TW_UINT16 CAP_FEEDERLOADED = 0x1003;
constexpr TW_UINT16 CAP_SUPPORTEDCAPS = 0x1005;
constexpr TW_UINT16 CAP_AUTOFEED = 0x1007;
constexpr TW_UINT16 CAP_INDICATORS = 0x100B;
constexpr TW_UINT16 CAP_UICONTROLLABLE = 0x100E;
constexpr TW_UINT16 CAP_PAPERDETECTABLE = 0x100D;
constexpr TW_UINT16 CAP_DEVICEONLINE = 0x100F;
constexpr TW_UINT16 CAP_DUPLEX = 0x1012;
constexpr TW_UINT16 CAP_DUPLEXENABLED = 0x1013;
constexpr TW_UINT16 CAP_ENABLEDSUIONLY = 0x1014;
constexpr TW_UINT16 CAP_CUSTOMDSDATA = 0x1015;
constexpr TW_UINT16 CAP_AUTOMATICSENSEMEDIUM = 0x103B;
constexpr TW_UINT16 CAP_SUPPORTEDDATS = 0x103E;
constexpr TW_UINT16 ICAP_COMPRESSION = 0x0100;
constexpr TW_UINT16 ICAP_PIXELTYPE = 0x0101;
constexpr TW_UINT16 ICAP_UNITS = 0x0102;
constexpr TW_UINT16 ICAP_XFERMECH = 0x0103;
constexpr TW_UINT16 ICAP_IMAGEFILEFORMAT = 0x110C;
constexpr TW_UINT16 ICAP_PHYSICALWIDTH = 0x1111;
constexpr TW_UINT16 ICAP_PHYSICALHEIGHT = 0x1112;
constexpr TW_UINT16 ICAP_XNATIVERESOLUTION = 0x1116;
constexpr TW_UINT16 ICAP_YNATIVERESOLUTION = 0x1117;
constexpr TW_UINT16 ICAP_XRESOLUTION = 0x1118;
constexpr TW_UINT16 ICAP_YRESOLUTION = 0x1119;
constexpr TW_UINT16 ICAP_BITORDER = 0x111C;
constexpr TW_UINT16 ICAP_PIXELFLAVOR = 0x111F;
constexpr TW_UINT16 ICAP_PLANARCHUNKY = 0x1120;
constexpr TW_UINT16 ICAP_SUPPORTEDSIZES = 0x1122;
constexpr TW_UINT16 ICAP_THRESHOLD = 0x1123;
constexpr TW_UINT16 ICAP_BITDEPTH = 0x112B;
constexpr TW_UINT16 ICAP_BITDEPTHREDUCTION = 0x112C;
constexpr TW_UINT16 ICAP_BRIGHTNESS = 0x1101;
constexpr TW_UINT16 ICAP_CONTRAST = 0x1103;
constexpr TW_UINT16 ICAP_GAMMA = 0x1108;
constexpr TW_UINT16 ICAP_HIGHLIGHT = 0x110A;
constexpr TW_UINT16 ICAP_SHADOW = 0x1113;
constexpr TW_UINT16 ICAP_XSCALING = 0x1124;
constexpr TW_UINT16 ICAP_YSCALING = 0x1125;
constexpr TW_UINT16 ICAP_EXTIMAGEINFO = 0x112F;
constexpr TW_UINT16 ICAP_AUTODISCARDBLANKPAGES = 0x1134;
constexpr TW_UINT16 ICAP_JPEGQUALITY = 0x1153;
constexpr TW_UINT16 ICAP_SUPPORTEDEXTIMAGEINFO = 0x115E;
constexpr TW_UINT16 ICAP_ORIENTATION = 0x1110;
constexpr TW_UINT16 ICAP_ROTATION = 0x1121;

// The entry points, as the source exports and the source manager exports them.
extern "C" {
typedef TW_UINT16(TW_CALLINGSTYLE* DSENTRYPROC)(pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF);
}
