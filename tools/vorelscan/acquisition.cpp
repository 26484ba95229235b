// The TWAIN application side of vorelscan: the state walk from 1 to 7 and
// back, with every step's outcome checked and told in words. A batch goes
// on from state 6 for as long as MSG_ENDXFER's Count says more images come,
// as a TWAIN 1.x application must. Images go to their files as they arrive:
// memory strips and the native DIB row chunk by row chunk, a multi-page
// TIFF page by page; every file is written beside its name and moved over
// it only when complete.
#include "acquisition.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/dib_format.h"

#include "image_writer.h"
#include "interruption.h"
#include "message_boxes.h"
#include "pending_file.h"
#include "progress_lines.h"
#include "tool_rules.h"
#include "twain/twain.h"
#include "twain_application.h"
#include "wide_text.h"

namespace {

constexpr TW_UINT16 kUnitsOf300thInch = 4;  // TWUN_TWIPS: exchanged as 1/300-inch counts, taken as given

// The values of ICAP_COMPRESSION, ICAP_IMAGEFILEFORMAT and the capability
// ICAP_JPEGQUALITY, as the tool asks for them.
constexpr TW_UINT16 kJpegQuality = 0x1153;
constexpr TW_UINT16 kFileTiff = 0, kFileBmp = 2, kFileJfif = 4, kFileTiffMulti = 6, kFilePng = 7, kFilePdf = 10;

TW_UINT16 CompressionCode(const std::string& compression) {
    return compression == "jpeg" ? 6 : compression == "group4" ? 5 : compression == "lzw" ? 7 : compression == "zip" ? 13 : 0;
}

std::string CompressionWords(TW_UINT16 code) {
    switch (code) {
        case 0: return "uncompressed data";
        case 5: return "Group 4";
        case 6: return "JPEG";
        case 7: return "LZW";
        case 13: return "ZIP";
        default: return "compression " + std::to_string(code);
    }
}

// The file format a file transfer asks for.
TW_UINT16 FileFormatCode(const ScanOptions& options) {
    const std::string& format = options.format;
    if (format == "tiff") return options.multipage ? kFileTiffMulti : kFileTiff;
    return format == "jpeg" ? kFileJfif : format == "png" ? kFilePng : format == "pdf" ? kFilePdf : kFileBmp;
}

std::string TypeWords(int bitsPerPixel) {
    return bitsPerPixel == 1 ? "1-bit black and white" : bitsPerPixel == 8 ? "8-bit grey" : bitsPerPixel == 24
                                                                                                 ? "24-bit colour"
                                                                                                 : std::to_string(bitsPerPixel) + "-bit";
}

// The bits per pixel of a --type.
TW_UINT16 TypeBits(const std::string& type) { return type == "bw" ? 1 : type == "gray" ? 8 : 24; }

std::string Inches(TW_UINT32 counts) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", counts / 300.0);
    return text;
}

// The name as a file transfer carries it: in the ANSI code page, in at most
// `size` - 1 characters.
bool AnsiFileName(const std::wstring& name, char* into, int size) {
    BOOL lost = FALSE;
    const int length =
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, into, size, nullptr, &lost);
    return length != 0 && !lost;
}

// Whether a part file beside `target` can travel by file transfer: its
// longest name, whatever this process's id and serial.
bool FileTransferCanCarry(const std::string& target) {
    const std::string folder = FolderOf(target);
    const std::string longest = (folder == "." ? std::string() : folder + (folder.back() == '\\' ? "" : "\\")) +
                                ToolPartName(4294967295UL, 999);
    char name[255];
    return AnsiFileName(WideFromUtf8(longest), name, sizeof name);
}

std::string FileTransferRefusal(const std::string& target) {
    return "a file transfer carries the file name in the ANSI code page and in at most 254 characters, and the "
           "folder of " + target + " cannot be written so: use --mech native or --mech memory";
}

// A file the source wrote is whole when it starts as its format does and,
// for a BMP, is as long as its header says; a JPEG ends with its end
// marker, a PDF with its end-of-file line.
bool LooksWhole(const std::wstring& name, const std::string& format) {
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::uint8_t head[8] = {};
    std::uint8_t tail[32] = {};
    DWORD read = 0, tailRead = 0;
    LARGE_INTEGER size{};
    bool ok = ::ReadFile(file, head, sizeof head, &read, nullptr) && read == sizeof head &&
              ::GetFileSizeEx(file, &size);
    if (ok) {
        LARGE_INTEGER at{};
        at.QuadPart = size.QuadPart > static_cast<LONGLONG>(sizeof tail) ? size.QuadPart - sizeof tail : 0;
        ok = ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::ReadFile(file, tail, sizeof tail, &tailRead, nullptr);
    }
    ::CloseHandle(file);
    if (!ok) return false;
    if (format == "tiff") return std::memcmp(head, "II*\0", 4) == 0 || std::memcmp(head, "MM\0*", 4) == 0;
    if (format == "jpeg") return head[0] == 0xFF && head[1] == 0xD8 && tailRead >= 2 && tail[tailRead - 2] == 0xFF && tail[tailRead - 1] == 0xD9;
    if (format == "png") return std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0;
    if (format == "pdf") {
        const std::string end(reinterpret_cast<const char*>(tail), tailRead);
        return std::memcmp(head, "%PDF-", 5) == 0 && end.find("%%EOF") != std::string::npos;
    }
    const std::uint32_t said = head[2] | head[3] << 8 | head[4] << 16 | std::uint32_t(head[5]) << 24;
    return head[0] == 'B' && head[1] == 'M' && said == static_cast<std::uint64_t>(size.QuadPart);
}

