// The scanner library behind a process boundary, with the helper played in
// process: a fake channel runs the helper's side against the simulated
// scanner and can fail any one exchange in the ways a broken or hostile
// helper would. A scan through it must equal the scan made in process; a
// fault at any point must leave the source with a scanner that stopped
// answering, never with bytes the helper had no right to place, and the
// next session must scan again.
#if VOREL_HAVE_SIM
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
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
    int faultAt = -1;  // the exchange that goes wrong, counted from 0 across helpers
    int exchanges = 0;
    int started = 0;
};
FakeHelper fake;

class FakeChannel : public remote::Channel {
public:
    FakeChannel() : section_(fake.sectionSize) {}
    bool Exchange(const remote::Bytes& request, remote::Bytes* reply) override {
        *reply = remote::Serve(SimulatedScannerLibrary(), request.data(), request.size(), section_.data(),
                               section_.size());
        if (fake.exchanges++ != fake.faultAt) return true;
        switch (fake.fault) {
            case Fault::Fail:
                return false;
            case Fault::Short:
                reply->pop_back();
                break;
            case Fault::Oversize:
                // Claims one byte more than the section holds.
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
    const std::uint8_t* Section() const override { return section_.data(); }
    std::size_t SectionSize() const override { return section_.size(); }

private:
    std::vector<std::uint8_t> section_;
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

    // One session as the source has it: open, a colour final scan of a
    // strip of the bed read bottom-up into DIB rows, close. Returns the rows.
    std::vector<std::uint8_t> Session(bool* jammed = nullptr) {
        std::vector<std::uint8_t> dib;
        {
            ScannerDevice device;
            device.SetWindowHandle(reinterpret_cast<void*>(0x1234));
            const std::uint16_t strip[5] = {100, 200, 300, 900, 700};
            if (device.SetupFinalScan(100, 100, 24, strip, 0)) {
                const int bytesPerLine = device.GetBytesPerLine(), lines = device.GetLineCount();
                dib.assign(std::size_t(RowStride(bytesPerLine > 0 ? bytesPerLine : 0)) * (lines > 0 ? lines : 0), 0xEE);
                device.ReadImageToDIB(bytesPerLine, lines, dib.data(), dib.size(), true);
            }
            if (jammed != nullptr) *jammed = device.Jammed();
            Scanner().OpenScanner(0x1234, 0);
        }
        return dib;
    }

    std::vector<std::string> boxes;
    std::string profileFolder;
};

TEST_F(RemoteScannerTest, ScansAsTheLibraryInProcessAtAnySectionSize) {
    SetScannerLibraryForTesting(&SimulatedScannerLibrary());
    const std::vector<std::uint8_t> inProcess = Session();
    ASSERT_GT(inProcess.size(), 64000u * 2) << "several reads";

    for (std::size_t sectionSize : {std::size_t(1) << 20, std::size_t(1000), std::size_t(1)}) {
        ResetSimulator();
        fake = FakeHelper{};
        fake.sectionSize = sectionSize;
        remote::RemoteScanner scanner(StartFake);
        remote::SetRemoteScanner(&scanner);
        SetScannerLibraryForTesting(&remote::RemoteTable());
        EXPECT_EQ(Session(), inProcess) << "section of " << sectionSize;
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
    remote::SetRemoteScanner(&scanner);
    SetScannerLibraryForTesting(&remote::RemoteTable());
    Session();
    const int perSession = fake.exchanges;
    ASSERT_GT(perSession, 20);

    int jammedSessions = 0;
    for (Fault kind : {Fault::Fail, Fault::Short, Fault::Oversize, Fault::WrongCall}) {
        for (int at = 0; at < perSession; ++at) {
            SCOPED_TRACE(testing::Message() << "fault " << int(kind) << " at exchange " << at);
            ResetSimulator();
            fake = FakeHelper{};
            fake.fault = kind;
            fake.faultAt = at;
            boxes.clear();
            bool jammed = false;
            const std::vector<std::uint8_t> broken = Session(&jammed);
            // The broken session never holds bytes the scan did not send:
            // whatever it got is a prefix of the good rows' lines or zero.
            if (broken.size() == good.size()) {
                for (std::size_t i = 0; i < broken.size(); ++i) {
                    if (broken[i] != good[i] && broken[i] != 0) FAIL() << "byte " << i;
                }
            }
            // A read that meets the lost helper tells the user once.
            if (jammed) {
                EXPECT_EQ(boxes.size(), 1u);
            }
            jammedSessions += jammed;
            EXPECT_FALSE(scanner.Running()) << "closing ended the broken helper";
            // The next session starts a new helper and scans whole.
            ResetSimulator();
            const int before = fake.started;
            EXPECT_EQ(Session(), good);
            EXPECT_EQ(fake.started, before + 1);
        }
    }
    EXPECT_GT(jammedSessions, 4 * 3) << "the sweep reaches the reads";
}

TEST_F(RemoteScannerTest, AHelperThatCannotStartIsAScannerThatCannotBeOpened) {
    remote::RemoteScanner scanner([]() { return std::unique_ptr<remote::Channel>(); });
    remote::SetRemoteScanner(&scanner);
    SetScannerLibraryForTesting(&remote::RemoteTable());
    EXPECT_TRUE(Session().empty());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("[106]"), std::string::npos) << boxes[0];
    EXPECT_FALSE(scanner.Running());
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
