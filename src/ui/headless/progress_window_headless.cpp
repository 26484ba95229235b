// The progress window in the native build: no screen, so it records what it
// would show and presses Cancel when a test asks it to.
#include "ui/headless/progress_window_headless.h"

#include <cstdio>

#include "ui/progress_window.h"

HeadlessProgressLog headlessProgressLog;

namespace {
template <std::size_t N>
void Keep(char (&to)[N], const std::string& text) { std::snprintf(to, sizeof to, "%s", text.c_str()); }
}  // namespace

struct ProgressWindow::Impl {
    int page = 0;
    std::uint32_t rows = 0;
};

ProgressWindow::ProgressWindow(SessionWindow&) : impl_(std::make_unique<Impl>()) {}
ProgressWindow::~ProgressWindow() { Hide(); }

void ProgressWindow::Show(int page, int pages, std::uint32_t rows) {
    impl_->page = page;
    impl_->rows = rows;
    Keep(headlessProgressLog.pageLabel, PageLabel(page, pages));
    const std::string text = ProgressText(page, 0, rows);
    if (headlessProgressLog.shows == 0) Keep(headlessProgressLog.firstText, text);
    if (!headlessProgressLog.visible) ++headlessProgressLog.shows;
    headlessProgressLog.visible = true;
    Keep(headlessProgressLog.lastText, text);
}

bool ProgressWindow::Update(std::uint32_t rowsDone) {
    if (!headlessProgressLog.visible) return false;
    ++headlessProgressLog.updates;
    Keep(headlessProgressLog.lastText, ProgressText(impl_->page, rowsDone, impl_->rows));
    return headlessProgressLog.updates == headlessProgressLog.cancelAtUpdate;
}

void ProgressWindow::Hide() {
    if (!headlessProgressLog.visible) return;
    headlessProgressLog.visible = false;
    ++headlessProgressLog.hides;
}

void ProgressWindow::SetApplicationWindow(void* window) { headlessProgressLog.applicationWindow = window; }
