// SourceApp: identity at load, the one SourceDialog, cleanup at unload.
#include "module/source_app.h"

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
    return true;
}

int SourceApp::ExitInstance() {
    delete dialog;
    dialog = nullptr;
    return 0;
}

SourceDialog* SourceApp::CreateSourceDialog() {
    delete dialog;
    dialog = nullptr;
    dialog = new SourceDialog();
    dialog->Create();
    return dialog;
}
