// vorelscan: acquires one image, or a batch of them, from the Vorel source
// and writes each as a BMP or TIFF file. The command line is read wide and
// kept in UTF-8; everything printed is UTF-8 with "\n" line ends.
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "acquisition.h"
#include "interruption.h"
#include "scan_options.h"
#include "wide_text.h"

namespace {

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return args;
    for (int i = 1; i < count; ++i) args.push_back(Utf8FromWide(wide[i]));
    ::LocalFree(wide);
    return args;
}

int Run() {
    ScanOptions options;
    std::string error;
    if (!ParseScanOptions(Arguments(), &options, &error)) {
        std::fprintf(stderr, "vorelscan: %s\nvorelscan --help lists the flags.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(ScanUsage().c_str(), stdout);
        return 0;
    }
    int pages = 0;
    const int failed = Acquire(options, &error, &pages);
    // Everything the scan opened and wrote is closed and tidied by now.
    interruption::Finished();
    if (interruption::Requested()) {
        const std::string& named = !options.setUpOnly.empty() ? options.setUpOnly : options.out;
        std::fprintf(stderr, "vorelscan: interrupted; %s\n",
                     options.batch && pages > 0 ? (std::to_string(pages) + " page" + (pages == 1 ? " was" : "s were") +
                                                   " written before it").c_str()
                     : options.batch && !options.multipage ? "no page was written"
                                                           : (named + " was left as it was").c_str());
        return interruption::kExitCode;
    }
    if (failed != 0) {
        std::fprintf(stderr, "vorelscan: %s\n", error.c_str());
        return 1;
    }
    // Success is told only for what is there.
    const std::string& written = !options.setUpOnly.empty() ? options.setUpOnly : options.out;
    if ((!options.batch || options.multipage) &&
        ::GetFileAttributesW(WideFromUtf8(written).c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "vorelscan: the scan ended without an error, but %s is not there\n", written.c_str());
        return 1;
    }
    if (options.batch && pages == 0) {
        std::fputs("vorelscan: the source delivered no page\n", stderr);
        return 1;
    }
    if (!options.setUpOnly.empty()) {
        std::printf("saved the set-up to %s\n", options.setUpOnly.c_str());
    } else if (options.batch) {
        std::printf("wrote %d page%s\n", pages, pages == 1 ? "" : "s");
    } else {
        std::printf("wrote %s\n", options.out.c_str());
    }
    return 0;
}

}  // namespace

int main() {
    // Binary streams: "\n" stays "\n", and UTF-8 passes untouched.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    interruption::Install();
    try {
        return Run();
    } catch (const std::bad_alloc&) {
        std::fputs("vorelscan: out of memory\n", stderr);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "vorelscan: %s\n", failure.what());
    }
    return 3;
}