// The pages of a TIFF file: its chain of directories, followed within the
// file; -1 for a file that is no TIFF, or whose chain leaves the file or
// runs past 65535 directories (a loop).
int TiffPages(const std::wstring& name) {
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    LARGE_INTEGER size{};
    auto readAt = [&](std::uint64_t offset, std::uint8_t* into, DWORD n) {
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD read = 0;
        return offset + n <= static_cast<std::uint64_t>(size.QuadPart) && ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
               ::ReadFile(file, into, n, &read, nullptr) && read == n;
    };
    std::uint8_t head[8] = {};
    int pages = -1;
    if (::GetFileSizeEx(file, &size) && readAt(0, head, 8) && (head[0] == 'I' || head[0] == 'M')) {
        const bool little = head[0] == 'I';
        auto u16 = [little](const std::uint8_t* b) { return little ? b[0] | b[1] << 8 : b[0] << 8 | b[1]; };
        auto u32 = [&](const std::uint8_t* b) {
            return little ? std::uint32_t(u16(b)) | std::uint32_t(u16(b + 2)) << 16
                          : std::uint32_t(u16(b)) << 16 | std::uint32_t(u16(b + 2));
        };
        std::uint64_t next = u32(head + 4);
        pages = 0;
        while (next != 0) {
            std::uint8_t count[2], link[4];
            if (pages == 65535 || !readAt(next, count, 2) ||
                !readAt(next + 2 + 12ull * u16(count), link, 4)) {
                pages = -1;
                break;
            }
            ++pages;
            next = u32(link);
        }
    }
    ::CloseHandle(file);
    return pages;
}

// Whether a window can be shown: the source's dialog, progress window and
// boxes need a display that answers.
bool DisplayAnswers() {
    HWND probe = ::CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP | WS_VISIBLE, -100, -100, 1, 1, nullptr,
                                   nullptr, nullptr, nullptr);
    if (probe == nullptr) return false;
    ::DestroyWindow(probe);
    return true;
}

class Session {
public:
    explicit Session(const ScanOptions& options)
        : options_(options),
          mechanism_(options.mechanism),
          twain_("vorelscan", "Tools", options.twain2),
          boxes_(options.answerBoxes),
          progress_([](const std::string& line) {
              std::fprintf(stderr, "%s\n", line.c_str());
              std::fflush(stderr);
          }) {}

    bool Run();
    const std::string& Error() const { return twain_.Error(); }
    int pagesWritten = 0;

private:
    TW_UINT16 ToSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return twain_.ToSource(dg, dat, msg, data);
    }
    bool Fail(const std::string& why) { return twain_.Fail(why); }
    // A failed transfer in words: the box the source showed, if it showed
    // one, else its condition code.
    bool FailTransfer(TW_UINT16 rc) {
        const std::string box = boxes_.TakeLastText();
        const TW_UINT16 conditionCode = twain_.ConditionCode();
        return Fail(!box.empty() ? BoxInWords(box) : rc == TWRC_CANCEL ? "the scan was cancelled" : ConditionText(conditionCode));
    }
    bool SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value, const std::string& name) {
        return twain_.SetOneValue(cap, itemType, value, name.c_str());
    }
    // Before anything is opened: the folder is there, the file may be
    // replaced, the transfer can carry its name; part files that scans
    // which never finished left there go.
    bool CheckFolders();
    bool Open();
    // A step that failed: said in the words of the box the source showed
    // meanwhile, if it showed one. Always false.
    bool FailWithBox();
    bool Negotiate();
    bool NegotiateImageControls();
    // --setup: the saved set-up handed to the source (DAT_CUSTOMDSDATA).
    bool ApplySavedSetUp();
    // --setup-only: the source's window for the set-up alone, then its
    // set-up saved into the file.
    bool SaveSetUp();
    bool SetRegion();
    // One image: described, moved and written; then MSG_ENDXFER, whose
    // Count says how many more come.
    bool TransferPage(int page, TW_UINT16* remaining);
    bool TransferNative(const PageFormat& format, ImageWriter* writer);
    bool TransferMemory(const PageFormat& format, ImageWriter* writer);
    bool TransferFile(const std::string& name);
    bool TransferCompressed(const PageFormat& format, TW_UINT16 compression, PendingFile* file);
    bool TransferAll();
    bool FinishMultiFile(bool ok, int page);

    const ScanOptions& options_;
    std::string mechanism_;  // the transfer: as asked, or the one that can take the file's name
    TwainApplication twain_;
    MessageBoxWatcher boxes_;
    ProgressLines progress_;
    int page_ = 0;  // the page being transferred, from 1
    bool vanilla_ = false;  // 1- and 8-bit levels come with 0 for white
    // A multi-page file, open from the first page to the last.
    std::unique_ptr<PendingFile> multiFile_;
    std::unique_ptr<ImageWriter> multiWriter_;
    int filePages_ = 0;  // pages the source has put into a multi-page file
    std::string writeError_;
};

