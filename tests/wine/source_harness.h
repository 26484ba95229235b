// The Wine tests' stand-in for application and source manager: loads the
// real vorelsrc.ds from the test's folder and calls its DS_Entry; reads
// what the source sent to the test copy of TWAIN_32.DLL; and answers the
// message boxes the source shows, recording their texts.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "twain/twain.h"

std::string TestFolder();

class SourceHarness {
public:
    SourceHarness();
    // The source from another file (a copy of it elsewhere).
    explicit SourceHarness(const std::string& path);
    ~SourceHarness();

    bool Loaded() const { return entry_ != nullptr; }
    HMODULE Module() const { return module_; }

    // A triplet from the application, with its identity as origin.
    TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 CallFrom(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    // DAT_STATUS: the condition code, reported and cleared.
    TW_UINT16 Status();

    TW_UINT16 Open();   // MSG_OPENDS with a fresh source identity
    TW_UINT16 Close();  // MSG_CLOSEDS
    TW_UINT16 Enable(bool showUI);
    TW_UINT16 Disable();
    // MSG_SET of a capability with a one-value container.
    TW_UINT16 SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value);

    TW_IDENTITY app{};
    TW_IDENTITY source{};

private:
    HMODULE module_ = nullptr;
    DSENTRYPROC entry_ = nullptr;
};

// What a test copy of a source manager (TWAIN_32.DLL, or the TWAIN 2
// manager's stand-in TWAINDSM.DLL) recorded; loaded when it is not yet.
struct RecordedNotification {
    TW_UINT16 msg;
    TW_UINT32 originId;
    TW_UINT32 destinationId;
    std::string originProduct;
    bool dataWasNull;
};
std::vector<RecordedNotification> Notifications(const char* manager = "TWAIN_32.DLL");
void ClearNotifications(const char* manager = "TWAIN_32.DLL");
// Makes the manager's DSM_Entry refuse the source's notifications.
void RefuseNotifications(const char* manager, bool refuse);

// Message boxes answered by the watcher thread.
struct AnsweredBox {
    std::string caption;
    std::string text;
};
std::vector<AnsweredBox> AnsweredBoxes();
void ClearAnsweredBoxes();
// The button the watcher presses in the next boxes (IDOK or IDCANCEL).
void AnswerBoxesWith(int button);
// While held, the watcher leaves boxes alone (to take their picture).
void HoldBoxes(bool hold);

// Wine's own TWAIN_32.DLL finds sources only as twain_32\sane.ds and
// gphoto2.ds, by full path. While it lives, the source (with VOREL32.dll)
// stands there as sane.ds; Path() is Wine's manager, empty when it cannot
// be used here (Why() says why: a 64-bit test, or Wine's gphoto2.ds in the
// prefix, which the manager would load).
class SourceForWinesManager {
public:
    SourceForWinesManager();
    ~SourceForWinesManager();
    const std::string& Path() const { return manager_; }
    const std::string& Why() const { return why_; }

private:
    std::string folder_;
    std::string manager_;
    std::string why_;
};

// Pumps this thread's messages until none are left.
void PumpMessages();

// The bytes of one row of the image DAT_IMAGEINFO describes, unpadded.
std::size_t RowBytes(const TW_IMAGEINFO& info);
// The rows of an uncompressed memory transfer through `bufferBytes` strips,
// each row cut to `rowBytes` (its padding dropped); every strip must answer
// TWRC_SUCCESS or, the last one, TWRC_XFERDONE.
std::vector<unsigned char> ReadMemoryRows(SourceHarness& source, std::size_t rowBytes, std::uint32_t bufferBytes);
