// The checks by which TWAIN data sources are certified, as an application
// runs them through a source manager: the capability walk for every pixel
// type, the status returns in states 4 and 5, open and close cycles, the
// transfers without and with the dialog for every mechanism, paper source
// and pixel type, CAP_XFERCOUNT 0, 1 and -1, and the values after opening,
// MSG_RESET and MSG_RESETALL. Each check is run by every kind of application
// TWAIN certifies with (2.4 and 1.9, both saying DF_APP2, as the
// certification's own application does), through the project's TWAIN 2
// manager and its 1.x manager, and, in the 32-bit tree, through Wine's own.
// A 1.x application that does not say DF_APP2 keeps the answers such
// applications were written against; it is held to the transfers only.
//
// Suites: Certification (no feeder), CertificationFeeder (a loaded feeder:
// the sheets are set before each opening), CertificationEmptyFeeder (the
// feeder switched on and empty).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "source_harness.h"
#include "window_helpers.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct AppKind {
    const char* name;
    TW_UINT16 major, minor;
    TW_UINT32 groups;
    std::string manager;  // a DLL beside the tests, or a full path
};

const TW_UINT32 kApp2 = DG_CONTROL | DG_IMAGE | DF_APP2;

// What TWAIN's certification table says of each capability this source
// lists: the containers MSG_GET may answer with, the item type, and the
// value after opening and after a reset (absent: not checked).
struct Expected {
    std::vector<TW_UINT16> containers;
    TW_UINT16 itemType;
    bool checkOpen;
    TW_UINT32 afterOpen;
    bool checkReset;
    TW_UINT32 afterReset;
};
constexpr TW_UINT16 EN = TWON_ENUMERATION, OV = TWON_ONEVALUE, RG = TWON_RANGE, AR = TWON_ARRAY;
const std::map<TW_UINT16, Expected> kTable = {
    {CAP_XFERCOUNT, {{RG, OV}, TWTY_INT16, true, 0xFFFF, true, 0xFFFF}},
    {CAP_FEEDERENABLED, {{EN}, TWTY_BOOL, false, 0, false, 0}},
    {CAP_FEEDERLOADED, {{EN}, TWTY_BOOL, false, 0, false, 0}},
    {CAP_AUTOFEED, {{EN}, TWTY_BOOL, false, 0, true, 1}},
    {CAP_INDICATORS, {{EN}, TWTY_BOOL, true, 1, true, 1}},
    {CAP_UICONTROLLABLE, {{EN}, TWTY_BOOL, true, 1, false, 0}},
    {CAP_DEVICEONLINE, {{EN}, TWTY_BOOL, false, 0, false, 0}},
    {CAP_PAPERDETECTABLE, {{EN}, TWTY_BOOL, false, 0, false, 0}},
    {CAP_AUTOMATICSENSEMEDIUM, {{EN}, TWTY_BOOL, false, 0, false, 0}},
    {CAP_CUSTOMDSDATA, {{EN}, TWTY_BOOL, false, 0, false, 0}},
    {CAP_ENABLEDSUIONLY, {{EN}, TWTY_BOOL, false, 0, false, 0}},
    {CAP_DUPLEX, {{OV}, TWTY_UINT16, false, 0, false, 0}},
    {CAP_DUPLEXENABLED, {{EN}, TWTY_BOOL, false, 0, false, 0}},
    {CAP_SUPPORTEDCAPS, {{AR}, TWTY_UINT16, false, 0, false, 0}},
    {CAP_SUPPORTEDDATS, {{AR}, TWTY_UINT32, false, 0, false, 0}},
    {ICAP_PIXELTYPE, {{EN, OV}, TWTY_UINT16, false, 0, false, 0}},
    {ICAP_UNITS, {{EN, OV}, TWTY_UINT16, true, TWUN_INCHES, true, TWUN_INCHES}},
    {ICAP_XFERMECH, {{EN}, TWTY_UINT16, true, TWSX_NATIVE, true, TWSX_NATIVE}},
    {ICAP_XRESOLUTION, {{EN, RG, OV}, TWTY_FIX32, false, 0, false, 0}},
    {ICAP_YRESOLUTION, {{EN, RG, OV}, TWTY_FIX32, false, 0, false, 0}},
    {ICAP_BITORDER, {{EN, OV}, TWTY_UINT16, false, 0, false, 0}},
    {ICAP_PIXELFLAVOR, {{EN, OV}, TWTY_UINT16, false, 0, true, TWPF_CHOCOLATE}},
    {ICAP_PLANARCHUNKY, {{EN, OV}, TWTY_UINT16, false, 0, false, 0}},
    {ICAP_BITDEPTH, {{EN, OV}, TWTY_UINT16, false, 0, false, 0}},
    {ICAP_IMAGEFILEFORMAT, {{EN, OV}, TWTY_UINT16, false, 0, false, 0}},
    {ICAP_COMPRESSION, {{EN, OV}, TWTY_UINT16, false, 0, true, TWCP_NONE}},
    {ICAP_XNATIVERESOLUTION, {{EN, OV}, TWTY_FIX32, false, 0, false, 0}},
    {ICAP_YNATIVERESOLUTION, {{EN, OV}, TWTY_FIX32, false, 0, false, 0}},
    {ICAP_BITDEPTHREDUCTION, {{EN, OV}, TWTY_UINT16, false, 0, false, 0}},
    {ICAP_THRESHOLD, {{EN, RG, OV}, TWTY_FIX32, false, 0, true, 128}},
    {ICAP_SUPPORTEDSIZES, {{EN, OV}, TWTY_UINT16, false, 0, false, 0}},
    {ICAP_PHYSICALWIDTH, {{OV}, TWTY_FIX32, false, 0, false, 0}},
    {ICAP_PHYSICALHEIGHT, {{OV}, TWTY_FIX32, false, 0, false, 0}},
    {ICAP_BRIGHTNESS, {{EN, RG, OV}, TWTY_FIX32, false, 0, true, 0}},
    {ICAP_CONTRAST, {{EN, RG, OV}, TWTY_FIX32, false, 0, true, 0}},
    {ICAP_GAMMA, {{RG, OV}, TWTY_FIX32, false, 0, false, 0}},
    {ICAP_HIGHLIGHT, {{EN, RG, OV}, TWTY_FIX32, false, 0, true, 255}},
    {ICAP_SHADOW, {{EN, RG, OV}, TWTY_FIX32, false, 0, true, 0}},
    {ICAP_XSCALING, {{EN, RG, OV}, TWTY_FIX32, false, 0, true, 1}},
    {ICAP_YSCALING, {{EN, RG, OV}, TWTY_FIX32, false, 0, true, 1}},
    {ICAP_EXTIMAGEINFO, {{EN}, TWTY_BOOL, false, 0, true, 1}},
    {ICAP_SUPPORTEDEXTIMAGEINFO, {{AR}, TWTY_UINT16, false, 0, false, 0}},
    {ICAP_AUTODISCARDBLANKPAGES, {{RG, OV}, TWTY_INT32, false, 0, true, static_cast<TW_UINT32>(TWBP_DISABLE)}},
    {ICAP_ROTATION, {{EN, RG, OV}, TWTY_FIX32, false, 0, true, 0}},
    {ICAP_ORIENTATION, {{EN, OV}, TWTY_UINT16, false, 0, true, TWOR_ROT0}},
    {ICAP_JPEGQUALITY, {{EN, RG, OV}, TWTY_INT16, false, 0, false, 0}},
};

