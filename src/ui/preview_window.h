// PreviewWindow: the last preview scan and the scan region. The region is
// held in preview pixels (for drawing) and in 1/300 inch (the scan region);
// a preview pixel is 10 units of 1/300 inch, the preview being scanned at
// 30 dpi. What a mouse press does to the region is decided here, with the
// mouse events coming from a DragInput; drawing belongs to the window side.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/global_memory.h"
#include "ui/region_tracker.h"

class PreviewWindow {
public:
    PreviewWindow();
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // A new white buffer of `bytes`; null when it cannot be had (the old
    // buffer is gone by then).
    std::uint8_t* AllocatePreviewBuffer(std::size_t bytes);
    void SetPreviewSize(std::int32_t width, std::int32_t height);
    void RenderPreview(std::uint32_t paletteEntries, std::uint32_t bitsPerPixel);
    Rect32 GetRegion() const { return region300; }
    // The whole preview in 1/300 inch: the bed the last preview set-up saw.
    Rect32 WholeBed() const {
        return Rect32{0, 0, 10 * (imageRect.right - imageRect.left), 10 * (imageRect.bottom - imageRect.top)};
    }
    int SetRegion(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
    // No region and no lock: the whole bed, as when the window was made.
    void ClearRegion();

    // Prepares a tracker on `rect` inside the window's client rectangle.
    void SetupTracker(RegionTracker& tracker, const Rect32& rect, const Rect32& clientRect) const;

    // What a left-button press at `point` did to the region: the parts of
    // the window to repaint (none when nothing changed).
    struct RegionChange {
        bool changed = false;
        Rect32 oldRegion;
        Rect32 newRegion;
    };
    // Outside the region a new one is dragged, on it the region is moved
    // or resized. A drag that ends with a region keeps it (region300 is ten
    // times it); a new one that ends with nothing leaves no region at all;
    // a move that ends with nothing changes nothing. A locked region is
    // never changed.
    RegionChange TrackRegion(Point32 point, const Rect32& clientRect, DragInput& input);

    std::uint8_t* buffer() const { return buffer_; }
    std::size_t bufferSize() const { return bufferSize_; }

    Rect32 imageRect;
    Rect32 region;
    Rect32 region300;
    bool regionLocked = false;
    // The scanner's tone map for the preview buffer, which holds the page
    // as the scanner sees it: the output level of each input level.
    // Until a preview set-up, no tone map (each level itself).
    std::uint8_t levels[256];
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
