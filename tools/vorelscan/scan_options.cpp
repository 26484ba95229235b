// Command line of vorelscan: every flag is a row of one table, parsed in
// the forms "--flag value" and "--flag=value", then the combinations are
// checked, all before anything is opened. Errors name the flag and say what
// it takes; they never repeat the whole usage.
#include "scan_options.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>

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

// A whole decimal number with an optional minus sign and at most nine
// digits, so that it cannot overflow on its way in.
bool ParseInt(const std::string& text, int* value) {
    std::size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
    if (i == text.size() || text.size() - i > 9) return false;
    long parsed = 0;
    for (std::size_t j = i; j < text.size(); ++j) {
        if (text[j] < '0' || text[j] > '9') return false;
        parsed = parsed * 10 + (text[j] - '0');
    }
    *value = static_cast<int>(i == 1 ? -parsed : parsed);
    return true;
}

bool OneOf(const std::string& value, std::initializer_list<const char*> choices) {
    for (const char* choice : choices) {
        if (value == choice) return true;
    }
    return false;
}

// Each setter stores a flag's value in the options, or says what is wrong
// with it (the caller puts the flag in front).
using Setter = bool (*)(ScanOptions* options, const std::string& value, std::string* error);

struct Flag {
    const char* name;
    const char* value;  // the value's name in the usage; nullptr for a switch
    const char* help;
    Setter set;
};

