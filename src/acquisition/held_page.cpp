// A whole page held in a block of global memory.
#include "acquisition/held_page.h"

#include <algorithm>
#include <cstring>

#include "imaging/dib_format.h"
#include "imaging/turn_image.h"

bool HeldPage::Allocate(std::uint32_t width, std::uint32_t lines, std::uint32_t bitsPerPixel, std::size_t stride) {
    Release();
    const std::uint64_t rowBytes = PackedRowBytes(width, bitsPerPixel);
    if (stride == 0) stride = static_cast<std::size_t>((rowBytes + 3) & ~std::uint64_t{3});
    if (stride < rowBytes) return false;
    const std::uint64_t bytes = std::uint64_t{stride} * lines;
    // A page larger than the address space, or than a block may be, is
    // simply not to be had; the zero-sized page gets a block all the same.
    if (bytes > SIZE_MAX / 2) return false;
    handle_ = platform::GlobalAllocate(platform::kGmemMoveable, static_cast<std::size_t>(std::max<std::uint64_t>(bytes, 1)));
    data_ = static_cast<std::uint8_t*>(platform::GlobalLockBlock(handle_));
    if (data_ == nullptr) {
        Release();
        return false;
    }
    width_ = width;
    lines_ = lines;
    bitsPerPixel_ = bitsPerPixel;
    stride_ = stride;
    return true;
}

void HeldPage::Release() {
    if (data_ != nullptr) platform::GlobalUnlockBlock(handle_);
    platform::GlobalFreeBlock(handle_);
    handle_ = nullptr;
    data_ = nullptr;
    width_ = lines_ = bitsPerPixel_ = 0;
    stride_ = 0;
}

std::uint32_t HeldPage::CopyRows(std::uint32_t first, std::uint32_t count, std::uint8_t* destination,
                                 std::size_t destinationSize, std::size_t destinationStride, bool bottomUp) const {
    if (data_ == nullptr || destination == nullptr || first >= lines_) return 0;
    const std::size_t rowBytes = PackedRowBytes(width_, bitsPerPixel_);
    if (destinationStride < rowBytes) return 0;
    count = std::min(count, lines_ - first);
    if (std::uint64_t{count} * destinationStride > destinationSize) return 0;
    const std::size_t copied = std::min(stride_, destinationStride);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* out = destination + destinationStride * (bottomUp ? count - 1 - i : i);
        std::memcpy(out, Row(first + i), copied);
        std::memset(out + copied, 0, destinationStride - copied);
    }
    return count;
}
