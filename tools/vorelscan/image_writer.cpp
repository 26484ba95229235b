// BMP and TIFF files written row chunk by row chunk. Rows land at their
// place in the file as they come, so a writer holds one chunk of at most
// kChunkBytes, whatever the page's size. A TIFF page is its strip followed
// by its directory; each directory points at the next, so pages are added
// one at a time and a page begun can be cut off again.
#include "image_writer.h"

#include <algorithm>
#include <cstring>

#include "imaging/dib_format.h"

namespace {

constexpr std::size_t kChunkBytes = 256 * 1024;
constexpr std::uint64_t kMaxFileBytes = 0xFFFFFFFFull;  // both formats hold 32-bit offsets

// A little-endian field writer into a byte vector.
struct Fields {
    std::vector<std::uint8_t> bytes;
    void u16(std::uint32_t v) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
};

bool ValidFormat(const PageFormat& page) {
    return page.width > 0 && page.lines > 0 &&
           (page.bitsPerPixel == 1 || page.bitsPerPixel == 8 || page.bitsPerPixel == 24);
}

// Rows into file rows of `outStride_` bytes from `dataStart_`, top-down or
// bottom-up, 24-bit pixels turned into the file's colour order.
class RowWriter : public ImageWriter {
public:
    RowWriter(ByteSink* sink, bool fileIsBgr, bool fileIsBottomUp)
        : sink_(sink), fileIsBgr_(fileIsBgr), fileIsBottomUp_(fileIsBottomUp) {}

    bool PutRows(int first, int count, const std::uint8_t* rows, std::ptrdiff_t stride, bool bgr) override {
        if (!open_ || rows == nullptr || count <= 0) return open_;
        if (first < 0) {
            const int skip = std::min(count, -first);
            rows += stride * skip;
            count -= skip;
            first = 0;
        }
        count = std::min(count, page_.lines - first);
        const std::size_t rowBytes = page_.RowBytes();
        const bool swap = page_.bitsPerPixel == 24 && bgr != fileIsBgr_;
        const int chunkRows = static_cast<int>(chunk_.size() / outStride_);
        while (count > 0) {
            const int n = std::min(count, chunkRows);
            for (int i = 0; i < n; ++i) {
                std::uint8_t* to = &chunk_[outStride_ * static_cast<std::size_t>(fileIsBottomUp_ ? n - 1 - i : i)];
                std::memcpy(to, rows + stride * i, rowBytes);
                if (swap) {
                    for (std::size_t x = 0; x + 2 < rowBytes; x += 3) std::swap(to[x], to[x + 2]);
                }
            }
            const int fileRow = fileIsBottomUp_ ? page_.lines - first - n : first;
            if (!sink_->WriteAt(dataStart_ + outStride_ * static_cast<std::uint64_t>(fileRow), chunk_.data(),
                                outStride_ * n)) {
                return false;
            }
            first += n;
            rows += stride * n;
            count -= n;
        }
        return true;
    }

protected:
    // Starts rows of `outStride` bytes at `dataStart`, padding zeroed.
    void Open(const PageFormat& page, std::size_t outStride, std::uint64_t dataStart) {
        page_ = page;
        outStride_ = outStride;
        dataStart_ = dataStart;
        chunk_.assign(std::max(outStride, kChunkBytes / outStride * outStride), 0);
        open_ = true;
    }
    void Close() {
        open_ = false;
        chunk_ = std::vector<std::uint8_t>();
    }

    ByteSink* sink_;
    PageFormat page_;
    bool open_ = false;
    std::size_t outStride_ = 0;
    std::uint64_t dataStart_ = 0;

private:
    const bool fileIsBgr_;
    const bool fileIsBottomUp_;
    std::vector<std::uint8_t> chunk_;
};

// A BMP file: file header, BITMAPINFOHEADER, grey colour table, bottom-up
// rows padded to 4 bytes with blue-green-red pixels.
class BmpWriter : public RowWriter {
public:
    explicit BmpWriter(ByteSink* sink) : RowWriter(sink, true, true) {}