bool Fail(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

// A decimal number with at most two decimals ("2.2", "0.45", "3"), in
// hundredths; false for anything else.
bool ParseHundredths(const std::string& value, int* hundredths) {
    const std::size_t dot = value.find('.');
    const std::string whole = value.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? std::string() : value.substr(dot + 1);
    if (whole.empty() || whole.size() > 4 || fraction.size() > 2 || (dot != std::string::npos && fraction.empty())) {
        return false;
    }
    for (char c : whole + fraction) {
        if (c < '0' || c > '9') return false;
    }
    *hundredths = std::stoi(whole) * 100 + (fraction.empty() ? 0 : std::stoi(fraction) * (fraction.size() == 1 ? 10 : 1));
    return true;
}

bool SetNumber(const std::string& value, int* into, std::string* error) {
    return ParseInt(value, into) || Fail(error, "expected a whole number, got \"" + value + "\"");
}

const Flag kFlags[] = {
    {"--out", "FILE", "the image to write: .bmp, .tif/.tiff, .jpg/.jpeg, .png or .pdf",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         o->out = v;
         o->outGiven = true;
         return !v.empty() || Fail(e, "the image needs a file name");
     }},
    {"--batch", "PATTERN", "every image of one enabling, page n to PATTERN with its %d replaced by n",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         o->out = v;
         o->batch = true;
         return !v.empty() || Fail(e, "the pages need a pattern of file names, e.g. page-%d.tiff");
     }},
    {"--count", "N", "with --batch: the images asked for (default -1: as many as there are)",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         o->countGiven = true;
         if (!SetNumber(v, &o->count, e)) return false;
         return o->count == -1 || (o->count >= 1 && o->count <= 32767) ||
                Fail(e, "the count must be -1 (as many as there are) or 1 to 32767");
     }},
    {"--multipage", nullptr,
     "with --batch: all pages into the one file PATTERN, a TIFF (.tif, .tiff) or, by file transfer, a PDF (.pdf)",
     [](ScanOptions* o, const std::string&, std::string*) { return o->multipage = true; }},
    {"--format", "bmp|tiff|jpeg|png|pdf", "the file format, when the name does not tell",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         o->format = v;
         return OneOf(v, {"bmp", "tiff", "jpeg", "png", "pdf"}) || Fail(e, "the format is bmp, tiff, jpeg, png or pdf");
     }},
    {"--compression", "none|jpeg|group4|lzw|zip",
     "the source compresses the image (ICAP_COMPRESSION): JPEG for grey and colour, Group 4 for bw; LZW and ZIP "
     "for TIFF files",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         o->compression = v;
         return OneOf(v, {"none", "jpeg", "group4", "lzw", "zip"}) ||
                Fail(e, "the compression is none, jpeg, group4, lzw or zip");
     }},
    {"--quality", "N", "JPEG's quality, 0 to 100 (ICAP_JPEGQUALITY)",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         if (!SetNumber(v, &o->quality, e)) return false;
         return (o->quality >= 0 && o->quality <= 100) || Fail(e, "the quality is 0 to 100");
     }},
    {"--mech", "native|memory|file",
     "the transfer: native DIB, memory strips or a file the source writes (default: native for BMP, memory for "
     "an uncompressed --multipage TIFF, file otherwise)",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         o->mechanism = v;
         return OneOf(v, {"native", "memory", "file"}) || Fail(e, "the transfer is native, memory or file");
     }},
    {"--type", "bw|gray|color", "1-bit, 8-bit grey or 24-bit colour (default color)",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         o->type = v;
         return OneOf(v, {"bw", "gray", "color"}) || Fail(e, "the type is bw, gray or color");
     }},
    {"--dpi", "N", "the resolution, 12 to 2400 (default 150)",
     [](ScanOptions* o, const std::string& v, std::string* e) { return SetNumber(v, &o->dpi, e); }},
    {"--ydpi", "N", "the vertical resolution: the scanner takes both axes at --dpi, so only that value",
     [](ScanOptions* o, const std::string& v, std::string* e) { return SetNumber(v, &o->yDpi, e); }},
    {"--region", "L,T,R,B", "the scan region in 1/300 inch (default: the whole bed)",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         int* edges[] = {&o->left, &o->top, &o->right, &o->bottom};
         std::size_t start = 0;
         for (int i = 0; i < 4; ++i) {
             std::size_t comma = i < 3 ? v.find(',', start) : v.size();
             if (comma == std::string::npos || !ParseInt(v.substr(start, comma - start), edges[i]) ||
                 (i == 3 && v.find(',', start) != std::string::npos)) {
                 return Fail(e, "expected four whole numbers L,T,R,B in 1/300 inch, got \"" + v + "\"");
             }
             start = comma + 1;
         }
         o->region = true;
         return true;
     }},
    {"--brightness", "N", "brightness, -1000 (darkest) to 1000 (lightest); default 0",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         if (!SetNumber(v, &o->brightness, e)) return false;
         return (o->brightness >= -1000 && o->brightness <= 1000) || Fail(e, "the brightness is -1000 to 1000");
     }},
    {"--contrast", "N", "contrast, -1000 (flattest) to 1000 (strongest); default 0",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         if (!SetNumber(v, &o->contrast, e)) return false;
         return (o->contrast >= -1000 && o->contrast <= 1000) || Fail(e, "the contrast is -1000 to 1000");
     }},
    {"--gamma", "X", "the tone curve's gamma, 0.1 to 10 (default 2.2, the scanner's calibration)",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         return ParseHundredths(v, &o->gammaHundredths) && o->gammaHundredths >= 10 && o->gammaHundredths <= 1000
                    ? true
                    : Fail(e, "the gamma is a number from 0.1 to 10 with at most two decimals");
     }},
    {"--scale", "PERCENT", "the scanner scales the image, 10 to 400 percent of its size (default 100)",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         if (!SetNumber(v, &o->scalePercent, e)) return false;
         return (o->scalePercent >= 10 && o->scalePercent <= 400) || Fail(e, "the scale is 10 to 400 percent");
     }},
    {"--rotate", "DEGREES", "the source turns the image clockwise by 0, 90, 180 or 270 degrees (ICAP_ROTATION)",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         if (!SetNumber(v, &o->rotateDegrees, e)) return false;
         return (o->rotateDegrees >= 0 && o->rotateDegrees <= 270 && o->rotateDegrees % 90 == 0) ||
                Fail(e, "the rotation is 0, 90, 180 or 270 degrees");
     }},
    {"--discard-blank", nullptr, "blank sheets from the feeder are dropped (ICAP_AUTODISCARDBLANKPAGES)",
     [](ScanOptions* o, const std::string&, std::string*) { return o->discardBlank = true; }},
    {"--buffer", "BYTES", "the memory transfer's buffer (default: the size the source prefers)",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         if (!SetNumber(v, &o->memoryBuffer, e)) return false;
         return (o->memoryBuffer >= 1 && o->memoryBuffer <= kMaxMemoryBuffer) ||
                Fail(e, "the memory buffer must hold at least one row and at most 64000 bytes");
     }},
    {"--vanilla", nullptr, "pixel flavour vanilla: 1- and 8-bit data with 0 for white",
     [](ScanOptions* o, const std::string&, std::string*) { return o->vanilla = true; }},
    {"--twain2", nullptr, "act as a TWAIN 2 application (DF_APP2, a callback) through the TWAIN 2 manager TWAINDSM.DLL",
     [](ScanOptions* o, const std::string&, std::string*) { return o->twain2 = true; }},
    {"--ui", nullptr, "show the source's window and wait for Final Scan",
     [](ScanOptions* o, const std::string&, std::string*) { return o->showUI = true; }},
    {"--answer-boxes", nullptr,
     "answer every message box of the source with its default button and print its text (for a display "
     "nobody sees)",
     [](ScanOptions* o, const std::string&, std::string*) { return o->answerBoxes = true; }},
    {"--progress", nullptr, "a line on standard error per tenth of each page (\"page 1: 30%\")",
     [](ScanOptions* o, const std::string&, std::string*) { return o->progress = true; }},
    {"--no-indicators", nullptr, "the source shows no progress window (CAP_INDICATORS FALSE)",
     [](ScanOptions* o, const std::string&, std::string*) { return o->noIndicators = true; }},
    {"--setup-only", "FILE",
     "show the source's window for the set-up alone; its OK saves the set-up into FILE (nothing is scanned)",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         o->setUpOnly = v;
         return !v.empty() || Fail(e, "the set-up needs a file name");
     }},
    {"--setup", "FILE", "a set-up saved with --setup-only, taken before the flags given here",
     [](ScanOptions* o, const std::string& v, std::string* e) {
         o->setUp = v;
         return !v.empty() || Fail(e, "the set-up needs a file name");
     }},
    {"--help", nullptr, "print this and do nothing else",
     [](ScanOptions* o, const std::string&, std::string*) { return o->help = true; }},
};

