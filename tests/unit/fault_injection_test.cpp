// Faults at every point of a whole acquisition, one at a time: the n-th
// allocation (global blocks and operator new), the n-th file write, the
// n-th scanner library call. For every n each triplet is answered with a
// code, nothing is left behind, a transfer that answers TWRC_XFERDONE under
// a memory or disk fault delivers exactly the image of a cycle without
// faults, and the next cycle without the fault delivers every image again.
#include "source_fixture.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "imaging/units.h"
#include "platform/fault_injection.h"
#include "protocol/image_transfers.h"

namespace {

using namespace source_test;

enum class Mechanism { Native, Memory, Bmp, Tiff };

// One enabling of the cycle: how the image travels and in which type.
struct Round {
    Mechanism mechanism;
    TW_UINT16 pixelType;
    TW_UINT16 bitDepth;
    bool showUI;  // the user previews and presses "Final Scan"
    TW_INT16 images;  // CAP_XFERCOUNT: a batch sets each next scan up at MSG_ENDXFER
};

const Round kRounds[] = {
    {Mechanism::Native, TWPT_RGB, 24, true, 1},
    {Mechanism::Memory, TWPT_GRAY, 8, false, 2},
    {Mechanism::Bmp, TWPT_BW, 1, false, 1},
    {Mechanism::Tiff, TWPT_RGB, 24, false, 1},
};
constexpr std::size_t kTransfers = 5;
constexpr std::uint64_t kFailedTransfer = 0;

std::uint64_t Fnv(const std::uint8_t* bytes, std::size_t size, std::uint64_t hash = 14695981039346656037ull) {
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    return hash;
}

// The allocations of the test itself are never counted: the point is held
// except while the source runs.
class Unheld {
public:
    Unheld() { platform::AllocationFaults().Hold(false); }
    ~Unheld() { platform::AllocationFaults().Hold(true); }
};

// The scanner is another maker's library with a heap of its own: the
// simulator's allocations are not the source's, and are never failed here.
template <typename Function, Function ScannerLibrary::*Entry>
struct HeldCall;
template <typename Result, typename... Args, Result (*ScannerLibrary::*Entry)(Args...)>
struct HeldCall<Result (*)(Args...), Entry> {
    static Result Call(Args... args) {
        const bool held = platform::AllocationFaults().IsHeld();
        platform::AllocationFaults().Hold(true);
        const Result result = (SimulatedScannerLibrary().*Entry)(args...);
        platform::AllocationFaults().Hold(held);
        return result;
    }
};
#define HELD(entry) HeldCall<decltype(ScannerLibrary::entry), &ScannerLibrary::entry>::Call
const ScannerLibrary kHeldScanner = {
    HELD(OpenScanner),       HELD(DownloadBlock), HELD(GetScanGeometry), HELD(ResetScanner),
    HELD(ReadScanData),      HELD(SetScanResolution), HELD(SetScaling),  HELD(SetScanWindow),
    HELD(UploadBlock),       HELD(InquireParameter), HELD(GetCommandError), HELD(SetParameter),
};
#undef HELD

struct Cycle {
    std::vector<std::uint64_t> images;  // one per transfer; kFailedTransfer when it was refused
    std::string problem;                // the first thing the source got wrong
};

class FaultSweep : public SourceTest {
protected:
    void SetUp() override {
        SourceTest::SetUp();
        // The fixture's record would allocate.
        SetNotificationHookForTesting([](TW_UINT16) -> TW_UINT16 { return TWRC_SUCCESS; });
        SetScannerLibraryForTesting(&kHeldScanner);
        // The scanner stops after 26 lines: every image of the cycle is 25
        // lines tall, and the preview, which would otherwise render the
        // whole bed hundreds of times, makes the same calls and allocations.
        setenv("VOREL_SIM_LINES", "26", 1);
        platform::SetMessageBoxHook([this](const std::string& text, const std::string&, unsigned) {
            platform::AllocationFaults().Hold(true);
            shownBoxes.push_back(text);
            platform::AllocationFaults().Hold(false);
            return platform::kAnswerOk;
        });
    }
    void TearDown() override {
        platform::AllocationFaults().Disarm();
        platform::AllocationFaults().Hold(false);
        platform::FileWriteFaults().Disarm();
        SourceTest::TearDown();
    }

