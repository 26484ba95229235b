// HeldPage: a whole page in one block of memory, rows top-down, for the
// stages that need all of a page before they hand any of it on (a turn, a
// compressor). A reader fills it once, a stage may make a new page of it,
// and the transfers then hand its rows out, top-down or bottom-up, as
// strips or whole. It knows nothing of the scanner or the transfers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/global_memory.h"

class HeldPage {
public:
    HeldPage() = default;
    ~HeldPage() { Release(); }
    HeldPage(const HeldPage&) = delete;
    HeldPage& operator=(const HeldPage&) = delete;

    // Makes room for `lines` rows of `width` pixels of `bitsPerPixel`, each
    // `stride` bytes (0: the pixels' bytes padded to four). False, holding
    // nothing, when the block cannot be had or the stride is shorter than
    // the pixels: the caller answers TWCC_LOWMEMORY.
    bool Allocate(std::uint32_t width, std::uint32_t lines, std::uint32_t bitsPerPixel, std::size_t stride = 0);
    void Release();
    bool Held() const { return data_ != nullptr; }

    std::uint32_t width() const { return width_; }
    std::uint32_t lines() const { return lines_; }
    std::uint32_t bitsPerPixel() const { return bitsPerPixel_; }
    std::size_t stride() const { return stride_; }
    std::size_t size() const { return stride_ * lines_; }
    std::uint8_t* Row(std::uint32_t line) { return data_ + stride_ * line; }
    const std::uint8_t* Row(std::uint32_t line) const { return data_ + stride_ * line; }

    // Copies rows first to first + count - 1 (cut at the page's end) into
    // `destination` of `destinationSize` bytes, rows `destinationStride`
    // apart, padded with zeros beyond the page's own stride; `bottomUp` puts
    // the first of them last. Returns the rows copied: none when a row does
    // not fit the stride or the rows do not fit the destination.
    std::uint32_t CopyRows(std::uint32_t first, std::uint32_t count, std::uint8_t* destination,
                           std::size_t destinationSize, std::size_t destinationStride, bool bottomUp) const;

private:
    platform::GlobalHandle handle_ = nullptr;
    std::uint8_t* data_ = nullptr;
    std::uint32_t width_ = 0;
    std::uint32_t lines_ = 0;
    std::uint32_t bitsPerPixel_ = 0;
    std::size_t stride_ = 0;
};
