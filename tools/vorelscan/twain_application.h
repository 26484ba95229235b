// The application's side of TWAIN that the acquisition tool and the
// transfer benchmark share: the source manager (TWAIN_32.DLL) loaded and
// opened, "Vorel Source" found and opened, triplets to either, one-value
// capabilities set, enabling and disabling, the message loop run until the
// source sends a message, and everything closed again in reverse order.
#pragma once

#include <windows.h>

#include <string>

#include "twain/twain.h"

// A TWAIN condition code in words.
std::string ConditionText(TW_UINT16 conditionCode);

class TwainApplication {
public:
    // `productName` and `productFamily` go into the application's identity.
    // A TWAIN 2 application (DF_APP2) opens TWAINDSM.DLL, takes the
    // manager's entry points and hears of the source through a callback.
    TwainApplication(const char* productName, const char* productFamily, bool twain2 = false);
    ~TwainApplication();
    TwainApplication(const TwainApplication&) = delete;
    TwainApplication& operator=(const TwainApplication&) = delete;

    // Loads and opens the manager, finds "Vorel Source" and opens it.
    bool Open();
    TW_UINT16 ToManager(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return entry_(&app_, nullptr, dg, dat, msg, data);
    }
    TW_UINT16 ToSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return entry_(&app_, &source_, dg, dat, msg, data);
    }
    // MSG_SET of a capability with a one-value container; `name` for the error.
    bool SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value, const char* name);
    // MSG_GETCURRENT of a capability answered in a one-value container.
    bool GetOneValue(TW_UINT16 cap, TW_UINT32* value);
    bool Enable(bool showUI);
    // MSG_DISABLEDS when enabled; its return code (success when not enabled).
    TW_UINT16 Disable();
    // MSG_ENABLEDSUIONLY: the source's window for the set-up alone.
    bool EnableSetUpOnly();
    // Runs this thread's message loop, handing every message to the source,
    // until the source sends one (MSG_XFERREADY, MSG_CLOSEDSREQ,
    // MSG_CLOSEDSOK); MSG_NULL when the loop ends.
    TW_UINT16 NextFromSource();
    // NextFromSource, which must be `wanted`: any other message fails.
    bool WaitFor(TW_UINT16 wanted);
    void Close();

    // Blocks the source hands over (containers, the native image), locked
    // and freed as this kind of application must: through the TWAIN 2
    // manager's functions, else as global memory.
    TW_HANDLE AllocateBlock(TW_UINT32 bytes);
    void* LockBlock(TW_HANDLE block);
    void UnlockBlock(TW_HANDLE block);
    void FreeBlock(TW_HANDLE block);

    // The condition code of the last refusal, asked of the source when it is
    // open, else of the manager.
    TW_UINT16 ConditionCode();
    // Records "what: the condition code in words" and returns false.
    bool Fail(const std::string& what, TW_UINT16 rc);
    // Records a failure of the application's own; returns false.
    bool Fail(const std::string& why) {
        error_ = why;
        return false;
    }
    const std::string& Error() const { return error_; }

private:
    HMODULE manager_ = nullptr;
    DSMENTRYPROC entry_ = nullptr;
    HWND window_ = nullptr;
    TW_IDENTITY app_{};
    TW_IDENTITY source_{};
    bool managerOpen_ = false;
    bool sourceOpen_ = false;
    bool enabled_ = false;
    bool twain2_ = false;
    TW_ENTRYPOINT entryPoints_{};
    std::string error_;
};