    bool BeginPage(const PageFormat& page) override {
        if (open_ || pages_ > 0 || !ValidFormat(page)) return false;
        const std::uint32_t entries = page.bitsPerPixel == 24 ? 0 : 1u << page.bitsPerPixel;
        const std::uint32_t offBits = 14 + 40 + 4 * entries;
        const std::uint64_t stride = RowStride(static_cast<std::uint32_t>(page.RowBytes()));
        const std::uint64_t fileBytes = offBits + stride * static_cast<std::uint64_t>(page.lines);
        if (fileBytes > kMaxFileBytes) return false;
        Fields f;
        f.u16(0x4D42);                                  // bfType "BM"
        f.u32(static_cast<std::uint32_t>(fileBytes));   // bfSize
        f.u16(0);                                       // bfReserved1
        f.u16(0);                                       // bfReserved2
        f.u32(offBits);                                 // bfOffBits
        f.bytes.resize(offBits);
        FillDibHeader(&f.bytes[14], page.width, page.lines, static_cast<std::uint32_t>(page.bitsPerPixel), 0,
                      static_cast<std::uint32_t>(std::max(page.xDpi, 0)));
        FillGreyColorTable(entries, &f.bytes[54], page.whiteIsZero);
        if (!sink_->WriteAt(0, f.bytes.data(), f.bytes.size())) return false;
        Open(page, static_cast<std::size_t>(stride), offBits);
        return true;
    }
    bool EndPage() override {
        if (!open_) return false;
        Close();
        ++pages_;
        return true;
    }
    bool DropPage() override {
        Close();
        return sink_->Truncate(0);
    }
};

// A TIFF file: the 8-byte header, then per page the uncompressed strip of
// unpadded top-down rows (red-green-blue pixels) and its directory.
class TiffWriter : public RowWriter {
public:
    TiffWriter(ByteSink* sink, bool multipage) : RowWriter(sink, false, false), multipage_(multipage) {}

    bool BeginPage(const PageFormat& page) override {
        if (open_ || (!multipage_ && pages_ > 0) || !ValidFormat(page)) return false;
        if (end_ == 0) {
            Fields f;
            f.u16(0x4949);  // "II": little-endian
            f.u16(42);      // the TIFF magic number
            f.u32(0);       // the first directory, set when its page is complete
            if (!sink_->WriteAt(0, f.bytes.data(), f.bytes.size())) return false;
            end_ = f.bytes.size();
            nextPointer_ = 4;
        }
        const std::uint64_t stripBytes = page.RowBytes() * static_cast<std::uint64_t>(page.lines);
        if (end_ + stripBytes + 1 + kDirectoryBytes > kMaxFileBytes) return false;
        Open(page, page.RowBytes(), end_);
        return true;
    }

    bool EndPage() override {
        if (!open_) return false;
        const PageFormat& page = page_;
        const bool oneSample = page.bitsPerPixel != 24;
        const std::uint64_t stripBytes = page.RowBytes() * static_cast<std::uint64_t>(page.lines);
        const auto directory = static_cast<std::uint32_t>((dataStart_ + stripBytes + 1) & ~std::uint64_t(1));
        const std::uint32_t values = directory + 2 + kEntries * 12 + 4;
        Fields f;
        auto entry = [&f](std::uint32_t tag, std::uint32_t type, std::uint32_t count, std::uint32_t value) {
            f.u16(tag);
            f.u16(type);
            f.u32(count);
            f.u32(value);
        };
        f.u16(kEntries);
        entry(254, 4, 1, multipage_ ? 2 : 0);  // NewSubfileType: a page of a document, or one image
        entry(256, 4, 1, static_cast<std::uint32_t>(page.width));   // ImageWidth
        entry(257, 4, 1, static_cast<std::uint32_t>(page.lines));   // ImageLength
        entry(258, 3, oneSample ? 1 : 3, oneSample ? static_cast<std::uint32_t>(page.bitsPerPixel) : values + 16);  // BitsPerSample
        entry(259, 3, 1, 1);                                        // Compression: none
        entry(262, 3, 1, oneSample ? (page.whiteIsZero ? 0 : 1) : 2);  // PhotometricInterpretation
        entry(273, 4, 1, static_cast<std::uint32_t>(dataStart_));  // StripOffsets
        entry(277, 3, 1, oneSample ? 1 : 3);                        // SamplesPerPixel
        entry(278, 4, 1, static_cast<std::uint32_t>(page.lines));   // RowsPerStrip
        entry(279, 4, 1, static_cast<std::uint32_t>(stripBytes));   // StripByteCounts
        entry(282, 5, 1, values);                                   // XResolution
        entry(283, 5, 1, values + 8);                               // YResolution
        entry(296, 3, 1, 2);                                        // ResolutionUnit: inch
        f.u32(0);                                                   // the next directory: none yet
        f.u32(static_cast<std::uint32_t>(page.xDpi));               // XResolution numerator
        f.u32(1);                                                   // XResolution denominator
        f.u32(static_cast<std::uint32_t>(page.yDpi));               // YResolution numerator
        f.u32(1);                                                   // YResolution denominator
        f.u16(8);                                                   // BitsPerSample red
        f.u16(8);                                                   // BitsPerSample green
        f.u16(8);                                                   // BitsPerSample blue
        if (f.bytes.size() != kDirectoryBytes) return false;
        Fields pointer;
        pointer.u32(directory);
        if (!sink_->WriteAt(directory, f.bytes.data(), f.bytes.size()) ||
            !sink_->WriteAt(nextPointer_, pointer.bytes.data(), pointer.bytes.size())) {
            return false;
        }
        nextPointer_ = directory + 2 + kEntries * 12;
        end_ = directory + f.bytes.size();
        Close();
        ++pages_;
        return true;
    }

