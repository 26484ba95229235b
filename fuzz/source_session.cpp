// The session decoder: each input becomes an application that opens the
// source, negotiates, enables it with or without the dialog, transfers by
// every mechanism and closes it, with the bytes choosing values, containers,
// buffers, file names, origins, faults of the scanner, the heap and the
// disk, now and then a triplet of their own, and calls made from inside the
// source's own notifications.
//
// The application plays fair in the one way no source can check: memory it
// hands over by plain pointer is as long as it says. Handles, containers,
// lengths behind handles, structures and everything else are fair game. It
// frees every block the source hands it, so whatever global memory is left
// at the end is the source's own leak.
#include "fuzz/source_session.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "capabilities/capability_init_table.h"
#include "capabilities/capability_table.h"
#include "device/scanner_library.h"
#include "module/source_app.h"
#include "platform/fault_injection.h"
#include "platform/global_memory.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "protocol/image_transfers.h"
#include "protocol/notifications.h"
#include "protocol/reporting.h"
#include "protocol/source_globals.h"
#include "resources/resource_ids.h"
#include "simulated_library.h"
#include "twain/twain.h"
#include "ui/dialog_window.h"
#include "ui/headless/dialog_window_headless.h"
#include "ui/image_type_list.h"
#include "ui/source_dialog.h"

extern "C" TW_UINT16 TW_CALLINGSTYLE DS_Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                              TW_MEMREF data);

namespace fuzzing {
namespace {

// Images larger than this are not transferred whole, so that an input runs
// in milliseconds; a memory transfer stops early instead.
constexpr std::int64_t kLargestImage = 1 << 18;
constexpr int kMostSteps = 400;

std::string folder;
int boxAnswer = platform::kAnswerOk;

class Session;
Session* currentSession = nullptr;
TW_UINT16 RecordNotification(TW_UINT16 msg);

// The input, read front to back; an exhausted input reads zeros.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}
    std::uint8_t U8() {
        if (left_ == 0) return 0;
        --left_;
        return *data_++;
    }
    // Bytes are taken one statement at a time: the order of operands in one
    // expression is the compiler's, and every compiler must decode alike.
    std::uint16_t U16() {
        const unsigned low = U8();
        return static_cast<std::uint16_t>(low | U8() << 8);
    }
    std::uint32_t U32() {
        const std::uint32_t low = U16();
        return low | static_cast<std::uint32_t>(U16()) << 16;
    }
    // 0 .. n-1; 0, the plain choice, when the input is exhausted.
    unsigned Pick(unsigned n) { return U8() % n; }
    // About one time in sixteen.
    bool Rare() { return U8() >= 240; }
    bool Empty() const { return left_ == 0; }

private:
    const std::uint8_t* data_;
    std::size_t left_;
};

template <typename T, std::size_t N>
T PickFrom(Bytes& in, const T (&values)[N]) {
    return values[in.Pick(N)];
}

const TW_UINT16 kControlDats[] = {DAT_IDENTITY,   DAT_USERINTERFACE, DAT_CAPABILITY, DAT_STATUS,   DAT_PENDINGXFERS,
                                  DAT_SETUPMEMXFER, DAT_SETUPFILEXFER, DAT_XFERGROUP, DAT_EVENT,    DAT_NULL,
                                  DAT_PARENT};
const TW_UINT16 kImageDats[] = {DAT_IMAGEINFO, DAT_IMAGELAYOUT, DAT_IMAGEMEMXFER, DAT_IMAGENATIVEXFER,
                                DAT_IMAGEFILEXFER};
const TW_UINT16 kMessages[] = {MSG_GET,      MSG_GETCURRENT, MSG_GETDEFAULT, MSG_GETFIRST,  MSG_GETNEXT,
                               MSG_SET,      MSG_RESET,      MSG_OPENDS,     MSG_CLOSEDS,   MSG_ENABLEDS,
                               MSG_DISABLEDS, MSG_PROCESSEVENT, MSG_ENDXFER, MSG_QUERYSUPPORT, MSG_NULL,
                               MSG_ENABLEDSUIONLY};
const TW_UINT16 kResolutions[] = {50, 75, 30, 100, 12, 150, 24};

class Session {
public:
    explicit Session(Bytes in) : in_(in) {}

