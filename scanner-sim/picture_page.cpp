// Reading a BMP or PPM picture onto the bed. Every number in the file is
// checked before it is used: the dimensions must be positive and sane,
// the pixel data must lie inside the file, and only the rows and columns
// that fall on the bed are read.
#include "picture_page.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace sim {
namespace {

// Pictures larger than this in either direction are refused outright; the
// bed itself is only 2550 by 4200 cells.
constexpr long kMaxDimension = 100000;

class File {
public:
    explicit File(const std::string& path) : handle(std::fopen(path.c_str(), "rb")) {}
    ~File() {
        if (handle != nullptr) std::fclose(handle);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const { return handle != nullptr; }
    // Size in bytes, or -1 when it cannot be told.
    long Size() {
        if (std::fseek(handle, 0, SEEK_END) != 0) return -1;
        const long size = std::ftell(handle);
        std::rewind(handle);
        return size;
    }
    bool ReadAt(long offset, void* buffer, std::size_t length) {
        return std::fseek(handle, offset, SEEK_SET) == 0 && std::fread(buffer, 1, length, handle) == length;
    }
    bool Seek(long offset) { return std::fseek(handle, offset, SEEK_SET) == 0; }
    int Get() { return std::fgetc(handle); }
    long Tell() { return std::ftell(handle); }

private:
    std::FILE* handle;
};

std::uint32_t U32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::unique_ptr<Page> LoadBmp(File& file, long fileSize, std::string& error) {
    std::uint8_t header[54];
    if (fileSize < 54 || !file.ReadAt(0, header, sizeof header)) {
        error = "the BMP headers are truncated";
        return nullptr;
    }
    const std::uint32_t dataOffset = U32(header + 10);
    const std::uint32_t infoSize = U32(header + 14);
    const auto width = static_cast<std::int32_t>(U32(header + 18));
    const auto signedHeight = static_cast<std::int32_t>(U32(header + 22));
    const std::uint16_t planes = U16(header + 26);
    const std::uint16_t bitCount = U16(header + 28);
    const std::uint32_t compression = U32(header + 30);
    if (infoSize < 40) {
        error = "the BMP has an old-style header; only BITMAPINFOHEADER and later are read";
        return nullptr;
    }
    if (planes != 1 || bitCount != 24 || compression != 0) {
        error = "the BMP is not 24 bits per pixel, uncompressed (bit count " + std::to_string(bitCount) +
                ", compression " + std::to_string(compression) + ")";
        return nullptr;
    }
    const bool topDown = signedHeight < 0;
    const long long height = topDown ? -static_cast<long long>(signedHeight) : static_cast<long long>(signedHeight);
    if (width <= 0 || width > kMaxDimension || height <= 0 || height > kMaxDimension) {
        error = "the BMP's dimensions " + std::to_string(width) + " x " + std::to_string(signedHeight) +
                " are out of range";
        return nullptr;
    }
    const unsigned long long stride = (static_cast<unsigned long long>(width) * 3 + 3) & ~3ULL;
    if (dataOffset < 14ULL + infoSize ||
        dataOffset + stride * static_cast<unsigned long long>(height) > static_cast<unsigned long long>(fileSize)) {
        error = "the BMP's pixel data lie outside the file (truncated or bad offset)";
        return nullptr;
    }
    const int keptWidth = static_cast<int>(std::min<long long>(width, kBedWidth));
    const int keptHeight = static_cast<int>(std::min<long long>(height, kBedHeight));
    std::vector<std::uint8_t> cells(static_cast<std::size_t>(keptWidth) * keptHeight * 3);
    std::vector<std::uint8_t> line(static_cast<std::size_t>(keptWidth) * 3);
    for (int y = 0; y < keptHeight; ++y) {
        const long long fileRow = topDown ? y : height - 1 - y;
        if (!file.ReadAt(static_cast<long>(dataOffset + stride * fileRow), line.data(), line.size())) {
            error = "the BMP could not be read";
            return nullptr;
        }
        std::uint8_t* out = cells.data() + static_cast<std::size_t>(y) * keptWidth * 3;
        for (int x = 0; x < keptWidth; ++x) {  // stored blue, green, red
            out[3 * x] = line[3 * x + 2];
            out[3 * x + 1] = line[3 * x + 1];
            out[3 * x + 2] = line[3 * x];
        }
    }
    return std::make_unique<PicturePage>(keptWidth, keptHeight, std::move(cells));
}

// Reads one number of a PPM header, skipping white space and comments.
bool ReadPpmNumber(File& file, long& value) {
    int c = file.Get();
    for (;;) {
        if (c == '#') {
            while (c != '\n' && c != '\r' && c != EOF) c = file.Get();
        } else if (c != EOF && std::isspace(c)) {
            c = file.Get();
        } else {
            break;
        }
    }
    if (c == EOF || !std::isdigit(c)) return false;
    value = 0;
    while (c != EOF && std::isdigit(c)) {
        if (value > kMaxDimension) return false;  // bounds the loop's arithmetic
        value = value * 10 + (c - '0');
        c = file.Get();
    }
    // Exactly one white space character ends the number; after maxval the
    // pixel data begin at once.
    return c != EOF && std::isspace(c);
}

std::unique_ptr<Page> LoadPpm(File& file, long fileSize, std::string& error) {
    if (!file.Seek(0) || file.Get() != 'P' || file.Get() != '6') {
        error = "the file is neither a BMP nor a binary PPM (P6)";
        return nullptr;
    }
    long width = 0, height = 0, maxValue = 0;
    if (!ReadPpmNumber(file, width) || !ReadPpmNumber(file, height) || !ReadPpmNumber(file, maxValue)) {
        error = "the PPM header is malformed";
        return nullptr;
    }
    if (width <= 0 || width > kMaxDimension || height <= 0 || height > kMaxDimension || maxValue <= 0 ||
        maxValue > 65535) {
        error = "the PPM's dimensions or maximum value are out of range";
        return nullptr;
    }
    const long dataOffset = file.Tell();
    const int sampleBytes = maxValue > 255 ? 2 : 1;
    const unsigned long long rowBytes = static_cast<unsigned long long>(width) * 3 * sampleBytes;
    if (dataOffset < 0 || dataOffset + rowBytes * static_cast<unsigned long long>(height) >
                              static_cast<unsigned long long>(fileSize)) {
        error = "the PPM's pixel data are truncated";
        return nullptr;
    }
    const int keptWidth = static_cast<int>(std::min<long>(width, kBedWidth));
    const int keptHeight = static_cast<int>(std::min<long>(height, kBedHeight));
    std::vector<std::uint8_t> cells(static_cast<std::size_t>(keptWidth) * keptHeight * 3);
    std::vector<std::uint8_t> line(static_cast<std::size_t>(keptWidth) * 3 * sampleBytes);
    for (int y = 0; y < keptHeight; ++y) {
        if (!file.ReadAt(static_cast<long>(dataOffset + rowBytes * y), line.data(), line.size())) {
            error = "the PPM could not be read";
            return nullptr;
        }
        std::uint8_t* out = cells.data() + static_cast<std::size_t>(y) * keptWidth * 3;
        for (std::size_t i = 0; i < static_cast<std::size_t>(keptWidth) * 3; ++i) {
            const long sample = sampleBytes == 2 ? (line[2 * i] << 8 | line[2 * i + 1]) : line[i];
            out[i] = static_cast<std::uint8_t>((std::min(sample, maxValue) * 255 + maxValue / 2) / maxValue);
        }
    }
    return std::make_unique<PicturePage>(keptWidth, keptHeight, std::move(cells));
}

}  // namespace

PicturePage::PicturePage(int width, int height, std::vector<std::uint8_t> rgb)
    : width(width),
      height(height),
      cells(std::move(rgb)),
      rowsLike(static_cast<std::size_t>(height), 1),
      runStart(static_cast<std::size_t>(height), 0) {
    // A run of equal rows ends at the picture's last row; the paper below
    // it is a run of its own.
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (int y = height - 2; y >= 0; --y) {
        const std::uint8_t* row = cells.data() + static_cast<std::size_t>(y) * rowBytes;
        if (std::memcmp(row, row + rowBytes, rowBytes) == 0) rowsLike[y] = rowsLike[y + 1] + 1;
    }
    for (int y = 1; y < height; ++y) runStart[y] = rowsLike[y - 1] > 1 ? runStart[y - 1] : y;
}

int PicturePage::RowDrawnLike(int y) const {
    if (y < 0 || y >= kBedHeight) return y;
    if (y >= height) return height;  // the paper below the picture
    return runStart[static_cast<std::size_t>(y)];
}

int PicturePage::RowsLike(int y) const {
    if (y < 0 || y >= kBedHeight) return 1;
    return y < height ? rowsLike[static_cast<std::size_t>(y)] : kBedHeight - y;
}

void PicturePage::ReadRow(int y, int x0, int x1, std::uint8_t* rgb) const {
    if (x1 <= x0) return;
    std::memset(rgb, 255, static_cast<std::size_t>(x1 - x0) * 3);
    if (y < 0 || y >= height || x0 >= width) return;
    const int to = std::min(x1, width);
    std::memcpy(rgb, cells.data() + (static_cast<std::size_t>(y) * width + x0) * 3,
                static_cast<std::size_t>(to - x0) * 3);
}

std::unique_ptr<Page> LoadPicturePage(const std::string& path, std::string& error) {
    File file(path);
    if (!file.IsOpen()) {
        error = "the file cannot be opened";
        return nullptr;
    }
    const long size = file.Size();
    if (size < 2) {
        error = "the file is empty or its size cannot be told";
        return nullptr;
    }
    char magic[2] = {};
    if (!file.ReadAt(0, magic, 2)) {
        error = "the file cannot be read";
        return nullptr;
    }
    try {
        if (magic[0] == 'B' && magic[1] == 'M') return LoadBmp(file, size, error);
        return LoadPpm(file, size, error);
    } catch (const std::bad_alloc&) {
        error = "there is not enough memory for the picture";
        return nullptr;
    }
}

}  // namespace sim