const Flag* FindFlag(const std::string& name) {
    for (const Flag& flag : kFlags) {
        if (name == flag.name) return &flag;
    }
    return name == "-h" ? FindFlag("--help") : nullptr;
}

bool CheckScanValues(ScanOptions* o, std::string* e);
bool CheckTransfer(ScanOptions* o, std::string* e);
bool CheckRest(ScanOptions* o, std::string* e);

// The format a file name says, or nullptr.
const char* FormatOfName(const std::string& name) {
    if (EndsWith(name, ".tif") || EndsWith(name, ".tiff")) return "tiff";
    if (EndsWith(name, ".bmp")) return "bmp";
    if (EndsWith(name, ".jpg") || EndsWith(name, ".jpeg")) return "jpeg";
    if (EndsWith(name, ".png")) return "png";
    if (EndsWith(name, ".pdf")) return "pdf";
    return nullptr;
}

// The combinations, once every flag is read.
bool Check(ScanOptions* o, std::string* e) {
    if (!o->setUpOnly.empty()) {
        if (!o->out.empty()) {
            return Fail(e, "--setup-only saves a set-up and scans nothing: leave out " +
                               std::string(o->batch ? "--batch" : "--out"));
        }
        if (o->answerBoxes) {
            return Fail(e, "--setup-only shows the source's window to someone, --answer-boxes is for a display "
                           "nobody sees");
        }
        return CheckScanValues(o, e);
    }
    if (o->out.empty()) return Fail(e, "--out FILE or --batch PATTERN is required");
    if (o->outGiven && o->batch) return Fail(e, "--out and --batch cannot both be given (--batch names the files)");
    if (o->multipage) o->batch = true;
    if (o->countGiven && !o->batch) return Fail(e, "--count needs --batch: a single scan takes one image");
    if (o->batch && !o->multipage && BatchFileName(o->out, 1).empty()) {
        return Fail(e, "--batch " + o->out + ": the pattern needs one %d for the page number, e.g. page-%d.tiff");
    }
    const char* named = FormatOfName(o->out);
    const char* flag = o->batch ? "--batch " : "--out ";
    if (o->format.empty()) {
        if (named == nullptr) {
            return Fail(e, flag + o->out +
                               ": the name must end in .bmp, .tif, .tiff, .jpg, .jpeg, .png or .pdf (or give --format)");
        }
        o->format = named;
    } else if (named != nullptr && o->format != named) {
        return Fail(e, flag + o->out + ": the name says another format than --format " + o->format);
    }
    if (o->multipage && o->format != "tiff" && o->format != "pdf") {
        return Fail(e, "--multipage writes TIFF or PDF: name the file .tif, .tiff or .pdf");
    }
    return CheckTransfer(o, e) && CheckRest(o, e);
}

