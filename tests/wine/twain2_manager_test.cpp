// The real source under the project's TWAIN 2 manager (the TWAINDSM.DLL
// beside the tests), played by three kinds of application: a TWAIN 2 one
// that registers a callback, a TWAIN 2 one that does not and takes the
// source's messages through MSG_PROCESSEVENT, and a TWAIN 1.x one. Each
// scans a page by native, memory and file transfer and hears MSG_CLOSEDSREQ
// at the end; with the feeder loaded (suite Twain2Batch) each takes a batch
// of three sheets. Blocks the source hands over are freed with the
// manager's DSM_MemFree by the TWAIN 2 kinds, with GlobalFree by the other.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "source_harness.h"
#include "window_helpers.h"

namespace {

enum class Kind { Callback, Polling, Version1 };
const char* Name(Kind kind) {
    return kind == Kind::Callback ? "2.x with callback" : kind == Kind::Polling ? "2.x without callback" : "1.x";
}

std::deque<TW_UINT16> calledBack;
// When set, the callback answers the next MSG_CLOSEDSREQ by disabling,
// closing, opening and enabling the source again, with its window.
bool reopenAtCloseRequest = false;
void ReopenFromTheCallback();

TW_UINT16 TW_CALLINGSTYLE Callback(pTW_IDENTITY origin, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF) {
    if (origin != nullptr && std::strcmp(origin->ProductName, "Vorel Source") == 0) calledBack.push_back(msg);
    if (msg == MSG_CLOSEDSREQ && reopenAtCloseRequest) {
        reopenAtCloseRequest = false;
        ReopenFromTheCallback();
    }
    ::PostThreadMessageA(::GetCurrentThreadId(), WM_NULL, 0, 0);
    return TWRC_SUCCESS;
}

class Application {
public:
    explicit Application(Kind kind, const char* manager = "TWAINDSM.DLL") : kind_(kind), managerName_(manager) {
        const bool two = kind != Kind::Version1;
        app_.Version = TW_VERSION{1, 0, TWLG_USA, TWCY_USA, "1.0"};
        app_.ProtocolMajor = two ? 2 : 1;
        app_.ProtocolMinor = two ? 4 : 6;
        app_.SupportedGroups = DG_CONTROL | DG_IMAGE | (two ? DF_APP2 : 0);
        std::strcpy(app_.ProductName, "TWAIN 2 manager test");
        calledBack.clear();
    }
    ~Application() {
        if (sourceOpen_) ToManager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
        if (managerOpen_) ToManager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_);
        if (window_ != nullptr) ::DestroyWindow(window_);
        if (manager_ != nullptr) ::FreeLibrary(manager_);
    }

