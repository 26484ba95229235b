// The scanner library behind a process boundary, with the helper played in
// process: a fake channel runs the helper's side against the simulated
// scanner and can fail any one exchange in the ways a broken or hostile
// helper would. A scan through it must equal the scan made in process; a
// fault at any point must leave the source with a scanner that stopped
// answering, never with bytes the helper had no right to place, and the
// next session must scan again.
#if VOREL_HAVE_SIM
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/remote_scanner.h"
#include "device/scanner_device.h"
#include "imaging/dib_format.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "simulated_library.h"

#include <unistd.h>

namespace {

enum class Fault { None, Fail, Short, Oversize, WrongCall };

struct FakeHelper {
    std::size_t sectionSize = 1u << 20;
    Fault fault = Fault::None;
    int faultAt = -1;  // the exchange or stream batch that goes wrong, counted from 0 across helpers
    int exchanges = 0;
    int started = 0;
    bool connects = true;
    bool faultInBatch = false;
};
FakeHelper fake;

// The helper's side run in process: a stream fills the ring whenever the
// source waits for it, as far as the ring has room.
class FakeChannel : public remote::Channel {
public:
    FakeChannel() : section_(fake.sectionSize) {}
    bool Post(const remote::Bytes& request) override {
        remote::Request q;
        streaming_ = remote::DecodeRequest(request.data(), request.size(), &q) &&
                     host_.Begin(q, section_.data(), section_.size());
        if (!streaming_) {
            reply_ = remote::Serve(SimulatedScannerLibrary(), request.data(), request.size(), section_.data(),
                                   section_.size());
        }
        return true;
    }
    bool Collect(remote::Bytes* reply) override {
        if (streaming_ && host_.Fill(SimulatedScannerLibrary(), Ignore, nullptr) != remote::StreamHost::Step::Finished) {
            return false;  // a helper whose ring is full never answers
        }
        *reply = streaming_ ? host_.FinalReply() : reply_;
        streaming_ = false;
        if (fake.exchanges++ != fake.faultAt) return true;
        switch (fake.fault) {
            case Fault::Fail:
                return false;
            case Fault::Short:
                reply->pop_back();
                break;
            case Fault::Oversize:
                // Claims one byte (or read) more than the section holds.
                reply->at(8) = static_cast<std::uint8_t>(section_.size() + 1);
                reply->at(9) = static_cast<std::uint8_t>((section_.size() + 1) >> 8);
                reply->at(10) = static_cast<std::uint8_t>((section_.size() + 1) >> 16);
                break;
            case Fault::WrongCall:
                reply->at(0) ^= 1;
                break;
            case Fault::None:
                break;
        }
        return true;
    }
    bool AwaitData() override {
        const bool faulty = fake.exchanges++ == fake.faultAt;
        fake.faultInBatch |= faulty;
        // A batch cut short: the helper ends the stream early, which the source must simply go on from.
        if (faulty && fake.fault == Fault::Short) Set(remote::control::kStop, 1);
        host_.Fill(SimulatedScannerLibrary(), Ignore, nullptr);
        const std::uint32_t published = Get(remote::control::kPublished);
        if (!faulty || published == 0) return !(faulty && fake.fault == Fault::Fail);
        switch (fake.fault) {
            case Fault::Fail:
                return false;
            case Fault::Oversize: {
                // Every read claims more bytes than it was asked for.
                std::uint8_t* result = section_.data() + remote::control::kResults;
                for (std::uint32_t slot = 0; slot < remote::kMaxSlots; ++slot) std::memset(result + 8 * slot, 0xFF, 3);
                break;
            }
            case Fault::WrongCall:
                // More reads than the ring has slots for.
                Set(remote::control::kPublished, published + 257);
                break;
            default:
                break;
        }
        return true;
    }
    bool Connect() override { return fake.connects; }
    void WakeHelper() override {}
    std::uint8_t* Section() override { return section_.data(); }
    std::size_t SectionSize() const override { return section_.size(); }

private:
    static void Ignore(void*) {}
    std::uint32_t Get(std::size_t word) { return *reinterpret_cast<std::uint32_t*>(section_.data() + word); }
    void Set(std::size_t word, std::uint32_t value) { *reinterpret_cast<std::uint32_t*>(section_.data() + word) = value; }

