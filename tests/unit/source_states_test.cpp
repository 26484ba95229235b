// The source's states as an application drives them: which triplet is
// accepted in which state, opening and closing with everything bound to an
// opening (identities, capability table, dialog, scanner), and enabling with
// and without the dialog.
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <new>

#include "resources/resource_ids.h"
#include "source_fixture.h"

using namespace source_test;

namespace {

class SourceStatesTest : public SourceTest {
protected:
    // Brings a freshly loaded source into `state` the way an application
    // would: 600 is reached by enabling without the dialog.
    void EnterState(TW_INT32 state) {
        if (state >= 400) {
            ASSERT_EQ(Open(), TWRC_SUCCESS) << "MSG_OPENDS";
        }
        if (state == 500) {
            ASSERT_EQ(Enable(true), TWRC_SUCCESS) << "MSG_ENABLEDS ShowUI 1";
        }
        if (state == 600) {
            ASSERT_EQ(Enable(false), TWRC_SUCCESS) << "MSG_ENABLEDS ShowUI 0";
        }
        ASSERT_EQ(sourceState, state);
        conditionCode = TWCC_SUCCESS;
    }

    static bool Exists(const char* name) {
        struct stat info;
        return stat(name, &info) == 0;
    }
    static void Touch(const char* name) {
        std::FILE* f = std::fopen(name, "w");
        ASSERT_NE(f, nullptr) << name;
        std::fputs("old log", f);
        std::fclose(f);
    }
};

constexpr TW_INT32 kStates[] = {300, 400, 500, 600};
constexpr TW_INT32 kSame = 0;  // state unchanged

struct Outcome {
    TW_UINT16 rc;
    TW_UINT16 cc;  // conditionCode afterwards; checked only for failures
    TW_INT32 state;
};
constexpr Outcome Ok(TW_INT32 state = kSame) { return {TWRC_SUCCESS, TWCC_SUCCESS, state}; }
constexpr Outcome No(TW_UINT16 cc) { return {TWRC_FAILURE, cc, kSame}; }

struct Row {
    const char* what;
    TW_UINT16 dat;
    TW_UINT16 msg;
    Outcome in[4];  // 300, 400, 500, 600
};

const Row kAcceptance[] = {
    {"MSG_GET DAT_IDENTITY", DAT_IDENTITY, MSG_GET, {Ok(), Ok(), Ok(), Ok()}},
    {"MSG_OPENDS", DAT_IDENTITY, MSG_OPENDS, {Ok(400), No(TWCC_SEQERROR), No(TWCC_SEQERROR), No(TWCC_SEQERROR)}},
    {"MSG_CLOSEDS", DAT_IDENTITY, MSG_CLOSEDS, {No(TWCC_SEQERROR), Ok(300), Ok(300), Ok(300)}},
    {"MSG_SET DAT_IDENTITY", DAT_IDENTITY, MSG_SET,
     {No(TWCC_BADPROTOCOL), No(TWCC_BADPROTOCOL), No(TWCC_BADPROTOCOL), No(TWCC_BADPROTOCOL)}},
    // Without capability records the request fails before the state test.
    {"MSG_ENABLEDS", DAT_USERINTERFACE, MSG_ENABLEDS,
     {No(TWCC_BUMMER), Ok(500), No(TWCC_SEQERROR), No(TWCC_SEQERROR)}},
    {"MSG_ENABLEDSUIONLY", DAT_USERINTERFACE, MSG_ENABLEDSUIONLY,
     {No(TWCC_BUMMER), Ok(500), No(TWCC_SEQERROR), No(TWCC_SEQERROR)}},
    {"MSG_DISABLEDS", DAT_USERINTERFACE, MSG_DISABLEDS, {No(TWCC_SEQERROR), No(TWCC_SEQERROR), Ok(400), Ok(400)}},
    {"MSG_GET DAT_USERINTERFACE", DAT_USERINTERFACE, MSG_GET,
     {No(TWCC_BADPROTOCOL), No(TWCC_BADPROTOCOL), No(TWCC_BADPROTOCOL), No(TWCC_BADPROTOCOL)}},
    {"MSG_GETCURRENT DAT_CAPABILITY", DAT_CAPABILITY, MSG_GETCURRENT, {No(TWCC_SEQERROR), Ok(), Ok(), Ok()}},
    {"MSG_GET DAT_STATUS", DAT_STATUS, MSG_GET, {Ok(), Ok(), Ok(), Ok()}},
    {"MSG_SET DAT_STATUS", DAT_STATUS, MSG_SET,
     {No(TWCC_BADPROTOCOL), No(TWCC_BADPROTOCOL), No(TWCC_BADPROTOCOL), No(TWCC_BADPROTOCOL)}},
    {"MSG_GET DAT_PENDINGXFERS", DAT_PENDINGXFERS, MSG_GET, {No(TWCC_SEQERROR), Ok(), Ok(), Ok()}},
    {"MSG_ENDXFER", DAT_PENDINGXFERS, MSG_ENDXFER,
     {No(TWCC_SEQERROR), No(TWCC_SEQERROR), No(TWCC_SEQERROR), Ok(500)}},
    {"MSG_RESET DAT_PENDINGXFERS", DAT_PENDINGXFERS, MSG_RESET,
     {No(TWCC_SEQERROR), No(TWCC_SEQERROR), No(TWCC_SEQERROR), Ok(500)}},
    {"MSG_SET DAT_PENDINGXFERS", DAT_PENDINGXFERS, MSG_SET,
     {No(TWCC_BADPROTOCOL), No(TWCC_BADPROTOCOL), No(TWCC_BADPROTOCOL), No(TWCC_BADPROTOCOL)}},
    {"MSG_GET DAT_SETUPMEMXFER", DAT_SETUPMEMXFER, MSG_GET, {No(TWCC_SEQERROR), Ok(), Ok(), Ok()}},
    {"MSG_GET DAT_SETUPFILEXFER", DAT_SETUPFILEXFER, MSG_GET, {No(TWCC_SEQERROR), Ok(), Ok(), Ok()}},
    {"MSG_GETCURRENT DAT_SETUPFILEXFER", DAT_SETUPFILEXFER, MSG_GETCURRENT, {No(TWCC_SEQERROR), Ok(), Ok(), Ok()}},
    {"MSG_GETDEFAULT DAT_SETUPFILEXFER", DAT_SETUPFILEXFER, MSG_GETDEFAULT, {No(TWCC_SEQERROR), Ok(), Ok(), Ok()}},
    {"MSG_SET DAT_SETUPFILEXFER", DAT_SETUPFILEXFER, MSG_SET, {No(TWCC_SEQERROR), Ok(), Ok(), Ok()}},
    {"MSG_GET DAT_XFERGROUP", DAT_XFERGROUP, MSG_GET, {No(TWCC_SEQERROR), Ok(), Ok(), Ok()}},
    {"MSG_GETCURRENT DAT_XFERGROUP", DAT_XFERGROUP, MSG_GETCURRENT, {No(TWCC_SEQERROR), Ok(), Ok(), Ok()}},
    {"MSG_GETDEFAULT DAT_XFERGROUP", DAT_XFERGROUP, MSG_GETDEFAULT, {No(TWCC_SEQERROR), Ok(), Ok(), Ok()}},
    {"MSG_SET DAT_XFERGROUP", DAT_XFERGROUP, MSG_SET, {No(TWCC_SEQERROR), Ok(), Ok(), Ok()}},
    {"MSG_RESET DAT_XFERGROUP", DAT_XFERGROUP, MSG_RESET, {No(TWCC_SEQERROR), Ok(), Ok(), Ok()}},
};

TEST_F(SourceStatesTest, EveryTripletInEveryState) {
    for (const Row& row : kAcceptance) {
        for (int s = 0; s < 4; ++s) {
            const TW_INT32 state = kStates[s];
            const Outcome& want = row.in[s];
            TearDown();
            SetUp();
            EnterState(state);
            if (HasFatalFailure()) return;

            // Data shaped for the triplet; generous room for any structure.
            union {
                TW_IDENTITY identity;
                TW_USERINTERFACE ui;
                TW_CAPABILITY cap;
                TW_SETUPFILEXFER file;
                std::uint8_t bytes[512];
            } data;
            std::memset(&data, 0, sizeof data);
            if (row.msg == MSG_OPENDS) {
                DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &data.identity);
                data.identity.Id = kSourceId;
            }
            if (row.dat == DAT_USERINTERFACE) data.ui.ShowUI = 1;
            if (row.dat == DAT_CAPABILITY) data.cap.Cap = ICAP_PIXELTYPE;
            if (row.dat == DAT_SETUPFILEXFER) {
                std::strcpy(data.file.FileName, "state.bmp");
                data.file.Format = TWFF_BMP;
            }

            const TW_UINT16 rc = Control(row.dat, row.msg, &data);
            EXPECT_EQ(rc, want.rc) << row.what << " in state " << state;
            if (want.rc == TWRC_FAILURE) {
                EXPECT_EQ(conditionCode, want.cc) << row.what << " in state " << state;
            }
            EXPECT_EQ(sourceState, want.state == kSame ? state : want.state) << row.what << " in state " << state;
            if (row.dat == DAT_CAPABILITY) {
                TW_HANDLE container = data.cap.hContainer;
                platform::GlobalFreeBlock(container);
            }
        }
    }
}