bool Session::CheckFolders() {
    const std::string first = options_.batch && !options_.multipage ? BatchFileName(options_.out, 1) : options_.out;
    const std::string folder = FolderOf(first);
    if (!FolderExists(folder)) return Fail("no folder " + folder);
    const std::string problem = TargetProblem(first);
    if (!problem.empty()) return Fail(problem);
    RemoveStaleParts(folder);
    if (mechanism_ == "file" && !FileTransferCanCarry(first)) {
        // A TIFF goes by file unless asked otherwise; by memory it is the
        // same file.
        if (options_.Given("--mech")) return Fail(FileTransferRefusal(first));
        mechanism_ = "memory";
        std::fprintf(stderr, "vorelscan: %s: taking the image by memory transfer instead\n",
                     FileTransferRefusal(first).c_str());
        std::fflush(stderr);
    }
    return true;
}

bool Session::Open() {
    if (twain_.Open()) return true;
    return FailWithBox();
}

bool Session::FailWithBox() {
    const std::string box = boxes_.TakeLastText();
    if (!box.empty()) {
        Fail(Error() + ": " + BoxInWords(box));
    } else if (!DisplayAnswers()) {
        Fail(Error() + " (no display answers: is DISPLAY right, and its X server running?)");
    }
    return false;
}

namespace {

// A number in hundredths as a TW_FIX32's 32 bits: Whole in the low half,
// Frac (the fraction in 1/65536) in the high half, Whole rounded down so
// that Frac stays positive.
TW_UINT32 Fix32OfHundredths(int hundredths) {
    const int whole = hundredths >= 0 ? hundredths / 100 : -((-hundredths + 99) / 100);
    const int rest = hundredths - whole * 100;
    const TW_UINT32 frac = static_cast<TW_UINT32>((rest * 65536 + 50) / 100);
    return static_cast<TW_UINT16>(whole) | frac << 16;
}

}  // namespace

// The tone, the scaling, the rotation and the blank sheets: only what was given, so a
// saved set-up keeps the rest.
bool Session::NegotiateImageControls() {
    struct Control {
        const char* flag;
        TW_UINT16 cap;
        int hundredths;
        const char* name;
    };
    const Control controls[] = {
        {"--brightness", ICAP_BRIGHTNESS, options_.brightness * 100, "the brightness"},
        {"--contrast", ICAP_CONTRAST, options_.contrast * 100, "the contrast"},
        {"--gamma", ICAP_GAMMA, options_.gammaHundredths, "the gamma"},
        {"--scale", ICAP_XSCALING, options_.scalePercent, "the scale"},
        {"--rotate", ICAP_ROTATION, options_.rotateDegrees * 100, "the rotation"},
    };
    for (const Control& c : controls) {
        if (options_.Given(c.flag) && !SetOneValue(c.cap, TWTY_FIX32, Fix32OfHundredths(c.hundredths), c.name)) {
            return false;
        }
    }
    return !options_.discardBlank ||
           SetOneValue(ICAP_AUTODISCARDBLANKPAGES, TWTY_INT32, static_cast<TW_UINT32>(TWBP_AUTO), "dropping blank sheets");
}

