// PageTurnStage: the stage that turns a whole held page by quarter turns
// clockwise into a new held page. A reader that has a turn to give holds
// the page, passes it through this stage, and hands the turned page out.
#pragma once

#include "acquisition/held_page.h"

class PageTurnStage {
public:
    explicit PageTurnStage(int quarterTurns) : quarters_((quarterTurns % 4 + 4) % 4) {}

    // Whether the stage changes anything: a page not turned streams past it.
    bool Turns() const { return quarters_ != 0; }
    int quarters() const { return quarters_; }
    // The size of a page of width x lines once turned.
    void TurnedSize(std::uint32_t width, std::uint32_t lines, std::uint32_t* turnedWidth,
                    std::uint32_t* turnedLines) const;
    // Makes `out` the turned `in` (rows padded to four bytes). False, with
    // `out` holding nothing, when its block cannot be had (TWCC_LOWMEMORY)
    // or `in` holds no page of a depth the stage turns.
    bool Apply(const HeldPage& in, HeldPage& out) const;

private:
    int quarters_;
};