    ::testing::AssertionResult Open() {
        manager_ = ::LoadLibraryA(managerName_);
        if (manager_ == nullptr) return ::testing::AssertionFailure() << managerName_;
        entry_ = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void*>(::GetProcAddress(manager_, "DSM_Entry")));
        window_ = ::CreateWindowA("STATIC", "app", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        if (TW_UINT16 rc = ToManager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window_)) return Failed("MSG_OPENDSM", rc);
        managerOpen_ = true;
        const bool two = kind_ != Kind::Version1;
        if (((app_.SupportedGroups & DF_DSM2) != 0) != two) {
            return ::testing::AssertionFailure() << "DF_DSM2 only for a TWAIN 2 application";
        }
        if (two) {
            entryPoints_.Size = sizeof entryPoints_;
            if (TW_UINT16 rc = ToManager(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entryPoints_)) {
                return Failed("DAT_ENTRYPOINT MSG_GET", rc);
            }
        }
        if (TW_UINT16 rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &source_)) return Failed("MSG_GETFIRST", rc);
        if (std::strcmp(source_.ProductName, "Vorel Source") != 0 || (source_.SupportedGroups & DF_DS2) == 0) {
            return ::testing::AssertionFailure() << "the Vorel source, a TWAIN 2 source";
        }
        if (TW_UINT16 rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_)) return Failed("MSG_OPENDS", rc);
        sourceOpen_ = true;
        if (kind_ == Kind::Callback) {
            TW_CALLBACK callback{reinterpret_cast<TW_MEMREF>(Callback), 0, 0};
            if (TW_UINT16 rc = ToSource(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback)) {
                return Failed("MSG_REGISTER_CALLBACK", rc);
            }
        }
        return ::testing::AssertionSuccess();
    }

    TW_UINT16 ToManager(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return entry_(&app_, nullptr, dg, dat, msg, data);
    }
    TW_UINT16 ToSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return entry_(&app_, &source_, dg, dat, msg, data);
    }
    TW_UINT16 SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value) {
        TW_CAPABILITY capability{cap, TWON_ONEVALUE, ::GlobalAlloc(GHND, sizeof(TW_ONEVALUE))};
        auto* one = static_cast<TW_ONEVALUE*>(::GlobalLock(capability.hContainer));
        one->ItemType = itemType;
        one->Item = value;
        ::GlobalUnlock(capability.hContainer);
        const TW_UINT16 rc = ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
        ::GlobalFree(capability.hContainer);
        return rc;
    }

    // The application's message loop until the source sends a message:
    // the callback's, or MSG_PROCESSEVENT's. MSG_NULL when none came.
    TW_UINT16 NextSourceMessage() {
        const DWORD deadline = ::GetTickCount() + 30000;
        while (::GetTickCount() < deadline) {
            if (!calledBack.empty()) {
                const TW_UINT16 msg = calledBack.front();
                calledBack.pop_front();
                return msg;
            }
            MSG message;
            if (!::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
                continue;
            }
            TW_EVENT event{&message, MSG_NULL};
            const TW_UINT16 rc = ToSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
            if (event.TWMessage != MSG_NULL) {
                EXPECT_NE(kind_, Kind::Callback) << "a message by MSG_PROCESSEVENT despite the callback";
                return event.TWMessage;
            }
            if (rc == TWRC_NOTDSEVENT) {
                ::TranslateMessage(&message);
                ::DispatchMessageA(&message);
            }
        }
        return MSG_NULL;
    }

    // What a callback may do with the source: the return codes of
    // MSG_DISABLEDS, MSG_CLOSEDS, MSG_OPENDS, MSG_REGISTER_CALLBACK and
    // MSG_ENABLEDS (with the window).
    std::vector<TW_UINT16> Reopen() {
        TW_USERINTERFACE ui{1, 0, window_};
        std::vector<TW_UINT16> codes;
        codes.push_back(ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui));
        codes.push_back(ToManager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_));
        codes.push_back(ToManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_));
        TW_CALLBACK callback{reinterpret_cast<TW_MEMREF>(Callback), 0, 0};
        codes.push_back(ToSource(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback));
        codes.push_back(ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui));
        return codes;
    }

    // The blocks the source hands over, as this kind of application frees them.
    void* Lock(TW_HANDLE handle) { return entryPoints_.DSM_MemLock ? entryPoints_.DSM_MemLock(handle) : ::GlobalLock(handle); }
    void Free(TW_HANDLE handle) {
        if (entryPoints_.DSM_MemFree) {
            entryPoints_.DSM_MemUnlock(handle);
            entryPoints_.DSM_MemFree(handle);
        } else {
            ::GlobalUnlock(handle);
            ::GlobalFree(handle);
        }
    }

    TW_UINT16 Status() {
        TW_STATUS status{};
        ToSource(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        return status.ConditionCode;
    }

private:
    ::testing::AssertionResult Failed(const char* what, TW_UINT16 rc) {
        return ::testing::AssertionFailure() << what << " rc " << rc;
    }

    Kind kind_;
    const char* managerName_;
    HMODULE manager_ = nullptr;
    DSMENTRYPROC entry_ = nullptr;
    HWND window_ = nullptr;
    TW_IDENTITY app_{};
    TW_IDENTITY source_{};
    TW_ENTRYPOINT entryPoints_{};
    bool managerOpen_ = false;
    bool sourceOpen_ = false;
};

Application* reopening = nullptr;
std::vector<TW_UINT16> reopenCodes;
void ReopenFromTheCallback() {
    if (reopening != nullptr) reopenCodes = reopening->Reopen();
}

int CallbackCount() {
    using Count = int(__stdcall*)();
    auto count = reinterpret_cast<Count>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("TWAINDSM.DLL"), "TestDsm_CallbackCount")));
    return count ? count() : -1;
}