bool Session::Negotiate() {
    // A saved set-up comes first; only the flags given change it.
    const bool saved = !options_.setUp.empty();
    if (saved && !ApplySavedSetUp()) return false;
    TW_UINT16 pixelType = options_.type == "bw" ? TWPT_BW : options_.type == "gray" ? TWPT_GRAY : TWPT_RGB;
    const TW_UINT16 bitDepth = TypeBits(options_.type);
    const std::string dpi = std::to_string(options_.dpi) + " dpi";
    if (!mechanism_.empty()) {
        TW_UINT16 mechanism = mechanism_ == "memory" ? TWSX_MEMORY : mechanism_ == "file" ? TWSX_FILE : TWSX_NATIVE;
        if (!SetOneValue(ICAP_XFERMECH, TWTY_UINT16, mechanism, "the " + mechanism_ + " transfer")) {
            return false;
        }
    }
    if (!saved || options_.Given("--type")) {
        if (!SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType, "the type " + options_.type)) return false;
        if (!SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, bitDepth, "the type " + options_.type)) return false;
    }
    if (!saved || options_.Given("--dpi")) {
        if (!SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, options_.dpi, "the resolution " + dpi)) return false;
        if (!SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, options_.yDpi, "the resolution " + dpi)) return false;
    }
    // The file format first: the compressions a file may hold depend on it.
    const TW_UINT16 fileFormat = FileFormatCode(options_);
    if (mechanism_ == "file" && fileFormat != kFileBmp && fileFormat != kFileTiff &&
        !SetOneValue(ICAP_IMAGEFILEFORMAT, TWTY_UINT16, fileFormat, "the file format of " + options_.out)) {
        return false;
    }
    if (!options_.compression.empty() &&
        !SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, CompressionCode(options_.compression),
                     "the compression " + options_.compression)) {
        return false;
    }
    if (options_.Given("--quality") &&
        !SetOneValue(kJpegQuality, TWTY_INT16, static_cast<TW_UINT16>(options_.quality),
                     "the JPEG quality " + std::to_string(options_.quality))) {
        return false;
    }
    if (options_.vanilla && !SetOneValue(ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_VANILLA, "the vanilla flavour")) {
        return false;
    }
    TW_UINT32 flavour = TWPF_CHOCOLATE;
    vanilla_ = options_.vanilla || (saved && twain_.GetOneValue(ICAP_PIXELFLAVOR, &flavour) &&
                                    (flavour & 0xFFFF) == TWPF_VANILLA);
    if (options_.noIndicators && !SetOneValue(CAP_INDICATORS, TWTY_BOOL, 0, "no progress window")) return false;
    if (!NegotiateImageControls()) return false;
    // One image unless a batch is asked for: a loaded feeder would otherwise
    // go on through its sheets.
    const int count = options_.batch ? options_.count : 1;
    if (options_.setUpOnly.empty() &&
        !SetOneValue(CAP_XFERCOUNT, TWTY_INT16, static_cast<TW_UINT16>(count), "the page count")) {
        return false;
    }
    return !options_.region || SetRegion();
}

bool Session::ApplySavedSetUp() {
    const std::string& name = options_.setUp;
    std::FILE* file = ::_wfopen(WideFromUtf8(name).c_str(), L"rb");
    if (file == nullptr) return Fail("--setup " + name + ": cannot read the file");
    std::vector<std::uint8_t> bytes(kMaxSetUpBytes + 1);
    const std::size_t size = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    if (size == 0 || size > static_cast<std::size_t>(kMaxSetUpBytes)) {
        return Fail("--setup " + name + ": not a set-up saved by --setup-only (" +
                    (size == 0 ? std::string("empty") : "larger than " + std::to_string(kMaxSetUpBytes) + " bytes") +
                    ")");
    }
    TW_CUSTOMDSDATA data{static_cast<TW_UINT32>(size), twain_.AllocateBlock(static_cast<TW_UINT32>(size))};
    void* block = data.hData != nullptr ? twain_.LockBlock(data.hData) : nullptr;
    if (block == nullptr) {
        if (data.hData != nullptr) twain_.FreeBlock(data.hData);
        return Fail("not enough memory for the set-up");
    }
    std::memcpy(block, bytes.data(), size);
    twain_.UnlockBlock(data.hData);
    const TW_UINT16 rc = ToSource(DG_CONTROL, DAT_CUSTOMDSDATA, MSG_SET, &data);
    twain_.FreeBlock(data.hData);
    return rc == TWRC_SUCCESS || twain_.Fail("--setup " + name + ": the source refused the set-up", rc);
}

bool Session::SaveSetUp() {
    const std::string& name = options_.setUpOnly;
    if (!FolderExists(FolderOf(name))) return Fail("no folder " + FolderOf(name));
    if (!Open() || !Negotiate() || !twain_.EnableSetUpOnly()) return false;
    const TW_UINT16 told = twain_.NextFromSource();
    if (told == MSG_CLOSEDSREQ) return Fail("the set-up was cancelled in the source's window; nothing was saved");
    if (told != MSG_CLOSEDSOK) return Fail("the source ended the set-up with the message " + std::to_string(told));
    // The set-up is the source's once its window says OK; it is asked for
    // in state 4.
    const TW_UINT16 disabled = twain_.Disable();
    if (disabled != TWRC_SUCCESS) return twain_.Fail("the source would not close its window", disabled);
    TW_CUSTOMDSDATA data{};
    const TW_UINT16 rc = ToSource(DG_CONTROL, DAT_CUSTOMDSDATA, MSG_GET, &data);
    if (rc != TWRC_SUCCESS) return twain_.Fail("the source gave no set-up", rc);
    const void* block = data.hData != nullptr ? twain_.LockBlock(data.hData) : nullptr;
    PendingFile file;
    std::string error;
    bool ok = block != nullptr && data.InfoLength > 0 && data.InfoLength <= ::GlobalSize(data.hData);
    if (!ok) {
        Fail("the source's set-up block does not hold the length it gives");
    } else {
        ok = (file.Create(name, &error) &&
              file.WriteAt(0, static_cast<const std::uint8_t*>(block), data.InfoLength) && file.Commit(&error)) ||
             Fail(error.empty() ? file.WriteError() : error);
    }
    if (block != nullptr) twain_.UnlockBlock(data.hData);
    if (data.hData != nullptr) twain_.FreeBlock(data.hData);
    return ok;
}

