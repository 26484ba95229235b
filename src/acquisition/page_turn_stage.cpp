// The turn stage over held pages; the turn itself is imaging's.
#include "acquisition/page_turn_stage.h"

#include <cstddef>

#include "imaging/turn_image.h"

void PageTurnStage::TurnedSize(std::uint32_t width, std::uint32_t lines, std::uint32_t* turnedWidth,
                               std::uint32_t* turnedLines) const {
    ::TurnedSize(width, lines, quarters_, turnedWidth, turnedLines);
}

bool PageTurnStage::Apply(const HeldPage& in, HeldPage& out) const {
    out.Release();
    if (!in.Held()) return false;
    std::uint32_t width = 0, lines = 0;
    TurnedSize(in.width(), in.lines(), &width, &lines);
    if (!out.Allocate(width, lines, in.bitsPerPixel())) return false;
    if (!TurnImage(in.Row(0), static_cast<std::ptrdiff_t>(in.stride()), in.width(), in.lines(), in.bitsPerPixel(),
                   quarters_, out.Row(0), static_cast<std::ptrdiff_t>(out.stride()))) {
        out.Release();
        return false;
    }
    return true;
}
