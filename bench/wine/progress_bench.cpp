// vorel_progress_bench: what the progress window costs and how soon its
// Cancel button stops a transfer, through the real source in this process.
//
//   --mode cost     native transfers of a colour page, CAP_INDICATORS TRUE
//                   and FALSE alternating in one session; prints each one's
//                   times and the window's share of a transfer
//   --mode cancel   native transfers of the page, each cancelled from a
//                   thread of this process by the window's Cancel button once
//                   rows are counted; prints the time from the click to the
//                   transfer's TWRC_CANCEL (run it with VOREL_SIM_RATE set)
//   --dpi N  --region L,T,R,B (1/300 inch)  --runs N
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_common.h"
#include "twain_application.h"
#include "ui/progress_interface.h"

namespace {

struct Options {
    std::string mode = "cost";
    PageSpec page;
    int runs = 7;
};

bool Parse(int argc, char** argv, Options* o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        const char* value = argv[i + 1];
        bool read = true;
        if (ReadPageFlag(flag, value, &o->page, &read)) {
            if (!read) return false;
        } else if (flag == "--mode") {
            o->mode = value;
        } else if (flag == "--runs") {
            o->runs = std::atoi(value);
        } else {
            return false;
        }
    }
    return (argc % 2) == 1 && o->runs > 0 && o->page.dpi > 0 && (o->mode == "cost" || o->mode == "cancel");
}

bool Negotiate(TwainApplication& twain, const PageSpec& page) {
    if (!twain.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE, "ICAP_XFERMECH") ||
        !twain.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB, "ICAP_PIXELTYPE") ||
        !twain.SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, 24, "ICAP_BITDEPTH") ||
        !twain.SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, static_cast<TW_UINT32>(page.dpi), "ICAP_XRESOLUTION") ||
        !twain.SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, static_cast<TW_UINT32>(page.dpi), "ICAP_YRESOLUTION")) {
        return false;
    }
    TW_IMAGELAYOUT layout{};
    auto fix = [](int value) { return TW_FIX32{static_cast<TW_INT16>(value), 0}; };
    layout.Frame = {fix(page.left), fix(page.top), fix(page.right), fix(page.bottom)};
    const TW_UINT16 rc = twain.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
    return rc == TWRC_SUCCESS || twain.Fail("MSG_SET DAT_IMAGELAYOUT", rc);
}

