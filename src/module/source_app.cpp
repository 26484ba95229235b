// SourceApp: identity at load, the session and dialog of each opening,
// cleanup at unload.
#include "module/source_app.h"

#include <memory>

#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "platform/strings.h"
#include "protocol/source_globals.h"
#include "resources/resource_ids.h"
#include "ui/source_dialog.h"

SourceApp theApp;

bool SourceApp::InitInstance(void* instance) {
    platform::SetModuleInstance(instance);
    appIdentity.Id = 0;
    sourceIdentity.Id = 0;
    sourceIdentity.Version.MajorNum = 1;
    sourceIdentity.Version.MinorNum = 0;
    sourceIdentity.Version.Language = TWLG_USA;
    sourceIdentity.Version.Country = TWCY_USA;
    // A TWAIN 2.4 source, which a TWAIN 2 manager hands its entry points.
    sourceIdentity.ProtocolMajor = 2;
    sourceIdentity.ProtocolMinor = 4;
    sourceIdentity.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_DS2;
    platform::LoadStringResource(IDS_VERSION_INFO, sourceIdentity.Version.Info, sizeof(TW_STR32));
    platform::LoadStringResource(IDS_MANUFACTURER, sourceIdentity.Manufacturer, sizeof(TW_STR32));
    platform::LoadStringResource(IDS_PRODUCT_FAMILY, sourceIdentity.ProductFamily, sizeof(TW_STR32));
    platform::LoadStringResource(IDS_PRODUCT_NAME, sourceIdentity.ProductName, sizeof(TW_STR32));
    SetSessionMaker([]() { return theApp.CreateSession(); });
    return true;
}

int SourceApp::ExitInstance() {
    DeleteSession();
    return 0;
}

// The dialog goes first: its window was the scanner's.
void SourceApp::DeleteSession() {
    SetCurrentSession(nullptr);
    if (session != nullptr) {
        session->EndProgress();
        session->AttachIndicator(nullptr);
        session->AttachWindow(nullptr);
    }
    delete dialog;
    dialog = nullptr;
    delete session;
    session = nullptr;
}

ScanSession* SourceApp::CreateSession() {
    DeleteSession();
    auto newSession = std::make_unique<ScanSession>();
    auto newDialog = std::make_unique<SourceDialog>(*newSession);
    session = newSession.release();
    dialog = newDialog.release();
    session->AttachWindow(dialog);
    SetCurrentSession(session);
    dialog->Create();
    return session;
}