struct Reply {
    TW_UINT16 rc = 0;
    TW_UINT16 cc = 0;
    TW_UINT16 conType = 0;
    Bytes bytes;

    TW_UINT16 U16(std::size_t at) const { return bytes.size() < at + 2 ? 0xFFFF : bytes[at] | bytes[at + 1] << 8; }
    TW_UINT32 U32(std::size_t at) const {
        return bytes.size() < at + 4 ? 0xFFFFFFFF : U16(at) | static_cast<TW_UINT32>(U16(at + 2)) << 16;
    }
    TW_UINT16 ItemType() const { return U16(0); }
    TW_UINT32 OneValue() const { return U32(2); }
    // The items of an enumeration (of 16-bit types) or an array.
    std::vector<TW_UINT32> Items() const {
        std::vector<TW_UINT32> items;
        const std::size_t first = conType == TWON_ENUMERATION ? 14 : 6;
        const std::size_t size = ItemType() == TWTY_UINT32 || ItemType() == TWTY_INT32 ? 4 : 2;
        for (TW_UINT32 i = 0; i < U32(2) && first + size * (i + 1) <= bytes.size(); ++i) {
            items.push_back(size == 4 ? U32(first + 4 * i) : U16(first + 2 * i));
        }
        return items;
    }
};

// An application of one kind, through its manager.
class CertApp {
public:
    explicit CertApp(const AppKind& kind) : kind_(kind) {
        app_.Version = TW_VERSION{1, 0, TWLG_USA, TWCY_USA, "1.0"};
        app_.ProtocolMajor = kind.major;
        app_.ProtocolMinor = kind.minor;
        app_.SupportedGroups = kind.groups;
        std::strcpy(app_.Manufacturer, "Vorel tests");
        std::strcpy(app_.ProductFamily, "Certification");
        std::strcpy(app_.ProductName, "Certification test");
    }
    ~CertApp() { Close(); }

