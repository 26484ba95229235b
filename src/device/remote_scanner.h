// The scanner command library in another process. A 64-bit source cannot
// load the 32-bit VOREL32.dll, so a 32-bit helper process loads it and
// answers the twelve calls. Each call is one request message and one reply
// message over a channel private to the pair; scan data comes back through
// a shared memory section, so a read is one round trip whatever its size
// (up to the section's).
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
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "device/scanner_library.h"

namespace remote {

using Bytes = std::vector<std::uint8_t>;

enum Call : std::uint16_t {
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
// reply. A read goes straight into the section and is held to its size;
// a request that does not decode gets an empty reply, which the source
// rejects.
Bytes Serve(const ScannerLibrary& library, const std::uint8_t* request, std::size_t size, std::uint8_t* section,
            std::size_t sectionSize);

// The pair's connection as the source sees it.
class Channel {
public:
    virtual ~Channel() = default;
    // Sends one request and waits, for a bounded time, for its reply.
    // False when the helper is gone, stays silent or the exchange breaks.
    virtual bool Exchange(const Bytes& request, Bytes* reply) = 0;
    // The shared section the helper reads scan data into.
    virtual const std::uint8_t* Section() const = 0;
    virtual std::size_t SectionSize() const = 0;
};

// Starts a helper and connects to it; null when that cannot be done.
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

    // A helper was started and has since stopped answering or misbehaved.
    bool Lost() const { return lost_; }
    bool Running() const { return channel_ != nullptr; }
    // Ends the helper (closing the channel ends it); the next
    // OpenScanner(..., 1) starts a new one.
    void End();

private:
    // One exchange; false (and the helper lost) when it fails or the reply
    // does not answer this call with at most maxPayload bytes.
    bool Transact(const Request& request, std::size_t maxPayload, Reply* reply);
    std::int16_t Simple(Call call, std::int16_t a = 0, std::int16_t b = 0);

    ChannelFactory factory_;
    std::unique_ptr<Channel> channel_;
    bool lost_ = false;
};

// The table whose twelve entries go to `scanner` (null: every entry
// answers as a lost helper).
const ScannerLibrary& RemoteTable();
void SetRemoteScanner(RemoteScanner* scanner);
// Whether the scanner the table goes to has lost its helper.
bool CurrentScannerLost();

}  // namespace remote
