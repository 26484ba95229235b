// The scanner command library in another process. A 64-bit source cannot
// load the 32-bit VOREL32.dll, so a 32-bit helper process loads it and
// answers the twelve calls. Each call is one request message and one reply
// message, passed through a mailbox in a shared memory section private to
// the pair; scan data come back through the same section.
//
// The messages are plain little-endian records, built and checked here so
// that both ends and the tests share them:
//   request: call u16, a i16, b i16, c i16, count i32, payload length u32, payload
//   reply:   call u16, status i16, value i16, zero u16, got i32, payload length u32, payload
// Every reply is checked before anything of it is used: the call it
// answers, the payload's length for that call, and the bytes a read claims
// against what was asked and what the section holds. A channel that fails
// or a reply that does not pass makes the helper lost: every call then
// answers like a scanner that does not answer (status -10) until the
// helper is ended and a new one started by the next OpenScanner(..., 1).
//
// Reading a scan is a stream: the source's read starts a run of library
// reads in the helper, which goes on reading ahead into a ring of slots in
// the section (one library read per slot, each of the size the source asked
// for) while the source takes the slots in turn, so that the reads of a page
// cost no exchange each. The helper asks the library exactly the reads the
// source would: the same sizes, in the same order, never more than the
// scan's geometry announced, and none after one that came back short or
// failed; each read's result travels with its slot, so a failure reaches
// the source at the read that met it. Any other call stops the stream first
// (the helper ends the read under way); what was read ahead stays for the
// source's next reads after a question (an inquiry, the command error, the
// geometry) and is dropped by anything else (a set-up, a reset, a new scan,
// closing). A read of another size than the slots' is served from the
// slots' bytes as a stream, which the library's reads are.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "device/scanner_library.h"

