// The acquisition tool's command line: batch file names from a pattern, the
// values and combinations it refuses before opening anything (each refusal
// naming the flag and saying why), and both spellings of a flag's value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "progress_lines.h"
#include "scan_options.h"

namespace {

TEST(ScanOptions, BatchFileNameReplacesOneConversion) {
    struct Case {
        const char* pattern;
        int page;
        const char* name;  // "" refused
    };
    for (const Case& c : {Case{"page-%d.tiff", 3, "page-3.tiff"}, Case{"p%03d.bmp", 7, "p007.bmp"},
                          Case{"p%03d.bmp", 1234, "p1234.bmp"}, Case{"100%%-%d.tif", 2, "100%-2.tif"},
                          Case{"page.tiff", 1, ""}, Case{"%d-%d.tiff", 1, ""}, Case{"%s.tiff", 1, ""},
                          Case{"page-%", 1, ""}, Case{"%n%d", 1, ""}}) {
        EXPECT_EQ(BatchFileName(c.pattern, c.page), c.name) << c.pattern;
    }
}

TEST(ScanOptions, BatchFlags) {
    struct Case {
        std::vector<std::string> words;
        bool accepted;
        const char* mechanism;
    };
    const Case cases[] = {
        {{"--batch", "page-%d.tiff"}, true, "file"},
        {{"--batch", "page-%d.bmp", "--count", "3"}, true, "native"},
        {{"--batch", "all.tiff", "--multipage"}, true, "memory"},
        {{"--batch", "page.tiff"}, false, ""},
        {{"--batch", "all.bmp", "--multipage"}, false, ""},
        {{"--batch", "all.tiff", "--multipage", "--mech", "file"}, true, "file"},
        {{"--batch", "all.pdf", "--multipage"}, true, "file"},
        {{"--batch", "all.pdf", "--multipage", "--mech", "memory"}, false, ""},
        {{"--batch", "all.jpg", "--multipage"}, false, ""},
        {{"--batch", "p%d.tiff", "--count", "0"}, false, ""},
        {{"--batch", "p%d.tiff", "--count", "-2"}, false, ""},
    };
    for (const Case& c : cases) {
        ScanOptions options;
        std::string error;
        EXPECT_EQ(ParseScanOptions(c.words, &options, &error), c.accepted) << c.words[1] << ": " << error;
        if (c.accepted) {
            EXPECT_TRUE(options.batch) << c.words[1];
            EXPECT_EQ(options.mechanism, c.mechanism) << c.words[1];
        }
    }
}

// Every refusal names what was wrong in words; the first word of the
// message is the flag at fault.
TEST(ScanOptions, RefusesBadInputInWords) {
    struct Case {
        std::vector<std::string> words;
        const char* message;  // a part of the error
    };
    const Case cases[] = {
        {{"--out", "a.tiff", "--dpi", "65686"}, "--dpi 65686: resolution must be 12 to 2400 dpi"},
        {{"--out", "a.tiff", "--dpi", "11"}, "resolution must be 12 to 2400 dpi"},
        {{"--out", "a.tiff", "--dpi", "99999999999"}, "--dpi 99999999999: expected a whole number"},
        {{"--out", "a.tiff", "--dpi", "150x"}, "--dpi 150x: expected a whole number"},
        {{"--out", "a.tiff", "--dpi", "300", "--ydpi", "600"}, "takes both axes at the X resolution"},
        {{"--out", "a.tiff", "--region", "600,0,300,300"}, "empty or reversed"},
        {{"--out", "a.tiff", "--region", "0,300,300,300"}, "empty or reversed"},
        {{"--out", "a.tiff", "--region", "-1,0,300,300"}, "outside the bed"},
        {{"--out", "a.tiff", "--region", "1,2,3"}, "--region 1,2,3: expected four whole numbers"},
        {{"--out", "a.tiff", "--region", "1,2,3,4,5"}, "expected four whole numbers"},
        {{"--out", "a.tiff", "--count", "3"}, "--count needs --batch"},
        {{"--out", "a.gif"}, "--out a.gif: the name must end in .bmp, .tif, .tiff, .jpg, .jpeg, .png or .pdf"},
        {{"--out", "a.bmp", "--format", "tiff"}, "another format"},
        {{"--out", "a.tiff", "--buffer", "64001"}, "at most 64000"},
        {{"--out", "a.tiff", "--brightness", "1001"}, "--brightness 1001: the brightness is -1000 to 1000"},
        {{"--out", "a.tiff", "--contrast", "-1001"}, "the contrast is -1000 to 1000"},
        {{"--out", "a.tiff", "--gamma", "0.09"}, "--gamma 0.09: the gamma is a number from 0.1 to 10"},
        {{"--out", "a.tiff", "--gamma", "2.225"}, "with at most two decimals"},
        {{"--out", "a.tiff", "--gamma", "-1"}, "the gamma is a number"},
        {{"--out", "a.tiff", "--gamma", "2."}, "the gamma is a number"},
        {{"--out", "a.tiff", "--scale", "401"}, "--scale 401: the scale is 10 to 400 percent"},
        {{"--out", "a.tiff", "--discard-blank=yes"}, "--discard-blank takes no value"},
        {{"--out", "a.tiff", "--rotate", "45"}, "--rotate 45: the rotation is 0, 90, 180 or 270 degrees"},
        {{"--out", "a.tiff", "--rotate", "360"}, "the rotation is 0, 90, 180 or 270 degrees"},
        {{"--out", "a.tiff", "--rotate", "-90"}, "the rotation is 0, 90, 180 or 270 degrees"},
        {{"--out", "a.tiff", "--buffer", "0"}, "at least one row"},
        {{"--out", "a.tiff", "--type", "colour"}, "--type colour: the type is bw, gray or color"},
        {{"--out", "a.tiff", "--mech", "disk"}, "native, memory or file"},
        {{"--out", "a.tiff", "--dpi"}, "--dpi needs a value"},
        {{"--out", "a.tiff", "--ui=yes"}, "--ui takes no value"},
        {{"--out", "a.tiff", "--colour"}, "unknown flag --colour"},
        {{"--out", "a.tiff", "stray"}, "unexpected argument stray"},
        {{"--out", "a.tiff", "--batch", "p%d.tiff"}, "cannot both be given"},
        {{"--dpi", "300"}, "--out FILE or --batch PATTERN is required"},
        {{"--out", "a.tiff", "--ui", "--answer-boxes"}, "--ui shows the source's window"},
        {{"--out", "a.tiff", "--progress", "--no-indicators"}, "which --no-indicators turns off"},
        {{"--setup-only", "s.set", "--out", "a.tiff"}, "--setup-only saves a set-up and scans nothing"},
        {{"--setup-only", "s.set", "--answer-boxes"}, "--setup-only shows the source's window"},
        {{"--setup-only", "s.set", "--dpi", "5"}, "resolution must be 12 to 2400 dpi"},
        {{"--out", "a.tiff", "--setup="}, "--setup \"\": the set-up needs a file name"},
        {{"--out", ""}, "--out \"\": the image needs a file name"},
        {{"--batch="}, "--batch \"\": the pages need a pattern of file names"},
        // A region partly off the bed is refused with the others, before
        // anything is opened.
        {{"--out", "a.tiff", "--region", "0,0,2551,300"}, "--region 0,0,2551,300: the region lies outside the 8.5 × 14"},
        {{"--out", "a.tiff", "--region", "2000,4000,2600,4300"}, "outside the 8.5 × 14 inch bed (2550 × 4200"},
        {{"--setup-only", "s.set", "--region", "0,4100,100,4201"}, "outside the 8.5 × 14 inch bed"},
    };
    for (const Case& c : cases) {
        ScanOptions options;
        std::string error;
        EXPECT_FALSE(ParseScanOptions(c.words, &options, &error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << "error \"" << error << "\", expected \"" << c.message
                                                            << "\"";
    }
}

// The file formats and compressions: what each name and flag asks of the
// source (the transfer, ICAP_COMPRESSION, ICAP_JPEGQUALITY), and the
// combinations that cannot give that file, refused before anything opens.
TEST(ScanOptions, FormatsCompressionAndQuality) {
    struct Case {
        std::vector<std::string> words;
        const char* format;       // nullptr: refused
        const char* mechanism;    // or, when refused, a part of the error
        const char* compression;  // what is sent; "" nothing
        int quality;              // -1 nothing
    };
    const Case cases[] = {
        {{"--out", "a.JPG"}, "jpeg", "file", "", -1},
        {{"--out", "a.jpeg", "--type", "gray", "--quality", "75"}, "jpeg", "file", "", 75},
        {{"--out", "a.jpg", "--mech", "memory", "--quality=75"}, "jpeg", "memory", "jpeg", 75},
        {{"--out", "a.jpg", "--compression", "jpeg", "--mech", "memory"}, "jpeg", "memory", "jpeg", -1},
        {{"--out", "a.png"}, "png", "file", "", -1},
        {{"--out", "a.pdf", "--type", "bw"}, "pdf", "file", "", -1},
        {{"--out", "a.pdf", "--compression", "group4", "--type", "bw"}, "pdf", "file", "group4", -1},
        {{"--out", "a.pdf", "--quality", "0"}, "pdf", "file", "", 0},
        {{"--out", "a.tif", "--compression", "group4", "--type", "bw"}, "tiff", "file", "group4", -1},
        {{"--out", "a.tif", "--compression", "group4", "--type", "bw", "--mech", "memory"}, "tiff", "memory", "group4", -1},
        {{"--out", "a.tif", "--compression", "lzw"}, "tiff", "file", "lzw", -1},
        {{"--out", "a.tif", "--compression", "zip", "--type", "bw"}, "tiff", "file", "zip", -1},
        {{"--out", "a.tif", "--compression", "jpeg", "--quality", "100"}, "tiff", "file", "jpeg", 100},
        {{"--out", "a.tif", "--compression", "none", "--mech", "memory"}, "tiff", "memory", "none", -1},
        {{"--out", "a.bmp", "--compression", "none"}, "bmp", "native", "none", -1},
        {{"--out", "scan", "--format", "pdf"}, "pdf", "file", "", -1},
        {{"--batch", "all.tif", "--multipage", "--compression", "group4", "--type", "bw"}, "tiff", "file", "group4", -1},
        {{"--batch", "all.tif", "--multipage", "--compression", "none"}, "tiff", "memory", "none", -1},
        // Refused, each with the reason.
        {{"--out", "a.tif", "--compression", "group4"}, nullptr, "Group 4 compresses 1-bit images: add --type bw", "", -1},
        {{"--out", "a.tif", "--compression", "group4", "--type", "gray"}, nullptr, "add --type bw", "", -1},
        {{"--out", "a.tif", "--compression", "jpeg", "--type", "bw"}, nullptr, "JPEG compresses grey and colour", "", -1},
        {{"--out", "a.jpg", "--type", "bw"}, nullptr, "--type bw: JPEG holds grey and colour images", "", -1},
        {{"--out", "a.jpg", "--mech", "native"}, nullptr, "a native transfer is an uncompressed DIB", "", -1},
        {{"--out", "a.jpg", "--compression", "none"}, nullptr, "a .jpg holds JPEG", "", -1},
        {{"--out", "a.tif", "--mech", "native", "--compression", "jpeg"}, nullptr, "a native transfer is an uncompressed", "", -1},
        {{"--out", "a.bmp", "--compression", "zip"}, nullptr, "a BMP file is uncompressed", "", -1},
        {{"--out", "a.png", "--compression", "zip"}, nullptr, "PNG compresses in its own way", "", -1},
        {{"--out", "a.png", "--mech", "memory"}, nullptr, "--mech memory: the source writes PNG files itself", "", -1},
        {{"--out", "a.pdf", "--mech", "native"}, nullptr, "the source writes PDF files itself", "", -1},
        {{"--out", "a.pdf", "--compression", "lzw"}, nullptr, "a PDF holds JPEG (grey and colour) or Group 4", "", -1},
        {{"--out", "a.tif", "--mech", "memory", "--compression", "lzw"}, nullptr, "LZW and ZIP compress TIFF files", "", -1},
        {{"--out", "a.tif", "--mech", "memory", "--compression", "jpeg"}, nullptr, "JPEG memory strips make a JPEG file", "", -1},
        {{"--batch", "all.tif", "--multipage", "--mech", "memory", "--compression", "lzw"}, nullptr,
         "the tool's own multi-page TIFF holds uncompressed pages", "", -1},
        {{"--out", "a.tif", "--quality", "75"}, nullptr, "--quality 75: the quality is JPEG's", "", -1},
        {{"--out", "a.pdf", "--type", "bw", "--quality", "75"}, nullptr, "the quality is JPEG's", "", -1},
        {{"--out", "a.jpg", "--quality", "101"}, nullptr, "--quality 101: the quality is 0 to 100", "", -1},
        {{"--out", "a.jpg", "--quality", "-1"}, nullptr, "the quality is 0 to 100", "", -1},
        {{"--out", "a.tif", "--compression", "g4"}, nullptr, "--compression g4: the compression is none, jpeg", "", -1},
        {{"--out", "a.jpg", "--format", "png"}, nullptr, "another format than --format png", "", -1},
    };
    for (const Case& c : cases) {
        ScanOptions o;
        std::string error;
        std::string words;
        for (const std::string& word : c.words) words += word + " ";
        const bool accepted = ParseScanOptions(c.words, &o, &error);
        if (c.format == nullptr) {
            EXPECT_FALSE(accepted) << words;
            EXPECT_NE(error.find(c.mechanism), std::string::npos)
                << words << ": error \"" << error << "\", expected \"" << c.mechanism << "\"";
            continue;
        }
        ASSERT_TRUE(accepted) << words << ": " << error;
        EXPECT_EQ(o.format, c.format) << words;
        EXPECT_EQ(o.mechanism, c.mechanism) << words;
        EXPECT_EQ(o.compression, c.compression) << words;
        EXPECT_EQ(o.Given("--quality") ? o.quality : -1, c.quality) << words;
    }
    EXPECT_NE(ScanUsage().find("--compression none|jpeg|group4|lzw|zip"), std::string::npos) << ScanUsage();
    EXPECT_NE(ScanUsage().find("--quality N"), std::string::npos) << ScanUsage();
}

// The image controls: what each flag stores, the gamma's decimals included.
TEST(ScanOptions, ImageControls) {
    ScanOptions o;
    std::string error;
    ASSERT_TRUE(ParseScanOptions({"--out", "a.tiff", "--brightness", "-500", "--contrast=250", "--gamma", "1.8",
                                  "--scale", "200", "--discard-blank", "--rotate=270"},
                                 &o, &error))
        << error;
    EXPECT_EQ(o.brightness, -500);
    EXPECT_EQ(o.contrast, 250);
    EXPECT_EQ(o.gammaHundredths, 180);
    EXPECT_EQ(o.scalePercent, 200);
    EXPECT_EQ(o.rotateDegrees, 270);
    EXPECT_TRUE(o.discardBlank);
    for (const auto& [text, hundredths] : std::vector<std::pair<std::string, int>>{{"3", 300}, {"0.45", 45}, {"10", 1000}}) {
        ScanOptions g;
        ASSERT_TRUE(ParseScanOptions({"--out", "a.tiff", "--gamma", text}, &g, &error)) << text << ": " << error;
        EXPECT_EQ(g.gammaHundredths, hundredths) << text;
    }
}

TEST(ScanOptions, ValuesAfterAnEqualsSignOrAsTheNextWord) {
    for (const auto& words : {std::vector<std::string>{"--out=a b.TIF", "--dpi=300", "--region=1,2,12,12",
                                                       "--buffer=8000", "--type=gray"},
                              std::vector<std::string>{"--out", "a b.TIF", "--dpi", "300", "--region", "1,2,12,12",
                                                       "--buffer", "8000", "--type", "gray"}}) {
        ScanOptions options;
        std::string error;
        ASSERT_TRUE(ParseScanOptions(words, &options, &error)) << words[0] << ": " << error;
        EXPECT_EQ(options.out, "a b.TIF");
        EXPECT_EQ(options.format, "tiff");
        EXPECT_EQ(options.mechanism, "file");
        EXPECT_EQ(options.dpi, 300);
        EXPECT_EQ(options.yDpi, 300);
        EXPECT_TRUE(options.region);
        EXPECT_EQ(options.left + options.top * 10 + options.right * 100 + options.bottom * 1000, 1 + 20 + 1200 + 12000);
        EXPECT_EQ(options.memoryBuffer, 8000);
        EXPECT_EQ(options.type, "gray");
    }
    // Over a saved set-up only the flags given count.
    ScanOptions saved;
    std::string error;
    ASSERT_TRUE(ParseScanOptions({"--setup", "s.set", "--out", "a.bmp", "--dpi=300"}, &saved, &error)) << error;
    EXPECT_TRUE(saved.Given("--dpi") && saved.Given("--setup") && !saved.Given("--type"));
    ScanOptions setUpOnly;
    ASSERT_TRUE(ParseScanOptions({"--setup-only", "s.set", "--type", "gray"}, &setUpOnly, &error)) << error;
    ScanOptions wholeBed;
    EXPECT_TRUE(ParseScanOptions({"--out", "a.tiff", "--region", "0,0,2550,4200"}, &wholeBed, &error)) << error;
    ScanOptions options;
    EXPECT_TRUE(ParseScanOptions({"--help"}, &options, &error) && options.help) << error;
    EXPECT_NE(ScanUsage().find("--region L,T,R,B"), std::string::npos) << ScanUsage();
}

// A line per tenth a page passes, however the rows arrive: a tenth crossed
// twice in one report gives both lines, a report behind the last one none,
// and a new page counts from 0 again.
TEST(ScanOptions, ProgressLinesPerTenthOfEachPage) {
    std::string told;
    ProgressLines lines([&](const std::string& line) { told += line + ";"; });
    lines.Rows(1, 9, 100);
    lines.Rows(1, 10, 100);
    lines.Rows(1, 35, 100);
    lines.Rows(1, 20, 100);
    lines.PageDone(1);
    lines.Rows(2, 1, 3);
    lines.Rows(2, 9, 0);
    lines.Rows(2, 9, 3);
    EXPECT_EQ(told, "page 1: 10%;page 1: 20%;page 1: 30%;page 1: 40%;page 1: 50%;page 1: 60%;page 1: 70%;"
                    "page 1: 80%;page 1: 90%;page 1: 100%;page 2: 10%;page 2: 20%;page 2: 30%;page 2: 40%;"
                    "page 2: 50%;page 2: 60%;page 2: 70%;page 2: 80%;page 2: 90%;page 2: 100%;");
}

}  // namespace