    std::vector<std::uint8_t> section_;
    remote::StreamHost host_;
    bool streaming_ = false;
    remote::Bytes reply_;
};

std::unique_ptr<remote::Channel> StartFake() {
    ++fake.started;
    return std::unique_ptr<remote::Channel>(new FakeChannel);
}

class RemoteScannerTest : public testing::Test {
protected:
    void SetUp() override {
        unsetenv("VOREL_SIM_LINES");
        ResetSimulator();
        fake = FakeHelper{};
        platform::SetMessageBoxHook([this](const std::string& text, const std::string&, unsigned) {
            boxes.push_back(text);
            return platform::kAnswerOk;
        });
        // The tone map's settings are written back to a profile of the test's own.
        char folder[] = "/tmp/vorel_remoteXXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        profileFolder = folder;
        platform::SetProfileFolder(profileFolder);
    }
    void TearDown() override {
        std::remove((profileFolder + "/vorelsrc.ini").c_str());
        rmdir(profileFolder.c_str());
        remote::SetRemoteScanner(nullptr);
        SetScannerLibraryForTesting(nullptr);
        platform::SetMessageBoxHook(nullptr);
        ResetSimulator();
    }

    // How a session's scan ended, as the device tells it.
    struct Ending {
        bool setUp = false;  // the final scan was set up, and its rows read
        bool jammed = false;
        bool stoppedAnswering = false;
        bool halted = false;
        bool lost = false;  // the helper was lost by the time the rows were read
    };

    // One session as the source has it: open, a colour final scan of a
    // strip of the bed read bottom-up into DIB rows, close. Returns the rows.
    std::vector<std::uint8_t> Session(Ending* ending = nullptr) {
        std::vector<std::uint8_t> dib;
        {
            ScannerDevice device;
            device.SetWindowHandle(reinterpret_cast<void*>(0x1234));
            const std::uint16_t strip[5] = {100, 200, 300, 900, 700};
            const bool setUp = device.SetupFinalScan(100, 100, 24, strip, 0);
            if (setUp) {
                const int bytesPerLine = device.GetBytesPerLine(), lines = device.GetLineCount();
                dib.assign(std::size_t(RowStride(bytesPerLine > 0 ? bytesPerLine : 0)) * (lines > 0 ? lines : 0), 0xEE);
                device.ReadImageToDIB(bytesPerLine, lines, dib.data(), dib.size(), true);
            }
            if (ending != nullptr) {
                *ending = {setUp, device.Jammed(), device.StoppedAnswering(), device.Halted(),
                           remote::CurrentScannerLost()};
            }
            Scanner().OpenScanner(0x1234, 0);
        }
        return dib;
    }

    // Each read's status, count and bytes for reads of these sizes from the
    // start of a scan (0: the lines asked in between).
    std::vector<std::string> Reads(const std::vector<std::int32_t>& sizes) {
        std::vector<std::string> results;
        ScannerDevice device;
        device.SetWindowHandle(reinterpret_cast<void*>(0x1234));
        const std::uint16_t strip[5] = {100, 200, 300, 900, 700};
        EXPECT_TRUE(device.SetupFinalScan(100, 100, 24, strip, 0));
        std::vector<char> buffer(64000);
        std::int16_t mode = 2;
        for (std::int32_t size : sizes) {
            std::int16_t lines = 0;
            std::int32_t got = -1;
            const std::int16_t status = size == 0 ? Scanner().InquireParameter(53, 82, &lines)
                                                  : Scanner().ReadScanData(mode, buffer.data(), size, &got);
            mode = size == 0 ? mode : 0;
            results.push_back(std::to_string(status) + " " + std::to_string(size == 0 ? lines : got) + " " +
                              std::string(buffer.data(), static_cast<std::size_t>(std::max(got, 0))));
        }
        Scanner().OpenScanner(0x1234, 0);
        return results;
    }

    // The simulated library's log of the calls `run` makes, up to the
    // scanner's release (which ends a helper, and its library with it).
    template <typename Run>
    std::string Logged(Run run) {
        const std::string log = profileFolder + "/calls.log";
        setenv("VOREL_SIM_LOG", log.c_str(), 1);
        ResetSimulator();
        run();
        unsetenv("VOREL_SIM_LOG");
        std::stringstream text;
        text << std::ifstream(log).rdbuf();
        std::remove(log.c_str());
        const std::string calls = text.str();
        const std::size_t release = calls.find("OpenScanner(4660, 0)");
        return release == std::string::npos ? calls : calls.substr(0, calls.find('\n', release) + 1);
    }

    void UseRemote(remote::RemoteScanner& scanner) {
        remote::SetRemoteScanner(&scanner);
        SetScannerLibraryForTesting(&remote::RemoteTable());
    }