// The region is given in 1/300 inch. It is handed over in a unit the source
// takes exactly as given: in its default unit a value of 12 or less would be
// read as inches.
bool Session::SetRegion() {
    TW_UINT32 width = 0, height = 0;
    if (twain_.GetOneValue(ICAP_PHYSICALWIDTH, &width) && twain_.GetOneValue(ICAP_PHYSICALHEIGHT, &height)) {
        width &= 0xFFFF;  // the whole part of a TW_FIX32
        height &= 0xFFFF;
        if (static_cast<TW_UINT32>(options_.right) > width || static_cast<TW_UINT32>(options_.bottom) > height) {
            return Fail("--region " + std::to_string(options_.left) + "," + std::to_string(options_.top) + "," +
                        std::to_string(options_.right) + "," + std::to_string(options_.bottom) +
                        ": the region lies outside the " + Inches(width) + " × " + Inches(height) +
                        " inch bed (" + std::to_string(width) + " × " + std::to_string(height) + " in 1/300 inch)");
        }
    }
    if (!SetOneValue(ICAP_UNITS, TWTY_UINT16, kUnitsOf300thInch, "a region in 1/300 inch")) return false;
    TW_IMAGELAYOUT layout{};
    auto fix = [](int value) { return TW_FIX32{static_cast<TW_INT16>(value), 0}; };
    layout.Frame = {fix(options_.left), fix(options_.top), fix(options_.right), fix(options_.bottom)};
    const TW_UINT16 rc = ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
    return rc == TWRC_SUCCESS || twain_.Fail("the source refused the region", rc);
}

bool Session::TransferNative(const PageFormat& format, ImageWriter* writer) {
    TW_HANDLE block = nullptr;  // the source writes a whole handle here: 8 bytes in a 64-bit process
    const TW_UINT16 rc = ToSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &block);
    if (rc != TWRC_XFERDONE) {
        FailTransfer(rc);
        if (Error() == ConditionText(TWCC_LOWMEMORY)) {
            Fail("not enough memory for the native image (--mech memory takes an image of any size)");
        }
        return false;
    }
    const std::size_t size = ::GlobalSize(block);
    const auto* dib = static_cast<const std::uint8_t*>(twain_.LockBlock(block));
    bool ok = false;
    if (dib != nullptr && size >= kDibHeaderSize) {
        const DibHeader header = ReadDibHeader(dib);
        const std::uint32_t entries = format.bitsPerPixel == 24 ? 0 : 1u << format.bitsPerPixel;
        const std::size_t stride = RowStride(static_cast<std::uint32_t>(format.RowBytes()));
        const std::size_t offset = kDibHeaderSize + kColorTableEntrySize * entries;
        const int lines = header.height < 0 ? -header.height : header.height;
        if (header.size == kDibHeaderSize && header.width == format.width && lines == format.lines &&
            header.bitCount == format.bitsPerPixel && offset + stride * lines <= size) {
            PageFormat page = format;
            page.whiteIsZero = entries != 0 && dib[kDibHeaderSize] == 255;
            const std::uint8_t* top = dib + offset + (header.height > 0 ? stride * (lines - 1) : 0);
            const std::ptrdiff_t step = header.height > 0 ? -static_cast<std::ptrdiff_t>(stride) : stride;
            ok = writer->BeginPage(page) && writer->PutRows(0, lines, top, step, true);
            if (!ok) writeError_ = "write";
        }
    }
    if (dib != nullptr) twain_.UnlockBlock(block);
    twain_.FreeBlock(block);
    return ok || !writeError_.empty() || Fail("the native transfer's image does not hold what DAT_IMAGEINFO said");
}

