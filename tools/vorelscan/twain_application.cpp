// The application's side of TWAIN shared by the tool and the benchmark.
#include "twain_application.h"

#include <cstdio>
#include <cstring>

TwainApplication::TwainApplication(const char* productName, const char* productFamily) {
    app_.Version = TW_VERSION{1, 0, TWLG_USA, TWCY_USA, "1.0"};
    app_.ProtocolMajor = 1;
    app_.ProtocolMinor = 6;
    app_.SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::snprintf(app_.Manufacturer, sizeof app_.Manufacturer, "%s", "Vorel project");
    std::snprintf(app_.ProductFamily, sizeof app_.ProductFamily, "%s", productFamily);
    std::snprintf(app_.ProductName, sizeof app_.ProductName, "%s", productName);
}

TwainApplication::~TwainApplication() { Close(); }

bool TwainApplication::Open() {
    manager_ = ::LoadLibraryA("TWAIN_32.DLL");
    if (manager_ == nullptr) return Fail("TWAIN_32.DLL not found");
    entry_ = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void*>(::GetProcAddress(manager_, "DSM_Entry")));
    if (entry_ == nullptr) return Fail("TWAIN_32.DLL has no DSM_Entry");

    window_ = ::CreateWindowA("STATIC", app_.ProductName, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    TW_UINT16 rc = ToManager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window_);
    if (rc != TWRC_SUCCESS) return Fail("MSG_OPENDSM", rc);
    managerOpen_ = true;

    rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &source_);
    while (rc == TWRC_SUCCESS && std::strcmp(source_.ProductName, "Vorel Source") != 0) {
        rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &source_);
    }
    if (rc != TWRC_SUCCESS) return Fail("finding \"Vorel Source\"", rc);
    rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_);
    if (rc != TWRC_SUCCESS) return Fail("MSG_OPENDS", rc);
    sourceOpen_ = true;
    return true;
}

bool TwainApplication::Fail(const std::string& what, TW_UINT16 rc) {
    TW_STATUS status{};
    if (entry_ != nullptr) {
        if (sourceOpen_) {
            ToSource(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        } else {
            ToManager(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        }
    }
    char text[256];
    std::snprintf(text, sizeof text, "%s failed (return code %u, condition code %u)", what.c_str(), rc,
                  status.ConditionCode);
    error_ = text;
    return false;
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
    return rc == TWRC_SUCCESS || Fail(std::string("MSG_SET ") + name, rc);
}

bool TwainApplication::Enable(bool showUI) {
    TW_USERINTERFACE ui{static_cast<TW_BOOL>(showUI ? 1 : 0), 0, window_};
    const TW_UINT16 rc = ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    if (rc != TWRC_SUCCESS) return Fail("MSG_ENABLEDS", rc);
    enabled_ = true;
    return true;
}

TW_UINT16 TwainApplication::Disable() {
    if (!enabled_) return TWRC_SUCCESS;
    enabled_ = false;
    TW_USERINTERFACE ui{1, 0, window_};
    return ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
}

bool TwainApplication::WaitFor(TW_UINT16 wanted) {
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        TW_EVENT event{&message, MSG_NULL};
        const TW_UINT16 rc = ToSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        if (event.TWMessage == wanted) return true;
        if (event.TWMessage == MSG_CLOSEDSREQ) return Fail("the source asked to be closed");
        if (event.TWMessage != MSG_NULL) {
            return Fail("the source sent message " + std::to_string(event.TWMessage) + " while " +
                        std::to_string(wanted) + " was awaited");
        }
        if (rc == TWRC_NOTDSEVENT) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
    return Fail("the message loop ended");
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