    SessionOutcome Run() {
        FreshModule();
        const long blocksBefore = platform::GlobalBlocksOutstanding();
        ChooseFaults();

        const int cycles = 1 + static_cast<int>(in_.Pick(4) == 3);
        for (int cycle = 0; cycle < cycles && steps_ < kMostSteps; ++cycle) Cycle();

        // Whoever is connected closes the source, then the module goes.
        if (sourceState != 300) {
            TW_IDENTITY connected = appIdentity;
            TW_IDENTITY ignored{};
            Entry(&connected, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &ignored);
        }
        platform::AllocationFaults().Disarm();
        platform::FileWriteFaults().Disarm();
        theApp.ExitInstance();
        FreeApplicationBlocks();

        if (sourceState != 300) {
            outcome_.problem = "the source did not close";
        } else if (platform::GlobalBlocksOutstanding() != blocksBefore) {
            outcome_.problem = "global blocks left: " + std::to_string(platform::GlobalBlocksOutstanding() - blocksBefore);
        } else if (headlessWindowLog.windowsAlive != 0) {
            outcome_.problem = "windows left: " + std::to_string(headlessWindowLog.windowsAlive);
        }
        return outcome_;
    }

    // The source's messages to the source manager. Some applications act
    // on them at once, from inside the call that sent them: they transfer
    // as soon as the image is ready, or close (and even reopen) the source
    // while it is still in the middle of its own work.
    // What the source manager answers: now and then it refuses the message.
    TW_UINT16 OnNotification(TW_UINT16 msg) {
        if (managerRefuses_) return TWRC_FAILURE;
        if (msg == MSG_CLOSEDSREQ) ++closeRequests_;
        if (reentry_ == Reentry::None || depth_ > 1 || steps_ >= kMostSteps) return TWRC_SUCCESS;
        ++depth_;
        TW_IDENTITY ignored{};
        TW_USERINTERFACE off{1, 0, nullptr};
        TW_PENDINGXFERS pending{};
        switch (reentry_) {
            case Reentry::TransferAtOnce:
                if (msg == MSG_XFERREADY) {
                    NativeTransfer();
                    Control(DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
                }
                break;
            case Reentry::CloseOnReady:
                if (msg == MSG_XFERREADY) Control(DAT_IDENTITY, MSG_CLOSEDS, &ignored);
                break;
            case Reentry::CloseOnRequest:
                if (msg == MSG_CLOSEDSREQ) {
                    Control(DAT_USERINTERFACE, MSG_DISABLEDS, &off);
                    Control(DAT_IDENTITY, MSG_CLOSEDS, &ignored);
                }
                break;
            case Reentry::ReopenOnRequest:
                if (msg == MSG_CLOSEDSREQ) {
                    Control(DAT_IDENTITY, MSG_CLOSEDS, &ignored);
                    TW_IDENTITY source{};
                    Control(DAT_IDENTITY, MSG_GET, &source);
                    source.Id = 42;
                    Control(DAT_IDENTITY, MSG_OPENDS, &source);
                }
                break;
            case Reentry::None:
                break;
        }
        --depth_;
        return TWRC_SUCCESS;
    }

private:
    enum class Reentry { None, TransferAtOnce, CloseOnReady, CloseOnRequest, ReopenOnRequest };

    // --- Set-up ---

    void FreshModule() {
        theApp.ExitInstance();
        capabilityTable.Clear();
        ResetModuleState();
        headlessWindowLog = HeadlessWindowLog{};
        for (const char* name : {"a.bmp", "b.tif", "vorelsrc.ini"}) std::remove((folder + "/" + name).c_str());

        // The scanner: mostly the plain one, sometimes another model or a
        // failing one.
        for (const char* name : {"VOREL_SIM_COLOR", "VOREL_SIM_OPEN", "VOREL_SIM_RESET", "VOREL_SIM_FEEDER",
                                 "VOREL_SIM_MATRIX7", "VOREL_SIM_LINES", "VOREL_SIM_FAIL_AT", "VOREL_SIM_FAIL_STATUS"}) {
            unsetenv(name);
        }
        const unsigned variant = in_.U8();
        if (variant >= 208 && variant < 224) reentry_ = static_cast<Reentry>(1 + in_.Pick(4));
        switch (variant >= 224 ? in_.Pick(6) + 10 : 0) {
            case 10: setenv("VOREL_SIM_COLOR", "0", 1); break;
            case 11: setenv("VOREL_SIM_FEEDER", in_.Pick(2) ? "loaded" : "enabled", 1); break;
            case 12: setenv("VOREL_SIM_LINES", std::to_string(in_.Pick(40)).c_str(), 1); break;
            case 13: setenv("VOREL_SIM_OPEN", in_.Pick(2) ? "-10" : "3", 1); break;
            case 14: setenv("VOREL_SIM_MATRIX7", "0", 1); break;
            case 15:
                setenv("VOREL_SIM_FAIL_AT", std::to_string(1 + in_.U16() % 300).c_str(), 1);
                if (in_.Pick(2)) setenv("VOREL_SIM_FAIL_STATUS", std::to_string(static_cast<std::int16_t>(in_.U16()) | 1).c_str(), 1);
                break;
            default: break;
        }
        ResetSimulator();
        boxAnswer = in_.Rare() ? platform::kAnswerCancel : platform::kAnswerOk;
        managerRefuses_ = in_.Rare();
        theApp.InitInstance(nullptr);
    }

    // The heap or the disk fails once, at a point the input picks.
    void ChooseFaults() {
        platform::AllocationFaults().Disarm();
        platform::FileWriteFaults().Disarm();
        const unsigned choice = in_.U8();
        if (choice >= 232) {
            platform::AllocationFaults().Arm(1 + in_.U16() % 400);
            platform::AllocationFaults().Hold(true);
        } else if (choice >= 224) {
            platform::FileWriteFaults().Arm(1 + in_.Pick(6));
        }
    }

    // --- Calls ---

    TW_UINT16 Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        ++outcome_.triplets;
        ++steps_;
        // Calls may nest (from inside a notification): each restores what
        // it found.
        const bool held = platform::AllocationFaults().IsHeld();
        platform::AllocationFaults().Hold(false);
        const TW_UINT16 rc = DS_Entry(origin, dg, dat, msg, data);
        platform::AllocationFaults().Hold(held);
        if (sourceState == 600) outcome_.reachedTransferReady = true;
        // Most applications ask why at once.
        if (rc == TWRC_FAILURE && in_.Pick(4) != 3) {
            TW_STATUS status{};
            ++outcome_.triplets;
            ++steps_;
            DS_Entry(origin, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        }
        return rc;
    }
    TW_UINT16 Control(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) { return Entry(&app_, DG_CONTROL, dat, msg, data); }
    TW_UINT16 Image(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) { return Entry(&app_, DG_IMAGE, dat, msg, data); }

    // What the user does in the dialog runs inside the dialog's window
    // procedure, which lets nothing thrown through.
    template <typename Action>
    void User(Action action) {
        SourceDialog* dialog = CurrentDialog();
        if (dialog == nullptr || !dialog->IsWindowVisible()) return;
        ++steps_;
        const bool held = platform::AllocationFaults().IsHeld();
        platform::AllocationFaults().Hold(false);
        try {
            action(*dialog);
        } catch (...) {
        }
        platform::AllocationFaults().Hold(held);
        if (sourceState == 600) outcome_.reachedTransferReady = true;
    }

    // Now and then, between the steps of the plain road, a triplet of the
    // input's own.
    void MaybeChaos() {
        while (in_.Rare() && steps_ < kMostSteps) RandomTriplet();
    }

    // --- Blocks the application owns ---

    platform::GlobalHandle Block(std::size_t size) {
        platform::GlobalHandle block = platform::GlobalAllocate(platform::kGmemShareable, size);
        if (block != nullptr) mine_.push_back(block);
        return block;
    }
    void Fill(platform::GlobalHandle block, const std::vector<std::uint8_t>& bytes) {
        platform::LockedBlock locked(block);
        const std::size_t size = std::min(bytes.size(), platform::GlobalBlockSize(block));
        if (locked && size > 0) std::memcpy(locked.get(), bytes.data(), size);
    }
    void FreeApplicationBlocks() {
        for (platform::GlobalHandle block : mine_) platform::GlobalFreeBlock(block);
        mine_.clear();
    }
    // A block the source handed over is the application's: freed at once.
    void Release(TW_HANDLE answer) {
        if (answer != nullptr && std::find(mine_.begin(), mine_.end(), answer) == mine_.end()) {
            platform::GlobalFreeBlock(answer);
        }
    }

    // A handle as an application might pass it: a real block holding
    // `bytes`, null, freed, or never given out.
    TW_HANDLE Handle(const std::vector<std::uint8_t>& bytes, std::size_t blockSize) {
        switch (in_.U8()) {
            case 250: return nullptr;
            case 251: {
                platform::GlobalHandle freed = platform::GlobalAllocate(platform::kGmemShareable, 16);
                platform::GlobalFreeBlock(freed);
                return freed;
            }
            case 252: return reinterpret_cast<TW_HANDLE>(std::uintptr_t{0x7777770});
            default: {
                platform::GlobalHandle block = Block(blockSize);
                Fill(block, bytes);
                return block;
            }
        }
    }

    // --- Capabilities ---

    static void Put(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value, unsigned size) {
        if (out.size() < at + size) out.resize(at + size);
        for (unsigned k = 0; k < size; ++k) out[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
    }

    static unsigned ItemSize(TW_UINT16 itemType) {
        static const unsigned sizes[] = {1, 2, 4, 1, 2, 4, 2, 4, 16, 34, 66, 130, 256};
        return itemType < 13 ? sizes[itemType] : 4;
    }

    // A container of the input's choosing: every type, any item type, a
    // plausible value or any value, short blocks and huge item counts.
    TW_CAPABILITY Container(TW_UINT16 capability, std::int32_t plausible) {
        static const TW_UINT16 conTypes[] = {TWON_ONEVALUE, TWON_ENUMERATION, TWON_RANGE, TWON_ARRAY, 0, 7};
        TW_CAPABILITY cap{capability, in_.Rare() ? in_.U16() : PickFrom(in_, conTypes), nullptr};
        TW_UINT16 itemType = TWTY_INT16;
        if (in_.Rare()) itemType = static_cast<TW_UINT16>(in_.U8() % 16);
        const auto value = [&]() -> std::uint32_t { return in_.Rare() ? in_.U32() : static_cast<std::uint32_t>(plausible); };

        std::vector<std::uint8_t> bytes;
        Put(bytes, 0, itemType, 2);
        switch (cap.ConType) {
            case TWON_ONEVALUE: Put(bytes, 2, value(), 4); break;
            case TWON_RANGE:
                for (std::size_t at = 2; at < 22; at += 4) Put(bytes, at, value(), 4);
                break;
            case TWON_ENUMERATION:
            case TWON_ARRAY: {
                const bool enumeration = cap.ConType == TWON_ENUMERATION;
                const std::uint32_t items = in_.Rare() ? in_.U32() : in_.Pick(5);
                Put(bytes, 2, items, 4);
                const std::size_t head = enumeration ? 14 : 6;
                if (enumeration) {
                    Put(bytes, 6, in_.Rare() ? in_.U32() : in_.Pick(4), 4);  // CurrentIndex
                    Put(bytes, 10, in_.Pick(4), 4);                           // DefaultIndex
                }
                const std::uint32_t written = std::min<std::uint32_t>(items, 8);
                for (std::uint32_t i = 0; i < written; ++i) {
                    Put(bytes, head + i * ItemSize(itemType), value(), std::min(ItemSize(itemType), 4u));
                }
                bytes.resize(std::max(bytes.size(), head + written * ItemSize(itemType)));
                break;
            }
            default:
                for (int i = 0; i < 4; ++i) Put(bytes, bytes.size(), in_.U32(), 4);
                break;
        }
        // Now and then the block is shorter than what it holds.
        std::size_t blockSize = bytes.size();
        if (in_.Rare()) blockSize = in_.Pick(static_cast<unsigned>(blockSize) + 1);
        cap.hContainer = Handle(bytes, blockSize);
        return cap;
    }

    void CapabilityCall(TW_UINT16 msg, TW_CAPABILITY cap) {
        const TW_HANDLE passed = cap.hContainer;
        Control(DAT_CAPABILITY, msg, &cap);
        if (cap.hContainer != passed) Release(cap.hContainer);
    }

    void Negotiate() {
        struct Plausible {
            TW_UINT16 capability;
            std::int32_t values[4];
        };
        static const Plausible kPlausible[] = {
            {ICAP_PIXELTYPE, {TWPT_RGB, TWPT_GRAY, TWPT_BW, 3}}, {ICAP_BITDEPTH, {24, 8, 1, 4}},
            {CAP_XFERCOUNT, {-1, 1, 2, 3}},                      {ICAP_XRESOLUTION, {50, 75, 12, 2400}},
            {ICAP_YRESOLUTION, {50, 100, 25, 2401}},             {ICAP_UNITS, {TWUN_PIXELS, TWUN_INCHES, TWUN_CENTIMETERS, 6}},
            {ICAP_PIXELFLAVOR, {TWPF_VANILLA, TWPF_CHOCOLATE, 1, 2}}, {ICAP_XFERMECH, {TWSX_MEMORY, TWSX_FILE, 0, 5}},
            {ICAP_IMAGEFILEFORMAT, {TWFF_TIFF, TWFF_BMP, 1, 3}},  {CAP_FEEDERENABLED, {1, 0, 1, 0}},
            {ICAP_PHYSICALWIDTH, {1, 2550, 0, 9999}},             {CAP_SUPPORTEDCAPS, {0, 0, 0, 0}},
        };
        static const TW_UINT16 kMessagesForCaps[] = {MSG_SET, MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET,
                                                     MSG_GETFIRST, MSG_QUERYSUPPORT};
        const Plausible& p = PickFrom(in_, kPlausible);
        TW_UINT16 capability = p.capability;
        if (in_.Rare()) capability = in_.Rare() ? in_.U16() : CapabilityInitTable[in_.Pick(kCapabilityCount)].id;
        const TW_UINT16 msg = PickFrom(in_, kMessagesForCaps);
        if (msg == MSG_SET) {
            CapabilityCall(msg, Container(capability, p.values[in_.Pick(4)]));
        } else {
            CapabilityCall(msg, TW_CAPABILITY{capability, 0, in_.Rare() ? Handle({}, 8) : nullptr});
        }
    }

    // A small image unless the input insists: a low resolution and a region
    // of about an inch a side at most.
    void SmallImage() {
        TW_CAPABILITY units{ICAP_UNITS, TWON_ONEVALUE, nullptr};
        std::vector<std::uint8_t> one;
        Put(one, 0, TWTY_UINT16, 2);
        Put(one, 2, TWUN_PIXELS, 4);
        units.hContainer = Block(6);
        Fill(units.hContainer, one);
        CapabilityCall(MSG_SET, units);
        for (TW_UINT16 axis : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) {
            std::vector<std::uint8_t> bytes;
            Put(bytes, 0, TWTY_UINT16, 2);
            Put(bytes, 2, PickFrom(in_, kResolutions), 4);
            TW_CAPABILITY cap{axis, TWON_ONEVALUE, Block(6)};
            Fill(cap.hContainer, bytes);
            CapabilityCall(MSG_SET, cap);
        }
        const float left = static_cast<float>(in_.Pick(8) * 100);
        const float top = static_cast<float>(in_.Pick(8) * 100);
        TW_IMAGELAYOUT layout{};
        layout.Frame = {{static_cast<TW_INT16>(left), 0},
                        {static_cast<TW_INT16>(top), 0},
                        {static_cast<TW_INT16>(left + 30 + in_.Pick(12) * 25), 0},
                        {static_cast<TW_INT16>(top + 30 + in_.Pick(12) * 25), 0}};
        Image(DAT_IMAGELAYOUT, MSG_SET, &layout);
    }

    // Any frame in any unit, read back now and then.
    void AnyLayout() {
        std::vector<std::uint8_t> bytes;
        Put(bytes, 0, TWTY_UINT16, 2);
        Put(bytes, 2, in_.Pick(7), 4);
        TW_CAPABILITY units{ICAP_UNITS, TWON_ONEVALUE, Block(6)};
        Fill(units.hContainer, bytes);
        CapabilityCall(MSG_SET, units);
        TW_IMAGELAYOUT layout{};
        for (TW_FIX32* side : {&layout.Frame.Left, &layout.Frame.Top, &layout.Frame.Right, &layout.Frame.Bottom}) {
            side->Whole = static_cast<TW_INT16>(in_.U16());
            side->Frac = in_.U16();
        }
        Image(DAT_IMAGELAYOUT, in_.Pick(3) == 2 ? MSG_RESET : MSG_SET, &layout);
        Image(DAT_IMAGELAYOUT, MSG_GET, &layout);
    }

    // --- The plain road ---

    void Cycle() {
        MaybeChaos();
        if (!OpenSource()) return;
        // Many applications look at every capability the source has first.
        if (in_.Pick(2) == 0) {
            CapabilityCall(MSG_GET, TW_CAPABILITY{CAP_SUPPORTEDCAPS, 0, nullptr});
            for (const CapabilityInit& init : CapabilityInitTable) {
                CapabilityCall(MSG_GET, TW_CAPABILITY{init.id, 0, nullptr});
            }
        }
        const int negotiations = static_cast<int>(in_.Pick(8));
        for (int i = 0; i < negotiations; ++i) {
            Negotiate();
            MaybeChaos();
        }
        if (in_.Rare()) {
            AnyLayout();
        } else {
            SmallImage();
        }
        MaybeChaos();

        const bool showUI = in_.Pick(3) == 1;
        // Now and then the dialog is asked for a set-up only.
        const TW_UINT16 enable = showUI && in_.Rare() ? MSG_ENABLEDSUIONLY : MSG_ENABLEDS;
        TW_USERINTERFACE ui{static_cast<TW_BOOL>(showUI), static_cast<TW_BOOL>(in_.Pick(2)), nullptr};
        if (Control(DAT_USERINTERFACE, enable, &ui) == TWRC_SUCCESS && showUI) UseDialog();
        MaybeChaos();
        if (sourceState == 600) Transfers();
        MaybeChaos();

        if (in_.Pick(8) != 7) {
            TW_USERINTERFACE off{static_cast<TW_BOOL>(in_.Pick(4) != 3), 0, nullptr};
            Control(DAT_USERINTERFACE, MSG_DISABLEDS, &off);
        }
        TW_IDENTITY ignored{};
        Control(DAT_IDENTITY, MSG_CLOSEDS, &ignored);
        FreeApplicationBlocks();
    }

    bool OpenSource() {
        app_ = TW_IDENTITY{};
        app_.Id = 7;
        std::strcpy(app_.ProductName, "Fuzzing application");
        TW_IDENTITY source{};
        Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &source);
        source.Id = 42;
        switch (in_.Pick(16)) {
            case 14: Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source); break;  // no origin
            case 15: Entry(&app_, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr); break;     // no identity
            default: break;
        }
        if (sourceState == 300) Control(DAT_IDENTITY, MSG_OPENDS, &source);
        if (sourceState == 300) return false;
        // The connected application may be another than the one that
        // meant to open it; it speaks for the session from now on.
        app_ = appIdentity;
        if (in_.Rare()) {
            TW_IDENTITY stranger = app_;
            stranger.Id = app_.Id + 1;
            TW_IDENTITY ignored{};
            Entry(&stranger, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &ignored);
        }
        return true;
    }