// Presses the progress window's Cancel button from a thread of its own
// `delayMs` after the window first counts rows (so that presses land at
// every point of a read), and notes when it did.
class CancelPresser {
public:
    explicit CancelPresser(DWORD delayMs) : delayMs_(delayMs) {
        thread_ = ::CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~CancelPresser() {
        stop_ = true;
        ::WaitForSingleObject(thread_, INFINITE);
        ::CloseHandle(thread_);
    }
    bool Pressed() const { return pressedAt_ != 0; }
    double PressedAt() const { return pressedAt_; }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<CancelPresser*>(self)->Watch();
        return 0;
    }
    void Watch() {
        while (!stop_) {
            HWND window = ::FindWindowA(kProgressWindowClass, nullptr);
            if (window != nullptr && ::GetPropA(window, kProgressRowsDoneProperty) != nullptr) {
                // Posted, so that the time is that of the click, not of the
                // source's thread getting round to it.
                ::Sleep(delayMs_);
                pressedAt_ = Seconds();
                ::PostMessageA(::GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
                return;
            }
            ::Sleep(1);
        }
    }

    DWORD delayMs_;
    HANDLE thread_ = nullptr;
    volatile bool stop_ = false;
    volatile double pressedAt_ = 0;
};

// One enabling with one native transfer; its time and return code.
bool TransferOnce(TwainApplication& twain, bool cancel, int run, double* seconds, double* cancelDelay) {
    if (!twain.Enable(false) || !twain.WaitFor(MSG_XFERREADY)) return false;
    TW_HANDLE handle = nullptr;  // the source writes a whole handle here
    TW_UINT16 rc;
    double start, end, pressedAt = 0;
    {
        // Presses 0 to 48 ms after the first count, spread over the runs.
        CancelPresser* presser = cancel ? new CancelPresser(static_cast<DWORD>(run * 7 % 49)) : nullptr;
        start = Seconds();
        rc = twain.ToSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
        end = Seconds();
        if (presser != nullptr) pressedAt = presser->PressedAt();
        delete presser;
    }
    if (rc == TWRC_XFERDONE) ::GlobalFree(handle);
    const TW_UINT16 wanted = cancel ? TWRC_CANCEL : TWRC_XFERDONE;
    bool ok = rc == wanted || twain.Fail("DAT_IMAGENATIVEXFER", rc);
    if (ok && cancel && pressedAt == 0) ok = twain.Fail("the transfer ended before Cancel was pressed");
    *seconds = end - start;
    if (cancelDelay != nullptr) *cancelDelay = end - pressedAt;
    TW_PENDINGXFERS pending{};
    rc = twain.ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    if (ok && rc != TWRC_SUCCESS) ok = twain.Fail("MSG_ENDXFER", rc);
    if (ok && pending.Count != 0) twain.ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
    if (ok) ok = twain.WaitFor(MSG_CLOSEDSREQ);
    rc = twain.Disable();
    return (ok && rc == TWRC_SUCCESS) || (ok && twain.Fail("MSG_DISABLEDS", rc));
}

int Run(const Options& o) {
    TwainApplication twain("progress bench", "Benchmarks");
    if (!twain.Open() || !Negotiate(twain, o.page)) {
        std::fprintf(stderr, "progress bench: %s\n", twain.Error().c_str());
        return 1;
    }
    RunTimes with, without, delays;
    const bool cancel = o.mode == "cancel";
    // The first run of each kind warms up.
    const int runs = cancel ? o.runs + 1 : 2 * (o.runs + 1);
    for (int run = 0; run < runs; ++run) {
        const bool indicators = cancel || run % 2 == 0;
        double seconds = 0, delay = 0;
        if (!twain.SetOneValue(CAP_INDICATORS, TWTY_BOOL, indicators ? 1 : 0, "CAP_INDICATORS") ||
            !TransferOnce(twain, cancel, run, &seconds, cancel ? &delay : nullptr)) {
            std::fprintf(stderr, "progress bench: %s\n", twain.Error().c_str());
            return 1;
        }
        if (run < (cancel ? 1 : 2)) continue;
        (indicators ? with : without).Add(seconds);
        if (cancel) delays.Add(delay);
    }
    if (cancel) {
        std::printf("result mode=cancel dpi=%d runs=%zu click_to_cancel_median_ms=%.3f click_to_cancel_max_ms=%.3f\n",
                    o.page.dpi, delays.seconds.size(), delays.Median() * 1e3,
                    *std::max_element(delays.seconds.begin(), delays.seconds.end()) * 1e3);
    } else {
        std::printf("result mode=cost dpi=%d runs=%zu with_min_ms=%.3f with_median_ms=%.3f without_min_ms=%.3f "
                    "without_median_ms=%.3f cost_percent=%.2f cost_of_best_percent=%.2f\n",
                    o.page.dpi, with.seconds.size(), with.Min() * 1e3, with.Median() * 1e3, without.Min() * 1e3,
                    without.Median() * 1e3, (with.Median() / without.Median() - 1) * 100,
                    (with.Min() / without.Min() - 1) * 100);
    }
    twain.Close();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    o.page.dpi = 600;
    if (!Parse(argc, argv, &o)) {
        std::fputs("usage: vorel_progress_bench --mode cost|cancel [--dpi N] [--region L,T,R,B] [--runs N]\n", stderr);
        return 2;
    }
    return Run(o);
}