bool Session::TransferMemory(const PageFormat& format, ImageWriter* writer) {
    TW_SETUPMEMXFER setup{};
    TW_UINT16 rc = ToSource(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    if (rc != TWRC_SUCCESS) return twain_.Fail("the source gave no memory transfer sizes", rc);
    // A strip holds whole rows: the buffer takes at least one, and the
    // source's own minimum.
    const std::size_t rowBytes = format.RowBytes();
    const TW_UINT32 stride = RowStride(static_cast<std::uint32_t>(rowBytes));
    const TW_UINT32 minimum = std::max<TW_UINT32>(setup.MinBufSize, stride);
    TW_UINT32 size = static_cast<TW_UINT32>(options_.memoryBuffer);
    if (size == 0) size = std::min<TW_UINT32>(std::max(setup.Preferred, minimum), kMaxMemoryBuffer);
    const std::string refusal = MemoryBufferRefusal(size, stride, setup.MinBufSize, kMaxMemoryBuffer);
    if (!refusal.empty()) return Fail(refusal);
    if (!writer->BeginPage(format)) return writeError_ = "write", false;
    std::vector<std::uint8_t> buffer(size);
    long rows = 0;
    // Every strip brings at least one row; a few more for a source that
    // sends an empty one.
    for (long strip = 0; strip <= static_cast<long>(format.lines) + 16; ++strip) {
        if (interruption::Requested()) return Fail("interrupted");
        TW_IMAGEMEMXFER xfer{};
        xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, size, buffer.data()};
        rc = ToSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
        if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) return FailTransfer(rc);
        if (xfer.Rows > 0) {
            if (xfer.BytesPerRow < rowBytes || static_cast<std::uint64_t>(xfer.BytesPerRow) * xfer.Rows > size) {
                return Fail("the source sent a memory strip that does not fit its rows");
            }
            if (!writer->PutRows(static_cast<int>(xfer.YOffset), static_cast<int>(xfer.Rows), buffer.data(),
                                 xfer.BytesPerRow, false)) {
                return writeError_ = "write", false;
            }
            rows += xfer.Rows;
            if (options_.progress) progress_.Rows(page_, static_cast<std::uint64_t>(rows), format.lines);
        }
        if (rc == TWRC_XFERDONE) {
            return rows >= format.lines || Fail("the memory transfer ended after " + std::to_string(rows) + " of " +
                                                std::to_string(format.lines) + " rows");
        }
    }
    return Fail("the memory transfer did not end");
}

std::string FormatWords(const std::string& format) {
    return format == "tiff" ? "TIFF" : format == "jpeg" ? "JPEG" : format == "png" ? "PNG" : format == "pdf" ? "PDF" : "BMP";
}

// The source writes the file under a new name beside the target, so that a
// failure cannot touch the target; the name travels in the ANSI code page,
// at most 254 characters. The pages of a multi-page file all go to the one
// name, which the source appends to and completes at the last MSG_ENDXFER;
// TransferAll moves it over the target then.
bool Session::TransferFile(const std::string& name) {
    PendingFile single;
    PendingFile* file = &single;
    std::string error;
    if (options_.multipage && multiFile_) {
        file = multiFile_.get();
    } else {
        if (options_.multipage) {
            multiFile_.reset(new PendingFile);
            file = multiFile_.get();
        }
        if (!file->Create(name, &error)) return Fail(error);
        file->Release();
    }
    TW_SETUPFILEXFER setup{};
    if (!AnsiFileName(file->Name(), setup.FileName, sizeof setup.FileName)) return Fail(FileTransferRefusal(name));
    setup.Format = FileFormatCode(options_);
    TW_UINT16 rc = ToSource(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup);
    if (rc != TWRC_SUCCESS) return twain_.Fail("the source refused the file name", rc);
    interruption::WatchSourceParts(WideFromUtf8(FolderOf(name)));
    rc = ToSource(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    interruption::UnwatchSourceParts();
    if (rc != TWRC_XFERDONE) return FailTransfer(rc);
    if (options_.multipage) {
        ++filePages_;
        return true;
    }
    if (!LooksWhole(file->Name(), options_.format)) {
        return Fail("the source said the file transfer was done, but its file is no whole " +
                    FormatWords(options_.format) + " image");
    }
    return file->Commit(&error) || Fail(error);
}

// Compressed strips as they come: JPEG strips end to end make the JPEG
// file; Group 4 strips, one stream for the page, go into a TIFF of one strip
// that the tool writes around them.
bool Session::TransferCompressed(const PageFormat& format, TW_UINT16 compression, PendingFile* file) {
    TW_SETUPMEMXFER setup{};
    TW_UINT16 rc = ToSource(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    if (rc != TWRC_SUCCESS) return twain_.Fail("the source gave no memory transfer sizes", rc);
    TW_UINT32 size = static_cast<TW_UINT32>(options_.memoryBuffer);
    if (size == 0) size = std::min<TW_UINT32>(std::max<TW_UINT32>(setup.Preferred, setup.MinBufSize), kMaxMemoryBuffer);
    if (size < setup.MinBufSize || size == 0) {
        return Fail("the memory buffer of " + std::to_string(size) + " bytes is smaller than the source's minimum of " +
                    std::to_string(setup.MinBufSize));
    }
    const bool group4 = compression == 5;
    // Compressed data is smaller than the image, or not much larger: a source
    // that sends more than twice the raw image and a megabyte is stopped.
    const std::uint64_t limit = 2 * static_cast<std::uint64_t>(format.RowBytes()) * format.lines + (1 << 20);
    const std::uint64_t start = group4 ? kGroup4TiffDataOffset : 0;
    std::uint64_t at = start;
    std::vector<std::uint8_t> buffer(size);
    std::uint8_t first[2] = {}, last[2] = {};
    long rows = 0;
    for (;;) {
        if (interruption::Requested()) return Fail("interrupted");
        TW_IMAGEMEMXFER xfer{};
        xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, size, buffer.data()};
        rc = ToSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
        if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) return FailTransfer(rc);
        if (xfer.Compression != compression) {
            return Fail("the source sent a strip of " + CompressionWords(xfer.Compression) + " in a transfer of " +
                        CompressionWords(compression));
        }
        if (xfer.BytesWritten > size) return Fail("the source wrote more into a memory strip than it holds");
        if (xfer.BytesWritten > 0) {
            if (at == start) std::memcpy(first, buffer.data(), std::min<TW_UINT32>(2, xfer.BytesWritten));
            if (xfer.BytesWritten >= 2) {
                std::memcpy(last, &buffer[xfer.BytesWritten - 2], 2);
            } else {
                last[0] = last[1];
                last[1] = buffer[0];
            }
            if (!file->WriteAt(at, buffer.data(), xfer.BytesWritten)) return writeError_ = "write", false;
            at += xfer.BytesWritten;
            if (at - start > limit) return Fail("the source sent more compressed data than the image holds");
        }
        rows += xfer.Rows;
        if (options_.progress && xfer.Rows > 0) {
            progress_.Rows(page_, static_cast<std::uint64_t>(std::min<long>(rows, format.lines)), format.lines);
        }
        if (rc == TWRC_XFERDONE) break;
    }
    if (at == start) return Fail("the memory transfer brought no data");
    if (group4) {
        return FinishGroup4Tiff(file, format, at - start) || (writeError_ = "write", false);
    }
    return (first[0] == 0xFF && first[1] == 0xD8 && last[0] == 0xFF && last[1] == 0xD9) ||
           Fail("the source's JPEG strips do not make a whole JPEG image (no start or end marker)");
}

