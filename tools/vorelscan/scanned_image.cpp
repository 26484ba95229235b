// Conversions between the tool's image and the DIB the source hands over,
// and the BMP and TIFF files the tool writes.
#include "scanned_image.h"

#include <cstdio>
#include <cstring>

#include "imaging/dib_format.h"
#include "imaging/tiff_header.h"

namespace {

std::uint32_t Read32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

int PaletteEntries(int bitsPerPixel) { return bitsPerPixel == 1 ? 2 : bitsPerPixel == 8 ? 256 : 0; }

// Exchanges red and blue in 24-bit rows.
void SwapRedBlue(ScannedImage& image) {
    if (image.bitsPerPixel != 24) return;
    for (std::size_t i = 0; i + 2 < image.rows.size(); i += 3) std::swap(image.rows[i], image.rows[i + 2]);
}

bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

std::size_t ScannedImage::RowBytes() const { return DibRowBytes(width, static_cast<std::uint32_t>(bitsPerPixel)); }

bool ImageFromDib(const std::uint8_t* dib, std::size_t size, ScannedImage* image) {
    if (dib == nullptr || size < 40 || Read32(dib) != 40) return false;
    auto width = static_cast<std::int32_t>(Read32(dib + 4));
    auto height = static_cast<std::int32_t>(Read32(dib + 8));
    int bits = dib[14] | dib[15] << 8;
    if (width <= 0 || height == 0 || (bits != 1 && bits != 8 && bits != 24)) return false;
    bool bottomUp = height > 0;
    int lines = bottomUp ? height : -height;
    image->width = width;
    image->lines = lines;
    image->bitsPerPixel = bits;
    std::size_t rowBytes = image->RowBytes();
    std::size_t stride = RowStride(static_cast<std::uint32_t>(rowBytes));
    std::size_t offset = 40 + 4 * static_cast<std::size_t>(PaletteEntries(bits));
    if (offset + stride * lines > size) return false;
    image->whiteIsZero = bits != 24 && dib[40] == 255;
    image->rows.assign(rowBytes * lines, 0);
    for (int y = 0; y < lines; ++y) {
        int from = bottomUp ? lines - 1 - y : y;
        std::memcpy(&image->rows[rowBytes * y], dib + offset + stride * from, rowBytes);
    }
    SwapRedBlue(*image);
    return true;
}

bool WriteBmp(const std::string& path, const ScannedImage& image) {
    int entries = PaletteEntries(image.bitsPerPixel);
    std::size_t rowBytes = image.RowBytes();
    std::uint32_t stride = RowStride(static_cast<std::uint32_t>(rowBytes));
    std::uint32_t imageBytes = stride * static_cast<std::uint32_t>(image.lines);
    std::uint32_t offBits = 54 + 4 * entries;
    std::vector<std::uint8_t> out;
    out.reserve(offBits + imageBytes);
    Put16(out, 0x4D42);                    // bfType "BM"
    Put32(out, offBits + imageBytes);      // bfSize
    Put32(out, 0);                         // bfReserved1, bfReserved2
    Put32(out, offBits);                   // bfOffBits
    out.resize(out.size() + 40);
    FillDibHeader(&out[14], image.width, image.lines, static_cast<std::uint32_t>(image.bitsPerPixel), 0,
                  static_cast<std::uint32_t>(image.xDpi > 0 ? image.xDpi : 0));
    out.resize(out.size() + 4 * entries);
    FillGreyColorTable(static_cast<std::uint32_t>(entries), &out[54], image.whiteIsZero);
    for (int y = image.lines - 1; y >= 0; --y) {
        std::size_t start = out.size();
        out.insert(out.end(), image.rows.begin() + rowBytes * y, image.rows.begin() + rowBytes * (y + 1));
        if (image.bitsPerPixel == 24) {
            for (std::size_t i = start; i + 2 < out.size(); i += 3) std::swap(out[i], out[i + 2]);
        }
        out.resize(start + stride, 0);
    }
    return WriteAll(path, out);
}

bool WriteTiff(const std::string& path, const ScannedImage& image) {
    std::vector<std::uint8_t> out(TiffHeaderSize());
    FillTiffHeader(out.data(), static_cast<std::uint32_t>(image.RowBytes()), static_cast<std::uint32_t>(image.width),
                   static_cast<std::uint32_t>(image.lines), static_cast<std::uint32_t>(image.bitsPerPixel),
                   static_cast<std::uint32_t>(image.xDpi), static_cast<std::uint32_t>(image.yDpi), image.whiteIsZero);
    out.insert(out.end(), image.rows.begin(), image.rows.end());
    return WriteAll(path, out);
}

// Each page's strip, then its directory with the resolutions and bits per
// sample behind it; every directory points at the next one.
bool WriteMultipageTiff(const std::string& path, const std::vector<ScannedImage>& pages) {
    if (pages.empty()) return false;
    std::vector<std::uint8_t> out;
    Put16(out, 0x4949);  // "II": little-endian
    Put16(out, 42);
    Put32(out, 0);       // offset of the first directory, set below
    std::size_t pointer = 4;  // where the offset of the next directory goes
    for (const ScannedImage& page : pages) {
        const bool oneSample = page.bitsPerPixel == 1 || page.bitsPerPixel == 8;
        const auto stripOffset = static_cast<std::uint32_t>(out.size());
        out.insert(out.end(), page.rows.begin(), page.rows.end());
        if (out.size() % 2 != 0) out.push_back(0);  // directories start on a word
        const auto directory = static_cast<std::uint32_t>(out.size());
        for (int i = 0; i < 4; ++i) out[pointer + i] = static_cast<std::uint8_t>(directory >> (8 * i));
        const std::uint32_t values = directory + 2 + 13 * 12 + 4;
        auto entry = [&out](std::uint32_t tag, std::uint32_t type, std::uint32_t count, std::uint32_t value) {
            Put16(out, tag);
            Put16(out, type);
            Put32(out, count);
            Put32(out, value);
        };
        Put16(out, 13);
        entry(254, 4, 1, 2);  // NewSubfileType: a page of a multi-page image
        entry(256, 4, 1, static_cast<std::uint32_t>(page.width));
        entry(257, 4, 1, static_cast<std::uint32_t>(page.lines));
        entry(258, 3, oneSample ? 1 : 3, oneSample ? static_cast<std::uint32_t>(page.bitsPerPixel) : values + 16);
        entry(259, 3, 1, 1);  // no compression
        entry(262, 3, 1, oneSample ? (page.whiteIsZero ? 0 : 1) : 2);
        entry(273, 4, 1, stripOffset);
        entry(277, 3, 1, oneSample ? 1 : 3);
        entry(278, 4, 1, static_cast<std::uint32_t>(page.lines));
        entry(279, 4, 1, static_cast<std::uint32_t>(page.rows.size()));
        entry(282, 5, 1, values);
        entry(283, 5, 1, values + 8);
        entry(296, 3, 1, 2);  // inches
        pointer = out.size();
        Put32(out, 0);        // the next directory, if another page follows
        Put32(out, static_cast<std::uint32_t>(page.xDpi));
        Put32(out, 1);
        Put32(out, static_cast<std::uint32_t>(page.yDpi));
        Put32(out, 1);
        Put16(out, 8);
        Put16(out, 8);
        Put16(out, 8);
    }
    return WriteAll(path, out);
}