namespace remote {

using Bytes = std::vector<std::uint8_t>;

enum Call : std::uint16_t {
    // Not a library call: a run of ReadScanData calls into the section's ring.
    kStreamScanData = 64,
    kOpenScanner = 2,
    kDownloadBlock = 9,
    kGetScanGeometry = 10,
    kResetScanner = 13,
    kReadScanData = 14,
    kSetScanResolution = 17,
    kSetScaling = 18,
    kSetScanWindow = 20,
    kUploadBlock = 22,
    kInquireParameter = 26,
    kGetCommandError = 27,
    kSetParameter = 30,
};

constexpr std::size_t kHeaderSize = 16;
// No payload of either direction is longer: the tone map is the largest block.
constexpr std::size_t kMaxPayload = 256;
constexpr std::size_t kMaxMessage = kHeaderSize + kMaxPayload;
constexpr std::size_t kWindowBytes = 10;
// The section: a control page, then the ring of read slots. The control
// page holds 32-bit words, each written by one side only, and the results
// of the slots' reads (got i32, status i16, zero u16 each).
constexpr std::size_t kControlBytes = 4096;
constexpr std::size_t kMaxSlots = 256;
namespace control {
constexpr std::size_t kPublished = 0;    // helper: reads of the stream whose slot and result are in place
constexpr std::size_t kTaken = 4;        // source: reads it has taken (their slots are free again)
constexpr std::size_t kStop = 8;         // source: 1 ends the stream after the read under way
constexpr std::size_t kSourceWants = 12; // source: the published count it sleeps until (0: awake)
constexpr std::size_t kHelperWants = 16; // helper: the taken count it sleeps until (0: awake)
constexpr std::size_t kFinished = 20;    // helper: 1 once the stream makes no more reads
constexpr std::size_t kPosted = 24;        // source: requests put in the mailbox
constexpr std::size_t kAnswered = 28;      // helper: replies put in the mailbox
constexpr std::size_t kHelperAsleep = 32;  // helper: 1 while it sleeps until a request comes
constexpr std::size_t kSourceAsleep = 36;  // source: 1 while it sleeps until the reply comes
constexpr std::size_t kResults = 64;       // kMaxSlots results of 8 bytes
constexpr std::size_t kRequest = 2176;     // the mailbox's request: length u32, then the message
constexpr std::size_t kReply = 2560;       // the mailbox's reply: length u32, then the message
}  // namespace control
// The stream request's payload: later read size u32, most reads u32, slots u32.
constexpr std::size_t kStreamPayload = 12;
// The bytes of the ring of a section of `sectionSize` bytes.
inline std::size_t RingBytes(std::size_t sectionSize) {
    return sectionSize > kControlBytes ? sectionSize - kControlBytes : 0;
}

static_assert(control::kResults + 8 * kMaxSlots <= control::kRequest &&
                  control::kRequest + 4 + kMaxMessage <= control::kReply &&
                  control::kReply + 4 + kMaxMessage <= kControlBytes,
              "the control page holds the results and both messages");

// The mailbox: one call at a time. The source puts the request in and
// counts it posted; the helper, which looks for the next request for a
// moment after each reply before it sleeps, serves it, puts the reply in
// and counts it answered. A side sleeps only after saying so in its word,
// and the other wakes it only then: a run of calls made while both sides
// are awake costs no trip through the system (under Wine every wake-up is
// a trip to its server). Looking (spinning) is only worth it with a
// processor for each side; with a budget of zero each side sleeps at once.
using Spin = std::chrono::microseconds;
// The source's end.
class CallBox {
public:
    explicit CallBox(std::uint8_t* section) : section_(section) {}
    // Puts a request of at most kMaxMessage bytes in; true when the helper
    // sleeps and must be woken.
    bool Post(const Bytes& request);
    // Waits for the reply to the request posted last, looking for it for
    // `spin` before sleeping through `sleep` (false: the helper is gone or
    // silent). False when no reply came, the helper kept waking the source
    // with none, or the reply's length is not a message's.
    bool Collect(Spin spin, const std::function<bool()>& sleep, Bytes* reply);

private:
    std::uint8_t* section_;
    std::uint32_t posted_ = 0;
};
// The helper's end.
class CallDesk {
public:
    explicit CallDesk(std::uint8_t* section) : section_(section) {}
    // Waits for the next request, looking for it for `spin` before
    // sleeping through `sleep` (false: the source is gone, and so is Await).
    bool Await(Spin spin, const std::function<bool()>& sleep);
    // The request waiting, at most kMaxMessage bytes (none when its length
    // is not a message's).
    Bytes Take();
    // Puts the reply in; true when the source sleeps and must be woken.
    bool Answer(const Bytes& reply);

private:
    std::uint8_t* section_;
    std::uint32_t taken_ = 0, answered_ = 0;
};

// What a scanner that does not answer says, the status of every call of a lost helper.
constexpr std::int16_t kNoAnswer = -10;
// What opening answers when no helper can be started: the scanner cannot be opened.
constexpr std::int16_t kCannotStart = -1;

struct Request {
    std::uint16_t call = 0;
    std::int16_t a = 0, b = 0, c = 0;
    std::int32_t count = 0;
    Bytes payload;
};

struct Reply {
    std::uint16_t call = 0;
    std::int16_t status = 0;
    std::int16_t value = 0;
    std::int32_t got = 0;
    Bytes payload;
};

Bytes EncodeRequest(const Request& request);
Bytes EncodeReply(const Reply& reply);
// False when the bytes are not one whole message of at most kMaxMessage bytes.
bool DecodeRequest(const std::uint8_t* data, std::size_t size, Request* request);
bool DecodeReply(const std::uint8_t* data, std::size_t size, Reply* reply);

// The bytes DownloadBlock hands over for a block type: the tone map's 256,
// the colour matrix's 9; other types carry none.
std::size_t DownloadBytes(std::int16_t type);

// The helper's side: runs one request against the library and gives the
// reply. A read goes straight into the section's ring and is held to its
// size; a request that does not decode (or a stream, which StreamHost
// runs) gets an empty reply, which the source rejects.
Bytes Serve(const ScannerLibrary& library, const std::uint8_t* request, std::size_t size, std::uint8_t* section,
            std::size_t sectionSize);

// The helper's side of a stream: reads into the ring while there is room
// and the stream goes on, and wakes the source when what it waits for is
// there (or the stream ends).
class StreamHost {
public:
    // Takes a stream request; false when it is not one that fits the section.
    bool Begin(const Request& request, std::uint8_t* section, std::size_t sectionSize);
    enum class Step { Finished, NeedRoom };
    // Reads on until the stream is over (Finished) or the ring is full
    // (NeedRoom: wait for the source's wake-up, then Fill again). `wake`
    // is called when the source sleeps and should not.
    using WakeSource = void (*)(void* context);
    // `spin`: how long a full ring waits for room before NeedRoom.
    Step Fill(const ScannerLibrary& library, WakeSource wake, void* context, Spin spin = Spin(0));
    // The reply that ends the stream: the reads made.
    Bytes FinalReply() const;

private:
    Step Finish(WakeSource wake, void* context);