// One image by the mechanism; its width and height in pixels, or 0x0.
struct Size {
    long width = 0, height = 0;
};

Size Transfer(Application& app, TW_UINT16 mech, const std::string& file) {
    Size size;
    if (mech == TWSX_NATIVE) {
        TW_HANDLE dib = nullptr;
        EXPECT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE) << "cc " << app.Status();
        if (dib == nullptr) return size;
        const auto* header = static_cast<const BITMAPINFOHEADER*>(app.Lock(dib));
        size = Size{header->biWidth, header->biHeight};
        app.Free(dib);
    } else if (mech == TWSX_MEMORY) {
        TW_SETUPMEMXFER setup{};
        EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
        std::string buffer(setup.Preferred, '\0');
        for (int strips = 0; strips < 10000; ++strips) {
            TW_IMAGEMEMXFER xfer{};
            xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, setup.Preferred, &buffer[0]};
            const TW_UINT16 rc = app.ToSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
            if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) {
                ADD_FAILURE() << "DAT_IMAGEMEMXFER rc " << rc << " cc " << app.Status();
                break;
            }
            size.width = static_cast<long>(xfer.Columns);
            size.height += static_cast<long>(xfer.Rows);
            if (rc == TWRC_XFERDONE) break;
        }
    } else {
        TW_SETUPFILEXFER setup{};
        std::snprintf(setup.FileName, sizeof setup.FileName, "%s", file.c_str());
        setup.Format = TWFF_BMP;
        EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
        EXPECT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE) << "cc " << app.Status();
        HANDLE handle = ::CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        BITMAPFILEHEADER fileHeader{};
        BITMAPINFOHEADER header{};
        DWORD read = 0;
        if (handle != INVALID_HANDLE_VALUE) {
            ::ReadFile(handle, &fileHeader, sizeof fileHeader, &read, nullptr);
            ::ReadFile(handle, &header, sizeof header, &read, nullptr);
            ::CloseHandle(handle);
        }
        size = Size{header.biWidth, header.biHeight};
        ::DeleteFileA(file.c_str());
    }
    return size;
}

// Opens, negotiates 75 dpi and the mechanism, enables without the dialog
// and transfers every image the source has ready, until MSG_ENDXFER counts
// none left and MSG_CLOSEDSREQ comes. The number of images.
int Acquire(Kind kind, TW_UINT16 mech, const char* manager = "TWAINDSM.DLL") {
    SCOPED_TRACE(testing::Message() << Name(kind) << ", mechanism " << mech << ", " << manager);
    Application app(kind, manager);
    const ::testing::AssertionResult opened = app.Open();
    if (!opened) {
        ADD_FAILURE() << opened.message();
        return -1;
    }
    const int callbacksBefore = CallbackCount();
    // A TWAIN 2 application says 75 dpi as TW_FIX32, a 1.x one as it learned.
    EXPECT_EQ(app.SetOneValue(ICAP_XRESOLUTION, kind == Kind::Version1 ? TWTY_UINT16 : TWTY_FIX32, 75), TWRC_SUCCESS);
    EXPECT_EQ(app.SetOneValue(ICAP_YRESOLUTION, kind == Kind::Version1 ? TWTY_UINT16 : TWTY_FIX32, 75), TWRC_SUCCESS);
    EXPECT_EQ(app.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, mech), TWRC_SUCCESS);
    TW_USERINTERFACE ui{0, 0, nullptr};
    EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS) << "cc " << app.Status();
    EXPECT_EQ(app.NextSourceMessage(), MSG_XFERREADY);

    int images = 0;
    TW_PENDINGXFERS pending{1, 0};
    while (pending.Count != 0 && images < 10) {
        TW_IMAGEINFO info{};
        EXPECT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
        const Size size = Transfer(app, mech, TestFolder() + "twain2-page.bmp");
        EXPECT_EQ(size.width, info.ImageWidth) << "image " << images + 1;
        EXPECT_EQ(size.height, info.ImageLength) << "image " << images + 1;
        EXPECT_GT(size.height, 0);
        ++images;
        EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    }
    EXPECT_EQ(app.NextSourceMessage(), MSG_CLOSEDSREQ);
    TW_USERINTERFACE off{0, 0, nullptr};
    EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &off), TWRC_SUCCESS);
    EXPECT_EQ(CallbackCount() - callbacksBefore, kind == Kind::Callback ? 2 : 0) << "notifications by callback";
    return images;
}

}  // namespace