    bool DropPage() override {
        if (!open_) return true;
        Close();
        return sink_->Truncate(end_);
    }

private:
    static constexpr std::uint32_t kEntries = 13;
    static constexpr std::size_t kDirectoryBytes = 2 + kEntries * 12 + 4 + 16 + 6;
    const bool multipage_;
    std::uint64_t end_ = 0;          // the end of the last complete page
    std::uint64_t nextPointer_ = 0;  // where the offset of the next directory goes
};

}  // namespace

std::size_t PageFormat::RowBytes() const { return DibRowBytes(width, static_cast<std::uint32_t>(bitsPerPixel)); }

std::unique_ptr<ImageWriter> MakeBmpWriter(ByteSink* sink) { return std::unique_ptr<ImageWriter>(new BmpWriter(sink)); }

std::unique_ptr<ImageWriter> MakeTiffWriter(ByteSink* sink, bool multipage) {
    return std::unique_ptr<ImageWriter>(new TiffWriter(sink, multipage));
}

bool FinishGroup4Tiff(ByteSink* sink, const PageFormat& page, std::uint64_t dataBytes) {
    if (page.width <= 0 || page.lines <= 0 || page.bitsPerPixel != 1 || dataBytes == 0) return false;
    // The directory starts on a word boundary after the data, the two
    // resolutions right after the directory.
    constexpr std::uint32_t kEntries = 12;
    const std::uint64_t directory = (kGroup4TiffDataOffset + dataBytes + 1) & ~std::uint64_t(1);
    const std::uint64_t rationals = directory + 2 + kEntries * 12 + 4;
    if (rationals + 16 > kMaxFileBytes) return false;
    const auto resolution = static_cast<std::uint32_t>(rationals);
    Fields ifd;
    auto entry = [&ifd](std::uint32_t tag, std::uint32_t type, std::uint32_t value) {
        ifd.u16(tag);
        ifd.u16(type);
        ifd.u32(1);  // count
        if (type == 3) {
            ifd.u16(value);
            ifd.u16(0);
        } else {
            ifd.u32(value);
        }
    };
    ifd.u16(kEntries);
    entry(256, 4, static_cast<std::uint32_t>(page.width));   // ImageWidth
    entry(257, 4, static_cast<std::uint32_t>(page.lines));   // ImageLength
    entry(258, 3, 1);                                         // BitsPerSample
    entry(259, 3, 4);                                         // Compression: CCITT T.6 (Group 4)
    entry(262, 3, 0);                                         // PhotometricInterpretation: white is zero, as fax runs start white
    entry(273, 4, static_cast<std::uint32_t>(kGroup4TiffDataOffset));  // StripOffsets
    entry(277, 3, 1);                                         // SamplesPerPixel
    entry(278, 4, static_cast<std::uint32_t>(page.lines));   // RowsPerStrip: one strip
    entry(279, 4, static_cast<std::uint32_t>(dataBytes));    // StripByteCounts
    entry(282, 5, resolution);                                // XResolution
    entry(283, 5, resolution + 8);                            // YResolution
    entry(296, 3, 2);                                         // ResolutionUnit: inch
    ifd.u32(0);                                               // no next directory
    ifd.u32(static_cast<std::uint32_t>(page.xDpi > 0 ? page.xDpi : 0));
    ifd.u32(1);
    ifd.u32(static_cast<std::uint32_t>(page.yDpi > 0 ? page.yDpi : 0));
    ifd.u32(1);
    Fields header;
    header.u16(0x4949);                                       // "II": little-endian
    header.u16(42);                                           // TIFF
    header.u32(static_cast<std::uint32_t>(directory));        // the first directory
    const std::uint8_t pad = 0;
    return (directory == kGroup4TiffDataOffset + dataBytes || sink->WriteAt(directory - 1, &pad, 1)) &&
           sink->WriteAt(directory, ifd.bytes.data(), ifd.bytes.size()) &&
           sink->WriteAt(0, header.bytes.data(), header.bytes.size());
}
