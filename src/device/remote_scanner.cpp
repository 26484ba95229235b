// The twelve calls of the scanner library as messages: their encoding, the
// helper's side that runs them, and the source's side that sends them and
// checks what comes back.
#include "device/remote_scanner.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace remote {

namespace {

constexpr std::size_t kToneMapBytes = 256;
constexpr std::size_t kMatrixBytes = 9;
constexpr std::size_t kGeometryBytes = sizeof(ScanGeometry);
constexpr std::int16_t kToneMapType = 1;
constexpr std::int16_t kMatrixType = 2;

void Put16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}
std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) { return Get16(p) | (std::uint32_t(Get16(p + 2)) << 16); }

Bytes Encode(std::uint16_t w0, std::uint16_t w1, std::uint16_t w2, std::uint16_t w3, std::uint32_t d, const Bytes& payload) {
    Bytes out;
    out.reserve(kHeaderSize + payload.size());
    Put16(out, w0);
    Put16(out, w1);
    Put16(out, w2);
    Put16(out, w3);
    Put32(out, d);
    Put32(out, static_cast<std::uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// The header's fields and the payload, when the bytes are exactly one message.
bool Decode(const std::uint8_t* data, std::size_t size, std::uint16_t w[4], std::uint32_t* d, Bytes* payload) {
    if (data == nullptr || size < kHeaderSize || size > kMaxMessage) return false;
    const std::uint32_t length = Get32(data + 12);
    if (length != size - kHeaderSize) return false;
    for (int i = 0; i < 4; ++i) w[i] = Get16(data + 2 * i);
    *d = Get32(data + 8);
    payload->assign(data + kHeaderSize, data + size);
    return true;
}

bool KnownCall(std::uint16_t call) {
    switch (call) {
        case kOpenScanner: case kDownloadBlock: case kGetScanGeometry: case kResetScanner: case kReadScanData:
        case kSetScanResolution: case kSetScaling: case kSetScanWindow: case kUploadBlock: case kInquireParameter:
        case kGetCommandError: case kSetParameter:
            return true;
        default:
            return false;
    }
}

// The control page's words, shared with the other process: every access is
// one whole atomic load, store or exchange, in one total order, so that a
// side that goes to sleep and the side that wakes it never both miss the
// other's last write.
std::uint32_t* ControlWord(std::uint8_t* section, std::size_t offset) {
    return reinterpret_cast<std::uint32_t*>(section + offset);
}
std::uint32_t LoadWord(std::uint8_t* section, std::size_t offset) {
    return __atomic_load_n(ControlWord(section, offset), __ATOMIC_SEQ_CST);
}
void StoreWord(std::uint8_t* section, std::size_t offset, std::uint32_t value) {
    __atomic_store_n(ControlWord(section, offset), value, __ATOMIC_SEQ_CST);
}
std::uint32_t ClearWord(std::uint8_t* section, std::size_t offset) {
    return __atomic_exchange_n(ControlWord(section, offset), 0u, __ATOMIC_SEQ_CST);
}

// A slot's read result in the control page.
void PutResult(std::uint8_t* section, std::uint32_t slot, std::int32_t got, std::int16_t status) {
    std::uint8_t* at = section + control::kResults + 8 * std::size_t(slot);
    const std::uint32_t g = static_cast<std::uint32_t>(got);
    const std::uint16_t st = static_cast<std::uint16_t>(status);
    const std::uint8_t bytes[8] = {std::uint8_t(g), std::uint8_t(g >> 8), std::uint8_t(g >> 16), std::uint8_t(g >> 24),
                                   std::uint8_t(st), std::uint8_t(st >> 8), 0, 0};
    std::memcpy(at, bytes, sizeof bytes);
}
void GetResult(const std::uint8_t* section, std::uint32_t slot, std::int32_t* got, std::int16_t* status) {
    std::uint8_t bytes[8];
    std::memcpy(bytes, section + control::kResults + 8 * std::size_t(slot), sizeof bytes);
    *got = static_cast<std::int32_t>(Get32(bytes));
    *status = static_cast<std::int16_t>(Get16(bytes + 4));
}

// A message in the mailbox at `offset`: its length, then its bytes.
void PutMessage(std::uint8_t* section, std::size_t offset, const Bytes& message) {
    const std::size_t size = std::min(message.size(), kMaxMessage);
    const std::uint8_t length[4] = {std::uint8_t(size), std::uint8_t(size >> 8), 0, 0};
    std::memcpy(section + offset, length, sizeof length);
    if (size > 0) std::memcpy(section + offset + 4, message.data(), size);
}
// Read once into the caller's memory, so that the other side changing it
// meanwhile cannot make the bytes checked differ from the bytes used.
bool GetMessage(const std::uint8_t* section, std::size_t offset, Bytes* message) {
    std::uint8_t length[4];
    std::memcpy(length, section + offset, sizeof length);
    const std::uint32_t size = Get32(length);
    if (size < kHeaderSize || size > kMaxMessage) return false;
    message->assign(section + offset + 4, section + offset + 4 + size);
    return true;
}

// Looks for `ready` until the budget is spent.
template <typename Ready>
bool Look(Spin spin, Ready ready) {
    if (ready()) return true;
    if (spin.count() <= 0) return false;
    const auto until = std::chrono::steady_clock::now() + spin;
    do {
        for (int i = 0; i < 64; ++i) {
            if (ready()) return true;
#if defined(__i386__) || defined(__x86_64__)
            __builtin_ia32_pause();
#endif
        }
    } while (std::chrono::steady_clock::now() < until);
    return ready();
}

// A helper that wakes the source this often with nothing to show is not
// waited for any longer: a wake-up left over from a stream or a reply can
// come once, a helper that answers never does it more than that.
constexpr int kMostEmptyWakes = 64;

// A library read that takes this long is a slow scanner's: its slot wakes
// the source at once rather than with a batch of others.
constexpr auto kSlowRead = std::chrono::milliseconds(1);

}  // namespace

Bytes EncodeRequest(const Request& r) {
    return Encode(r.call, static_cast<std::uint16_t>(r.a), static_cast<std::uint16_t>(r.b),
                  static_cast<std::uint16_t>(r.c), static_cast<std::uint32_t>(r.count), r.payload);
}

Bytes EncodeReply(const Reply& r) {
    return Encode(r.call, static_cast<std::uint16_t>(r.status), static_cast<std::uint16_t>(r.value), 0,
                  static_cast<std::uint32_t>(r.got), r.payload);
}

bool DecodeRequest(const std::uint8_t* data, std::size_t size, Request* r) {
    std::uint16_t w[4];
    std::uint32_t d = 0;
    if (!Decode(data, size, w, &d, &r->payload)) return false;
    r->call = w[0];
    r->a = static_cast<std::int16_t>(w[1]);
    r->b = static_cast<std::int16_t>(w[2]);
    r->c = static_cast<std::int16_t>(w[3]);
    r->count = static_cast<std::int32_t>(d);
    return true;
}

bool DecodeReply(const std::uint8_t* data, std::size_t size, Reply* r) {
    std::uint16_t w[4];
    std::uint32_t d = 0;
    if (!Decode(data, size, w, &d, &r->payload) || w[3] != 0) return false;
    r->call = w[0];
    r->status = static_cast<std::int16_t>(w[1]);
    r->value = static_cast<std::int16_t>(w[2]);
    r->got = static_cast<std::int32_t>(d);
    return true;
}

std::size_t DownloadBytes(std::int16_t type) {
    if (type == kToneMapType) return kToneMapBytes;
    if (type == kMatrixType) return kMatrixBytes;
    return 0;
}

Bytes Serve(const ScannerLibrary& library, const std::uint8_t* data, std::size_t size, std::uint8_t* section,
            std::size_t sectionSize) {
    Request q;
    if (!DecodeRequest(data, size, &q) || !KnownCall(q.call)) return Bytes();
    Reply r;
    r.call = q.call;
    switch (q.call) {
        case kOpenScanner:
            r.status = library.OpenScanner(static_cast<std::uint16_t>(q.a), q.b);
            break;
        case kDownloadBlock: {
            // The library reads the block's whole length; a short payload is zero-filled.
            std::uint8_t block[kMaxPayload] = {};
            if (!q.payload.empty()) std::memcpy(block, q.payload.data(), std::min(q.payload.size(), sizeof block));
            r.status = library.DownloadBlock(q.a, block);
            break;
        }
        case kGetScanGeometry: {
            ScanGeometry geometry{};
            r.status = library.GetScanGeometry(&geometry);
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(&geometry);
            r.payload.assign(bytes, bytes + kGeometryBytes);
            break;
        }
        case kResetScanner:
            r.status = library.ResetScanner();
            break;
        case kReadScanData: {
            // Never more than the ring holds, whatever was asked.
            const std::size_t ring = RingBytes(sectionSize);
            const std::int32_t count =
                std::max<std::int32_t>(0, std::min<std::int64_t>(q.count, static_cast<std::int64_t>(ring)));
            std::int32_t got = 0;
            r.status = library.ReadScanData(q.a, ring > 0 ? section + kControlBytes : nullptr, count, &got);
            r.got = std::max(0, std::min(got, count));
            break;
        }
        case kSetScanResolution:
            r.status = library.SetScanResolution(q.a, q.b);
            break;
        case kSetScaling:
            r.status = library.SetScaling(q.a, q.b);
            break;
        case kSetScanWindow: {
            std::uint16_t window[kWindowBytes / 2] = {};
            if (!q.payload.empty()) std::memcpy(window, q.payload.data(), std::min(q.payload.size(), sizeof window));
            r.status = library.SetScanWindow(window, q.a);
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(window);
            r.payload.assign(bytes, bytes + sizeof window);
            break;
        }
        case kUploadBlock: {
            std::uint8_t block[kMaxPayload] = {};
            const std::int16_t maxLength = static_cast<std::int16_t>(
                std::max<int>(0, std::min<int>(q.b, static_cast<int>(sizeof block))));
            std::int16_t length = 0;
            r.status = library.UploadBlock(q.a, block, maxLength, &length);
            r.value = std::max<std::int16_t>(0, std::min(length, maxLength));
            r.payload.assign(block, block + r.value);
            break;
        }
        case kInquireParameter:
            r.status = library.InquireParameter(q.a, q.b, &r.value);
            break;
        case kGetCommandError:
            r.status = library.GetCommandError();
            break;
        case kSetParameter:
            r.status = library.SetParameter(q.a, q.b);
            break;
        default:
            break;
    }
    return EncodeReply(r);
}

bool StreamHost::Begin(const Request& q, std::uint8_t* section, std::size_t sectionSize) {
    over_ = true;
    if (q.call != kStreamScanData || q.payload.size() != kStreamPayload || section == nullptr) return false;
    const std::uint32_t size = Get32(q.payload.data());
    const std::uint32_t most = Get32(q.payload.data() + 4);
    const std::uint32_t slots = Get32(q.payload.data() + 8);
    const std::uint32_t first = static_cast<std::uint32_t>(q.count);
    if (size == 0 || first == 0 || first > size || most == 0 || slots == 0 || slots > kMaxSlots ||
        std::uint64_t(slots) * size > RingBytes(sectionSize) || first > 0x7FFFFFFF || size > 0x7FFFFFFF) {
        return false;
    }
    section_ = section;
    mode_ = q.a;
    first_ = first;
    size_ = size;
    slots_ = slots;
    most_ = most;
    made_ = 0;
    over_ = false;
    return true;
}

StreamHost::Step StreamHost::Finish(WakeSource wake, void* context) {
    over_ = true;
    StoreWord(section_, control::kFinished, 1);
    if (ClearWord(section_, control::kSourceWants) != 0) wake(context);
    return Step::Finished;
}

StreamHost::Step StreamHost::Fill(const ScannerLibrary& library, WakeSource wake, void* context, Spin spin) {
    if (section_ == nullptr) return Step::Finished;
    if (over_) return Finish(wake, context);
    for (;;) {
        if (LoadWord(section_, control::kStop) != 0 || made_ == most_) return Finish(wake, context);
        // The slots not yet taken; a source that claims more taken than made is held to what was made.
        auto pending = [&] { return made_ - std::min(LoadWord(section_, control::kTaken), made_); };
        if (pending() >= slots_) {
            // The source frees a slot every few tens of microseconds while
            // it works through a page: room is looked for before sleeping.
            if (Look(spin, [&] { return LoadWord(section_, control::kStop) != 0 || pending() < slots_; })) continue;
            // Sleep until half the ring is free again, unless room (or a
            // stop) came while saying so.
            StoreWord(section_, control::kHelperWants, made_ - slots_ + std::max<std::uint32_t>(1, slots_ / 2));
            if (LoadWord(section_, control::kStop) == 0 && pending() >= slots_) return Step::NeedRoom;
            ClearWord(section_, control::kHelperWants);
            continue;
        }
        const std::uint32_t count = made_ == 0 ? first_ : size_;
        const std::uint32_t slot = made_ % slots_;
        std::int32_t got = 0;
        const auto start = std::chrono::steady_clock::now();
        const std::int16_t status = library.ReadScanData(made_ == 0 ? mode_ : 0, section_ + kControlBytes + std::size_t(slot) * size_,
                                                         static_cast<std::int32_t>(count), &got);
        const bool slow = std::chrono::steady_clock::now() - start >= kSlowRead;
        got = std::max<std::int32_t>(0, std::min<std::int32_t>(got, static_cast<std::int32_t>(count)));
        PutResult(section_, slot, got, status);
        StoreWord(section_, control::kPublished, ++made_);
        // No read follows one that ended the data or failed.
        if (static_cast<std::uint32_t>(got) < count || status != 0) return Finish(wake, context);
        const std::uint32_t wants = LoadWord(section_, control::kSourceWants);
        if (wants != 0 && (made_ >= wants || slow) && ClearWord(section_, control::kSourceWants) != 0) wake(context);
    }
}

Bytes StreamHost::FinalReply() const {
    Reply r;
    r.call = kStreamScanData;
    r.got = static_cast<std::int32_t>(made_);
    return EncodeReply(r);
}

bool CallBox::Post(const Bytes& request) {
    PutMessage(section_, control::kRequest, request);
    StoreWord(section_, control::kPosted, ++posted_);
    return ClearWord(section_, control::kHelperAsleep) != 0;
}

bool CallBox::Collect(Spin spin, const std::function<bool()>& sleep, Bytes* reply) {
    auto answered = [&] { return LoadWord(section_, control::kAnswered) == posted_; };
    for (int wakes = 0; !Look(spin, answered); ++wakes) {
        if (wakes == kMostEmptyWakes) return false;
        StoreWord(section_, control::kSourceAsleep, 1);
        if (answered()) break;
        if (!sleep()) return false;
    }
    ClearWord(section_, control::kSourceAsleep);
    return GetMessage(section_, control::kReply, reply);
}

bool CallDesk::Await(Spin spin, const std::function<bool()>& sleep) {
    auto waiting = [&] { return LoadWord(section_, control::kPosted) != answered_; };
    while (!Look(spin, waiting)) {
        StoreWord(section_, control::kHelperAsleep, 1);
        if (waiting()) break;
        if (!sleep()) return false;
    }
    // A wake-up sent once this was cleared by the source is met by a later sleep, which looks again.
    ClearWord(section_, control::kHelperAsleep);
    return true;
}

Bytes CallDesk::Take() {
    taken_ = LoadWord(section_, control::kPosted);
    Bytes request;
    if (!GetMessage(section_, control::kRequest, &request)) request.clear();
    return request;
}

bool CallDesk::Answer(const Bytes& reply) {
    PutMessage(section_, control::kReply, reply);
    answered_ = taken_;
    StoreWord(section_, control::kAnswered, answered_);
    return ClearWord(section_, control::kSourceAsleep) != 0;
}

void RemoteScanner::Lose() {
    lost_ = true;
    stream_ = Stream{};
}

void RemoteScanner::End() {
    // A helper in a stream is stopped first, so that it sees the channel close.
    if (channel_ != nullptr && connected_ && !lost_) StopStream(false);
    stream_ = Stream{};
    channel_.reset();
    connected_ = false;
    lost_ = false;
    geometryBytes_ = scanLeft_ = -1;
}

std::uint32_t RemoteScanner::Word(std::size_t offset) const { return LoadWord(channel_->Section(), offset); }

void RemoteScanner::SetWord(std::size_t offset, std::uint32_t value) { StoreWord(channel_->Section(), offset, value); }

void RemoteScanner::Prepare() {
    startFailed_ = false;
    Start();
}

void RemoteScanner::Start() {
    if (channel_ != nullptr && !lost_) return;
    End();
    channel_ = factory_ != nullptr ? factory_() : nullptr;
}

bool RemoteScanner::Transact(const Request& request, std::size_t maxPayload, Reply* reply) {
    if (channel_ == nullptr || !connected_ || lost_) return false;
    // Questions leave the read-ahead to the reads after them; anything else
    // changes the scanner's state, and the scan's stream goes.
    const bool question = request.call == kInquireParameter || request.call == kGetCommandError ||
                          request.call == kGetScanGeometry || request.call == kReadScanData;
    if (!StopStream(question)) return false;
    if (request.call == kOpenScanner || request.call == kResetScanner) geometryBytes_ = -1;
    Bytes bytes;
    if (channel_->Exchange(EncodeRequest(request), &bytes) && DecodeReply(bytes.data(), bytes.size(), reply) &&
        reply->call == request.call && reply->payload.size() <= maxPayload &&
        (reply->got == 0 || request.call == kReadScanData)) {
        return true;
    }
    Lose();
    return false;
}

std::int16_t RemoteScanner::Simple(Call call, std::int16_t a, std::int16_t b) {
    Request q;
    q.call = call;
    q.a = a;
    q.b = b;
    Reply r;
    return Transact(q, 0, &r) ? r.status : kNoAnswer;
}

std::int16_t RemoteScanner::OpenScanner(std::uint16_t window, std::int16_t flag) {
    if (flag == 0) {
        // Releasing the scanner ends the session's helper; without one
        // there is nothing to release. The next opening starts one again,
        // even after a start that failed.
        startFailed_ = false;
        if (channel_ == nullptr) return 0;
        if (!connected_) {
            // Started for an opening that never came: nothing to release.
            End();
            return 0;
        }
        const std::int16_t status = Simple(kOpenScanner, static_cast<std::int16_t>(window), flag);
        End();
        return status;
    }
    // A helper that could not be started (or had hung at its start) is
    // not tried again by every later question of the same opening.
    if (startFailed_) return kCannotStart;
    Start();
    if (channel_ != nullptr && !connected_) connected_ = channel_->Connect();
    if (!connected_) {
        // No helper to be had (missing beside the source, or it would not
        // start): like a library that cannot open the scanner.
        End();
        startFailed_ = true;
        return kCannotStart;
    }
    return Simple(kOpenScanner, static_cast<std::int16_t>(window), flag);
}

std::int16_t RemoteScanner::DownloadBlock(std::int16_t type, const void* buffer) {
    Request q;
    q.call = kDownloadBlock;
    q.a = type;
    if (buffer != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        q.payload.assign(bytes, bytes + DownloadBytes(type));
    }
    Reply r;
    return Transact(q, 0, &r) ? r.status : kNoAnswer;
}

std::int16_t RemoteScanner::GetScanGeometry(ScanGeometry* geometry) {
    Request q;
    q.call = kGetScanGeometry;
    Reply r;
    const bool answered = Transact(q, kGeometryBytes, &r) && r.payload.size() == kGeometryBytes;
    if (!answered && channel_ != nullptr && connected_) Lose();
    // The scan's size bounds how far its reads may run ahead.
    const std::int32_t totalBytes = answered ? static_cast<std::int32_t>(Get32(r.payload.data() + 12)) : -1;
    geometryBytes_ = totalBytes >= 0 ? totalBytes : -1;
    if (geometry != nullptr) {
        *geometry = ScanGeometry{};
        if (answered) std::memcpy(geometry, r.payload.data(), kGeometryBytes);
    }
    return answered ? r.status : kNoAnswer;
}

std::int16_t RemoteScanner::ResetScanner() { return Simple(kResetScanner); }

std::int16_t RemoteScanner::ReadPlain(std::int16_t mode, std::uint8_t* out, std::int32_t count, std::int32_t* got) {
    if (out == nullptr || got == nullptr || count < 0) {
        // Sent on for the library's own answer to a bad argument; no data comes back.
        Request q;
        q.call = kReadScanData;
        q.a = mode;
        Reply r;
        return Transact(q, 0, &r) ? r.status : kNoAnswer;
    }
    std::int32_t total = 0;
    std::int16_t status = kNoAnswer;
    // One exchange per ring-full; a read the ring holds is one.
    do {
        const std::size_t ring = RingBytes(channel_ != nullptr ? channel_->SectionSize() : 0);
        const std::int32_t piece =
            static_cast<std::int32_t>(std::min<std::int64_t>(count - total, static_cast<std::int64_t>(std::max<std::size_t>(ring, 1))));
        Request q;
        q.call = kReadScanData;
        q.a = total == 0 ? mode : 0;
        q.count = piece;
        Reply r;
        if (!Transact(q, 0, &r)) return kNoAnswer;
        // Not one byte more than asked for, nor than the ring holds.
        if (r.got < 0 || r.got > piece || static_cast<std::size_t>(r.got) > ring) {
            Lose();
            return kNoAnswer;
        }
        if (r.got > 0) std::memcpy(out + total, channel_->Section() + kControlBytes, static_cast<std::size_t>(r.got));
        total += r.got;
        *got = total;
        status = r.status;
        if (r.got < piece || status != 0) break;
    } while (total < count);
    return status;
}

bool RemoteScanner::StartStream(std::int16_t mode, std::uint32_t first, std::uint32_t size) {
    const std::size_t ring = RingBytes(channel_->SectionSize());
    size = static_cast<std::uint32_t>(std::min<std::size_t>(size, ring));
    first = std::min(first, size);
    const auto slots = static_cast<std::uint32_t>(std::min<std::size_t>(kMaxSlots, ring / size));
    // Never a read past the bytes the scan's geometry announced: the last
    // read of a scan that is not a whole slot is the source's own.
    std::uint32_t most = 1;
    if (scanLeft_ > static_cast<std::int64_t>(first)) {
        most += static_cast<std::uint32_t>(std::min<std::int64_t>((scanLeft_ - first) / size, 0x7FFFFFFE));
    }
    for (std::size_t word : {control::kPublished, control::kTaken, control::kStop, control::kSourceWants,
                             control::kHelperWants, control::kFinished}) {
        SetWord(word, 0);
    }
    Request q;
    q.call = kStreamScanData;
    q.a = mode;
    q.count = static_cast<std::int32_t>(first);
    for (std::uint32_t v : {size, most, slots}) Put32(q.payload, v);
    if (!channel_->Post(EncodeRequest(q))) {
        Lose();
        return false;
    }
    stream_ = Stream{};
    stream_.running = true;
    stream_.first = first;
    stream_.size = size;
    stream_.slots = slots;
    stream_.most = most;
    return true;
}

bool RemoteScanner::StopStream(bool keep) {
    Stream& s = stream_;
    if (s.running) {
        SetWord(control::kStop, 1);
        channel_->WakeHelper();
        Bytes bytes;
        Reply r;
        // The reads made: at least those shown, and none the ring had no room for.
        const std::uint64_t room = std::min<std::uint64_t>(s.most, std::uint64_t(s.taken) + s.slots);
        if (!channel_->Collect(&bytes) || !DecodeReply(bytes.data(), bytes.size(), &r) || r.call != kStreamScanData ||
            r.status != 0 || r.value != 0 || !r.payload.empty() || r.got < 0 ||
            static_cast<std::uint32_t>(r.got) < s.published || static_cast<std::uint64_t>(r.got) > room) {
            Lose();
            return false;
        }
        s.running = false;
        s.finished = true;
        s.published = static_cast<std::uint32_t>(r.got);
        if (s.published > 0 && scanLeft_ >= 0) {
            const std::int64_t asked = s.first + std::int64_t(s.published - 1) * s.size;
            scanLeft_ = std::max<std::int64_t>(0, scanLeft_ - asked);
        }
    }
    if (!keep) {
        s.taken = s.published;
        s.offset = 0;
        s.ended = false;
    }
    return true;
}

bool RemoteScanner::AwaitSlot() {
    Stream& s = stream_;
    for (int emptyWakes = 0; emptyWakes < kMostEmptyWakes; ++emptyWakes) {
        const std::uint32_t finished = Word(control::kFinished);
        const std::uint32_t published = Word(control::kPublished);
        if (published < s.published || published > std::min<std::uint64_t>(s.most, std::uint64_t(s.taken) + s.slots)) {
            break;
        }
        s.published = published;
        if (s.taken < s.published) return true;
        if (finished != 0) {
            s.finished = true;
            return true;
        }
        // The helper reads faster than the source takes its slots: the
        // next is looked for before sleeping.
        if (Look(channel_->LookFor(), [&] {
                return Word(control::kPublished) != published || Word(control::kFinished) != 0;
            })) {
            continue;
        }
        // Woken when half the ring is filled (or the stream ends, or a
        // slow read is in), not at every slot.
        const std::uint32_t batch = std::min(std::max<std::uint32_t>(1, s.slots / 2), s.most - s.taken);
        SetWord(control::kSourceWants, s.taken + batch);
        if (Word(control::kPublished) != published || Word(control::kFinished) != 0) {
            ClearWord(channel_->Section(), control::kSourceWants);
            continue;
        }
        if (!channel_->AwaitData()) break;
    }
    Lose();
    return false;
}

std::int16_t RemoteScanner::ReadScanData(std::int16_t mode, void* buffer, std::int32_t count, std::int32_t* got) {
    if (got != nullptr) *got = 0;
    if (channel_ == nullptr || !connected_ || lost_) return kNoAnswer;
    if (mode != 0) {
        // A new scan: what was read ahead of the last one goes.
        if (!StopStream(false)) return kNoAnswer;
        scanLeft_ = geometryBytes_;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    Stream& s = stream_;
    // A bad argument, an empty read and the reads after the library's data
    // ended get the library's own answer, one exchange each.
    if (out == nullptr || got == nullptr || count <= 0 || s.ended || RingBytes(channel_->SectionSize()) == 0) {
        return ReadPlain(mode, out, count, got);
    }
    std::int32_t total = 0;
    std::int16_t streamMode = mode;
    for (;;) {
        if (s.taken < s.published) {
            const std::uint32_t slot = s.taken % s.slots;
            std::int32_t slotGot = 0;
            std::int16_t status = 0;
            GetResult(channel_->Section(), slot, &slotGot, &status);
            const std::uint32_t asked = s.taken == 0 ? s.first : s.size;
            if (slotGot < 0 || static_cast<std::uint32_t>(slotGot) > asked || s.offset > static_cast<std::uint32_t>(slotGot)) {
                Lose();
                return kNoAnswer;
            }
            const bool end = static_cast<std::uint32_t>(slotGot) < asked || status != 0;
            // The source's read is the slot's own read: the same size, from its start.
            const bool own = total == 0 && s.offset == 0 && static_cast<std::uint32_t>(count) == asked;
            const std::uint32_t take =
                std::min(static_cast<std::uint32_t>(count - total), static_cast<std::uint32_t>(slotGot) - s.offset);
            if (take > 0) {
                std::memcpy(out + total, channel_->Section() + kControlBytes + std::size_t(slot) * s.size + s.offset, take);
            }
            total += static_cast<std::int32_t>(take);
            s.offset += take;
            *got = total;
            // A read of another size that the last bytes fill whole is not
            // short: as with the library, the end shows at the next read.
            if (s.offset == static_cast<std::uint32_t>(slotGot) && !(end && total == count && !own)) {
                // The slot is free again; a helper waiting for room hears of it once half the ring is.
                s.offset = 0;
                SetWord(control::kTaken, ++s.taken);
                const std::uint32_t wants = Word(control::kHelperWants);
                if (wants != 0 && s.taken >= wants && ClearWord(channel_->Section(), control::kHelperWants) != 0) {
                    channel_->WakeHelper();
                }
                if (end) {
                    // The library's answer to the read that met the end of its data, or a failure.
                    s.ended = true;
                    return status;
                }
            }
            if (total == count) return 0;
            continue;
        }
        if (s.running && !s.finished) {
            if (!AwaitSlot()) return kNoAnswer;
            continue;
        }
        // The stream made all the reads it was allowed and the data go on:
        // a new stream for the rest of this read and the ones after it.
        if (!StopStream(true) ||
            !StartStream(streamMode, static_cast<std::uint32_t>(count - total), static_cast<std::uint32_t>(count))) {
            return kNoAnswer;
        }
        streamMode = 0;
    }
}

std::int16_t RemoteScanner::SetScanResolution(std::int16_t x, std::int16_t y) { return Simple(kSetScanResolution, x, y); }

std::int16_t RemoteScanner::SetScaling(std::int16_t x, std::int16_t y) { return Simple(kSetScaling, x, y); }

std::int16_t RemoteScanner::SetScanWindow(std::uint16_t* window, std::int16_t zero) {
    Request q;
    q.call = kSetScanWindow;
    q.a = zero;
    if (window != nullptr) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(window);
        q.payload.assign(bytes, bytes + kWindowBytes);
    }
    Reply r;
    if (!Transact(q, kWindowBytes, &r)) return kNoAnswer;
    // The library may adjust the window it was handed; the adjusted values come back.
    if (window != nullptr && r.payload.size() == kWindowBytes) std::memcpy(window, r.payload.data(), kWindowBytes);
    return r.status;
}

std::int16_t RemoteScanner::UploadBlock(std::int16_t type, void* buffer, std::int16_t maxLength, std::int16_t* length) {
    if (length != nullptr) *length = 0;
    Request q;
    q.call = kUploadBlock;
    q.a = type;
    q.b = buffer == nullptr ? 0 : std::max<std::int16_t>(0, maxLength);
    Reply r;
    const std::size_t room = static_cast<std::size_t>(q.b);
    if (!Transact(q, std::min(room, kMaxPayload), &r)) return kNoAnswer;
    if (r.value < 0 || static_cast<std::size_t>(r.value) != r.payload.size()) {
        lost_ = true;
        return kNoAnswer;
    }
    if (buffer != nullptr && !r.payload.empty()) std::memcpy(buffer, r.payload.data(), r.payload.size());
    if (length != nullptr) *length = r.value;
    return r.status;
}

std::int16_t RemoteScanner::InquireParameter(std::int16_t code, std::int16_t form, std::int16_t* value) {
    if (value != nullptr) *value = 0;
    Request q;
    q.call = kInquireParameter;
    q.a = code;
    q.b = form;
    Reply r;
    if (!Transact(q, 0, &r)) return kNoAnswer;
    if (value != nullptr) *value = r.value;
    return r.status;
}

std::int16_t RemoteScanner::GetCommandError() { return Simple(kGetCommandError); }

std::int16_t RemoteScanner::SetParameter(std::int16_t code, std::int16_t value) { return Simple(kSetParameter, code, value); }

namespace {

RemoteScanner* current = nullptr;
RemoteScanner& Current() {
    static RemoteScanner none(nullptr);
    return current != nullptr ? *current : none;
}

std::int16_t VOREL_API RemoteOpenScanner(std::uint16_t w, std::int16_t f) { return Current().OpenScanner(w, f); }
std::int16_t VOREL_API RemoteDownloadBlock(std::int16_t t, void* b) { return Current().DownloadBlock(t, b); }
std::int16_t VOREL_API RemoteGetScanGeometry(ScanGeometry* g) { return Current().GetScanGeometry(g); }
std::int16_t VOREL_API RemoteResetScanner() { return Current().ResetScanner(); }
std::int16_t VOREL_API RemoteReadScanData(std::int16_t m, void* b, std::int32_t c, std::int32_t* g) {
    return Current().ReadScanData(m, b, c, g);
}
std::int16_t VOREL_API RemoteSetScanResolution(std::int16_t x, std::int16_t y) { return Current().SetScanResolution(x, y); }
std::int16_t VOREL_API RemoteSetScaling(std::int16_t x, std::int16_t y) { return Current().SetScaling(x, y); }
std::int16_t VOREL_API RemoteSetScanWindow(std::uint16_t* w, std::int16_t z) { return Current().SetScanWindow(w, z); }
std::int16_t VOREL_API RemoteUploadBlock(std::int16_t t, void* b, std::int16_t m, std::int16_t* l) {
    return Current().UploadBlock(t, b, m, l);
}
std::int16_t VOREL_API RemoteInquireParameter(std::int16_t c, std::int16_t f, std::int16_t* v) {
    return Current().InquireParameter(c, f, v);
}
std::int16_t VOREL_API RemoteGetCommandError() { return Current().GetCommandError(); }
std::int16_t VOREL_API RemoteSetParameter(std::int16_t c, std::int16_t v) { return Current().SetParameter(c, v); }

constexpr ScannerLibrary kRemoteTable = {
    RemoteOpenScanner,       RemoteDownloadBlock,      RemoteGetScanGeometry, RemoteResetScanner,
    RemoteReadScanData,      RemoteSetScanResolution,  RemoteSetScaling,      RemoteSetScanWindow,
    RemoteUploadBlock,       RemoteInquireParameter,   RemoteGetCommandError, RemoteSetParameter,
};

}  // namespace

const ScannerLibrary& RemoteTable() { return kRemoteTable; }

void SetRemoteScanner(RemoteScanner* scanner) { current = scanner; }

bool CurrentScannerLost() { return current != nullptr && current->Lost(); }

}  // namespace remote