TEST_F(SourceStatesTest, ProcessEventInEveryState) {
    for (TW_INT32 state : kStates) {
        TearDown();
        SetUp();
        EnterState(state);
        if (HasFatalFailure()) return;
        TW_EVENT event{nullptr, kSentinel16};
        EXPECT_EQ(Control(DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT) << "MSG_PROCESSEVENT in " << state;
        EXPECT_EQ(sourceState, state);
    }
}

TEST_F(SourceStatesTest, IdentityBeforeAndAfterOpening) {
    TW_IDENTITY identity;
    std::memset(&identity, 0xAB, sizeof identity);
    ASSERT_EQ(Control(DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS) << "MSG_GET DAT_IDENTITY before opening";
    EXPECT_EQ(TW_UINT32{identity.Id}, 0u);
    EXPECT_EQ(identity.Version.MajorNum, 1);
    EXPECT_EQ(identity.Version.MinorNum, 0);
    EXPECT_EQ(identity.Version.Language, TWLG_USA);
    EXPECT_EQ(identity.Version.Country, TWCY_USA);
    EXPECT_STREQ(identity.Version.Info, "31 July 1997");
    EXPECT_EQ(identity.ProtocolMajor, 2);
    EXPECT_EQ(identity.ProtocolMinor, 4);
    EXPECT_EQ(TW_UINT32{identity.SupportedGroups}, DG_CONTROL | DG_IMAGE | DF_DS2);
    EXPECT_STREQ(identity.Manufacturer, "Pellam & Kestrane Company");
    EXPECT_STREQ(identity.ProductFamily, "TWAIN");
    EXPECT_STREQ(identity.ProductName, "Vorel Source");

    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_EQ(TW_UINT32{appIdentity.Id}, kAppId) << "MSG_OPENDS records the application";
    EXPECT_STREQ(appIdentity.ProductName, "Test Application");
    ASSERT_EQ(Control(DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS) << "MSG_GET DAT_IDENTITY after opening";
    EXPECT_EQ(TW_UINT32{identity.Id}, kSourceId) << "the Id the manager assigned";
    EXPECT_STREQ(identity.ProductName, "Vorel Source");

    ASSERT_EQ(Close(), TWRC_SUCCESS);
    EXPECT_EQ(TW_UINT32{appIdentity.Id}, 0u) << "MSG_CLOSEDS disconnects the application";
}

// The old log goes at every MSG_OPENDS, refused ones included. Natively the
// name is an ordinary file name in the working folder.
TEST_F(SourceStatesTest, OpeningDeletesTheOldLogEvenWhenRefused) {
    const char* log = "c:\\twsrc.log";
    Touch(log);
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_FALSE(Exists(log)) << "MSG_OPENDS deletes the log";

    Touch(log);
    EXPECT_EQ(Open(), TWRC_FAILURE) << "MSG_OPENDS twice";
    EXPECT_FALSE(Exists(log)) << "a refused MSG_OPENDS deletes the log too";
    EXPECT_EQ(Status(), TWCC_SEQERROR) << "MSG_OPENDS twice";
    EXPECT_EQ(sourceState, 400);
    EXPECT_EQ(TW_UINT32{appIdentity.Id}, kAppId);
}

TEST_F(SourceStatesTest, OpeningClearsScanInProgress) {
    scanInProgress = 1;
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_EQ(scanInProgress, 0u) << "MSG_OPENDS accepted";
    scanInProgress = 1;
    EXPECT_EQ(Open(), TWRC_FAILURE);
    EXPECT_EQ(scanInProgress, 0u) << "MSG_OPENDS refused";
}

TEST_F(SourceStatesTest, OpeningSeedsTheScannerCapabilities) {
    Simulate("VOREL_SIM_FEEDER", "loaded");
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_EQ(capabilityTable.Find(CAP_DEVICEONLINE).current, 1);
    EXPECT_EQ(capabilityTable.Find(CAP_FEEDERENABLED).current, 1);
    EXPECT_EQ(capabilityTable.Find(CAP_FEEDERLOADED).current, 1);
    EXPECT_EQ(GetCurrent(ICAP_PHYSICALWIDTH), 2550) << "8.5 inch bed";
    EXPECT_EQ(GetCurrent(ICAP_PHYSICALHEIGHT), 4200) << "14 inch bed";
    EXPECT_TRUE(boxes.empty()) << "a working scanner shows no box";
}

TEST_F(SourceStatesTest, ClosingFromEnabledOrTransferReady) {
    for (TW_INT32 state : {400, 500, 600}) {
        TearDown();
        SetUp();
        EnterState(state);
        if (HasFatalFailure()) return;
        void* window = Dialog().WindowHandle();
        ASSERT_EQ(Close(), TWRC_SUCCESS) << "MSG_CLOSEDS from " << state;
        EXPECT_EQ(sourceState, 300);
        EXPECT_EQ(Calls().releases, 1) << "scanner released once, from " << state;
        EXPECT_EQ(Calls().releaseWindow, static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(window)))
            << "released with the window it was opened with";
        EXPECT_EQ(headlessWindowLog.windowsAlive, 0) << "window destroyed, from " << state;
        EXPECT_EQ(dialogWindow, nullptr);
        EXPECT_FALSE(capabilityTable.IsBuilt()) << "capability table cleared, from " << state;
        EXPECT_NE(theApp.GetDialog(), nullptr) << "the dialog object stays until the next opening";
    }
}

TEST_F(SourceStatesTest, ReopeningBuildsFreshCapabilities) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 300), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(GetCurrent(CAP_XFERCOUNT), 3);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_EQ(GetCurrent(CAP_XFERCOUNT), -1) << "CAP_XFERCOUNT after reopening";
    EXPECT_EQ(GetCurrent(ICAP_XRESOLUTION), 150) << "ICAP_XRESOLUTION after reopening";
    EXPECT_EQ(GetCurrent(ICAP_PIXELTYPE), TWPT_RGB) << "ICAP_PIXELTYPE after reopening";
}