// The transfer, compression and quality that can give the format asked
// for, once it is known.
bool CheckTransfer(ScanOptions* o, std::string* e) {
    const std::string& format = o->format;
    const std::string& compression = o->compression;
    const bool compressed = !compression.empty() && compression != "none";
    if (o->mechanism.empty()) {
        // The tool writes BMP and uncompressed TIFF itself; the source writes
        // the other formats and every compressed file.
        o->mechanism = format == "bmp" ? "native"
                       : o->multipage && format == "tiff" && !compressed ? "memory"
                                                                           : "file";
    }
    const std::string& mechanism = o->mechanism;
    const std::string mech = "--mech " + mechanism + ": ";
    if ((format == "png" || format == "pdf") && mechanism != "file") {
        return Fail(e, mech + "the source writes " + (format == "png" ? "PNG" : "PDF") +
                           " files itself: use --mech file (the default for this name)");
    }
    if (format == "jpeg" && mechanism == "native") {
        return Fail(e, mech + "a native transfer is an uncompressed DIB: a JPEG comes by --mech file or memory");
    }
    if (o->multipage && format == "tiff" && mechanism != "file" && compressed) {
        return Fail(e, "--multipage with --compression " + compression +
                           ": the tool's own multi-page TIFF holds uncompressed pages; use --mech file");
    }
    if (format == "jpeg" && o->type == "bw") {
        return Fail(e, "--type bw: JPEG holds grey and colour images; use --type gray or color");
    }
    const std::string given = "--compression " + compression + ": ";
    if (!compression.empty()) {
        if (format == "bmp" && compressed) return Fail(e, given + "a BMP file is uncompressed");
        if (mechanism == "native" && compressed) {
            return Fail(e, given + "a native transfer is an uncompressed DIB; use --mech memory or file");
        }
        if (format == "png") return Fail(e, given + "PNG compresses in its own way: leave --compression out");
        if (format == "jpeg" && compression != "jpeg") return Fail(e, given + "a .jpg holds JPEG: use --compression jpeg");
        if (format == "pdf" && compression != "jpeg" && compression != "group4") {
            return Fail(e, given + "a PDF holds JPEG (grey and colour) or Group 4 (bw) pages");
        }
        if (mechanism == "memory" && (compression == "lzw" || compression == "zip")) {
            return Fail(e, given + "LZW and ZIP compress TIFF files that the source writes: use --mech file");
        }
        if (mechanism == "memory" && compression == "jpeg" && format != "jpeg") {
            return Fail(e, given + "JPEG memory strips make a JPEG file: name it .jpg, or use --mech file");
        }
        if (compression == "group4" && o->type != "bw") {
            return Fail(e, given + "Group 4 compresses 1-bit images: add --type bw");
        }
        if (compression == "jpeg" && o->type == "bw") {
            return Fail(e, given + "JPEG compresses grey and colour images: use --type gray or color");
        }
    } else if (format == "jpeg" && mechanism == "memory") {
        // Memory strips make a JPEG file only when they carry JPEG.
        o->compression = "jpeg";
    }
    const bool jpeg = o->compression == "jpeg" || format == "jpeg" || (format == "pdf" && compression.empty() && o->type != "bw");
    if (o->Given("--quality") && !jpeg) {
        return Fail(e, "--quality " + std::to_string(o->quality) +
                           ": the quality is JPEG's; give it with --compression jpeg, a .jpg, or a grey or colour .pdf");
    }
    return true;
}

