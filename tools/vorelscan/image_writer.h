// The tool's image files, written as the rows arrive: a BMP file of one
// page, or a TIFF file of one page or of many, one page after the other.
// A writer keeps no more than a bounded chunk of rows; the bytes go to a
// sink, a file written at any offset, which the writer never opens itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Where a writer's bytes go.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool WriteAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) = 0;
    // Cuts the file to `size` bytes.
    virtual bool Truncate(std::uint64_t size) = 0;
};

struct PageFormat {
    int width = 0;
    int lines = 0;
    int bitsPerPixel = 0;      // 1, 8 or 24
    int xDpi = 0;
    int yDpi = 0;
    bool whiteIsZero = false;  // 1- and 8-bit levels run from white

    // Unpadded bytes of one row.
    std::size_t RowBytes() const;
};

class ImageWriter {
public:
    virtual ~ImageWriter() = default;
    // Starts a page; false for a format the file cannot take (no size, a
    // depth other than 1, 8 or 24, a second page of a one-page file).
    virtual bool BeginPage(const PageFormat& page) = 0;
    // `count` rows from row `first` (counted from the top); row i of them
    // starts at rows + i * stride (a negative stride walks a bottom-up
    // image) and holds RowBytes() bytes, 24-bit pixels in blue-green-red
    // order when `bgr`, else red-green-blue. Rows outside the page are
    // ignored.
    virtual bool PutRows(int first, int count, const std::uint8_t* rows, std::ptrdiff_t stride, bool bgr) = 0;
    // Completes the page begun.
    virtual bool EndPage() = 0;
    // Forgets the page begun: the file is again what it was before it.
    virtual bool DropPage() = 0;
    // Pages completed.
    int Pages() const { return pages_; }

protected:
    int pages_ = 0;
};

std::unique_ptr<ImageWriter> MakeBmpWriter(ByteSink* sink);
// `multipage`: every page a page of one document (NewSubfileType 2).
std::unique_ptr<ImageWriter> MakeTiffWriter(ByteSink* sink, bool multipage);

// A one-page TIFF around Group 4 data that arrives compressed (a memory
// transfer's strips, one stream for the whole page): the data is written
// from kGroup4TiffDataOffset as it comes, then FinishGroup4Tiff writes the
// header and, after the data, the directory (the page as one strip,
// white is zero, the resolution). False for a page that is not 1-bit, no
// data, or a file past 4 GiB.
constexpr std::uint64_t kGroup4TiffDataOffset = 8;
bool FinishGroup4Tiff(ByteSink* sink, const PageFormat& page, std::uint64_t dataBytes);