// Open, close and open again: one dialog, one window, and the blocks the
// first dialog held are gone with it.
TEST_F(SourceStatesTest, ReopeningReplacesTheDialog) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_EQ(headlessWindowLog.windowsAlive, 1);
    const long blocksWhileOpen = platform::GlobalBlocksOutstanding();
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    EXPECT_EQ(headlessWindowLog.windowsAlive, 0);
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_EQ(headlessWindowLog.windowsAlive, 1) << "exactly one window after open, close, open";
    EXPECT_EQ(platform::GlobalBlocksOutstanding(), blocksWhileOpen) << "the first dialog's blocks are freed";
    EXPECT_EQ(Open(), TWRC_FAILURE) << "MSG_OPENDS in 400";
    EXPECT_EQ(headlessWindowLog.windowsAlive, 1) << "a refused MSG_OPENDS creates no dialog";
}

TEST_F(SourceStatesTest, RepeatedCyclesLeakNothing) {
    long blocksAfterFirst = -1;
    for (int cycle = 0; cycle < 5; ++cycle) {
        ASSERT_EQ(Open(), TWRC_SUCCESS) << "cycle " << cycle;
        ASSERT_EQ(Enable(cycle % 2 == 0), TWRC_SUCCESS) << "cycle " << cycle;
        if (sourceState == 500) Dialog().FinalScan();
        ASSERT_EQ(sourceState, 600) << "cycle " << cycle;
        ASSERT_EQ(EndXfer(), TWRC_SUCCESS) << "cycle " << cycle;
        ASSERT_EQ(Disable(true), TWRC_SUCCESS) << "cycle " << cycle;
        ASSERT_EQ(Close(), TWRC_SUCCESS) << "cycle " << cycle;
        EXPECT_EQ(headlessWindowLog.windowsAlive, 0) << "cycle " << cycle;
        if (cycle == 0) blocksAfterFirst = platform::GlobalBlocksOutstanding();
        EXPECT_EQ(platform::GlobalBlocksOutstanding(), blocksAfterFirst) << "cycle " << cycle;
    }
    EXPECT_EQ(CountNotifications(MSG_XFERREADY), 5);
    EXPECT_EQ(CountNotifications(MSG_CLOSEDSREQ), 5);
}

