// SourceApp: the module's application object. It fills in the source's
// identity when the module is loaded, owns the one SourceDialog, and deletes
// it when the module is unloaded.
#pragma once

class SourceDialog;

class SourceApp {
public:
    // Module load: records the instance, clears the application identity
    // and fills the source identity from the string table.
    bool InitInstance(void* instance);
    // Module unload: deletes the dialog.
    int ExitInstance();
    // Deletes the previous dialog, constructs a new one and creates its
    // window (hidden). Window creation failure is not tested here.
    SourceDialog* CreateSourceDialog();
    SourceDialog* GetDialog() const { return dialog; }

private:
    SourceDialog* dialog = nullptr;
};

extern SourceApp theApp;

// The one SourceDialog of the current opening, or null.
inline SourceDialog* CurrentDialog() { return theApp.GetDialog(); }
