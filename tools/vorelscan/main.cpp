// vorelscan: acquires one image, or a batch of them, from the Vorel source
// and writes each as a BMP or TIFF file.
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
    int pages = 0;
    if (Acquire(options, &error, &pages) != 0) {
        std::fprintf(stderr, "vorelscan: %s\n", error.c_str());
        return 1;
    }
    if (options.batch) {
        std::printf("wrote %d page%s\n", pages, pages == 1 ? "" : "s");
    } else {
        std::printf("wrote %s\n", options.out.c_str());
    }
    return 0;
}