bool Session::TransferPage(int page, TW_UINT16* remaining) {
    const DWORD start = ::GetTickCount();
    *remaining = 0;
    page_ = page;
    // Native and file transfers are counted in the source's progress window.
    std::unique_ptr<ProgressWindowWatcher> watcher;
    if (options_.progress && mechanism_ != "memory") watcher.reset(new ProgressWindowWatcher(&progress_));
    TW_PENDINGXFERS pending{};
    TW_IMAGEINFO info{};
    TW_UINT16 rc = ToSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
    if (rc != TWRC_SUCCESS) return twain_.Fail("the source did not describe the image", rc);
    PageFormat format;
    format.width = info.ImageWidth;
    format.lines = info.ImageLength;
    format.bitsPerPixel = info.BitsPerPixel;
    format.xDpi = info.XResolution.Whole;
    format.yDpi = info.YResolution.Whole;
    // Memory strips carry the levels as the flavour has them; a DIB says so
    // in its colour table.
    format.whiteIsZero = vanilla_ && format.bitsPerPixel != 24;
    // The type of a saved set-up is the one it holds, unless --type changed it.
    const int asked = !options_.setUp.empty() && !options_.Given("--type") ? format.bitsPerPixel
                                                                           : TypeBits(options_.type);
    bool ok = true;
    if (format.bitsPerPixel != asked) {
        ok = Fail("the source delivers " + TypeWords(format.bitsPerPixel) + ", not the " + TypeWords(asked) +
                  " asked for" + (asked == 24 ? " (a scanner without colour?)" : ""));
    } else if (format.width <= 0 || format.lines <= 0) {
        ok = Fail("the source did not say the image's size");
    }
    const TW_UINT16 compression = CompressionCode(options_.compression);
    if (ok && mechanism_ == "memory" && info.Compression != compression) {
        ok = Fail("the source sends " + CompressionWords(info.Compression) + ", not the " +
                  CompressionWords(compression) + " asked for");
    }
    const std::string name = options_.batch && !options_.multipage ? BatchFileName(options_.out, page) : options_.out;
    writeError_.clear();
    if (ok && mechanism_ == "file") {
        ok = TransferFile(name);
    } else if (ok && mechanism_ == "memory" && compression != 0) {
        PendingFile file;
        std::string error;
        ok = (file.Create(name, &error) || Fail(error)) && TransferCompressed(format, compression, &file);
        if (!writeError_.empty()) ok = Fail(file.WriteError().empty() ? "cannot write " + name : file.WriteError());
        if (ok && !file.Commit(&error)) ok = Fail(error);
    } else if (ok) {
        PendingFile single;
        std::unique_ptr<ImageWriter> singleWriter;
        PendingFile* file = &single;
        ImageWriter* writer = nullptr;
        std::string error;
        if (options_.multipage) {
            if (!multiFile_) {
                multiFile_.reset(new PendingFile);
                if (!multiFile_->Create(name, &error)) ok = Fail(error);
                multiWriter_ = MakeTiffWriter(multiFile_.get(), true);
            }
            file = multiFile_.get();
            writer = multiWriter_.get();
        } else {
            if (!single.Create(name, &error)) ok = Fail(error);
            singleWriter = options_.format == "tiff" ? MakeTiffWriter(&single, false) : MakeBmpWriter(&single);
            writer = singleWriter.get();
        }
        if (ok) ok = mechanism_ == "memory" ? TransferMemory(format, writer) : TransferNative(format, writer);
        if (!writeError_.empty()) {
            ok = Fail(file->WriteError().empty() ? "cannot write " + name + ": the image is too large for the file"
                                                 : file->WriteError());
        }
        if (ok && !writer->EndPage()) ok = Fail(file->WriteError().empty() ? "cannot write " + name : file->WriteError());
        if (!ok && writer != nullptr) writer->DropPage();
        if (ok && !options_.multipage && !single.Commit(&error)) ok = Fail(error);
    }
    if (!ok) {
        ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
        return false;
    }
    rc = ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    if (rc != TWRC_SUCCESS) return twain_.Fail("the source would not end the transfer", rc);
    *remaining = pending.Count;
    if (options_.progress) progress_.PageDone(page);
    const unsigned long bytes = static_cast<unsigned long>(DibRowBytes(info.ImageWidth, info.BitsPerPixel)) *
                                static_cast<unsigned long>(info.ImageLength > 0 ? info.ImageLength : 0);
    std::printf("page %d: %d x %d pixels, %d bits, %lu bytes, %lu ms%s%s\n", page,
                static_cast<int>(info.ImageWidth), static_cast<int>(info.ImageLength), info.BitsPerPixel, bytes,
                static_cast<unsigned long>(::GetTickCount() - start), options_.multipage ? "" : " -> ",
                options_.multipage ? "" : name.c_str());
    std::fflush(stdout);
    return true;
}