    // A freshly loaded module and a scanner just switched on, one whole
    // cycle, then the module unloaded: what it leaves behind is a problem.
    // `refusalAllowed` judges the condition code of every refusal.
    template <typename Judge>
    Cycle RunFresh(Judge refusalAllowed) {
        theApp.ExitInstance();
        capabilityTable.Clear();
        ResetModuleState();
        headlessWindowLog = HeadlessWindowLog{};
        ResetSimulator();
        theApp.InitInstance(nullptr);
        shownBoxes.clear();
        const long blocks = platform::GlobalBlocksOutstanding();

        Cycle cycle;
        RunCycle(cycle, refusalAllowed);
        if (sourceState != 300) Step(cycle, "MSG_CLOSEDS", Control(DAT_IDENTITY, MSG_CLOSEDS, &sourceId), refusalAllowed);
        {
            Unheld running;
            theApp.ExitInstance();
        }
        if (platform::GlobalBlocksOutstanding() != blocks && cycle.problem.empty()) cycle.problem = "global blocks left";
        if (headlessWindowLog.windowsAlive != 0 && cycle.problem.empty()) cycle.problem = "window left";
        return cycle;
    }

    TW_UINT16 Control(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) { return Entry(DG_CONTROL, dat, msg, data); }
    TW_UINT16 Entry(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        Unheld running;
        return DS_Entry(&app, dg, dat, msg, data);
    }

