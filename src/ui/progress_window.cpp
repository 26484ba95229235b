// The progress window's text, the same on every side.
#include "ui/progress_window.h"

std::string ProgressText(int page, std::uint32_t rowsDone, std::uint32_t rows) {
    if (rowsDone > rows) rowsDone = rows;
    return "Page " + std::to_string(page) + ": " + std::to_string(rowsDone) + " of " + std::to_string(rows) +
           " rows";
}