// --- Enabling ---

TEST_F(SourceStatesTest, EnablingWithoutTheDialogIsTransferReadyBeforeItReturns) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS) << "MSG_ENABLEDS ShowUI 0";
    EXPECT_EQ(sourceState, 600);
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].msg, MSG_XFERREADY);
    EXPECT_EQ(Notifications()[0].state, 600) << "the state is 600 when MSG_XFERREADY goes out";
    EXPECT_FALSE(Dialog().IsWindowVisible()) << "the dialog stays hidden";
    EXPECT_EQ(Calls().windows.size(), 1u) << "the final scan was set up";
    EXPECT_NE(dialogWindow, nullptr) << "MSG_ENABLEDS records the dialog window";
}

TEST_F(SourceStatesTest, EnablingWithTheDialogShowsIt) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_FALSE(Dialog().IsWindowVisible()) << "hidden after MSG_OPENDS";
    ASSERT_EQ(Enable(true), TWRC_SUCCESS) << "MSG_ENABLEDS ShowUI 1";
    EXPECT_EQ(sourceState, 500);
    EXPECT_TRUE(Dialog().IsWindowVisible());
    EXPECT_TRUE(Notifications().empty()) << "nothing is scanned until the user asks";
    EXPECT_EQ(dialogWindow, Dialog().WindowHandle());
}

