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

const char* ScanUsage() {
    return "usage: vorelscan --out FILE [--format bmp|tiff] [--mech native|memory|file]\n"
           "                 [--type bw|gray|color] [--dpi N] [--ydpi N] [--region L,T,R,B]\n"
           "                 [--buffer BYTES] [--vanilla] [--ui]\n"
           "  Acquires one image from the Vorel source and writes it to FILE.\n"
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
    if (options->out.empty()) return *error = "--out is required", false;
    if (options->format.empty()) {
        options->format = (EndsWith(options->out, ".tif") || EndsWith(options->out, ".tiff")) ? "tiff" : "bmp";
    }
    if (options->format != "bmp" && options->format != "tiff") return *error = "--format is bmp or tiff", false;
    if (options->mechanism.empty()) options->mechanism = options->format == "tiff" ? "file" : "native";
    if (options->mechanism != "native" && options->mechanism != "memory" && options->mechanism != "file") {
        return *error = "--mech is native, memory or file", false;
    }
    if (options->type != "bw" && options->type != "gray" && options->type != "color") {
        return *error = "--type is bw, gray or color", false;
    }
    if (options->yDpi == 0) options->yDpi = options->dpi;
    return true;
}