    // Loads the manager, opens it and opens the source by its name alone.
    ::testing::AssertionResult Open() {
        manager_ = ::LoadLibraryA(kind_.manager.c_str());
        if (manager_ == nullptr) return ::testing::AssertionFailure() << "no manager " << kind_.manager;
        entry_ = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void*>(::GetProcAddress(manager_, "DSM_Entry")));
        if (entry_ == nullptr) return ::testing::AssertionFailure() << "no DSM_Entry";
        window_ = ::CreateWindowA("STATIC", "certification", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        if (entry_(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window_) != TWRC_SUCCESS) {
            return ::testing::AssertionFailure() << "MSG_OPENDSM";
        }
        managerOpen_ = true;
        if ((app_.SupportedGroups & (DF_APP2 | DF_DSM2)) == (DF_APP2 | DF_DSM2)) {
            entryPoints_.Size = sizeof entryPoints_;
            if (entry_(&app_, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entryPoints_) != TWRC_SUCCESS) {
                return ::testing::AssertionFailure() << "DAT_ENTRYPOINT MSG_GET of the manager";
            }
        }
        source_ = TW_IDENTITY{};
        std::strcpy(source_.ProductName, "Vorel Source");
        const TW_UINT16 rc = entry_(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_);
        if (rc != TWRC_SUCCESS) return ::testing::AssertionFailure() << "MSG_OPENDS rc " << rc;
        sourceOpen_ = true;
        // The project's managers hand back the source's whole identity.
        const bool ours = kind_.manager == "TWAINDSM.DLL" || kind_.manager == "TWAIN_32.DLL";
        if (ours && (std::strlen(source_.Manufacturer) == 0 || (source_.SupportedGroups & DF_DS2) == 0 ||
                     source_.ProtocolMajor != 2)) {
            return ::testing::AssertionFailure() << "the manager did not fill the source's identity";
        }
        return ::testing::AssertionSuccess();
    }
    void Close() {
        if (sourceOpen_) entry_(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
        if (managerOpen_) entry_(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_);
        if (window_ != nullptr) ::DestroyWindow(window_);
        if (manager_ != nullptr) ::FreeLibrary(manager_);
        sourceOpen_ = managerOpen_ = false;
        window_ = nullptr;
        manager_ = nullptr;
    }

    const TW_IDENTITY& Source() const { return source_; }
    bool Twain2() const { return (kind_.groups & DF_APP2) != 0; }

    // A triplet to the source; on TWRC_FAILURE the condition code is read at
    // once through DAT_STATUS, as the certification's application does.
    TW_UINT16 Send(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        const TW_UINT16 rc = entry_(&app_, &source_, dg, dat, msg, data);
        lastCc_ = TWCC_SUCCESS;
        if (rc == TWRC_FAILURE) {
            TW_STATUS status{0xBEEF, 0};
            EXPECT_EQ(entry_(&app_, &source_, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS) << "DAT_STATUS";
            lastCc_ = status.ConditionCode;
        }
        return rc;
    }
    TW_UINT16 Cc() const { return lastCc_; }

    // DAT_CAPABILITY; `offer` is the container MSG_SET hands over.
    Reply Cap(TW_UINT16 msg, TW_UINT16 id, const Reply* offer = nullptr) {
        TW_CAPABILITY cap{id, offer ? offer->conType : TW_UINT16{0}, nullptr};
        if (offer != nullptr) {
            cap.hContainer = Allocate(offer->bytes.size());
            std::memcpy(Lock(cap.hContainer), offer->bytes.data(), offer->bytes.size());
            Unlock(cap.hContainer);
        }
        const TW_HANDLE handed = cap.hContainer;
        Reply reply;
        reply.rc = Send(DG_CONTROL, DAT_CAPABILITY, msg, &cap);
        reply.cc = Cc();
        reply.conType = cap.ConType;
        if (cap.hContainer != nullptr && cap.hContainer != handed) {
            const auto* bytes = static_cast<const unsigned char*>(Lock(cap.hContainer));
            reply.bytes.assign(bytes, bytes + ::GlobalSize(cap.hContainer));
            Free(cap.hContainer);
        }
        if (handed != nullptr) Free(handed);
        return reply;
    }
    TW_UINT16 SetOne(TW_UINT16 id, TW_UINT16 itemType, TW_UINT32 value) {
        Reply offer;
        offer.conType = TWON_ONEVALUE;
        offer.bytes = {static_cast<unsigned char>(itemType), static_cast<unsigned char>(itemType >> 8),
                       static_cast<unsigned char>(value),    static_cast<unsigned char>(value >> 8),
                       static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
        return Cap(MSG_SET, id, &offer).rc;
    }

    TW_UINT16 Enable(bool showUI) {
        TW_USERINTERFACE ui{static_cast<TW_BOOL>(showUI), 0, nullptr};
        return Send(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    }
    TW_UINT16 Disable() {
        TW_USERINTERFACE ui{0, 0, nullptr};
        return Send(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    }

    // The application's loop until the source posts a message to it
    // through MSG_PROCESSEVENT; MSG_NULL after 30 s without one.
    TW_UINT16 NextSourceMessage() {
        const DWORD deadline = ::GetTickCount() + 30000;
        while (static_cast<LONG>(deadline - ::GetTickCount()) > 0) {
            MSG message;
            if (!::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
                continue;
            }
            TW_EVENT event{&message, MSG_NULL};
            const TW_UINT16 rc = Send(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
            if (event.TWMessage != MSG_NULL) return event.TWMessage;
            if (rc == TWRC_NOTDSEVENT) {
                ::TranslateMessage(&message);
                ::DispatchMessageA(&message);
            }
        }
        return MSG_NULL;
    }

    void* Lock(TW_HANDLE handle) { return entryPoints_.DSM_MemLock ? entryPoints_.DSM_MemLock(handle) : ::GlobalLock(handle); }
    void Unlock(TW_HANDLE handle) { entryPoints_.DSM_MemUnlock ? entryPoints_.DSM_MemUnlock(handle) : (void)::GlobalUnlock(handle); }
    TW_HANDLE Allocate(std::size_t size) {
        return entryPoints_.DSM_MemAllocate ? entryPoints_.DSM_MemAllocate(static_cast<TW_UINT32>(size))
                                            : ::GlobalAlloc(GHND, size);
    }
    void Free(TW_HANDLE handle) {
        Unlock(handle);
        entryPoints_.DSM_MemFree ? entryPoints_.DSM_MemFree(handle) : (void)::GlobalFree(handle);
    }

private:
    AppKind kind_;
    HMODULE manager_ = nullptr;
    DSMENTRYPROC entry_ = nullptr;
    HWND window_ = nullptr;
    TW_IDENTITY app_{};
    TW_IDENTITY source_{};
    TW_ENTRYPOINT entryPoints_{};
    TW_UINT16 lastCc_ = TWCC_SUCCESS;
    bool managerOpen_ = false;
    bool sourceOpen_ = false;
};

// The kinds of application, through each manager this tree can offer.
std::vector<AppKind> Kinds(bool withLegacy) {
    std::vector<AppKind> kinds = {
        {"2.4 application, TWAIN 2 manager", 2, 4, kApp2, "TWAINDSM.DLL"},
        {"1.9 application, TWAIN 2 manager", 1, 9, kApp2, "TWAINDSM.DLL"},
        {"2.4 application, 1.x manager", 2, 4, kApp2, "TWAIN_32.DLL"},
    };
    if (withLegacy) {
        kinds.push_back({"1.9 application without DF_APP2, TWAIN 2 manager", 1, 9, DG_CONTROL | DG_IMAGE, "TWAINDSM.DLL"});
        kinds.push_back({"1.6 application, 1.x manager", 1, 6, DG_CONTROL | DG_IMAGE, "TWAIN_32.DLL"});
    }
    return kinds;
}

std::vector<TW_UINT16> SupportedCaps(CertApp& app) {
    const Reply list = app.Cap(MSG_GET, CAP_SUPPORTEDCAPS);
    EXPECT_EQ(list.rc, TWRC_SUCCESS) << "MSG_GET CAP_SUPPORTEDCAPS";
    EXPECT_EQ(list.conType, TWON_ARRAY);
    EXPECT_EQ(list.ItemType(), TWTY_UINT16);
    std::vector<TW_UINT16> codes;
    for (TW_UINT32 code : list.Items()) codes.push_back(static_cast<TW_UINT16>(code));
    return codes;
}

// The values of a capability's MSG_GET enumeration.
std::vector<TW_UINT32> EnumeratedValues(CertApp& app, TW_UINT16 id) {
    const Reply got = app.Cap(MSG_GET, id);
    EXPECT_EQ(got.rc, TWRC_SUCCESS) << "MSG_GET cap 0x" << std::hex << id << " cc " << got.cc;
    EXPECT_EQ(got.conType, TWON_ENUMERATION) << "MSG_GET cap 0x" << std::hex << id;
    return got.Items();
}

bool Contains(const std::vector<TW_UINT16>& list, TW_UINT16 value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// The answers to MSG_GETCURRENT, MSG_GETDEFAULT and MSG_RESET: one value,
// or an array for the capabilities that are lists.
TW_UINT16 SingleContainer(TW_UINT16 id) { return kTable.at(id).containers == std::vector<TW_UINT16>{AR} ? AR : OV; }

// One capability as the certification walks it: MSG_QUERYSUPPORT, the
// container and item type of every GET and of MSG_RESET, and each value
// set back and read back unchanged.
void WalkCapability(CertApp& app, TW_UINT16 id, TW_UINT16 pixelType) {
    SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << id);
    const auto expected = kTable.find(id);
    ASSERT_NE(expected, kTable.end()) << "a capability the certification table has";
    const Reply query = app.Cap(MSG_QUERYSUPPORT, id);
    ASSERT_EQ(query.rc, TWRC_SUCCESS) << "MSG_QUERYSUPPORT cc " << query.cc;
    ASSERT_EQ(query.conType, TWON_ONEVALUE);
    ASSERT_EQ(query.ItemType(), TWTY_INT32);
    const TW_UINT32 bits = query.OneValue();
    EXPECT_TRUE((bits & 0x0D) == 0 || (bits & 0x0D) == 0x0D) << "the three GETs together: " << bits;
    EXPECT_TRUE((bits & 0x12) == 0 || (bits & 0x1F) == 0x1F) << "SET or RESET: all five: " << bits;

    const auto restore = [&] { EXPECT_EQ(app.SetOne(ICAP_PIXELTYPE, TWTY_UINT16, pixelType), TWRC_SUCCESS); };
    const auto same = [&](const Reply& a, const Reply& b, const char* what) {
        EXPECT_EQ(a.conType, b.conType) << what;
        EXPECT_EQ(a.bytes, b.bytes) << what;
    };
    // A 1.x application that does not say DF_APP2 has always had its
    // booleans as one values.
    std::vector<TW_UINT16> containers = expected->second.containers;
    if (!app.Twain2() && expected->second.itemType == TWTY_BOOL) containers.push_back(OV);
    if (bits & TWQC_GET) {
        const Reply got = app.Cap(MSG_GET, id);
        ASSERT_EQ(got.rc, TWRC_SUCCESS) << "MSG_GET cc " << got.cc;
        EXPECT_TRUE(std::find(containers.begin(), containers.end(), got.conType) != containers.end())
            << "MSG_GET container " << got.conType;
        EXPECT_EQ(got.ItemType(), expected->second.itemType) << "MSG_GET item type";
    }
    for (TW_UINT16 msg : {MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET}) {
        const TW_UINT16 bit = msg == MSG_GETCURRENT ? TWQC_GETCURRENT : msg == MSG_GETDEFAULT ? TWQC_GETDEFAULT : TWQC_RESET;
        if ((bits & bit) == 0) continue;
        const Reply got = app.Cap(msg, id);
        ASSERT_EQ(got.rc, TWRC_SUCCESS) << "msg " << msg << " cc " << got.cc;
        EXPECT_EQ(got.conType, SingleContainer(id)) << "msg " << msg;
        EXPECT_EQ(got.ItemType(), expected->second.itemType) << "msg " << msg;
        if (msg == MSG_RESET) restore();
    }
    if ((bits & TWQC_SET) == 0) return;
    // The whole MSG_GET container, set back: the same container again.
    const Reply got = app.Cap(MSG_GET, id);
    const Reply setGet = app.Cap(MSG_SET, id, &got);
    EXPECT_TRUE(setGet.rc == TWRC_SUCCESS || setGet.rc == TWRC_CHECKSTATUS) << "MSG_SET of MSG_GET, cc " << setGet.cc;
    same(app.Cap(MSG_GET, id), got, "MSG_GET after MSG_SET of MSG_GET");
    // The current value, the default and the reset value, each set as a one
    // value and read back as the current one.
    for (TW_UINT16 msg : {MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET}) {
        const Reply value = app.Cap(msg, id);
        const Reply set = app.Cap(MSG_SET, id, &value);
        EXPECT_EQ(set.rc, TWRC_SUCCESS) << "MSG_SET of the answer to msg " << msg << ", cc " << set.cc;
        same(app.Cap(MSG_GETCURRENT, id), value, "MSG_GETCURRENT after MSG_SET");
    }
    restore();
}

class Certification : public ::testing::Test {
protected:
    // The sheets a loaded feeder holds from the next opening on, through
    // the C runtime's environment, which the simulated scanner reads when it
    // is loaded again (and a helper process inherits).
    static void LoadSheets(int sheets) {
        if (FeederLoaded()) _putenv(("VOREL_SIM_SHEETS=" + std::to_string(sheets)).c_str());
    }
    static bool FeederLoaded() {
        const char* feeder = std::getenv("VOREL_SIM_FEEDER");
        return feeder != nullptr && std::strcmp(feeder, "loaded") == 0;
    }
    static bool FeederEnabled() {
        const char* feeder = std::getenv("VOREL_SIM_FEEDER");
        return feeder != nullptr && (std::strcmp(feeder, "loaded") == 0 || std::strcmp(feeder, "enabled") == 0);
    }
};

// 010: the capability walk after MSG_RESETALL, once for every pixel type;
// ICAP_BITDEPTH lists only the depths of the pixel type set.
TEST_F(Certification, CapabilityWalkForEveryPixelType) {
    for (const AppKind& kind : Kinds(true)) {
        SCOPED_TRACE(kind.name);
        CertApp app(kind);
        ASSERT_TRUE(app.Open());
        const std::vector<TW_UINT16> codes = SupportedCaps(app);
        for (TW_UINT16 must : {CAP_SUPPORTEDCAPS, ICAP_PIXELTYPE, ICAP_XFERMECH, CAP_XFERCOUNT, ICAP_COMPRESSION,
                               CAP_DUPLEX, CAP_DUPLEXENABLED, CAP_FEEDERENABLED}) {
            EXPECT_TRUE(Contains(codes, must)) << "CAP_SUPPORTEDCAPS lists 0x" << std::hex << must;
        }
        const struct {
            TW_UINT16 type;
            TW_UINT32 depth;
        } depths[] = {{TWPT_BW, 1}, {TWPT_GRAY, 8}, {TWPT_RGB, 24}};
        for (const auto& d : depths) {
            ASSERT_EQ(app.SetOne(ICAP_PIXELTYPE, TWTY_UINT16, d.type), TWRC_SUCCESS) << "pixel type " << d.type;
            EXPECT_EQ(EnumeratedValues(app, ICAP_BITDEPTH), std::vector<TW_UINT32>{d.depth}) << "pixel type " << d.type;
        }
        const std::vector<TW_UINT32> mechanisms = EnumeratedValues(app, ICAP_XFERMECH);
        for (TW_UINT32 mech : {TWSX_NATIVE, TWSX_MEMORY}) {
            EXPECT_NE(std::find(mechanisms.begin(), mechanisms.end(), mech), mechanisms.end()) << "mechanism " << mech;
        }

        TW_CAPABILITY all{0, 0, nullptr};
        ASSERT_EQ(app.Send(DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, &all), TWRC_SUCCESS) << "MSG_RESETALL";
        for (TW_UINT16 type : {TWPT_BW, TWPT_GRAY, TWPT_RGB}) {
            SCOPED_TRACE(testing::Message() << "pixel type " << type);
            ASSERT_EQ(app.SetOne(ICAP_PIXELTYPE, TWTY_UINT16, type), TWRC_SUCCESS);
            for (TW_UINT16 id : codes) WalkCapability(app, id, type);
        }
    }
}

// 030: the status returns. A message a triplet does not have is a protocol
// error whatever the state; a message it has, in the wrong state, is out of
// sequence; the frame of pending images stays as it is.
TEST_F(Certification, StatusReturnsInStatesFourAndFive) {
    for (const AppKind& kind : Kinds(false)) {
        SCOPED_TRACE(kind.name);
        CertApp app(kind);
        ASSERT_TRUE(app.Open());
        ASSERT_EQ(app.Enable(true), TWRC_SUCCESS) << "MSG_ENABLEDS with the dialog, cc " << app.Cc();
        TW_IMAGELAYOUT layout{};
        EXPECT_EQ(app.Send(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS) << "state 5";
        const TW_IMAGELAYOUT shown = layout;
        EXPECT_EQ(app.Send(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_FAILURE) << "MSG_SET in state 5";
        EXPECT_EQ(app.Cc(), TWCC_SEQERROR);
        EXPECT_EQ(app.Send(DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET, &layout), TWRC_FAILURE) << "MSG_RESET in state 5";
        EXPECT_EQ(app.Cc(), TWCC_SEQERROR);
        EXPECT_EQ(app.SetOne(CAP_XFERCOUNT, TWTY_INT16, 1), TWRC_FAILURE) << "CAP_XFERCOUNT in state 5";
        EXPECT_EQ(app.Cc(), TWCC_SEQERROR);
        EXPECT_EQ(app.Cap(MSG_RESET, ICAP_UNITS).cc, TWCC_SEQERROR) << "MSG_RESET in state 5";
        EXPECT_EQ(app.Cap(MSG_GETCURRENT, CAP_XFERCOUNT).OneValue() & 0xFFFF, 0xFFFFu) << "GETs go on";
        TW_IMAGELAYOUT again{};
        EXPECT_EQ(app.Send(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &again), TWRC_SUCCESS);
        EXPECT_EQ(std::memcmp(&again.Frame, &shown.Frame, sizeof shown.Frame), 0) << "the frame as it was";
        ASSERT_EQ(app.Disable(), TWRC_SUCCESS);

        TW_IMAGEMEMXFER memory{};
        memory.Memory.Flags = TWMF_APPOWNS | TWMF_DSMOWNS;
        TW_HANDLE native = nullptr;
        const struct {
            TW_UINT16 dat;
            TW_UINT16 msg;
            TW_MEMREF data;
            TW_UINT16 cc;
        } cases[] = {
            {DAT_IMAGEMEMXFER, MSG_SET, &memory, TWCC_BADPROTOCOL},
            {DAT_IMAGEMEMXFER, MSG_GET, &memory, TWCC_SEQERROR},
            {DAT_IMAGENATIVEXFER, MSG_SET, &native, TWCC_BADPROTOCOL},
            {DAT_IMAGENATIVEXFER, MSG_GET, &native, TWCC_SEQERROR},
            {DAT_IMAGEINFO, MSG_SET, &layout, TWCC_BADPROTOCOL},
            {DAT_IMAGEFILEXFER, MSG_RESET, nullptr, TWCC_BADPROTOCOL},
        };
        for (const auto& c : cases) {
            EXPECT_EQ(app.Send(DG_IMAGE, c.dat, c.msg, c.data), TWRC_FAILURE) << "DAT " << c.dat << " msg " << c.msg;
            EXPECT_EQ(app.Cc(), c.cc) << "DAT " << c.dat << " msg " << c.msg << " in state 4";
        }
        EXPECT_EQ(native, nullptr) << "nothing written";
    }
}

// 040: five openings and closings, the manager loaded and unloaded each time.
TEST_F(Certification, FiveOpenCloseCycles) {
    for (const AppKind& kind : Kinds(true)) {
        for (int cycle = 0; cycle < 5; ++cycle) {
            CertApp app(kind);
            ASSERT_TRUE(app.Open()) << kind.name << ", cycle " << cycle;
            EXPECT_STREQ(app.Source().ProductName, "Vorel Source");
        }
    }
}

// The paper sources the application may choose: the values of
// CAP_FEEDERENABLED's MSG_GET, an enumeration for an application that says
// DF_APP2, else the one value.
std::vector<TW_UINT32> PaperSources(CertApp& app) {
    const Reply got = app.Cap(MSG_GET, CAP_FEEDERENABLED);
    EXPECT_EQ(got.rc, TWRC_SUCCESS) << "MSG_GET CAP_FEEDERENABLED, cc " << got.cc;
    if (got.conType == TWON_ONEVALUE) return {got.OneValue() & 0xFFFF};
    EXPECT_EQ(got.conType, TWON_ENUMERATION);
    return got.Items();
}

// The pixel type and depth of an image the source is about to deliver.
void ExpectImageOf(CertApp& app, TW_UINT16 pixelType, const char* when) {
    const int depth = pixelType == TWPT_BW ? 1 : pixelType == TWPT_GRAY ? 8 : 24;
    TW_IMAGEINFO info{};
    ASSERT_EQ(app.Send(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS) << when << ", cc " << app.Cc();
    EXPECT_EQ(info.PixelType, pixelType) << when;
    EXPECT_EQ(info.BitsPerPixel, depth) << when;
    EXPECT_GT(info.ImageWidth, 0) << when;
}

// One image by the mechanism; memory strips alternate the two ways
// applications describe a buffer they own.
void TransferOne(CertApp& app, TW_UINT16 mech, TW_UINT16 pixelType, int image) {
    const int depth = pixelType == TWPT_BW ? 1 : pixelType == TWPT_GRAY ? 8 : 24;
    if (mech == TWSX_NATIVE) {
        ExpectImageOf(app, pixelType, "native, state 6");
        TW_HANDLE dib = nullptr;
        ASSERT_EQ(app.Send(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE) << "cc " << app.Cc();
        ASSERT_NE(dib, nullptr);
        const auto* header = static_cast<const BITMAPINFOHEADER*>(app.Lock(dib));
        EXPECT_EQ(header->biBitCount, depth) << "the DIB's depth";
        app.Free(dib);
    } else if (mech == TWSX_MEMORY) {
        TW_SETUPMEMXFER setup{};
        ASSERT_EQ(app.Send(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
        ASSERT_GT(setup.Preferred, 0u);
        std::string buffer(setup.Preferred, '\0');
        const TW_UINT32 flags = image % 2 ? TWMF_APPOWNS | TWMF_POINTER : TWMF_APPOWNS | TWMF_DSMOWNS;
        TW_UINT16 rc = TWRC_SUCCESS;
        for (int strip = 0; strip < 100000 && rc == TWRC_SUCCESS; ++strip) {
            TW_IMAGEMEMXFER xfer{};
            xfer.Memory = TW_MEMORY{flags, setup.Preferred, &buffer[0]};
            rc = app.Send(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
        }
        ASSERT_EQ(rc, TWRC_XFERDONE) << "memory, flags " << flags << ", cc " << app.Cc();
        ExpectImageOf(app, pixelType, "memory, after the last strip");
    } else {
        ExpectImageOf(app, pixelType, "file, state 6");
        TW_SETUPFILEXFER setup{};
        const std::string file = OutputFolder() + "certification.tif";
        std::snprintf(setup.FileName, sizeof setup.FileName, "%s", file.c_str());
        setup.Format = TWFF_TIFF;
        ASSERT_EQ(app.Send(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS) << "in state 6";
        ASSERT_EQ(app.Send(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE) << "cc " << app.Cc();
        WIN32_FILE_ATTRIBUTE_DATA data{};
        EXPECT_TRUE(::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data));
        EXPECT_GT(data.nFileSizeLow, 1000u) << "a whole TIFF";
        ::DeleteFileA(file.c_str());
    }
}

// One enabling, with or without the dialog (its "Final Scan" pressed as a
// person would), and every image it announces; the number of images.
int Acquire(CertApp& app, TW_UINT16 mech, bool showUI, TW_UINT16 pixelType) {
    if (app.Enable(showUI) != TWRC_SUCCESS) {
        ADD_FAILURE() << "MSG_ENABLEDS, cc " << app.Cc();
        return -1;
    }
    if (showUI) {
        HWND dialog = FindSourceDialog();
        if (dialog == nullptr) {
            ADD_FAILURE() << "the source's dialog";
            return -1;
        }
        ClickButton(dialog, IDC_FINAL_SCAN);
    }
    if (app.NextSourceMessage() != MSG_XFERREADY) {
        ADD_FAILURE() << "no MSG_XFERREADY";
        app.Disable();
        return -1;
    }
    int images = 0;
    TW_PENDINGXFERS pending{1, 0};
    while (pending.Count != 0 && images < 20) {
        TransferOne(app, mech, pixelType, images);
        ++images;
        EXPECT_EQ(app.Send(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS) << "cc " << app.Cc();
        if (::testing::Test::HasFatalFailure()) break;
    }
    EXPECT_EQ(app.NextSourceMessage(), MSG_CLOSEDSREQ);
    EXPECT_EQ(app.Disable(), TWRC_SUCCESS) << "MSG_DISABLEDS, cc " << app.Cc();
    return images;
}

// 050 and 060: every mechanism, every paper source and every pixel type
// scanned without the dialog and with it; each image is of the pixel type
// negotiated, so a grey scan asked for by pixel type alone is 8-bit grey.
TEST_F(Certification, TransfersForEveryMechanismPaperSourceAndPixelType) {
    for (const AppKind& kind : Kinds(true)) {
        for (TW_UINT16 mech : {TWSX_NATIVE, TWSX_MEMORY, TWSX_FILE}) {
            SCOPED_TRACE(testing::Message() << kind.name << ", mechanism " << mech);
            LoadSheets(8);
            CertApp app(kind);
            ASSERT_TRUE(app.Open());
            TW_CAPABILITY all{0, 0, nullptr};
            ASSERT_EQ(app.Send(DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, &all), TWRC_SUCCESS);
            ASSERT_EQ(app.SetOne(ICAP_XFERMECH, TWTY_UINT16, mech), TWRC_SUCCESS);
            // Fewer pixels keep the run short; the checks are the same.
            ASSERT_EQ(app.SetOne(ICAP_XRESOLUTION, TWTY_FIX32, 50), TWRC_SUCCESS);
            const std::vector<TW_UINT32> sources = PaperSources(app);
            ASSERT_EQ(sources.size(), 1u) << "the feeder's switch is the scanner's";
            EXPECT_EQ(sources[0], FeederEnabled() ? 1u : 0u);
            int images = 0;
            for (TW_UINT32 feeder : sources) {
                ASSERT_EQ(app.SetOne(CAP_FEEDERENABLED, TWTY_BOOL, feeder), TWRC_SUCCESS) << "feeder " << feeder;
                const std::vector<TW_UINT32> types =
                    app.Twain2() ? EnumeratedValues(app, ICAP_PIXELTYPE) : std::vector<TW_UINT32>{0, 1, 2};
                EXPECT_EQ(types.size(), 3u);
                for (TW_UINT32 type : types) {
                    ASSERT_EQ(app.SetOne(ICAP_PIXELTYPE, TWTY_UINT16, type), TWRC_SUCCESS) << "pixel type " << type;
                    for (bool showUI : {false, true}) {
                        if (feeder != 0) {
                            ASSERT_EQ(app.SetOne(CAP_XFERCOUNT, TWTY_INT16, 1), TWRC_SUCCESS);
                        }
                        const int got = Acquire(app, mech, showUI, static_cast<TW_UINT16>(type));
                        EXPECT_EQ(got, 1) << "feeder " << feeder << ", pixel type " << type << ", dialog " << showUI;
                        images += got;
                    }
                }
            }
            EXPECT_EQ(images, 6) << "three pixel types, with and without the dialog";
        }
    }
}

// 070: CAP_XFERCOUNT 0 is refused; 1 gives one image; -1 gives one from the
// glass and every sheet from the feeder.
TEST_F(Certification, TransferCountZeroOneAndAll) {
    for (const AppKind& kind : Kinds(false)) {
        for (TW_UINT16 mech : {TWSX_NATIVE, TWSX_MEMORY, TWSX_FILE}) {
            SCOPED_TRACE(testing::Message() << kind.name << ", mechanism " << mech);
            CertApp app(kind);
            LoadSheets(4);
            ASSERT_TRUE(app.Open());
            TW_CAPABILITY all{0, 0, nullptr};
            ASSERT_EQ(app.Send(DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, &all), TWRC_SUCCESS);
            ASSERT_EQ(app.SetOne(ICAP_XFERMECH, TWTY_UINT16, mech), TWRC_SUCCESS);
            ASSERT_EQ(app.SetOne(ICAP_XRESOLUTION, TWTY_FIX32, 50), TWRC_SUCCESS);
            for (TW_UINT32 feeder : PaperSources(app)) {
                ASSERT_EQ(app.SetOne(CAP_FEEDERENABLED, TWTY_BOOL, feeder), TWRC_SUCCESS);
                EXPECT_EQ(app.SetOne(CAP_XFERCOUNT, TWTY_INT16, 0), TWRC_FAILURE) << "CAP_XFERCOUNT 0";
                EXPECT_EQ(app.Cc(), TWCC_BADVALUE);
                ASSERT_EQ(app.SetOne(CAP_XFERCOUNT, TWTY_INT16, 1), TWRC_SUCCESS);
                EXPECT_EQ(Acquire(app, mech, false, TWPT_RGB), 1) << "CAP_XFERCOUNT 1, feeder " << feeder;
                ASSERT_EQ(app.SetOne(CAP_XFERCOUNT, TWTY_INT16, 0xFFFF), TWRC_SUCCESS);
                const int all = Acquire(app, mech, false, TWPT_RGB);
                if (FeederLoaded() && feeder != 0) {
                    EXPECT_EQ(all, 3) << "CAP_XFERCOUNT -1: the three sheets left";
                } else {
                    EXPECT_EQ(all, 1) << "CAP_XFERCOUNT -1 on the glass";
                }
            }
        }
    }
}

// 090: the values after opening (for every paper source and pixel type),
// after each capability's MSG_RESET, and after MSG_RESETALL, also once the
// paper source and pixel type have changed since.
TEST_F(Certification, ValuesAfterOpeningResetAndResetAll) {
    for (const AppKind& kind : Kinds(false)) {
        SCOPED_TRACE(kind.name);
        const auto eachChoice = [](CertApp& app, const std::function<void()>& check) {
            for (TW_UINT32 feeder : PaperSources(app)) {
                ASSERT_EQ(app.SetOne(CAP_FEEDERENABLED, TWTY_BOOL, feeder), TWRC_SUCCESS);
                for (TW_UINT32 type : EnumeratedValues(app, ICAP_PIXELTYPE)) {
                    ASSERT_EQ(app.SetOne(ICAP_PIXELTYPE, TWTY_UINT16, type), TWRC_SUCCESS);
                    SCOPED_TRACE(testing::Message() << "feeder " << feeder << ", pixel type " << type);
                    check();
                }
            }
        };
        const auto valueOf = [](const Reply& reply) {
            return reply.ItemType() == TWTY_INT16 || reply.ItemType() == TWTY_UINT16 || reply.ItemType() == TWTY_BOOL
                       ? reply.OneValue() & 0xFFFF
                       : reply.OneValue();
        };
        {
            CertApp app(kind);
            ASSERT_TRUE(app.Open());
            const std::vector<TW_UINT16> codes = SupportedCaps(app);
            eachChoice(app, [&] {
                for (TW_UINT16 id : codes) {
                    const Expected& e = kTable.at(id);
                    if (!e.checkOpen) continue;
                    const Reply got = app.Cap(MSG_GETCURRENT, id);
                    EXPECT_EQ(got.conType, TWON_ONEVALUE) << "cap 0x" << std::hex << id;
                    EXPECT_EQ(valueOf(got), e.afterOpen) << "after opening, cap 0x" << std::hex << id;
                }
            });
            for (TW_UINT16 id : codes) {
                const Expected& e = kTable.at(id);
                if (!e.checkReset) continue;
                const Reply got = app.Cap(MSG_RESET, id);
                EXPECT_EQ(got.rc, TWRC_SUCCESS) << "MSG_RESET cap 0x" << std::hex << id;
                EXPECT_EQ(got.conType, TWON_ONEVALUE) << "MSG_RESET cap 0x" << std::hex << id;
                EXPECT_EQ(valueOf(got), e.afterReset) << "MSG_RESET cap 0x" << std::hex << id;
            }
        }
        CertApp app(kind);
        ASSERT_TRUE(app.Open());
        ASSERT_EQ(app.SetOne(ICAP_UNITS, TWTY_UINT16, TWUN_PIXELS), TWRC_SUCCESS);
        ASSERT_EQ(app.SetOne(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
        ASSERT_EQ(app.SetOne(ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_VANILLA), TWRC_SUCCESS);
        TW_CAPABILITY all{0, 0, nullptr};
        ASSERT_EQ(app.Send(DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, &all), TWRC_SUCCESS);
        TW_IMAGELAYOUT layout{};
        ASSERT_EQ(app.Send(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS);
        EXPECT_EQ(layout.Frame.Right.Whole, 8) << "the whole bed, in inches";
        EXPECT_EQ(layout.Frame.Bottom.Whole, 14) << "the whole bed, in inches";
        const std::vector<TW_UINT16> codes = SupportedCaps(app);
        eachChoice(app, [&] {
            for (TW_UINT16 id : codes) {
                const Expected& e = kTable.at(id);
                if (!e.checkReset) continue;
                EXPECT_EQ(valueOf(app.Cap(MSG_GETCURRENT, id)), e.afterReset) << "after MSG_RESETALL, cap 0x" << std::hex << id;
            }
        });
    }
}

// An unattended TWAIN 2 application (no dialog, no progress) with the
// feeder switched on and empty is told there is no paper, and gets no
// image of the glass; a 1.x application, and an attended one, scan as ever.
TEST_F(Certification, UnattendedEmptyFeederIsNoMedia) {
    if (!FeederEnabled() || FeederLoaded()) GTEST_SKIP() << "for a feeder switched on and empty";
    for (const AppKind& kind : Kinds(true)) {
        SCOPED_TRACE(kind.name);
        CertApp app(kind);
        ASSERT_TRUE(app.Open());
        ASSERT_EQ(app.SetOne(ICAP_XRESOLUTION, TWTY_FIX32, 50), TWRC_SUCCESS);
        ASSERT_EQ(app.SetOne(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
        if (app.Twain2()) {
            EXPECT_EQ(app.Enable(false), TWRC_FAILURE);
            EXPECT_EQ(app.Cc(), TWCC_NOMEDIA);
            EXPECT_EQ(app.Disable(), TWRC_FAILURE) << "still in state 4";
            EXPECT_EQ(app.Cc(), TWCC_SEQERROR);
        } else {
            EXPECT_EQ(Acquire(app, TWSX_NATIVE, false, TWPT_RGB), 1) << "the glass, as ever";
        }
        ASSERT_EQ(app.SetOne(CAP_INDICATORS, TWTY_BOOL, 1), TWRC_SUCCESS);
        EXPECT_EQ(Acquire(app, TWSX_NATIVE, false, TWPT_RGB), 1) << "attended: the glass";
    }
}

// Wine's own TWAIN_32.DLL, which finds sources only as twain_32\sane.ds:
// the capability walk and a scan by every mechanism, as a 2.4 and as a 1.6
// application.
TEST_F(Certification, ThroughWinesOwnManager) {
    const SourceForWinesManager placed;
    if (placed.Path().empty()) GTEST_SKIP() << placed.Why();
    for (const AppKind& kind : {AppKind{"2.4 application, Wine's manager", 2, 4, kApp2, placed.Path()},
                                AppKind{"1.6 application, Wine's manager", 1, 6, DG_CONTROL | DG_IMAGE, placed.Path()}}) {
        SCOPED_TRACE(kind.name);
        CertApp app(kind);
        ASSERT_TRUE(app.Open());
        for (TW_UINT16 id : SupportedCaps(app)) WalkCapability(app, id, TWPT_RGB);
        TW_IMAGELAYOUT layout{{{1, 0}, {1, 0}, {2, 0}, {2, 0}}, 0, 0, 0};
        EXPECT_EQ(app.Send(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS) << "a frame on the bed";
        ASSERT_EQ(app.SetOne(ICAP_XRESOLUTION, TWTY_FIX32, 50), TWRC_SUCCESS);
        for (TW_UINT16 mech : {TWSX_NATIVE, TWSX_MEMORY, TWSX_FILE}) {
            ASSERT_EQ(app.SetOne(ICAP_XFERMECH, TWTY_UINT16, mech), TWRC_SUCCESS);
            ASSERT_EQ(app.SetOne(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
            ASSERT_EQ(app.SetOne(CAP_XFERCOUNT, TWTY_INT16, 1), TWRC_SUCCESS);
            EXPECT_EQ(Acquire(app, mech, false, TWPT_GRAY), 1) << "mechanism " << mech;
        }
    }
}

}  // namespace