// The rest, once the transfer is known.
bool CheckRest(ScanOptions* o, std::string* e) {
    if (!CheckScanValues(o, e)) return false;
    if (o->progress && o->noIndicators && o->mechanism != "memory") {
        return Fail(e, "--progress counts the rows of a " + o->mechanism +
                           " transfer in the source's progress window, which --no-indicators turns off: use --mech "
                           "memory, or leave one of them out");
    }
    if (o->showUI && o->answerBoxes) {
        return Fail(e, "--ui shows the source's window to someone, --answer-boxes is for a display nobody sees");
    }
    return true;
}

// The scan's own values, which a set-up only takes as its start too.
bool CheckScanValues(ScanOptions* o, std::string* e) {
    if (o->dpi < 12 || o->dpi > 2400) {
        return Fail(e, "--dpi " + std::to_string(o->dpi) + ": resolution must be 12 to 2400 dpi");
    }
    if (o->yDpi != 0 && o->yDpi != o->dpi) {
        return Fail(e, "--ydpi " + std::to_string(o->yDpi) + ": the scanner takes both axes at the X resolution (--dpi " +
                           std::to_string(o->dpi) + "); leave --ydpi out");
    }
    o->yDpi = o->dpi;
    if (o->region) {
        const std::string given = "--region " + std::to_string(o->left) + "," + std::to_string(o->top) + "," +
                                  std::to_string(o->right) + "," + std::to_string(o->bottom);
        if (o->left < 0 || o->top < 0) return Fail(e, given + ": the region lies outside the bed (it starts at 0,0)");
        if (o->right <= o->left || o->bottom <= o->top) {
            return Fail(e, given + ": the region is empty or reversed (right must exceed left, bottom top)");
        }
        if (o->right > kBedWidth || o->bottom > kBedHeight) {
            return Fail(e, given + ": the region lies outside the 8.5 × 14 inch bed (" + std::to_string(kBedWidth) +
                               " × " + std::to_string(kBedHeight) + " in 1/300 inch)");
        }
    }
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

std::string ScanUsage() {
    std::string text =
        "usage: vorelscan --out FILE [flags]\n"
        "       vorelscan --batch PATTERN [--count N] [--multipage] [flags]\n"
        "Acquires one image from the Vorel source and writes it to FILE; with --batch, every image of one\n"
        "enabling (the feeder's sheets, or N copies on the flatbed). Flags take their value as \"--flag value\"\n"
        "or \"--flag=value\":\n";
    for (const Flag& flag : kFlags) {
        std::string left = std::string("  ") + flag.name + (flag.value != nullptr ? std::string(" ") + flag.value : "");
        if (left.size() < 26) left.resize(26, ' ');
        text += left + " " + flag.help + "\n";
    }
    return text;
}

bool ParseScanOptions(const std::vector<std::string>& args, ScanOptions* options, std::string* error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        const std::size_t equals = word.rfind("--", 0) == 0 ? word.find('=') : std::string::npos;
        const std::string name = word.substr(0, equals);
        const Flag* flag = FindFlag(name);
        if (flag == nullptr) {
            return Fail(error, (name.rfind("-", 0) == 0 ? "unknown flag " : "unexpected argument ") + name);
        }
        std::string value;
        if (equals != std::string::npos) {
            if (flag->value == nullptr) return Fail(error, name + " takes no value");
            value = word.substr(equals + 1);
        } else if (flag->value != nullptr) {
            if (i + 1 >= args.size()) return Fail(error, name + " needs a value: " + name + " " + flag->value);
            value = args[++i];
        }
        std::string why;
        if (!flag->set(options, value, &why)) {
            return Fail(error, name + " " + (value.empty() && flag->value != nullptr ? "\"\"" : value) + ": " + why);
        }
        options->given.push_back(flag->name);
        if (options->help) return true;
    }
    return Check(options, error);
}