    // The user previews, changes the image type, asks for the About box,
    // then presses "Final Scan" ("OK" when setting up only) or closes the
    // dialog.
    void UseDialog() {
        const int actions = static_cast<int>(in_.Pick(4));
        for (int i = 0; i < actions; ++i) {
            switch (in_.Pick(5)) {
                case 0:
                    // A preview scans the whole bed: once a session is plenty.
                    if (!previewed_) User([](SourceDialog& d) { d.PreviewScan(); });
                    previewed_ = true;
                    break;
                case 1: {
                    const int index = static_cast<int>(in_.Pick(5)) - 1;
                    User([index](SourceDialog& d) {
                        d.window().List().SetCurSel(index);
                        d.OnImageTypeChange();
                    });
                    break;
                }
                case 2:
                    User([](SourceDialog& d) { d.OnSysCommand(IDM_ABOUTBOX); });
                    break;
                case 3: {
                    const std::int32_t l = in_.Pick(20) * 100, t = in_.Pick(20) * 100;
                    const std::int32_t r = l + 30 + in_.Pick(10) * 30, b = t + 30 + in_.Pick(10) * 30;
                    User([=](SourceDialog& d) { d.SetScanRegion(l, t, r, b); });
                    break;
                }
                default:
                    MaybeChaos();
                    break;
            }
        }
        switch (in_.Pick(8)) {
            case 6: User([](SourceDialog& d) { d.OnClose(); }); break;
            case 7: User([](SourceDialog& d) { d.OnCancel(); }); break;
            default:
                User([](SourceDialog& d) {
                    if (d.session().SetupOnly()) {
                        d.OnFinalScanButton();
                    } else {
                        d.FinalScan();
                    }
                });
                break;
        }
    }