    std::vector<std::string> boxes;
    std::string profileFolder;
};

TEST_F(RemoteScannerTest, ScansAsTheLibraryInProcessAtAnySectionSize) {
    SetScannerLibraryForTesting(&SimulatedScannerLibrary());
    std::vector<std::uint8_t> inProcess;
    const std::string calls = Logged([&] { inProcess = Session(); });
    ASSERT_GT(inProcess.size(), 64000u * 2) << "several reads";

    for (std::size_t ring : {std::size_t(1) << 20, std::size_t(1000), std::size_t(1)}) {
        ResetSimulator();
        fake = FakeHelper{};
        fake.sectionSize = remote::kControlBytes + ring;
        remote::RemoteScanner scanner(StartFake);
        UseRemote(scanner);
        std::vector<std::uint8_t> rows;
        const std::string remoteCalls = Logged([&] { rows = Session(); });
        EXPECT_EQ(rows, inProcess) << "ring of " << ring;
        // A ring that holds the reads whole asks the library exactly what the source in process asks.
        if (ring > 64000) {
            EXPECT_EQ(remoteCalls, calls);
        }
        EXPECT_EQ(fake.started, 1);
        EXPECT_FALSE(scanner.Running()) << "closing ends the helper";
        EXPECT_FALSE(scanner.Lost());
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(RemoteScannerTest, EveryExchangeCanFailAndTheNextSessionScans) {
    SetScannerLibraryForTesting(&SimulatedScannerLibrary());
    const std::vector<std::uint8_t> good = Session();
    ResetSimulator();
    remote::RemoteScanner scanner(StartFake);
    UseRemote(scanner);
    Session();
    const int perSession = fake.exchanges;
    ASSERT_GT(perSession, 20);

    int haltedSessions = 0;
    for (Fault kind : {Fault::Fail, Fault::Short, Fault::Oversize, Fault::WrongCall}) {
        for (int at = 0; at < perSession; ++at) {
            SCOPED_TRACE(testing::Message() << "fault " << int(kind) << " at exchange " << at);
            ResetSimulator();
            fake = FakeHelper{};
            fake.fault = kind;
            fake.faultAt = at;
            boxes.clear();
            Ending ending;
            const std::vector<std::uint8_t> broken = Session(&ending);
            // The broken session never holds bytes the scan did not send:
            // whatever it got is a prefix of the good rows' lines or zero.
            if (broken.size() == good.size()) {
                for (std::size_t i = 0; i < broken.size(); ++i) {
                    if (broken[i] != good[i] && broken[i] != 0) FAIL() << "byte " << i;
                }
            }
            // A stream the helper ends early is only a shorter stream.
            if (kind == Fault::Short && fake.faultInBatch) {
                EXPECT_EQ(broken, good);
            }
            // A helper lost by the time the rows are read (at a read, or at
            // a question before the first) halts the scan as a scanner that
            // stopped answering, never as a jam, and tells the user once.
            EXPECT_FALSE(ending.jammed);
            EXPECT_EQ(ending.halted, ending.stoppedAnswering);
            if (ending.setUp) {
                EXPECT_EQ(ending.stoppedAnswering, ending.lost);
            }
            if (ending.stoppedAnswering) {
                ASSERT_EQ(boxes.size(), 1u);
                EXPECT_NE(boxes[0].find("[107]"), std::string::npos) << boxes[0];
            }
            haltedSessions += ending.halted;
            EXPECT_FALSE(scanner.Running()) << "closing ended the broken helper";
            // The next session starts a new helper and scans whole.
            ResetSimulator();
            const int before = fake.started;
            EXPECT_EQ(Session(), good);
            EXPECT_EQ(fake.started, before + 1);
        }
    }
    EXPECT_GE(haltedSessions, 4 * 2) << "the sweep reaches the reads";
}

TEST_F(RemoteScannerTest, EveryReadAnswersAsInProcessWhereverTheScanEnds) {
    // 63900 bytes are 71 lines; the scan has 233 lines, 100 when it stops
    // early, 116 when the sheet jams, and some reads end exactly there.
    const std::vector<std::vector<std::int32_t>> patterns = {
        {63900, 63900, 63900, 63900, 63900},
        {63900, 26100, 900, 0, 63900, 63900},
        {63900, 40500, 0, 900, 63900},
        {1000, 64000, 0, 64000, 30000, 64000, 64000, 64000},
    };
    const std::vector<std::vector<const char*>> endings = {
        {}, {"VOREL_SIM_LINES", "100"}, {"VOREL_SIM_FEEDER", "loaded", "VOREL_SIM_JAM", "1"}};
    int failed = 0;
    for (const auto& ending : endings) {
        for (std::size_t i = 0; i + 1 < ending.size(); i += 2) setenv(ending[i], ending[i + 1], 1);
        for (const auto& sizes : patterns) {
            SCOPED_TRACE(testing::Message() << (ending.empty() ? "whole" : ending[0]) << ", reads from " << sizes[1]);
            SetScannerLibraryForTesting(&SimulatedScannerLibrary());
            std::vector<std::string> inProcess, remotely;
            const std::string calls = Logged([&] { inProcess = Reads(sizes); });
            fake = FakeHelper{};
            remote::RemoteScanner scanner(StartFake);
            UseRemote(scanner);
            const std::string remoteCalls = Logged([&] { remotely = Reads(sizes); });
            EXPECT_EQ(remotely, inProcess);
            if (sizes[1] == sizes[0]) {
                EXPECT_EQ(remoteCalls, calls) << "reads of one size are the library's own";
            }
            for (const std::string& read : inProcess) failed += read.rfind("-12 ", 0) == 0;
        }
        for (std::size_t i = 0; i < ending.size(); i += 2) unsetenv(ending[i]);
    }
    EXPECT_GT(failed, 0) << "the jam is met";
}

TEST_F(RemoteScannerTest, AHelperThatCannotStartIsAScannerThatCannotBeOpened) {
    remote::RemoteScanner scanner([]() { return std::unique_ptr<remote::Channel>(); });
    UseRemote(scanner);
    EXPECT_TRUE(Session().empty());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("[106]"), std::string::npos) << boxes[0];
    EXPECT_FALSE(scanner.Running());
}

TEST_F(RemoteScannerTest, AHelperStartedBeforeTheOpeningIsTheOneUsedOrEndedUnasked) {
    struct Case {
        const char* what;
        bool opens, connects;
        std::int16_t status;
    } cases[] = {
        {"opened", true, true, 0},
        {"released before any opening", false, true, 0},
        {"never connects", true, false, remote::kCannotStart},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake = FakeHelper{};
        fake.connects = c.connects;
        remote::RemoteScanner scanner(StartFake);
        scanner.Prepare();
        scanner.Prepare();
        EXPECT_EQ(fake.started, 1) << "one helper however often it is prepared";
        EXPECT_EQ(scanner.OpenScanner(0x1234, c.opens ? 1 : 0), c.status);
        EXPECT_EQ(fake.started, 1) << "the opening takes the helper already started";
        EXPECT_EQ(scanner.Running(), c.opens && c.connects);
        EXPECT_EQ(fake.exchanges, c.opens && c.connects ? 1 : 0);
        scanner.End();
    }
}

// A helper that did not connect (hung at its start, or gone before it)
// is given up once: the questions after it in the same opening answer at
// once that the scanner cannot be opened, with no new helper each; the
// scanner's release, or the next opening, tries again.
TEST_F(RemoteScannerTest, AStartThatFailedIsNotRetriedByEveryQuestionOfTheOpening) {
    fake.connects = false;
    remote::RemoteScanner scanner(StartFake);
    UseRemote(scanner);
    scanner.Prepare();
    {
        ScannerDevice device;
        device.SetWindowHandle(reinterpret_cast<void*>(0x1234));
        for (int question = 0; question < 3; ++question) {
            EXPECT_EQ(device.GetKind(), 0) << "question " << question;
        }
        EXPECT_FALSE(device.SetupPreview(30));
        const std::uint16_t window[5] = {100, 0, 0, 300, 300};
        EXPECT_FALSE(device.SetupFinalScan(100, 100, 8, window, 0));
    }
    EXPECT_EQ(fake.started, 1) << "one start, however many questions";
    EXPECT_FALSE(scanner.Running());
    ASSERT_FALSE(boxes.empty());
    for (const std::string& box : boxes) EXPECT_NE(box.find("[106]"), std::string::npos) << box;

    fake.connects = true;
    EXPECT_EQ(scanner.OpenScanner(0x1234, 1), remote::kCannotStart) << "still the same opening";
    EXPECT_EQ(scanner.OpenScanner(0x1234, 0), 0) << "released";
    EXPECT_EQ(scanner.OpenScanner(0x1234, 1), 0) << "the next opening starts a helper";
    EXPECT_EQ(fake.started, 2);
    EXPECT_EQ(scanner.OpenScanner(0x1234, 0), 0);
    fake.connects = false;
    scanner.Prepare();
    EXPECT_EQ(scanner.OpenScanner(0x1234, 1), remote::kCannotStart);
    scanner.Prepare();
    fake.connects = true;
    EXPECT_EQ(scanner.OpenScanner(0x1234, 1), 0) << "a new opening of the source starts a helper";
    EXPECT_EQ(fake.started, 4);
    scanner.End();
}

// The mailbox between two threads playing the two processes, each side's
// sleep a bounded wait for the other's ring: every call gets its own reply
// whether each side looks for the other's message or sleeps at once.
class Doorbell {
public:
    void Ring() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++rings_;
        changed_.notify_one();
    }
    bool Sleep() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::seconds(5), [&] { return rings_ > 0; })) return false;
        --rings_;
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int rings_ = 0;
};

