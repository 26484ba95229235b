// A picture laid on the bed instead of the built-in page: a 24-bit
// uncompressed BMP or a binary PPM (P6), taken as scanned at 300 dots per
// inch with its top-left corner at the bed's origin. Only the part that
// lies on the bed is kept; the bed outside the picture is white.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "page.h"

namespace sim {

class PicturePage final : public Page {
public:
    // width and height are the part of the picture on the bed; rgb holds
    // width * height cells, top row first.
    PicturePage(int width, int height, std::vector<std::uint8_t> rgb);
    void ReadRow(int y, int x0, int x1, std::uint8_t* rgb) const override;
    int RowsLike(int y) const override;
    int RowDrawnLike(int y) const override;

private:
    int width;
    int height;
    std::vector<std::uint8_t> cells;
    std::vector<int> rowsLike;  // per picture row: how many rows from it on are equal to it
    std::vector<int> runStart;  // per picture row: the first row of its run of equal rows
};

// Reads the picture at path. Returns null and says why in error when the
// file is missing, of another kind, malformed or truncated.
std::unique_ptr<Page> LoadPicturePage(const std::string& path, std::string& error);

}  // namespace sim