    void Transfers() {
        for (int transfer = 0; transfer < 4 && sourceState == 600 && steps_ < kMostSteps; ++transfer) {
            TW_IMAGEINFO info{};
            std::int64_t bytes = kLargestImage + 1;
            if (Image(DAT_IMAGEINFO, MSG_GET, &info) == TWRC_SUCCESS) {
                bytes = std::int64_t{std::max(info.ImageWidth, 0)} * std::max(info.ImageLength, 0) *
                        std::max<std::int64_t>(info.BitsPerPixel, 1) / 8;
            }
            const bool small = bytes <= kLargestImage;
            switch (in_.Pick(small ? 4 : 1)) {
                case 0: MemoryTransfer(small); break;
                case 1: NativeTransfer(); break;
                case 2: FileTransfer(TWFF_BMP); break;
                default: FileTransfer(TWFF_TIFF); break;
            }
            MaybeChaos();
            TW_PENDINGXFERS pending{};
            if (in_.Pick(8) == 7) {
                Control(DAT_PENDINGXFERS, MSG_RESET, &pending);
            } else {
                Control(DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
            }
            if (closeRequests_ > 0) break;  // the source asked to be closed
        }
    }

    void NativeTransfer() {
        TW_HANDLE dib = nullptr;
        if (Image(DAT_IMAGENATIVEXFER, in_.Rare() ? MSG_GETCURRENT : MSG_GET, &dib) == TWRC_XFERDONE && dib != nullptr) {
            outcome_.completedTransfer = true;
        }
        Release(dib);
    }

    // A buffer as the application describes it: any length over a handle,
    // honest lengths behind a pointer.
    TW_MEMORY Memory(std::vector<std::uint8_t>& storage) {
        static const TW_UINT32 kLengths[] = {64000, 4096, 8000, 4095, 64001, 0, 16, 100000};
        TW_MEMORY memory{TWMF_APPOWNS | TWMF_POINTER, PickFrom(in_, kLengths), nullptr};
        switch (in_.Pick(8)) {
            case 1:
            case 2: {
                memory.Flags = TWMF_APPOWNS | TWMF_HANDLE;
                std::size_t real = memory.Length;
                if (in_.Pick(2)) real = in_.Pick(2) ? 16 : 5000;  // a small block claimed long
                memory.TheMem = Handle({}, real);
                return memory;
            }
            case 3: memory.Flags = in_.Pick(2) ? 0 : TWMF_APPOWNS; break;
            case 4: memory.Flags = TWMF_HANDLE | TWMF_POINTER; break;  // taken as a handle
            default: break;
        }
        storage.assign(std::max<std::size_t>(memory.Length, 1), 0);
        memory.TheMem = in_.Rare() ? nullptr : storage.data();
        return memory;
    }

    void MemoryTransfer(bool small) {
        TW_SETUPMEMXFER setup{};
        Control(DAT_SETUPMEMXFER, MSG_GET, &setup);
        std::vector<std::uint8_t> storage;
        TW_IMAGEMEMXFER xfer{};
        xfer.Memory = Memory(storage);
        std::int64_t delivered = 0;
        for (int strip = 0; strip < 2000 && steps_ < kMostSteps; ++strip) {
            const TW_UINT16 rc = Image(DAT_IMAGEMEMXFER, MSG_GET, &xfer);
            delivered += xfer.BytesWritten;
            if (rc == TWRC_XFERDONE) {
                if (delivered > 0) outcome_.completedTransfer = true;
                break;
            }
            if (rc != TWRC_SUCCESS) {
                if (!in_.Pick(4)) break;
                xfer.Memory = Memory(storage);  // try again with another buffer
            }
            // Large images and impatient applications stop early.
            if ((!small && delivered > kLargestImage) || in_.Rare()) break;
        }
    }

    // A name inside the session's folder, or one that cannot be made.
    std::string FileName() {
        switch (in_.Pick(8)) {
            case 5: return "";
            case 6: return folder + "/missing/x.bmp";
            case 7: return folder + "/" + std::string(200, 'n');
            default: return folder + (in_.Pick(2) ? "/a.bmp" : "/b.tif");
        }
    }

    void FileTransfer(TW_UINT16 format) {
        if (!in_.Rare()) {
            TW_SETUPFILEXFER setup{};
            const std::string name = FileName();
            std::snprintf(setup.FileName, sizeof setup.FileName, "%s", name.c_str());
            setup.Format = in_.Rare() ? in_.U16() : format;
            Control(DAT_SETUPFILEXFER, MSG_SET, &setup);
            Control(DAT_SETUPFILEXFER, MSG_GET, &setup);
        }
        if (Image(DAT_IMAGEFILEXFER, MSG_GET, nullptr) == TWRC_XFERDONE) outcome_.completedTransfer = true;
    }

    // --- A triplet of the input's own ---

    void RandomTriplet() {
        static const TW_UINT32 kGroups[] = {DG_CONTROL, DG_IMAGE, DG_CONTROL, DG_IMAGE, 0, 4, 0x10001};
        const TW_UINT32 dg = PickFrom(in_, kGroups);
        TW_UINT16 dat = in_.Pick(2) ? PickFrom(in_, kControlDats) : PickFrom(in_, kImageDats);
        if (in_.Rare()) dat = in_.U16();
        TW_UINT16 msg = PickFrom(in_, kMessages);
        if (in_.Rare()) msg = in_.U16();

        TW_IDENTITY stranger = app_;
        stranger.Id = app_.Id + 1;
        pTW_IDENTITY origin = &app_;
        switch (in_.Pick(16)) {
            case 14: origin = nullptr; break;
            case 15: origin = &stranger; break;
            default: break;
        }

        alignas(8) std::array<std::uint8_t, 512> scratch{};
        for (std::size_t i = 0; i < 64; ++i) scratch[i] = in_.U8();
        std::vector<std::uint8_t> storage;
        TW_MEMREF data = scratch.data();
        TW_HANDLE passed = nullptr;
        // Pointers inside the structures are the application's word on its
        // own memory: made real, or null.
        if (dat == DAT_CAPABILITY) {
            const TW_UINT16 capability = in_.Pick(2) ? CapabilityInitTable[in_.Pick(kCapabilityCount)].id : in_.U16();
            TW_CAPABILITY cap = Container(capability, static_cast<std::int16_t>(in_.U16()));
            passed = cap.hContainer;
            std::memcpy(scratch.data(), &cap, sizeof cap);
        } else if (dat == DAT_IMAGEMEMXFER) {
            TW_IMAGEMEMXFER xfer{};
            std::memcpy(&xfer, scratch.data(), sizeof xfer);
            xfer.Memory = Memory(storage);
            std::memcpy(scratch.data(), &xfer, sizeof xfer);
        } else if (dat == DAT_EVENT || msg == MSG_PROCESSEVENT) {
            TW_EVENT event{};
            event.pEvent = in_.Pick(2) ? scratch.data() + 256 : nullptr;
            event.TWMessage = in_.U16();
            std::memcpy(scratch.data(), &event, sizeof event);
        } else if (dat == DAT_SETUPFILEXFER) {
            const std::string name = FileName();
            std::memset(scratch.data(), 0, sizeof(TW_STR255));
            std::memcpy(scratch.data(), name.data(), std::min<std::size_t>(name.size(), sizeof(TW_STR255)));
        } else if (dat == DAT_IMAGENATIVEXFER) {
            std::memset(scratch.data(), 0, sizeof(TW_HANDLE));
        } else if (dat == DAT_EXTIMAGEINFO) {
            // The count of items is the application's word on its memory:
            // made true (the native build cannot look at the memory itself).
            TW_UINT32 count;
            std::memcpy(&count, scratch.data(), sizeof count);
            count %= (scratch.size() - 4) / sizeof(TW_INFO) + 1;
            std::memcpy(scratch.data(), &count, sizeof count);
        }
        if (in_.Rare()) data = nullptr;

        const TW_UINT16 rc = Entry(origin, dg, dat, msg, data);
        if (data == nullptr) return;
        if (dat == DAT_CAPABILITY) {
            TW_CAPABILITY answered;
            std::memcpy(&answered, scratch.data(), sizeof answered);
            if (answered.hContainer != passed) Release(answered.hContainer);
        } else if (dat == DAT_IMAGENATIVEXFER && rc == TWRC_XFERDONE) {
            TW_HANDLE dib;
            std::memcpy(&dib, scratch.data(), sizeof dib);
            Release(dib);
        } else if (dat == DAT_EXTIMAGEINFO && rc == TWRC_SUCCESS) {
            // The frames' blocks are the application's.
            TW_UINT32 count;
            std::memcpy(&count, scratch.data(), sizeof count);
            for (TW_UINT32 i = 0; i < count; ++i) {
                TW_INFO info;
                std::memcpy(&info, scratch.data() + 4 + i * sizeof info, sizeof info);
                if (info.ReturnCode == TWRC_SUCCESS && info.ItemType == TWTY_FRAME) {
                    Release(reinterpret_cast<TW_HANDLE>(info.Item));
                }
            }
        } else if (dat == DAT_CUSTOMDSDATA && msg == MSG_GET && rc == TWRC_SUCCESS) {
            TW_CUSTOMDSDATA setup;
            std::memcpy(&setup, scratch.data(), sizeof setup);
            Release(setup.hData);
        }
    }

    Bytes in_;
    TW_IDENTITY app_{};
    std::vector<platform::GlobalHandle> mine_;
    int steps_ = 0;
    bool previewed_ = false;
    Reentry reentry_ = Reentry::None;
    bool managerRefuses_ = false;
    int depth_ = 0;
    int closeRequests_ = 0;
    SessionOutcome outcome_;
};

TW_UINT16 RecordNotification(TW_UINT16 msg) {
    return currentSession != nullptr ? currentSession->OnNotification(msg) : TW_UINT16{TWRC_SUCCESS};
}

}  // namespace

void PrepareSessions() {
    if (!folder.empty()) return;
    char pattern[] = "/tmp/vorel-session-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    folder = pattern;
}

// The stand-ins are installed for every session: a test program may have
// installed others in between. The first session of a process starts with
// a plain one, so that whatever the module and the scanner make once per
// process is made before any session counts allocations: an input then
// fails the same allocation however often, and in whichever program, it
// is run.
SessionOutcome RunSession(const std::uint8_t* data, std::size_t size) {
    PrepareSessions();
    static bool warmedUp = false;
    if (!warmedUp) {
        warmedUp = true;
        RunSession(nullptr, 0);
    }
    platform::SetProfileFolder(folder);
    SetScannerLibraryForTesting(&SimulatedScannerLibrary());
    SetNotificationHookForTesting(RecordNotification);
    platform::SetMessageBoxHook([](const std::string&, const std::string&, unsigned) { return boxAnswer; });
    Session session{Bytes(data, size)};
    currentSession = &session;
    SessionOutcome outcome = session.Run();
    currentSession = nullptr;
    return outcome;
}

}  // namespace fuzzing