TEST(CallMailbox, EveryCallGetsItsOwnReplyWhetherEitherSideLooksOrSleeps) {
    for (int helperLooks : {0, 20}) {
        for (int sourceLooks : {0, 20}) {
            SCOPED_TRACE(testing::Message() << "helper looks " << helperLooks << " us, source " << sourceLooks);
            std::vector<std::uint8_t> section(remote::kControlBytes);
            Doorbell helperBell, sourceBell;
            std::atomic<bool> over{false};
            std::thread helper([&] {
                remote::CallDesk desk(section.data());
                while (desk.Await(remote::Spin(helperLooks), [&] { return helperBell.Sleep() && !over; })) {
                    remote::Request q;
                    remote::Reply r;
                    const remote::Bytes request = desk.Take();
                    if (remote::DecodeRequest(request.data(), request.size(), &q)) r.got = q.count;
                    if (desk.Answer(remote::EncodeReply(r))) sourceBell.Ring();
                }
            });
            remote::CallBox box(section.data());
            int answered = 0;
            for (int call = 1; call <= 3000; ++call) {
                remote::Request q;
                q.count = call;
                if (box.Post(remote::EncodeRequest(q))) helperBell.Ring();
                remote::Bytes bytes;
                remote::Reply r;
                if (!box.Collect(remote::Spin(sourceLooks), [&] { return sourceBell.Sleep(); }, &bytes) ||
                    !remote::DecodeReply(bytes.data(), bytes.size(), &r) || r.got != call) {
                    break;
                }
                answered = call;
            }
            EXPECT_EQ(answered, 3000);
            over = true;
            helperBell.Ring();
            helper.join();
        }
    }
}

