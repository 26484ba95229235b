// vorelscan: acquires one image from the Vorel source and writes it as a
// BMP or TIFF file.
#include <cstdio>
#include <string>

#include "acquisition.h"
#include "scan_options.h"

int main(int argc, char** argv) {
    ScanOptions options;
    std::string error;
    if (!ParseScanOptions(argc, argv, &options, &error)) {
        if (!error.empty()) std::fprintf(stderr, "vorelscan: %s\n", error.c_str());
        std::fputs(ScanUsage(), error.empty() ? stdout : stderr);
        return error.empty() ? 0 : 2;
    }
    if (Acquire(options, &error) != 0) {
        std::fprintf(stderr, "vorelscan: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %s\n", options.out.c_str());
    return 0;
}