TEST_F(SourceStatesTest, DisablingHidesTheDialogOnlyWhenAskedTo) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    ASSERT_EQ(Disable(false), TWRC_SUCCESS) << "MSG_DISABLEDS ShowUI 0";
    EXPECT_EQ(sourceState, 400);
    EXPECT_TRUE(Dialog().IsWindowVisible()) << "ShowUI 0 leaves the window as it was";
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    ASSERT_EQ(Disable(true), TWRC_SUCCESS) << "MSG_DISABLEDS ShowUI 1";
    EXPECT_EQ(sourceState, 400);
    EXPECT_FALSE(Dialog().IsWindowVisible());
}

// The buttons act only while the source is enabled and waiting for the
// user: in state 600 a preview would replace the scan set up for transfer
// and a second final scan would announce it again; a window left shown
// after MSG_DISABLEDS must not make a transfer ready from state 400.
TEST_F(SourceStatesTest, ScanButtonsActOnlyWhileEnabledAndWaiting) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    ASSERT_EQ(Disable(false), TWRC_SUCCESS) << "window left shown";
    const int resetsBefore = Calls().resets;
    Dialog().OnPreviewScanButton();
    Dialog().OnFinalScanButton();
    EXPECT_EQ(sourceState, 400);
    EXPECT_EQ(Calls().resets, resetsBefore) << "nothing was set up in state 400";
    EXPECT_TRUE(Notifications().empty());

    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    Dialog().OnFinalScanButton();
    ASSERT_EQ(sourceState, 600) << "Final Scan in state 500";
    const int resetsAfterFinal = Calls().resets;
    Dialog().OnPreviewScanButton();
    Dialog().OnFinalScanButton();
    EXPECT_EQ(Calls().resets, resetsAfterFinal) << "the scan set up for transfer stays";
    EXPECT_EQ(CountNotifications(MSG_XFERREADY), 1) << "one MSG_XFERREADY per final scan";
}