TEST(CallMailbox, AHelperThatWakesWithNoReplyOrAMalformedOneIsGivenUp) {
    std::vector<std::uint8_t> section(remote::kControlBytes);
    remote::CallBox box(section.data());
    remote::CallDesk desk(section.data());
    remote::Bytes reply;
    int wakes = 0;
    box.Post(remote::Bytes(remote::kHeaderSize));
    EXPECT_FALSE(box.Collect(remote::Spin(0), [&] { return ++wakes < 1000; }, &reply));
    EXPECT_EQ(wakes, 64) << "woken again and again with nothing";
    // A reply whose length is past what a message can be is not read.
    ASSERT_TRUE(desk.Await(remote::Spin(0), [] { return false; }));
    desk.Take();
    desk.Answer(remote::Bytes(remote::kHeaderSize));
    section[remote::control::kReply + 1] = 0xFF;
    EXPECT_FALSE(box.Collect(remote::Spin(0), [] { return false; }, &reply));
    EXPECT_TRUE(reply.empty());
}

TEST_F(RemoteScannerTest, HostileMessagesNeverDecodeIntoMoreThanTheyHold) {
    // Both ends take any bytes: the helper answers every request with one
    // well-formed reply or none, and no reply decodes with a payload that
    // is not all inside the message.
    std::mt19937 random(7);
    std::vector<std::uint8_t> section(4096);
    for (int round = 0; round < 20000; ++round) {
        remote::Request q;
        q.call = static_cast<std::uint16_t>(random() % 32);
        q.a = static_cast<std::int16_t>(random());
        q.b = static_cast<std::int16_t>(random());
        q.count = static_cast<std::int32_t>(random());
        q.payload.resize(random() % 300);
        remote::Bytes bytes = remote::EncodeRequest(q);
        for (int flips = random() % 4; flips > 0 && !bytes.empty(); --flips) bytes[random() % bytes.size()] = random();
        const remote::Bytes reply = remote::Serve(SimulatedScannerLibrary(), bytes.data(), bytes.size(),
                                                  section.data(), section.size());
        remote::Reply r;
        if (reply.empty()) continue;
        ASSERT_TRUE(remote::DecodeReply(reply.data(), reply.size(), &r));
        ASSERT_LE(r.payload.size(), remote::kMaxPayload);
        ASSERT_GE(r.got, 0);
        ASSERT_LE(static_cast<std::size_t>(r.got), section.size());
    }
}

}  // namespace
#endif
