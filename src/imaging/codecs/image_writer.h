// The source's encoders behind one interface: a page is begun with its
// format, handed its rows top-down as the scanner sends them, and ended.
// After EndPage the sink holds a whole file (or stream) with every page so
// far; a writer of several pages takes the next page the same way.
//
// Rows come as the source holds them: 24-bit pixels red, green, blue; 8-bit
// grey; 1-bit packed, most significant bit first. `whiteIsZero` tells which
// level of a 1- or 8-bit scan is white (an inverted scan's), and each writer
// turns the levels into its own format's convention.
//
// The writers are thin: libjpeg-turbo, libtiff and libpng do the coding; the
// PDF writer lays out its few objects itself around a JPEG or Group 4
// stream from those libraries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class ByteSink;

enum class ImageCoding { None, Jpeg, Group4, Lzw, Zip };

enum class EncodedFormat {
    JpegStream,    // a JFIF file, or a memory transfer's JPEG strips
    Group4Stream,  // bare CCITT Group 4 (T.6) data, 0 bits white, for a memory transfer
    Tiff,          // one or more pages
    Png,           // one page
    Pdf,           // one or more pages
};

struct PageFormat {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bitsPerPixel = 24;  // 1, 8 or 24
    bool whiteIsZero = false;         // 1- and 8-bit only
    std::uint32_t resolution = 150;   // dots per inch, both axes
    ImageCoding coding = ImageCoding::None;
    int quality = 75;                 // JPEG, 1 to 100
};

class ImageWriter {
public:
    virtual ~ImageWriter() = default;
    // False for a format the writer cannot take (a coding its format lacks,
    // a second page of a one-page format) or a sink that fails.
    virtual bool BeginPage(const PageFormat& page) = 0;
    // `count` rows, `stride` bytes apart, each holding at least the page's
    // width of pixels.
    virtual bool WriteRows(const std::uint8_t* rows, std::uint32_t count, std::size_t stride) = 0;
    // Every row of the page was written: the sink holds a whole file.
    virtual bool EndPage() = 0;
    // Drops the page begun and writes nothing more; the caller cuts the
    // sink back to where it stood after the last page.
    virtual void Abandon() = 0;
};

// Whether `format` can hold a page of `bitsPerPixel` coded so.
bool FormatTakes(EncodedFormat format, std::uint32_t bitsPerPixel, ImageCoding coding);

// A writer into `sink`, which must outlive it; null for no memory.
std::unique_ptr<ImageWriter> MakeImageWriter(EncodedFormat format, ByteSink& sink);
