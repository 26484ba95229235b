// The application's side of TWAIN shared by the tool and the benchmark.
#include "twain_application.h"

#include <cstdio>
#include <cstring>
#include <deque>

namespace {

// What the source told a TWAIN 2 application through its callback, for its
// message loop to take.
std::deque<TW_UINT16> calledBack;

TW_UINT16 TW_CALLINGSTYLE SourceCallback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF) {
    calledBack.push_back(msg);
    ::PostThreadMessageA(::GetCurrentThreadId(), WM_NULL, 0, 0);
    return TWRC_SUCCESS;
}

}  // namespace

TwainApplication::TwainApplication(const char* productName, const char* productFamily, bool twain2)
    : twain2_(twain2) {
    app_.Version = TW_VERSION{1, 0, TWLG_USA, TWCY_USA, "1.0"};
    app_.ProtocolMajor = twain2 ? 2 : 1;
    app_.ProtocolMinor = twain2 ? 4 : 6;
    app_.SupportedGroups = DG_CONTROL | DG_IMAGE | (twain2 ? DF_APP2 : 0);
    std::snprintf(app_.Manufacturer, sizeof app_.Manufacturer, "%s", "Vorel project");
    std::snprintf(app_.ProductFamily, sizeof app_.ProductFamily, "%s", productFamily);
    std::snprintf(app_.ProductName, sizeof app_.ProductName, "%s", productName);
}

TwainApplication::~TwainApplication() { Close(); }

bool TwainApplication::Open() {
    const std::string name = twain2_ ? "TWAINDSM.DLL" : "TWAIN_32.DLL";
    manager_ = ::LoadLibraryA(name.c_str());
    if (manager_ == nullptr) {
        return Fail("no source manager: " + name + " is neither beside the program nor on the search path");
    }
    entry_ = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void*>(::GetProcAddress(manager_, "DSM_Entry")));
    if (entry_ == nullptr) return Fail(name + " is no source manager: it has no DSM_Entry");

    window_ = ::CreateWindowA("STATIC", app_.ProductName, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    // The source's windows and boxes need a display as much as this one.
    if (window_ == nullptr) {
        return Fail("cannot make a window (Windows error " + std::to_string(::GetLastError()) +
                    "): is there a display, and does it answer?");
    }
    TW_UINT16 rc = ToManager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window_);
    if (rc != TWRC_SUCCESS) return Fail("the source manager would not open", rc);
    managerOpen_ = true;
    if (twain2_) {
        if ((app_.SupportedGroups & DF_DSM2) == 0) return Fail(name + " is no TWAIN 2 source manager");
        entryPoints_.Size = sizeof entryPoints_;
        rc = ToManager(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entryPoints_);
        if (rc != TWRC_SUCCESS) return Fail("the source manager gave no entry points", rc);
    }

    rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &source_);
    while (rc == TWRC_SUCCESS && std::strcmp(source_.ProductName, "Vorel Source") != 0) {
        rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &source_);
    }
    if (rc != TWRC_SUCCESS) {
        return Fail("the source manager found no \"Vorel Source\": is vorelsrc.ds installed in the twain_32 folder?");
    }
    rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_);
    if (rc != TWRC_SUCCESS) return Fail("the Vorel source would not open", rc);
    sourceOpen_ = true;
    if (twain2_) {
        calledBack.clear();
        TW_CALLBACK callback{reinterpret_cast<TW_MEMREF>(SourceCallback), 0, 0};
        rc = ToSource(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback);
        if (rc != TWRC_SUCCESS) return Fail("the source manager took no callback", rc);
    }
    return true;
}

TW_HANDLE TwainApplication::AllocateBlock(TW_UINT32 bytes) {
    return entryPoints_.DSM_MemAllocate ? entryPoints_.DSM_MemAllocate(bytes) : ::GlobalAlloc(GHND, bytes);
}

void* TwainApplication::LockBlock(TW_HANDLE block) {
    return entryPoints_.DSM_MemLock ? entryPoints_.DSM_MemLock(block) : ::GlobalLock(block);
}

void TwainApplication::UnlockBlock(TW_HANDLE block) {
    if (entryPoints_.DSM_MemUnlock) {
        entryPoints_.DSM_MemUnlock(block);
    } else {
        ::GlobalUnlock(block);
    }
}

void TwainApplication::FreeBlock(TW_HANDLE block) {
    if (entryPoints_.DSM_MemFree) {
        entryPoints_.DSM_MemFree(block);
    } else {
        ::GlobalFree(block);
    }
}

