// PreviewWindow's data: the preview buffer, the image rectangle and the
// scan region in preview pixels and in 1/300 inch.
#include "ui/preview_window.h"

#include <cstring>

PreviewWindow::PreviewWindow() {
    for (int i = 0; i < 256; ++i) levels[i] = static_cast<std::uint8_t>(i);
}

PreviewWindow::~PreviewWindow() { ReleaseBuffer(); }

void PreviewWindow::ReleaseBuffer() {
    if (bufferHandle_ != nullptr) {
        platform::GlobalUnlockBlock(bufferHandle_);
        platform::GlobalFreeBlock(bufferHandle_);
    }
    bufferHandle_ = nullptr;
    buffer_ = nullptr;
    bufferSize_ = 0;
}

std::uint8_t* PreviewWindow::AllocatePreviewBuffer(std::size_t bytes) {
    ReleaseBuffer();
    platform::GlobalHandle handle = platform::GlobalAllocate(platform::kGmemMoveable | platform::kGmemZeroInit, bytes);
    if (handle == nullptr) return nullptr;
    auto* data = static_cast<std::uint8_t*>(platform::GlobalLockBlock(handle));
    if (data == nullptr) {
        platform::GlobalFreeBlock(handle);
        return nullptr;
    }
    std::memset(data, 0xFF, bytes);  // white in every image type
    bufferHandle_ = handle;
    buffer_ = data;
    bufferSize_ = bytes;
    return data;
}

void PreviewWindow::SetPreviewSize(std::int32_t width, std::int32_t height) {
    imageRect = Rect32{0, 0, width, height};
    region300 = Rect32{0, 0, 10 * width, 10 * height};
}

void PreviewWindow::RenderPreview(std::uint32_t paletteEntries, std::uint32_t bitsPerPixel) {
    renderedPaletteEntries = paletteEntries;
    renderedBitsPerPixel = bitsPerPixel;
}

int PreviewWindow::SetRegion(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    region300 = Rect32{left, top, right, bottom};
    region = Rect32{left / 10, top / 10, right / 10, bottom / 10};
    regionLocked = true;
    return 1;
}

void PreviewWindow::ClearRegion() {
    region300 = WholeBed();
    region = Rect32{};
    regionLocked = false;
}

// A region the application has fixed is shown without handles, and offers
// nothing to grab.
void PreviewWindow::SetupTracker(RegionTracker& tracker, const Rect32& rect, const Rect32& clientRect) const {
    tracker.Setup(rect, clientRect);
    if (regionLocked) tracker.style = dottedLine;
}

PreviewWindow::RegionChange PreviewWindow::TrackRegion(Point32 point, const Rect32& clientRect, DragInput& input) {
    RegionChange change;
    if (regionLocked) return change;
    RegionTracker tracker;
    SetupTracker(tracker, region, clientRect);
    const bool moving = tracker.HitTest(point) >= 0;
    const bool success = moving ? tracker.TrackMove(input, point) : tracker.TrackNew(input, point);
    if (success) {
        change.changed = true;
        change.oldRegion = region;
        region = Normalized(tracker.rect);
        change.newRegion = region;
        region300 = Rect32{region.left * 10, region.top * 10, region.right * 10, region.bottom * 10};
    } else if (!moving) {
        change.changed = true;
        change.oldRegion = region;
        region = Rect32{};
        region300 = Rect32{};
    }
    return change;
}