    // Judges one answer; false when the application must give up (the
    // step was refused, or answered wrongly).
    template <typename Judge>
    bool Step(Cycle& cycle, const std::string& what, TW_UINT16 rc, Judge refusalAllowed) {
        if (rc == TWRC_SUCCESS || rc == TWRC_XFERDONE || rc == TWRC_CHECKSTATUS) return true;
        TW_STATUS status{kSentinel16, 0};
        const TW_UINT16 statusRc = Entry(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        if (cycle.problem.empty()) {
            if (rc != TWRC_FAILURE) {
                cycle.problem = what + " answered " + std::to_string(rc);
            } else if (statusRc != TWRC_SUCCESS || !refusalAllowed(status.ConditionCode)) {
                cycle.problem = what + " refused with condition code " + std::to_string(status.ConditionCode);
            }
        }
        return false;
    }

    TW_UINT16 SetOne(TW_UINT16 capability, TW_UINT16 itemType, TW_UINT32 value) {
        platform::GlobalHandle block = platform::GlobalAllocate(platform::kGmemShareable, sizeof(TW_ONEVALUE));
        {
            platform::LockedBlock locked(block);
            TW_ONEVALUE one{itemType, value};
            std::memcpy(locked.get(), &one, sizeof one);
        }
        TW_CAPABILITY cap{capability, TWON_ONEVALUE, block};
        const TW_UINT16 rc = Control(DAT_CAPABILITY, MSG_SET, &cap);
        if (cap.hContainer != block) platform::GlobalFreeBlock(cap.hContainer);
        platform::GlobalFreeBlock(block);
        return rc;
    }
    TW_UINT16 Get(TW_UINT16 capability, TW_UINT16 msg) {
        TW_CAPABILITY cap{capability, 0, nullptr};
        const TW_UINT16 rc = Control(DAT_CAPABILITY, msg, &cap);
        platform::GlobalFreeBlock(cap.hContainer);
        return rc;
    }

    template <typename Judge>
    void RunCycle(Cycle& cycle, Judge ok) {
        sourceId = TW_IDENTITY{};
        Control(DAT_IDENTITY, MSG_GET, &sourceId);
        sourceId.Id = kSourceId;
        if (!Step(cycle, "MSG_OPENDS", Control(DAT_IDENTITY, MSG_OPENDS, &sourceId), ok)) return;

        TW_IMAGELAYOUT layout{{ToFix32(0), ToFix32(0), ToFix32(300), ToFix32(150)}, 0, 0, 0};  // 1 x 0.5 inch
        if (!Step(cycle, "MSG_SET ICAP_XRESOLUTION", SetOne(ICAP_XRESOLUTION, TWTY_UINT16, 50), ok) ||
            !Step(cycle, "MSG_SET ICAP_YRESOLUTION", SetOne(ICAP_YRESOLUTION, TWTY_UINT16, 50), ok) ||
            !Step(cycle, "MSG_GET CAP_SUPPORTEDCAPS", Get(CAP_SUPPORTEDCAPS, MSG_GET), ok) ||
            !Step(cycle, "MSG_GET ICAP_PIXELTYPE", Get(ICAP_PIXELTYPE, MSG_GET), ok) ||
            !Step(cycle, "MSG_GET ICAP_XRESOLUTION", Get(ICAP_XRESOLUTION, MSG_GET), ok) ||
            !Step(cycle, "MSG_SET DAT_IMAGELAYOUT", Entry(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), ok)) {
            return;
        }
        for (const Round& round : kRounds) {
            if (!RunRound(cycle, round, ok)) return;
        }
        Step(cycle, "MSG_CLOSEDS", Control(DAT_IDENTITY, MSG_CLOSEDS, &sourceId), ok);
    }

    template <typename Judge>
    bool RunRound(Cycle& cycle, const Round& round, Judge ok) {
        const TW_UINT16 mech = round.mechanism == Mechanism::Native   ? TWSX_NATIVE
                               : round.mechanism == Mechanism::Memory ? TWSX_MEMORY
                                                                      : TWSX_FILE;
        if (!Step(cycle, "MSG_SET CAP_XFERCOUNT", SetOne(CAP_XFERCOUNT, TWTY_INT16, round.images), ok) ||
            !Step(cycle, "MSG_SET ICAP_PIXELTYPE", SetOne(ICAP_PIXELTYPE, TWTY_UINT16, round.pixelType), ok) ||
            !Step(cycle, "MSG_SET ICAP_BITDEPTH", SetOne(ICAP_BITDEPTH, TWTY_UINT16, round.bitDepth), ok) ||
            !Step(cycle, "MSG_SET ICAP_XFERMECH", SetOne(ICAP_XFERMECH, TWTY_UINT16, mech), ok)) {
            return false;
        }
        TW_SETUPFILEXFER file{};
        const std::string path = folder + (round.mechanism == Mechanism::Tiff ? "/scan.tif" : "/scan.bmp");
        if (mech == TWSX_FILE) {
            std::snprintf(file.FileName, sizeof file.FileName, "%s", path.c_str());
            file.Format = round.mechanism == Mechanism::Tiff ? TWFF_TIFF : TWFF_BMP;
            if (!Step(cycle, "MSG_SET DAT_SETUPFILEXFER", Control(DAT_SETUPFILEXFER, MSG_SET, &file), ok)) return false;
        }

        TW_USERINTERFACE ui{static_cast<TW_BOOL>(round.showUI), 0, nullptr};
        if (!Step(cycle, "MSG_ENABLEDS", Control(DAT_USERINTERFACE, MSG_ENABLEDS, &ui), ok)) return false;
        if (round.showUI) {
            // The dialog's window turns an exception into a message not
            // handled; the user then sees nothing happen.
            Unheld running;
            try {
                Dialog().PreviewScan();
                Dialog().FinalScan();
            } catch (...) {
            }
        }
        // No transfer ready (no scanner, or the press failed): the user
        // closes the dialog and the application closes the source.
        if (sourceState != 600) return false;

        for (int image = 0; image < round.images; ++image) {
            TW_IMAGEINFO info{};
            if (!Step(cycle, "MSG_GET DAT_IMAGEINFO", Entry(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), ok) ||
                !Transfer(cycle, round.mechanism, path, ok)) {
                return false;
            }
            TW_PENDINGXFERS pending{};
            if (!Step(cycle, "MSG_ENDXFER", Control(DAT_PENDINGXFERS, MSG_ENDXFER, &pending), ok)) return false;
        }
        return Step(cycle, "MSG_DISABLEDS", Control(DAT_USERINTERFACE, MSG_DISABLEDS, &ui), ok);
    }

    template <typename Judge>
    bool Transfer(Cycle& cycle, Mechanism mechanism, const std::string& path, Judge ok) {
        std::uint64_t digest = Fnv(nullptr, 0);
        TW_UINT16 rc = TWRC_FAILURE;
        std::string what;
        if (mechanism == Mechanism::Native) {
            what = "DAT_IMAGENATIVEXFER";
            TW_HANDLE dib = nullptr;
            rc = Entry(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
            if (rc == TWRC_XFERDONE) {
                platform::LockedBlock block(dib);
                if (block) digest = Fnv(block.bytes(), platform::GlobalBlockSize(dib));
            }
            platform::GlobalFreeBlock(dib);
        } else if (mechanism == Mechanism::Memory) {
            what = "DAT_IMAGEMEMXFER";
            std::vector<std::uint8_t> buffer(4096);
            for (int strip = 0; strip < 1000; ++strip) {
                TW_IMAGEMEMXFER xfer{};
                xfer.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
                rc = Entry(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
                if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) break;
                digest = Fnv(buffer.data(), std::min<std::size_t>(xfer.BytesWritten, buffer.size()), digest);
                if (rc == TWRC_XFERDONE) break;
            }
        } else {
            what = "DAT_IMAGEFILEXFER";
            // The file holds what the last transfer that succeeded wrote (or
            // nothing yet); a failed transfer must leave it so. Read once,
            // after the transfer, so that every cycle allocates alike.
            std::uint64_t& lastWritten = lastWritten_[mechanism == Mechanism::Tiff ? 0 : 1];
            rc = Entry(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
            std::ifstream in(path, std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            const std::uint64_t held = Fnv(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            if (rc == TWRC_XFERDONE) {
                digest = held;
                lastWritten = held;
            } else if (held != lastWritten && cycle.problem.empty()) {
                cycle.problem = "a failed file transfer changed the file (" + std::to_string(bytes.size()) + " bytes)";
            }
        }
        cycle.images.push_back(rc == TWRC_XFERDONE ? digest : kFailedTransfer);
        return Step(cycle, what, rc, ok);
    }

    // Images of transfers that succeeded must be those of the clean cycle.
    static std::string Compare(const Cycle& faulty, const Cycle& clean) {
        for (std::size_t i = 0; i < faulty.images.size() && i < clean.images.size(); ++i) {
            if (faulty.images[i] != kFailedTransfer && faulty.images[i] != clean.images[i]) {
                return "transfer " + std::to_string(i) + " answered TWRC_XFERDONE with another image";
            }
        }
        return "";
    }

    TW_IDENTITY sourceId{};
    std::vector<std::string> shownBoxes;
    // What the last file transfer that succeeded left in each format's file.
    std::uint64_t lastWritten_[2] = {Fnv(nullptr, 0), Fnv(nullptr, 0)};
};

const auto kAnyRefusal = [](TW_UINT16 cc) { return cc != TWCC_SUCCESS; };
const auto kLowMemory = [](TW_UINT16 cc) { return cc == TWCC_LOWMEMORY; };

// At most this many failing points are reported, so one fault does not
// bury the rest of the output.
constexpr int kReportedFailures = 8;

TEST_F(FaultSweep, EveryAllocationOfACycleFailsInTurn) {
    // A cycle first that counts nothing: what the process allocates once
    // (the simulator's page, the transfer name's room) must not be counted
    // as a point of every cycle.
    RunFresh(kAnyRefusal);
    platform::AllocationFaults().Arm(0);
    platform::AllocationFaults().Hold(true);
    const Cycle clean = RunFresh(kAnyRefusal);
    const long points = platform::AllocationFaults().Counted();
    ASSERT_EQ(clean.problem, "");
    ASSERT_EQ(clean.images.size(), kTransfers);
    ASSERT_GT(points, 0);

    int failures = 0;
    long n = 1;
    for (; failures < kReportedFailures; ++n) {
        platform::AllocationFaults().Arm(n);
        platform::AllocationFaults().Hold(true);
        Cycle faulty = RunFresh(kLowMemory);
        const bool reached = platform::AllocationFaults().Failed();
        platform::AllocationFaults().Disarm();
        if (faulty.problem.empty()) faulty.problem = Compare(faulty, clean);
        const Cycle after = RunFresh(kAnyRefusal);
        failures += !faulty.problem.empty() || after.images != clean.images;
        EXPECT_EQ(faulty.problem, "") << "allocation " << n << " failed";
        EXPECT_EQ(after.images, clean.images) << "the cycle after allocation " << n << " failed";
        if (!reached) break;
    }
    EXPECT_GE(n, points) << "every allocation of the clean cycle was failed once";
    std::printf("allocation points failed in turn: %ld\n", n - 1);
}

TEST_F(FaultSweep, EveryFileWriteOfACycleFailsInTurn) {
    platform::FileWriteFaults().Arm(0);
    const Cycle clean = RunFresh(kAnyRefusal);
    const long points = platform::FileWriteFaults().Counted();
    platform::FileWriteFaults().Disarm();
    ASSERT_EQ(clean.problem, "");
    ASSERT_GT(points, 2) << "the BMP and the TIFF file are written";

    for (long n = 1; n <= points; ++n) {
        platform::FileWriteFaults().Arm(n);
        Cycle faulty = RunFresh(kAnyRefusal);
        platform::FileWriteFaults().Disarm();
        if (faulty.problem.empty()) faulty.problem = Compare(faulty, clean);
        EXPECT_EQ(faulty.problem, "") << "file write " << n << " failed";
        EXPECT_EQ(std::count(faulty.images.begin(), faulty.images.end(), kFailedTransfer), 1)
            << "file write " << n << ": the one file transfer it hit fails";
        EXPECT_EQ(RunFresh(kAnyRefusal).images, clean.images) << "the cycle after file write " << n;
    }
    std::printf("file-write points failed in turn: %ld\n", points);
}

TEST_F(FaultSweep, EveryScannerCallOfACycleFailsInTurn) {
    const std::string log = folder + "/calls.log";
    Simulate("VOREL_SIM_LOG", log.c_str());
    const Cycle clean = RunFresh(kAnyRefusal);
    unsetenv("VOREL_SIM_LOG");
    ASSERT_EQ(clean.problem, "");
    std::ifstream in(log);
    const long calls = std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
    ASSERT_GT(calls, 20);

    for (long n = 1; n <= calls; ++n) {
        setenv("VOREL_SIM_FAIL_AT", std::to_string(n).c_str(), 1);
        const Cycle faulty = RunFresh(kAnyRefusal);
        unsetenv("VOREL_SIM_FAIL_AT");
        EXPECT_EQ(faulty.problem, "") << "scanner call " << n << " failed";
        for (const std::string& box : shownBoxes) {
            // A read that fails part-way is a scan that stopped early (114).
            const bool documented = box.find("  [106]") != std::string::npos ||
                                    box.find("  [107]") != std::string::npos || box.find("  [114]") != std::string::npos;
            EXPECT_TRUE(documented) << "scanner call " << n << " showed \"" << box << "\"";
        }
        EXPECT_EQ(RunFresh(kAnyRefusal).images, clean.images) << "the cycle after scanner call " << n;
    }
    std::printf("scanner-call points failed in turn: %ld\n", calls);
}

}  // namespace

namespace {

// The reader's line buffer is the allocation after the image's own block:
// an image never read is refused for memory, never delivered blank.
TEST_F(FaultSweep, ALostLineBufferIsLowMemoryNotABlankImage) {
    for (const TW_UINT16 dat : {DAT_IMAGENATIVEXFER, DAT_IMAGEFILEXFER}) {
        ASSERT_EQ(SourceTest::Open(), TWRC_SUCCESS) << dat;
        ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
        TW_SETUPFILEXFER file{};
        std::snprintf(file.FileName, sizeof file.FileName, "%s/lost.bmp", folder.c_str());
        file.Format = TWFF_BMP;
        ASSERT_EQ(SourceTest::Control(DAT_SETUPFILEXFER, MSG_SET, &file), TWRC_SUCCESS);
        ASSERT_EQ(SourceTest::Enable(false), TWRC_SUCCESS);

        TW_HANDLE dib = nullptr;
        platform::FailGlobalAllocationsAfter(1);
        EXPECT_EQ(Call(DG_IMAGE, dat, MSG_GET, &dib), TWRC_FAILURE) << dat;
        platform::FailGlobalAllocationsAfter(-1);
        EXPECT_EQ(Status(), TWCC_LOWMEMORY) << dat;
        EXPECT_EQ(dib, nullptr) << dat;
        ASSERT_EQ(SourceTest::Close(), TWRC_SUCCESS);
    }
}

}  // namespace
