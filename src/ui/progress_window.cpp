// The progress window's texts, the same on every side.
#include "ui/progress_window.h"

std::string ProgressText(int page, std::uint32_t rowsDone, std::uint32_t rows) {
    if (rowsDone > rows) rowsDone = rows;
    return "Page " + std::to_string(page) + ": " + std::to_string(rowsDone) + " of " + std::to_string(rows) +
           " rows";
}

std::string PageLabel(int page, int pages) {
    std::string label = "Page " + std::to_string(page);
    if (pages > 0 && page <= pages) label += " of " + std::to_string(pages);
    return label;
}