TW_UINT16 TwainApplication::ConditionCode() {
    TW_STATUS status{};
    if (entry_ == nullptr) return TWCC_SUCCESS;
    if (sourceOpen_) {
        ToSource(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    } else {
        ToManager(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    }
    return status.ConditionCode;
}

bool TwainApplication::Fail(const std::string& what, TW_UINT16 rc) {
    const TW_UINT16 conditionCode = ConditionCode();
    error_ = what + ": " + (rc == TWRC_CANCEL ? std::string("cancelled") : ConditionText(conditionCode));
    return false;
}

std::string ConditionText(TW_UINT16 conditionCode) {
    switch (conditionCode) {
        case 0: return "no reason given";
        case 1: return "the scanner or the source failed";
        case 2: return "not enough memory";
        case 3: return "the source is not there";
        case 4: return "the source is in use by another application";
        case 5: return "the operation failed (the source has told the user why)";
        case 6: return "the source does not know that capability";
        case 9: return "the source did not expect that request";
        case 10: return "the source does not take that value";
        case 11: return "the request came out of order";
        case 13: return "the source does not support that capability";
        case 14: return "the source does not support that operation on the capability";
        case 15: return "the capability cannot be set now";
        case 16: return "access denied";
        case 17: return "the file exists";
        case 18: return "the file was not found";
        case 20: return "the document feeder jammed";
        case 21: return "the document feeder took two sheets at once";
        case 22: return "the file could not be written";
        case 23: return "the scanner is not online";
        case 29: return "the document feeder is empty";
        default: return "condition code " + std::to_string(conditionCode);
    }
}

bool TwainApplication::SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value, const char* name) {
    TW_CAPABILITY capability{cap, TWON_ONEVALUE, ::GlobalAlloc(GHND, sizeof(TW_ONEVALUE))};
    if (capability.hContainer == nullptr) return Fail("allocating a container");
    auto* one = static_cast<TW_ONEVALUE*>(::GlobalLock(capability.hContainer));
    one->ItemType = itemType;
    one->Item = value;
    ::GlobalUnlock(capability.hContainer);
    const TW_UINT16 rc = ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    ::GlobalFree(capability.hContainer);
    return rc == TWRC_SUCCESS || Fail(std::string("the source refused ") + name, rc);
}

bool TwainApplication::GetOneValue(TW_UINT16 cap, TW_UINT32* value) {
    TW_CAPABILITY capability{cap, 0xFFFF, nullptr};  // any container
    if (ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &capability) != TWRC_SUCCESS) return false;
    if (capability.hContainer == nullptr) return false;
    bool ok = false;
    if (capability.ConType == TWON_ONEVALUE && ::GlobalSize(capability.hContainer) >= sizeof(TW_ONEVALUE)) {
        const auto* one = static_cast<const TW_ONEVALUE*>(LockBlock(capability.hContainer));
        if (one != nullptr) {
            *value = one->Item;
            ok = true;
            UnlockBlock(capability.hContainer);
        }
    }
    FreeBlock(capability.hContainer);
    return ok;
}

bool TwainApplication::Enable(bool showUI) {
    TW_USERINTERFACE ui{static_cast<TW_BOOL>(showUI ? 1 : 0), 0, window_};
    const TW_UINT16 rc = ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    if (rc != TWRC_SUCCESS) return Fail("the source would not start the scan", rc);
    enabled_ = true;
    return true;
}

TW_UINT16 TwainApplication::Disable() {
    if (!enabled_) return TWRC_SUCCESS;
    enabled_ = false;
    TW_USERINTERFACE ui{1, 0, window_};
    return ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
}

bool TwainApplication::EnableSetUpOnly() {
    TW_USERINTERFACE ui{1, 0, window_};
    const TW_UINT16 rc = ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &ui);
    if (rc != TWRC_SUCCESS) return Fail("the source would not show its window for the set-up", rc);
    enabled_ = true;
    return true;
}

TW_UINT16 TwainApplication::NextFromSource() {
    MSG message;
    for (;;) {
        // A TWAIN 2 application hears of the source through its callback.
        if (!calledBack.empty()) {
            const TW_UINT16 told = calledBack.front();
            calledBack.pop_front();
            if (told != MSG_NULL) return told;
        }
        if (::GetMessageA(&message, nullptr, 0, 0) <= 0) return MSG_NULL;
        TW_EVENT event{&message, MSG_NULL};
        const TW_UINT16 rc = ToSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        if (event.TWMessage != MSG_NULL) return event.TWMessage;
        if (rc == TWRC_NOTDSEVENT) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
}

bool TwainApplication::WaitFor(TW_UINT16 wanted) {
    const TW_UINT16 told = NextFromSource();
    if (told == wanted) return true;
    if (told == MSG_NULL) return Fail("the message loop ended");
    if (told == MSG_CLOSEDSREQ) {
        return Fail("the source's window was closed (Cancel, Escape or its close box) before an image was ready: "
                    "nothing was scanned");
    }
    return Fail("the source sent the unexpected message " + std::to_string(told));
}

void TwainApplication::Close() {
    Disable();
    if (sourceOpen_) ToManager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
    sourceOpen_ = false;
    if (managerOpen_) ToManager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_);
    managerOpen_ = false;
    if (window_ != nullptr) ::DestroyWindow(window_);
    window_ = nullptr;
    if (manager_ != nullptr) ::FreeLibrary(manager_);
    manager_ = nullptr;
    entry_ = nullptr;
}