// A file transfer writes only the scan set up for transfer: elsewhere it is
// out of sequence and the file keeps what it held.
TEST_F(SourceStatesTest, FileTransferOnlyInStateSix) {
    for (const TW_INT32 state : kStates) {
        TearDown();
        SetUp();
        const std::string name = folder + "/kept.tif";
        EnterState(state);
        if (HasFatalFailure()) return;
        if (state >= 400) {
            TW_SETUPFILEXFER setup{};
            std::strcpy(setup.FileName, name.c_str());
            setup.Format = TWFF_TIFF;
            ASSERT_EQ(Control(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
        }
        const TW_UINT16 rc = Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
        struct stat info{};
        const bool written = stat(name.c_str(), &info) == 0 && info.st_size > 0;
        if (state == 600) {
            EXPECT_EQ(rc, TWRC_XFERDONE);
            EXPECT_TRUE(written);
        } else {
            EXPECT_EQ(rc, TWRC_FAILURE) << "state " << state;
            EXPECT_EQ(Status(), TWCC_SEQERROR) << "state " << state;
            EXPECT_FALSE(written) << "state " << state;
        }
        EXPECT_EQ(sourceState, state);
    }
}

// Memory strips too come only from a scan set up for transfer: before it the
// scanner holds the preview's set-up.
TEST_F(SourceStatesTest, MemoryTransferOnlyInStateSix) {
    for (const TW_INT32 state : kStates) {
        TearDown();
        SetUp();
        EnterState(state);
        if (HasFatalFailure()) return;
        std::vector<std::uint8_t> buffer(64000, 0xCC);
        TW_IMAGEMEMXFER xfer{};
        xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, 64000, buffer.data()};
        const TW_UINT16 rc = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
        if (state == 600) {
            EXPECT_EQ(rc, TWRC_SUCCESS);
        } else {
            EXPECT_EQ(rc, TWRC_FAILURE) << "state " << state;
            EXPECT_EQ(Status(), TWCC_SEQERROR) << "state " << state;
            EXPECT_EQ(buffer[0], 0xCC) << "state " << state << ": a strip was handed out";
        }
        EXPECT_EQ(sourceState, state);
    }
}

// A scanner without colour offers bi-level and grey only, and an application
// that asks for colour hears so instead of getting grey.
TEST_F(SourceStatesTest, ScannerWithoutColourRefusesColour) {
    Simulate("VOREL_SIM_COLOR", "0");
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_EQ(GetCurrent(ICAP_PIXELTYPE), TWPT_GRAY);
    EXPECT_EQ(GetCurrent(ICAP_BITDEPTH), 8);
    EXPECT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    EXPECT_EQ(SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, 24), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    // An enumeration whose current value is colour is refused as a whole.
    const TW_UINT16 items[3] = {TWPT_BW, TWPT_GRAY, TWPT_RGB};
    platform::GlobalHandle block = platform::GlobalAllocate(platform::kGmemShareable, sizeof(TW_ENUMERATION) + 6);
    {
        platform::LockedBlock locked(block);
        auto* list = static_cast<TW_ENUMERATION*>(locked.get());
        *list = TW_ENUMERATION{TWTY_UINT16, 3, 2, 0, {}};
        std::memcpy(list->ItemList, items, sizeof items);
    }
    TW_CAPABILITY cap{ICAP_PIXELTYPE, TWON_ENUMERATION, block};
    EXPECT_EQ(Control(DAT_CAPABILITY, MSG_SET, &cap), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    platform::GlobalFreeBlock(block);
    TW_CAPABILITY get{ICAP_PIXELTYPE, 0, nullptr};
    ASSERT_EQ(Control(DAT_CAPABILITY, MSG_GET, &get), TWRC_SUCCESS);
    {
        platform::LockedBlock locked(get.hContainer);
        const auto* list = static_cast<const TW_ENUMERATION*>(locked.get());
        const TW_UINT32 items = list->NumItems;  // by value: the container is packed
        EXPECT_EQ(items, 2u) << "bi-level and grey";
    }
    platform::GlobalFreeBlock(get.hContainer);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    TW_IMAGEINFO info{};
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.PixelType, TWPT_GRAY);
}

// The pixel type decides the image type, and ICAP_BITDEPTH follows it:
// a depth of another type is refused, whatever was set before.
TEST_F(SourceStatesTest, ImageTypeFromThePixelTypeWithItsDepth) {
    struct Case {
        TW_UINT16 pixelType;
        TW_UINT16 depth;
        const char* selected;
    };
    const Case cases[] = {{TWPT_RGB, 24, "Color Photo"}, {TWPT_GRAY, 8, "BW Photo"}, {TWPT_BW, 1, "BW Drawing"}};
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        ASSERT_EQ(Open(), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, c.pixelType), TWRC_SUCCESS) << "pixel type " << c.pixelType;
        EXPECT_EQ(GetCurrent(ICAP_BITDEPTH), c.depth) << "pixel type " << c.pixelType;
        for (TW_UINT16 depth : {1, 8, 24}) {
            EXPECT_EQ(SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, depth), depth == c.depth ? TWRC_SUCCESS : TWRC_FAILURE)
                << "bit depth " << depth << " with pixel type " << c.pixelType;
        }
        ASSERT_EQ(Enable(true), TWRC_SUCCESS) << "MSG_ENABLEDS";
        EXPECT_EQ(SelectedText(), c.selected) << "pixel type " << c.pixelType;
    }
}

TEST_F(SourceStatesTest, EnablingHandsTheNegotiatedSettingsToTheDialog) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 300), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 200), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_VANILLA), TWRC_SUCCESS);
    capabilityTable.Find(ICAP_PIXELTYPE).allowedMask = 1u << TWPT_BW | 1u << TWPT_GRAY;
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(Dialog().allowedImageTypes, 3u);
    EXPECT_EQ(ListTexts(), (std::vector<std::string>{"BW Drawing", "BW Photo"})) << "colour not offered";
    EXPECT_EQ(Session().xResolution, 300u);
    EXPECT_EQ(Session().yResolution, 200u);
    EXPECT_EQ(Session().invert, 1u) << "TWPF_VANILLA";
    ASSERT_EQ(Disable(true), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_CHOCOLATE), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(Session().invert, 0u) << "TWPF_CHOCOLATE";
}

