// PreviewWindow: the last preview scan and the scan region. The region is
// held in preview pixels (for drawing) and in 1/300 inch (the scan region);
// a preview pixel is 10 units of 1/300 inch, the preview being scanned at
// 30 dpi. Drawing and mouse tracking belong to the window side.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/global_memory.h"

struct Rect32 {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect32& other) const {
        return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
    }
};

class PreviewWindow {
public:
    PreviewWindow() = default;
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // A new white buffer of `bytes`; null when it cannot be had (the old
    // buffer is gone by then).
    std::uint8_t* AllocatePreviewBuffer(std::size_t bytes);
    void SetPreviewSize(std::int32_t width, std::int32_t height);
    void RenderPreview(std::uint32_t paletteEntries, std::uint32_t bitsPerPixel);
    Rect32 GetRegion() const { return region300; }
    int SetRegion(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

    std::uint8_t* buffer() const { return buffer_; }
    std::size_t bufferSize() const { return bufferSize_; }

    Rect32 imageRect;
    Rect32 region;
    Rect32 region300;
    bool regionLocked = false;
    // The image type of the last RenderPreview.
    std::uint32_t renderedPaletteEntries = 0;
    std::uint32_t renderedBitsPerPixel = 0;
    // The window side's own data (DIB section, palette), owned by it.
    void* windowData = nullptr;

private:
    void ReleaseBuffer();

    platform::GlobalHandle bufferHandle_ = nullptr;
    std::uint8_t* buffer_ = nullptr;
    std::size_t bufferSize_ = 0;
};
