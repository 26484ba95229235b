// vorelscan --progress: a line on standard error each time a page passes
// another tenth of its rows ("page 2: 30%"), and its last one at 100 %.
// The rows come from the memory transfer's strips as they arrive, or, for
// native and file transfers, from the source's progress window: a hook on
// this thread sees each change the source announces to it, and reads the
// page and rows from the window's properties (ui/progress_interface.h),
// never its text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class ProgressLines {
public:
    using Sink = std::function<void(const std::string&)>;
    explicit ProgressLines(Sink sink) : sink_(std::move(sink)) {}

    // `done` rows of `rows` of page `page` are in. A page starts with its
    // first report; a report behind the last one told adds nothing.
    void Rows(int page, std::uint64_t done, std::uint64_t rows) {
        if (rows == 0) return;
        if (page != page_) {
            page_ = page;
            tenths_ = 0;
        }
        const int tenths = static_cast<int>((done >= rows ? rows : done) * 10 / rows);
        while (tenths_ < tenths) {
            ++tenths_;
            sink_("page " + std::to_string(page) + ": " + std::to_string(tenths_ * 10) + "%");
        }
    }
    // The page arrived whole: whatever is left up to 100 %.
    void PageDone(int page) { Rows(page, 1, 1); }

private:
    Sink sink_;
    int page_ = 0;
    int tenths_ = 0;
};

// While it lives, the rows the source's progress window tells on this
// thread go to `lines`.
class ProgressWindowWatcher {
public:
    explicit ProgressWindowWatcher(ProgressLines* lines);
    ~ProgressWindowWatcher();
    ProgressWindowWatcher(const ProgressWindowWatcher&) = delete;
    ProgressWindowWatcher& operator=(const ProgressWindowWatcher&) = delete;
};
