// SourceApp: the module's application object. It fills in the source's
// identity when the module is loaded, makes the scan session of each
// opening with the dialog that shows it, and deletes both when the module
// is unloaded.
#pragma once

class ScanSession;
class SourceDialog;

class SourceApp {
public:
    // Module load: records the instance, clears the application identity,
    // fills the source identity from the string table and becomes the maker
    // of the protocol's scan sessions.
    bool InitInstance(void* instance);
    // Module unload: deletes the dialog and the session.
    int ExitInstance();
    // Deletes the previous dialog and session, constructs new ones and
    // creates the dialog's window (hidden), which opens the scanner. Window
    // creation failure is not tested here.
    ScanSession* CreateSession();
    SourceDialog* GetDialog() const { return dialog; }
    ScanSession* GetSession() const { return session; }

private:
    void DeleteSession();

    ScanSession* session = nullptr;
    SourceDialog* dialog = nullptr;
};

extern SourceApp theApp;

// The one SourceDialog of the current opening, or null.
inline SourceDialog* CurrentDialog() { return theApp.GetDialog(); }
