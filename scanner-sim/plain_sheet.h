// A sheet of the feeder with next to nothing on it: paper as the scanner
// sees it (its own noise, a few specks of dust), and on some sheets one line
// of text or a signature, so that a source's judgement of blank pages can be
// tried on sheets that are blank and on sheets that only look so. The
// noise and the dust are fixed by the cell's position, so every scan of a
// sheet sees the same.
#pragma once

#include "page.h"
#include "simulator_settings.h"

namespace sim {

namespace plain_sheet {
// The line of text: letters of kLetterWidth by kLetterHeight cells with
// strokes of kStroke, from kLineLeft on, kLineTop from the top.
constexpr int kLineTop = 600;
constexpr int kLineLeft = 300;
constexpr int kLetterWidth = 22;
constexpr int kLetterHeight = 30;
constexpr int kStroke = 5;
constexpr int kLetters = 55;
// The signature: a wave across these columns, about this row.
constexpr int kSignatureLeft = 1500;
constexpr int kSignatureRight = 2300;
constexpr int kSignatureRow = 3600;
}  // namespace plain_sheet

class PlainSheet final : public Page {
public:
    explicit PlainSheet(SheetContent content) : content(content) {}
    void ReadRow(int y, int x0, int x1, std::uint8_t* rgb) const override;

private:
    SheetContent content;
};

}  // namespace sim