// Every image of the enabling: after each MSG_ENDXFER a Count above 0 means
// another image is ready in state 6 (0xFFFF: more may come). Pages that
// arrived before a failure are kept: their own files, or the pages of the
// multi-page file so far.
bool Session::TransferAll() {
    int page = 0;
    bool ok = true;
    for (TW_UINT16 remaining = 1; remaining != 0 && ok;) ok = TransferPage(++page, &remaining);
    if (options_.multipage && mechanism_ == "file") return FinishMultiFile(ok, page);
    const int written = ok ? page : page - 1;
    std::string error;
    if (multiFile_ && multiWriter_->Pages() > 0 && !multiFile_->Commit(&error)) {
        if (ok) return Fail(error);
        return Fail("page " + std::to_string(page) + ": " + Error() + "; the pages before it are lost: " + error);
    }
    if (!ok) {
        if (!options_.batch) return false;
        return Fail("page " + std::to_string(page) + ": " + Error() +
                    KeptPagesText(written, options_.multipage, options_.out));
    }
    if (options_.batch && options_.count > 0 && page < options_.count) {
        return Fail("the source delivered " + std::to_string(page) + " of the " + std::to_string(options_.count) +
                    " pages asked for");
    }
    pagesWritten = page;
    return true;
}

// The source's multi-page file, complete after the last MSG_ENDXFER or,
// when the batch stopped early, after the MSG_RESET that ended it: moved
// over the target when whole, with the pages it holds told.
bool Session::FinishMultiFile(bool ok, int page) {
    const std::string failed = ok ? std::string() : "page " + std::to_string(page) + ": " + Error();
    if (!multiFile_ || filePages_ == 0) {
        return ok ? Fail("the source delivered no page") : false;
    }
    const std::wstring& name = multiFile_->Name();
    int held = filePages_;
    bool whole = LooksWhole(name, options_.format);
    if (whole && options_.format == "tiff") {
        held = TiffPages(name);
        whole = held > 0;
    }
    if (!whole) {
        const std::string why = "the source's file is no whole " + FormatWords(options_.format) + " file";
        return Fail(ok ? why : failed + "; the pages before it are lost: " + why);
    }
    std::string error;
    if (!multiFile_->Commit(&error)) return Fail(ok ? error : failed + "; the pages before it are lost: " + error);
    if (!ok) return Fail(failed + KeptPagesText(held, true, options_.out));
    if (held != page) {
        return Fail(options_.out + " holds " + std::to_string(held) + " pages, and the source delivered " +
                    std::to_string(page));
    }
    if (options_.count > 0 && page < options_.count) {
        return Fail("the source delivered " + std::to_string(page) + " of the " + std::to_string(options_.count) +
                    " pages asked for");
    }
    pagesWritten = page;
    return true;
}

bool Session::Run() {
    if (!options_.setUpOnly.empty()) return SaveSetUp();
    if (!CheckFolders() || !Open() || !Negotiate()) return false;
    if (!twain_.Enable(options_.showUI) || !twain_.WaitFor(MSG_XFERREADY)) return FailWithBox();
    return TransferAll();
}

}  // namespace

int Acquire(const ScanOptions& options, std::string* error, int* pages) {
    Session session(options);
    const bool ok = session.Run();
    if (!ok) *error = session.Error();
    if (pages != nullptr) *pages = session.pagesWritten;
    return ok ? 0 : 1;
}
