// Command line of vorelscan: flags with values, checked before anything is
// opened.
#include "scan_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool EndsWith(const std::string& text, const char* suffix) {
    std::size_t n = std::strlen(suffix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char a = text[text.size() - n + i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != suffix[i]) return false;
    }
    return true;
}

bool ParseInt(const char* text, int* value) {
    char* end = nullptr;
    long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < -100000 || parsed > 100000) return false;
    *value = static_cast<int>(parsed);
    return true;
}

}  // namespace

std::string BatchFileName(const std::string& pattern, int page) {
    std::string name;
    bool converted = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            name += pattern[i];
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            name += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        int width = 0;
        while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9' && width < 100) {
            width = width * 10 + (pattern[j] - '0');
            ++j;
        }
        if (converted || j >= pattern.size() || pattern[j] != 'd') return {};
        std::string digits = std::to_string(page);
        if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
        name += digits;
        converted = true;
        i = j;
    }
    return converted ? name : std::string();
}

const char* ScanUsage() {
    return "usage: vorelscan --out FILE [--format bmp|tiff] [--mech native|memory|file]\n"
           "                 [--type bw|gray|color] [--dpi N] [--ydpi N] [--region L,T,R,B]\n"
           "                 [--buffer BYTES] [--vanilla] [--ui]\n"
           "       vorelscan --batch PATTERN [--count N] [--multipage] [the flags above]\n"
           "  Acquires one image from the Vorel source and writes it to FILE; with --batch,\n"
           "  every image of one enabling (the feeder's sheets, or N copies on the flatbed),\n"
           "  page n to PATTERN with its %d replaced by n (e.g. page-%d.tiff), or with\n"
           "  --multipage all pages into the one TIFF file PATTERN. --count is CAP_XFERCOUNT\n"
           "  (default -1: as many as there are).\n"
           "  --region is in 1/300 inch; --vanilla asks for pixel flavour vanilla (0 is white);\n"
           "  --ui shows the source's dialog and waits for Final Scan.\n";
}

bool ParseScanOptions(int argc, char** argv, ScanOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "--ui") {
            options->showUI = true;
            continue;
        }
        if (flag == "--vanilla") {
            options->vanilla = true;
            continue;
        }
        if (flag == "--multipage") {
            options->multipage = true;
            continue;
        }
        if (flag == "--help" || flag == "-h") {
            *error = "";
            return false;
        }
        if (i + 1 >= argc) {
            *error = flag + " needs a value";
            return false;
        }
        const char* value = argv[++i];
        if (flag == "--out") {
            options->out = value;
        } else if (flag == "--batch") {
            options->out = value;
            options->batch = true;
        } else if (flag == "--count") {
            if (!ParseInt(value, &options->count) || options->count == 0 || options->count < -1 ||
                options->count > 32767) {
                return *error = "bad --count, expected -1 or 1 to 32767", false;
            }
        } else if (flag == "--format") {
            options->format = value;
        } else if (flag == "--mech") {
            options->mechanism = value;
        } else if (flag == "--type") {
            options->type = value;
        } else if (flag == "--dpi") {
            if (!ParseInt(value, &options->dpi)) return *error = "bad --dpi", false;
        } else if (flag == "--ydpi") {
            if (!ParseInt(value, &options->yDpi)) return *error = "bad --ydpi", false;
        } else if (flag == "--buffer") {
            if (!ParseInt(value, &options->memoryBuffer)) return *error = "bad --buffer", false;
        } else if (flag == "--region") {
            if (std::sscanf(value, "%d,%d,%d,%d", &options->left, &options->top, &options->right,
                            &options->bottom) != 4) {
                return *error = "bad --region, expected L,T,R,B", false;
            }
            options->region = true;
        } else {
            *error = "unknown flag " + flag;
            return false;
        }
    }
    if (options->out.empty()) return *error = "--out or --batch is required", false;
    if (options->multipage) options->batch = true;
    if (options->batch && !options->multipage && BatchFileName(options->out, 1).empty()) {
        return *error = "--batch needs one %d in its pattern, e.g. page-%d.tiff", false;
    }
    if (options->format.empty()) {
        options->format = (EndsWith(options->out, ".tif") || EndsWith(options->out, ".tiff")) ? "tiff" : "bmp";
    }
    if (options->format != "bmp" && options->format != "tiff") return *error = "--format is bmp or tiff", false;
    if (options->multipage && options->format != "tiff") return *error = "--multipage writes TIFF", false;
    if (options->mechanism.empty()) {
        options->mechanism = options->multipage ? "memory" : options->format == "tiff" ? "file" : "native";
    }
    if (options->multipage && options->mechanism == "file") {
        return *error = "--multipage takes the pages by native or memory transfer", false;
    }
    if (options->mechanism != "native" && options->mechanism != "memory" && options->mechanism != "file") {
        return *error = "--mech is native, memory or file", false;
    }
    if (options->type != "bw" && options->type != "gray" && options->type != "color") {
        return *error = "--type is bw, gray or color", false;
    }
    if (options->yDpi == 0) options->yDpi = options->dpi;
    return true;
}