    std::uint8_t* section_ = nullptr;
    std::int16_t mode_ = 0;
    std::uint32_t first_ = 0, size_ = 0, slots_ = 0, most_ = 0;
    std::uint32_t made_ = 0;
    bool over_ = false;
};

// The pair's connection as the source sees it. A wait lasts while the
// helper's process lives (a slow scanner is waited for); false means the
// helper is gone, hung at its start, or the exchange broke.
class Channel {
public:
    virtual ~Channel() = default;
    // Sends one request without waiting for its reply.
    virtual bool Post(const Bytes& request) = 0;
    // Waits for the reply to the request posted last.
    virtual bool Collect(Bytes* reply) = 0;
    bool Exchange(const Bytes& request, Bytes* reply) { return Post(request) && Collect(reply); }
    // Sleeps until the helper wakes the source: a slot of a stream is in,
    // or a reply the source said it sleeps for.
    virtual bool AwaitData() = 0;
    // Waits until the helper started by the factory has connected and
    // taken the section; false when it did not connect in time, ended, or
    // is not this build's helper.
    virtual bool Connect() { return true; }
    // How long the source looks for the helper's message before it sleeps.
    virtual Spin LookFor() const { return Spin(0); }
    // Wakes the helper waiting for room in the ring (or to see a stop).
    virtual void WakeHelper() = 0;
    // The shared section: the control page and the ring.
    virtual std::uint8_t* Section() = 0;
    virtual std::size_t SectionSize() const = 0;
};

// Starts a helper (Connect waits for it); null when that cannot be done.
using ChannelFactory = std::unique_ptr<Channel> (*)();

// The twelve calls over a channel started on demand.
class RemoteScanner {
public:
    explicit RemoteScanner(ChannelFactory factory) : factory_(factory) {}

    std::int16_t OpenScanner(std::uint16_t window, std::int16_t flag);
    std::int16_t DownloadBlock(std::int16_t type, const void* buffer);
    std::int16_t GetScanGeometry(ScanGeometry* geometry);
    std::int16_t ResetScanner();
    std::int16_t ReadScanData(std::int16_t mode, void* buffer, std::int32_t count, std::int32_t* got);
    std::int16_t SetScanResolution(std::int16_t x, std::int16_t y);
    std::int16_t SetScaling(std::int16_t x, std::int16_t y);
    std::int16_t SetScanWindow(std::uint16_t* window, std::int16_t zero);
    std::int16_t UploadBlock(std::int16_t type, void* buffer, std::int16_t maxLength, std::int16_t* length);
    std::int16_t InquireParameter(std::int16_t code, std::int16_t form, std::int16_t* value);
    std::int16_t GetCommandError();
    std::int16_t SetParameter(std::int16_t code, std::int16_t value);

    // Starts a helper now unless one is running, for the opening that
    // follows; OpenScanner(..., 1) waits for it to connect. A start that
    // failed is given up for the rest of an opening: later openings of the
    // scanner answer at once that it cannot be opened, until the scanner is
    // released (OpenScanner(..., 0)) or Prepare is called again.
    void Prepare();

    // A helper was started and has since stopped answering or misbehaved.
    bool Lost() const { return lost_; }
    bool Running() const { return channel_ != nullptr; }
    // Ends the helper (closing the channel ends it); the next
    // OpenScanner(..., 1) starts a new one.
    void End();

private:
    // One exchange; false (and the helper lost) when it fails or the reply
    // does not answer this call with at most maxPayload bytes. A stream
    // under way is stopped first.
    bool Transact(const Request& request, std::size_t maxPayload, Reply* reply);
    std::int16_t Simple(Call call, std::int16_t a = 0, std::int16_t b = 0);
    void Lose();
    // A new helper unless one is running and not lost.
    void Start();

    // The stream: the slots the helper has filled and the source not yet
    // wholly handed out are the read-ahead.
    struct Stream {
        bool running = false;    // the helper is in it: its final reply not yet taken
        bool finished = false;   // the helper said it makes no more reads
        std::uint32_t first = 0, size = 0, slots = 0, most = 0;
        std::uint32_t published = 0;  // reads whose slots are in place
        std::uint32_t taken = 0;      // reads wholly handed out
        std::uint32_t offset = 0;     // bytes of read `taken` handed out
        bool ended = false;           // a read came back short or failed: the library's data are over
    };
    std::int16_t ReadPlain(std::int16_t mode, std::uint8_t* out, std::int32_t count, std::int32_t* got);
    bool StartStream(std::int16_t mode, std::uint32_t first, std::uint32_t size);
    // Stops the stream and takes its final reply; the read-ahead is kept
    // or dropped. False when the helper is lost.
    bool StopStream(bool keep);
    // Until a slot is there or the stream is over.
    bool AwaitSlot();
    std::uint32_t Word(std::size_t offset) const;
    void SetWord(std::size_t offset, std::uint32_t value);

    ChannelFactory factory_;
    std::unique_ptr<Channel> channel_;
    bool connected_ = false;
    bool lost_ = false;
    bool startFailed_ = false;
    Stream stream_;
    // The total bytes the last geometry announced (-1: none), and the bytes
    // of the scan under way the library has not been asked for yet.
    std::int64_t geometryBytes_ = -1;
    std::int64_t scanLeft_ = -1;
};

// The table whose twelve entries go to `scanner` (null: every entry
// answers as a lost helper).
const ScannerLibrary& RemoteTable();
void SetRemoteScanner(RemoteScanner* scanner);
// Whether the scanner the table goes to has lost its helper.
bool CurrentScannerLost();

}  // namespace remote
