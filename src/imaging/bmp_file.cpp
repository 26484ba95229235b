// The BMP writer. The file header is built from the DIB's own biSizeImage,
// so the DIB's block is checked to hold that many bytes before any of it is
// read out to the file.
#include "imaging/bmp_file.h"

#include <cassert>
#include <cstdint>

#include "imaging/dib_format.h"
#include "imaging/little_endian_writer.h"
#include "platform/file.h"

bool FillBmpFileHeader(std::uint8_t* header, std::uint64_t sizeImage, std::uint32_t entries) {
    const std::uint64_t offBits = kBmpFileHeaderSize + kDibHeaderSize + std::uint64_t(kColorTableEntrySize) * entries;
    if (offBits + sizeImage > UINT32_MAX) return false;
    LittleEndianWriter w(header);
    w.bytes("BM", 2);                                         // bfType
    w.u32(static_cast<std::uint32_t>(offBits + sizeImage));  // bfSize
    w.u16(0);                                                 // bfReserved1
    w.u16(0);                                                 // bfReserved2
    w.u32(static_cast<std::uint32_t>(offBits));              // bfOffBits
    assert(w.written() == kBmpFileHeaderSize);
    return true;
}

int WriteBmpFile(const char* fileName, platform::GlobalHandle dib, std::uint32_t entries) {
    if (fileName == nullptr) return 1;
    platform::LockedBlock block(dib);
    if (!block) return 1;

    const std::uint64_t blockSize = platform::GlobalBlockSize(dib);
    if (blockSize < kDibHeaderSize) return 1;
    const std::uint32_t sizeImage = ReadDibHeader(block.get()).sizeImage;
    const std::uint64_t colorTableBytes = std::uint64_t(kColorTableEntrySize) * entries;
    const std::uint64_t dibBytes = kDibHeaderSize + colorTableBytes + sizeImage;
    if (dibBytes > blockSize) return 1;
    std::uint8_t fileHeader[kBmpFileHeaderSize];
    if (!FillBmpFileHeader(fileHeader, sizeImage, entries)) return 1;

    platform::File file;
    if (!file.Open(fileName, platform::FileMode::ReadWrite)) return 1;
    if (file.Write(fileHeader, sizeof fileHeader) && file.Write(block.get(), static_cast<std::size_t>(dibBytes)) &&
        file.EndHere()) {
        return 0;
    }
    // A disk that filled up on the way leaves an empty file, never a
    // picture cut short.
    file.Discard();
    return 1;
}
