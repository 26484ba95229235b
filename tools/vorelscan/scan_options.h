// The acquisition tool's command line.
#pragma once

#include <string>

struct ScanOptions {
    std::string out;          // the image file to write; with --batch, the pattern of the names
    std::string format;       // "bmp" or "tiff", from --format or the file name
    std::string mechanism;    // "native", "memory" or "file"
    std::string type = "color";  // "bw", "gray" or "color"
    int dpi = 150;
    int yDpi = 0;             // 0: as dpi
    bool region = false;
    int left = 0, top = 0, right = 0, bottom = 0;  // in 1/300 inch
    bool showUI = false;
    bool vanilla = false;     // ICAP_PIXELFLAVOR vanilla: 1- and 8-bit data with 0 white
    bool batch = false;       // several images in one enabling, one file each
    int count = -1;           // CAP_XFERCOUNT of a batch: -1 as many as there are
    bool multipage = false;   // a batch into one multi-page TIFF
    int memoryBuffer = 64000;
};

// Parses the arguments; on a bad or missing argument writes why to `error`
// and returns false.
bool ParseScanOptions(int argc, char** argv, ScanOptions* options, std::string* error);
const char* ScanUsage();

// The file name of page `page` of a batch: the pattern with its "%d" (or
// "%0Nd") replaced by the page number. Empty when the pattern holds no such
// conversion, or anything else after a '%' but "%%".
std::string BatchFileName(const std::string& pattern, int page);