TEST(Twain2Manager, EveryKindOfApplicationScansByEveryMechanism) {
    for (Kind kind : {Kind::Callback, Kind::Polling, Kind::Version1}) {
        for (TW_UINT16 mech : {TWSX_NATIVE, TWSX_MEMORY, TWSX_FILE}) {
            EXPECT_EQ(Acquire(kind, mech), 1) << Name(kind) << ", mechanism " << mech;
        }
    }
}

TEST(Twain2Manager, TheApplicationsKindDecidesTheContainers) {
    for (Kind kind : {Kind::Callback, Kind::Version1}) {
        Application app(kind);
        ASSERT_TRUE(app.Open());
        TW_CAPABILITY cap{CAP_AUTOFEED, 0, nullptr};
        ASSERT_EQ(app.ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_SUCCESS);
        EXPECT_EQ(cap.ConType, kind == Kind::Callback ? TWON_ENUMERATION : TWON_ONEVALUE) << Name(kind);
        const auto* type = static_cast<const TW_UINT16*>(app.Lock(cap.hContainer));
        EXPECT_EQ(*type, TWTY_BOOL);
        app.Free(cap.hContainer);
    }
}

// Every capability CAP_SUPPORTEDCAPS lists, through the manager: the
// messages MSG_QUERYSUPPORT names succeed and the others are refused with
// TWCC_CAPBADOPERATION; MSG_SET takes back what MSG_GETCURRENT gave.
TEST(Twain2Manager, QuerySupportAgreesWithEveryListedCapability) {
    Application app(Kind::Polling);
    ASSERT_TRUE(app.Open());
    TW_CAPABILITY list{CAP_SUPPORTEDCAPS, 0, nullptr};
    ASSERT_EQ(app.ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &list), TWRC_SUCCESS);
    ASSERT_EQ(list.ConType, TWON_ARRAY);
    std::vector<TW_UINT16> codes;
    {
        const auto* bytes = static_cast<const unsigned char*>(app.Lock(list.hContainer));
        ASSERT_EQ(bytes[0] | bytes[1] << 8, TWTY_UINT16);
        const unsigned count = bytes[2] | bytes[3] << 8;
        for (unsigned i = 0; i < count; ++i) codes.push_back(static_cast<TW_UINT16>(bytes[6 + 2 * i] | bytes[7 + 2 * i] << 8));
        app.Free(list.hContainer);
    }
    ASSERT_GE(codes.size(), 25u);
    for (TW_UINT16 id : codes) {
        SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << id);
        TW_CAPABILITY query{id, 0, nullptr};
        ASSERT_EQ(app.ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT, &query), TWRC_SUCCESS);
        const auto* one = static_cast<const TW_ONEVALUE*>(app.Lock(query.hContainer));
        EXPECT_EQ(one->ItemType, TWTY_INT32);
        const TW_UINT32 bits = one->Item;
        app.Free(query.hContainer);

        TW_CAPABILITY current{id, 0, nullptr};
        for (TW_UINT16 msg : {MSG_GET, MSG_GETDEFAULT, MSG_GETCURRENT}) {
            TW_CAPABILITY got{id, 0, nullptr};
            EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_CAPABILITY, msg, &got), TWRC_SUCCESS) << "msg " << msg;
            if (msg == MSG_GETCURRENT) {
                current = got;
            } else if (got.hContainer != nullptr) {
                app.Lock(got.hContainer);
                app.Free(got.hContainer);
            }
        }
        const TW_UINT16 set = app.ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &current);
        const TW_UINT16 setStatus = set == TWRC_FAILURE ? app.Status() : TW_UINT16{TWCC_SUCCESS};
        const TW_UINT16 reset = app.ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_RESET, &query);
        const TW_UINT16 resetStatus = reset == TWRC_FAILURE ? app.Status() : TW_UINT16{TWCC_SUCCESS};
        if (current.hContainer != nullptr) {
            app.Lock(current.hContainer);
            app.Free(current.hContainer);
        }
        const bool settable = (bits & TWQC_SET) != 0;
        EXPECT_EQ(bits & 0x0D, 0x0Du) << "the three GETs";
        EXPECT_EQ((bits & TWQC_RESET) != 0, settable) << "SET and RESET together";
        EXPECT_EQ(set, settable ? TWRC_SUCCESS : TWRC_FAILURE) << "MSG_SET of the current value";
        EXPECT_EQ(setStatus, settable ? TWCC_SUCCESS : TWCC_CAPBADOPERATION);
        EXPECT_EQ(reset, settable ? TWRC_SUCCESS : TWRC_FAILURE) << "MSG_RESET";
        EXPECT_EQ(resetStatus, settable ? TWCC_SUCCESS : TWCC_CAPBADOPERATION);
    }
}

