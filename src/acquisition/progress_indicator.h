// ProgressIndicator: what a transfer shows while it reads the scanner, and
// how it hears that the user wants it stopped. The window side provides
// one; the session tells it where the page stands between reads.
#pragma once

#include <cstdint>

class ProgressIndicator {
public:
    virtual ~ProgressIndicator() = default;

    // Shows (or keeps showing) the progress of page `page` of `pages` (0 when
    // the batch's length is not known), `rows` rows long. Show and Update
    // may throw for want of memory; Hide never does.
    virtual void Show(int page, int pages, std::uint32_t rows) = 0;
    // `rowsDone` of the page are read. Serves the indicator's own window
    // (and nothing else of the application) and answers true once the user
    // has asked to cancel.
    virtual bool Update(std::uint32_t rowsDone) = 0;
    virtual void Hide() = 0;
    // The application's window (TW_USERINTERFACE.hParent, null for none),
    // which the indicator stays above when the source's own window is hidden.
    virtual void SetApplicationWindow(void* window) = 0;
};
