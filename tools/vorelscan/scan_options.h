// The acquisition tool's command line: what the user asked for, and the
// table of flags that fills it. A flag is one row of that table (its name,
// the name of its value, a line of help and the function that stores it),
// so a new flag is a new row and a new field here.
#pragma once

#include <string>
#include <vector>

struct ScanOptions {
    std::string out;          // the image file to write; with --batch, the pattern of the names
    std::string format;       // "bmp", "tiff", "jpeg", "png" or "pdf", from --format or the file name
    std::string mechanism;    // "native", "memory" or "file"
    std::string type = "color";  // "bw", "gray" or "color"
    int dpi = 150;
    int yDpi = 0;             // 0: as dpi
    bool region = false;
    int left = 0, top = 0, right = 0, bottom = 0;  // in 1/300 inch
    bool showUI = false;
    bool answerBoxes = false; // answer the source's message boxes, printing their text
    bool vanilla = false;     // ICAP_PIXELFLAVOR vanilla: 1- and 8-bit data with 0 white
    bool batch = false;       // several images in one enabling, one file each
    bool outGiven = false;    // --out was given (as opposed to --batch)
    int count = -1;           // CAP_XFERCOUNT of a batch: -1 as many as there are
    bool countGiven = false;
    bool multipage = false;   // a batch into one multi-page TIFF or PDF
    // ICAP_COMPRESSION: "none", "jpeg", "group4", "lzw" or "zip"; "" sends
    // nothing. A .jpg by memory transfer asks for "jpeg" without the flag.
    std::string compression;
    int quality = -1;         // ICAP_JPEGQUALITY 0 to 100 (sent only when given)
    int memoryBuffer = 0;     // bytes; 0: the size the source prefers
    bool twain2 = false;      // act as a TWAIN 2 application (DF_APP2, callback) through TWAINDSM.DLL
    bool progress = false;    // a line on standard error per tenth of each page
    bool noIndicators = false;  // CAP_INDICATORS FALSE: the source shows no progress window
    int brightness = 0;       // ICAP_BRIGHTNESS, -1000 to 1000 (sent only when given)
    int contrast = 0;         // ICAP_CONTRAST, -1000 to 1000 (sent only when given)
    int gammaHundredths = 220;  // ICAP_GAMMA in hundredths, 10 to 1000 (sent only when given)
    int scalePercent = 100;   // ICAP_XSCALING and ICAP_YSCALING in percent, 10 to 400 (sent only when given)
    int rotateDegrees = 0;    // ICAP_ROTATION, 0, 90, 180 or 270 (sent only when given)
    bool discardBlank = false;  // ICAP_AUTODISCARDBLANKPAGES TWBP_AUTO: blank feeder sheets dropped
    std::string setUpOnly;    // --setup-only FILE: the set-up chosen in the source's window saved to FILE, no scan
    std::string setUp;        // --setup FILE: a saved set-up the source takes before the flags given
    bool help = false;        // --help: print the flags and do nothing else
    std::vector<std::string> given;  // the flags on the command line, by name

    bool Given(const char* flag) const {
        for (const std::string& name : given) {
            if (name == flag) return true;
        }
        return false;
    }
};

// The largest set-up file --setup reads.
constexpr long kMaxSetUpBytes = 1 << 20;

// The Vorel scanner's bed, 8.5 by 14 inches, in 1/300 inch: a region must
// lie on it.
constexpr int kBedWidth = 2550;
constexpr int kBedHeight = 4200;

// The largest buffer a memory transfer takes.
constexpr int kMaxMemoryBuffer = 64000;

// Parses the arguments (without the program's name), "--flag value" or
// "--flag=value"; on a bad or missing argument writes why to `error`, naming
// the flag, and returns false. With --help it returns true at once.
bool ParseScanOptions(const std::vector<std::string>& args, ScanOptions* options, std::string* error);
// The flags, one a line, from the table.
std::string ScanUsage();

// The file name of page `page` of a batch: the pattern with its "%d" (or
// "%0Nd") replaced by the page number. Empty when the pattern holds no such
// conversion, or anything else after a '%' but "%%".
std::string BatchFileName(const std::string& pattern, int page);