// A scanner that cannot be opened: MSG_OPENDS succeeds without a box (the
// application has not said yet whether it allows windows); MSG_ENABLEDS
// takes the settings and fails, showing box 107 once when the application
// allows windows (the dialog or the progress), else telling it only by the
// condition code, TWAIN 2's for a TWAIN 2 application.
TEST_F(SourceStatesTest, EnablingAnOfflineScannerFailsAfterTheSettings) {
    struct Case {
        bool showUI;
        int indicators;
        bool twain2;
        std::size_t boxes;
        TW_UINT16 status;
    };
    const Case cases[] = {
        {true, 1, false, 1, TWCC_BUMMER},
        {true, 0, true, 1, TWCC_BUMMER},
        {false, 1, true, 1, TWCC_BUMMER},
        {false, 0, false, 0, TWCC_BUMMER},
        {false, 0, true, 0, TWCC_CHECKDEVICEONLINE},
    };
    Simulate("VOREL_SIM_OPEN", "-10");
    for (const Case& c : cases) {
        app.SupportedGroups = DG_CONTROL | DG_IMAGE | (c.twain2 ? DF_APP2 : 0);
        boxes.clear();
        ASSERT_EQ(Open(), TWRC_SUCCESS) << "MSG_OPENDS succeeds without a scanner";
        EXPECT_TRUE(boxes.empty()) << "no box while opening";
        EXPECT_EQ(GetCurrent(CAP_DEVICEONLINE), 0);
        EXPECT_FALSE(headlessWindowLog.scanButtonsEnabled) << "no scanner: scan buttons disabled";

        ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 300), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, 8), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(CAP_INDICATORS, TWTY_BOOL, c.indicators), TWRC_SUCCESS);
        EXPECT_EQ(Enable(c.showUI), TWRC_FAILURE) << "MSG_ENABLEDS, device offline";
        EXPECT_EQ(Status(), c.status) << c.showUI << c.indicators << c.twain2;
        ASSERT_EQ(boxes.size(), c.boxes) << c.showUI << c.indicators << c.twain2;
        for (const MessageBoxCall& box : boxes) {
            EXPECT_EQ(box.text, std::string(TEXT_NO_COMMUNICATION) + "  [107]");
            EXPECT_EQ(box.caption, "Vorel Source");
            EXPECT_EQ(box.type & 0xF, platform::kBoxOk) << "OK button only";
        }
        EXPECT_EQ(sourceState, 400);
        EXPECT_FALSE(Dialog().IsWindowVisible());
        EXPECT_EQ(Session().xResolution, 300u) << "the resolution was handed over all the same";
        EXPECT_EQ(SelectedText(), "BW Photo") << "the image type was chosen all the same";
        EXPECT_TRUE(Notifications().empty());
        ASSERT_EQ(Close(), TWRC_SUCCESS);
    }
}

// CAP_DEVICEONLINE can be set by the application; without a scanner the
// final scan still does nothing, and enabling without the dialog must not
// succeed with no transfer ever to come.
TEST_F(SourceStatesTest, EnablingWithoutTheDialogNeedsAScannerWhateverTheCapabilitySays) {
    Simulate("VOREL_SIM_OPEN", "-10");
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(CAP_DEVICEONLINE, TWTY_BOOL, 1), TWRC_SUCCESS) << "MSG_SET CAP_DEVICEONLINE 1";
    EXPECT_EQ(Enable(false), TWRC_FAILURE) << "MSG_ENABLEDS ShowUI 0 without a scanner";
    EXPECT_EQ(Status(), TWCC_BUMMER);
    EXPECT_EQ(sourceState, 400);
    EXPECT_TRUE(Notifications().empty());
    EXPECT_EQ(Enable(true), TWRC_SUCCESS) << "with the dialog the user sees there is no scanner";
    EXPECT_EQ(sourceState, 500);
}

// A MSG_XFERREADY that no source manager takes leaves no transfer ready:
// the application would wait for ever for a message that never comes.
TEST_F(SourceStatesTest, UndeliveredTransferReadyLeavesNoTransferReady) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    NotificationAnswer() = TWRC_FAILURE;
    EXPECT_EQ(Enable(false), TWRC_FAILURE) << "MSG_ENABLEDS ShowUI 0, MSG_XFERREADY refused";
    EXPECT_EQ(Status(), TWCC_BUMMER);
    EXPECT_EQ(sourceState, 400);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    Dialog().OnFinalScanButton();
    EXPECT_EQ(sourceState, 500) << "Final Scan whose MSG_XFERREADY was refused";
    NotificationAnswer() = TWRC_SUCCESS;
    Dialog().OnFinalScanButton();
    EXPECT_EQ(sourceState, 600) << "delivered";
}

TEST_F(SourceStatesTest, EnablingWithoutAWindowIsLowMemory) {
    headlessWindowLog.failCreation = true;
    ASSERT_EQ(Open(), TWRC_SUCCESS) << "MSG_OPENDS does not test the window";
    EXPECT_EQ(Dialog().WindowHandle(), nullptr);
    // Without a window the scanner cannot be opened; say it is online so
    // that the missing window is what stops the enabling.
    capabilityTable.Find(CAP_DEVICEONLINE).current = 1;
    EXPECT_EQ(Enable(false), TWRC_FAILURE) << "MSG_ENABLEDS without a dialog window";
    EXPECT_EQ(Status(), TWCC_LOWMEMORY);
    EXPECT_EQ(sourceState, 400);
    EXPECT_TRUE(Notifications().empty());
    ASSERT_EQ(Close(), TWRC_SUCCESS) << "MSG_CLOSEDS without a window";
    EXPECT_EQ(headlessWindowLog.windowsAlive, 0);
}

