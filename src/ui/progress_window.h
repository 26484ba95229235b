// ProgressWindow: the small window a transfer shows while it reads the
// scanner: "Scanning" in its title, "Page n" (or "Page n of N" when the
// batch's length is known), a bar filling with the rows read, and a
// Cancel button. Other programs
// follow it through ui/progress_interface.h, not its text. It is owned by
// the source's dialog when that is shown, else by the application's window
// the source was enabled with, else by the active window. Real on Windows,
// a recording stand-in natively.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "acquisition/progress_indicator.h"
#include "ui/progress_interface.h"

class SessionWindow;

class ProgressWindow : public ProgressIndicator {
public:
    explicit ProgressWindow(SessionWindow& dialog);
    ~ProgressWindow() override;
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    void Show(int page, int pages, std::uint32_t rows) override;
    bool Update(std::uint32_t rowsDone) override;
    void Hide() override;
    void SetApplicationWindow(void* window) override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Where the page stands, in words: "Page 2: 840 of 4200 rows".
std::string ProgressText(int page, std::uint32_t rowsDone, std::uint32_t rows);
// The window's line above its bar: "Page 2 of 5", or "Page 2" when the
// batch's length is not known (`pages` 0).
std::string PageLabel(int page, int pages);

// The control ids of the window's text, its bar and its Cancel button.
constexpr int kProgressTextId = 100;
constexpr int kProgressBarId = 101;
constexpr int kProgressCancelId = 2;  // IDCANCEL: Escape presses it too