// With VOREL_SIM_FEEDER=loaded and VOREL_SIM_SHEETS=3.
TEST(Twain2Batch, EveryKindOfApplicationTakesTheFeedersThreeSheets) {
    for (Kind kind : {Kind::Callback, Kind::Polling, Kind::Version1}) {
        EXPECT_EQ(Acquire(kind, kind == Kind::Polling ? TWSX_MEMORY : TWSX_NATIVE), 3) << Name(kind);
    }
}

// Wine's own TWAIN_32.DLL, a TWAIN 1.x manager that finds sources only as
// twain_32\sane.ds and gphoto2.ds: the source is put there as sane.ds and a
// 1.x application scans by every mechanism and hears MSG_CLOSEDSREQ.
TEST(Twain2Manager, WinesOwnManagerServesA1xApplication) {
    const SourceForWinesManager placed;
    if (placed.Path().empty()) GTEST_SKIP() << placed.Why();
    // Wine's manager, not the test copy beside the program.
    HMODULE manager = ::LoadLibraryA(placed.Path().c_str());
    ASSERT_NE(manager, nullptr) << placed.Path();
    EXPECT_EQ(::GetProcAddress(manager, "TestDsm_Reset"), nullptr) << "Wine's own manager";
    for (TW_UINT16 mech : {TWSX_NATIVE, TWSX_MEMORY, TWSX_FILE}) {
        EXPECT_EQ(Acquire(Kind::Version1, mech, placed.Path().c_str()), 1) << "mechanism " << mech;
    }
    ::FreeLibrary(manager);
}

// A TWAIN 2 application whose callback, called at once by the manager,
// answers the dialog's close request by disabling, closing, opening and
// enabling the source again: the Cancel button and the close box that sent
// the request touch nothing of their freed window afterwards, and the new
// opening's dialog stays shown.
TEST(Twain2Manager, ACallbackThatReopensTheSourceAtTheCloseRequestKeepsTheNewDialog) {
    const struct Case {
        const char* what;
        UINT message;
        WPARAM wParam;
    } cases[] = {{"Cancel", WM_COMMAND, IDCANCEL}, {"close box", WM_CLOSE, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Application app(Kind::Callback);
        ASSERT_TRUE(app.Open());
        TW_USERINTERFACE ui{1, 0, nullptr};
        ASSERT_EQ(app.ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
        const HWND first = FindSourceDialog();
        ASSERT_NE(first, nullptr);
        EXPECT_TRUE(::IsWindowVisible(first));
        reopening = &app;
        reopenCodes.clear();
        reopenAtCloseRequest = true;
        ::SendMessageA(first, c.message, c.wParam, 0);
        reopenAtCloseRequest = false;
        reopening = nullptr;
        EXPECT_EQ(reopenCodes, (std::vector<TW_UINT16>(5, TWRC_SUCCESS)))
            << "MSG_DISABLEDS, MSG_CLOSEDS, MSG_OPENDS, MSG_REGISTER_CALLBACK, MSG_ENABLEDS from the callback";
        EXPECT_FALSE(::IsWindow(first)) << "the first opening's dialog is gone";
        const HWND second = FindSourceDialog();
        ASSERT_NE(second, nullptr) << "the new opening's dialog";
        EXPECT_TRUE(::IsWindowVisible(second)) << "the new opening's dialog stays shown";
        EXPECT_EQ(CountSourceDialogs(), 1);
        TW_USERINTERFACE off{1, 0, nullptr};
        EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &off), TWRC_SUCCESS);
    }
}
