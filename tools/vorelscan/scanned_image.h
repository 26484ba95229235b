// An acquired image as the tool keeps it before writing it: rows top-down,
// unpadded, 24-bit pixels in red, green, blue order; and the two writers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ScannedImage {
    int width = 0;
    int lines = 0;
    int bitsPerPixel = 0;
    int xDpi = 0;
    int yDpi = 0;
    bool whiteIsZero = false;  // 1- and 8-bit levels run from white
    std::vector<std::uint8_t> rows;

    std::size_t RowBytes() const;
};

// From a packed DIB (header, colour table, bottom-up padded rows, blue-green-
// red pixels); false when the block does not hold what its header says. A
// colour table that starts with white gives an image whose 0 is white.
bool ImageFromDib(const std::uint8_t* dib, std::size_t size, ScannedImage* image);

bool WriteBmp(const std::string& path, const ScannedImage& image);
bool WriteTiff(const std::string& path, const ScannedImage& image);
// All pages into one TIFF file, one image file directory each, in order.
bool WriteMultipageTiff(const std::string& path, const std::vector<ScannedImage>& pages);
