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