TEST_F(SourceStatesTest, EnablingWithoutCapabilityRecordsFailsBeforeTheStateTest) {
    for (TW_INT32 state : {300, 500}) {
        sourceState = state;
        EXPECT_EQ(Enable(true), TWRC_FAILURE) << "MSG_ENABLEDS in " << state << " without records";
        EXPECT_EQ(conditionCode, TWCC_BUMMER) << "MSG_ENABLEDS in " << state;
        EXPECT_EQ(sourceState, state);
    }
    sourceState = 300;
}

}  // namespace

// --- Running out of memory half-way ---

// A scanner call that throws stands in for an allocation failing anywhere
// in the opening or the enabling: the application gets a refusal and the
// source is left as it was, never a terminated process.
int throwAfterCalls = -1;
std::int16_t VOREL_API ThrowingOpenScanner(std::uint16_t window, std::int16_t flag) {
    if (flag != 0 && throwAfterCalls-- == 0) throw std::bad_alloc();
    return RecordingScannerLibrary().OpenScanner(window, flag);
}
std::int16_t VOREL_API ThrowingSetParameter(std::int16_t code, std::int16_t value) {
    if (throwAfterCalls-- == 0) throw std::bad_alloc();
    return RecordingScannerLibrary().SetParameter(code, value);
}

TEST_F(SourceStatesTest, OpeningThatRunsOutOfMemoryLeavesTheSourceClosed) {
    ScannerLibrary throwing = RecordingScannerLibrary();
    throwing.OpenScanner = ThrowingOpenScanner;
    SetScannerLibraryForTesting(&throwing);
    throwAfterCalls = 0;
    EXPECT_EQ(Open(), TWRC_FAILURE) << "MSG_OPENDS without memory";
    EXPECT_EQ(Status(), TWCC_LOWMEMORY);
    EXPECT_EQ(sourceState, 300);
    EXPECT_EQ(TW_UINT32{appIdentity.Id}, 0u) << "no application connected";
    EXPECT_FALSE(capabilityTable.IsBuilt());
    EXPECT_EQ(headlessWindowLog.windowsAlive, 0);

    SetScannerLibraryForTesting(&RecordingScannerLibrary());
    ASSERT_EQ(Open(), TWRC_SUCCESS) << "a later MSG_OPENDS";
    EXPECT_EQ(headlessWindowLog.windowsAlive, 1);
    EXPECT_EQ(GetCurrent(CAP_DEVICEONLINE), 1);
}

TEST_F(SourceStatesTest, EnablingThatRunsOutOfMemoryStaysOpen) {
    for (bool showUI : {true, false}) {
        TearDown();
        SetUp();
        ASSERT_EQ(Open(), TWRC_SUCCESS);
        ScannerLibrary throwing = RecordingScannerLibrary();
        throwing.SetParameter = ThrowingSetParameter;
        SetScannerLibraryForTesting(&throwing);
        // The first call: the resolution handed to the scanner.
        throwAfterCalls = 0;
        EXPECT_EQ(Enable(showUI), TWRC_FAILURE) << "MSG_ENABLEDS without memory, ShowUI " << showUI;
        EXPECT_EQ(Status(), TWCC_LOWMEMORY);
        EXPECT_EQ(sourceState, 400);
        EXPECT_TRUE(Notifications().empty());
        // Inside the final scan, after the state has moved on.
        throwAfterCalls = 3;
        EXPECT_EQ(Enable(false), TWRC_FAILURE) << "MSG_ENABLEDS ShowUI 0, final scan without memory";
        EXPECT_EQ(Status(), TWCC_LOWMEMORY);
        EXPECT_EQ(sourceState, 400);
        EXPECT_TRUE(Notifications().empty());
        SetScannerLibraryForTesting(&RecordingScannerLibrary());
        throwAfterCalls = -1;
        ASSERT_EQ(Enable(showUI), TWRC_SUCCESS) << "a later MSG_ENABLEDS";
    }
}

TEST_F(SourceStatesTest, UnloadingDeletesTheDialog) {
    const long blocksLoaded = platform::GlobalBlocksOutstanding();
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    EXPECT_NE(theApp.GetDialog(), nullptr);
    theApp.ExitInstance();
    EXPECT_EQ(theApp.GetDialog(), nullptr);
    EXPECT_EQ(platform::GlobalBlocksOutstanding(), blocksLoaded) << "the dialog's preview and geometry blocks are freed";
}
