// The twelve calls of the scanner library as messages: their encoding, the
// helper's side that runs them, and the source's side that sends them and
// checks what comes back.
#include "device/remote_scanner.h"

#include <algorithm>
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
            // Never more than the section holds, whatever was asked.
            const std::int32_t count =
                std::max<std::int32_t>(0, std::min<std::int64_t>(q.count, static_cast<std::int64_t>(sectionSize)));
            std::int32_t got = 0;
            r.status = library.ReadScanData(q.a, section, count, &got);
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

void RemoteScanner::End() {
    channel_.reset();
    lost_ = false;
}

bool RemoteScanner::Transact(const Request& request, std::size_t maxPayload, Reply* reply) {
    if (channel_ == nullptr || lost_) return false;
    Bytes bytes;
    if (channel_->Exchange(EncodeRequest(request), &bytes) && DecodeReply(bytes.data(), bytes.size(), reply) &&
        reply->call == request.call && reply->payload.size() <= maxPayload &&
        (reply->got == 0 || request.call == kReadScanData)) {
        return true;
    }
    lost_ = true;
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
        // there is nothing to release.
        if (channel_ == nullptr) return 0;
        const std::int16_t status = Simple(kOpenScanner, static_cast<std::int16_t>(window), flag);
        End();
        return status;
    }
    if (channel_ == nullptr || lost_) {
        End();
        channel_ = factory_ != nullptr ? factory_() : nullptr;
        // No helper to be had (missing beside the source, or it would not
        // start): like a library that cannot open the scanner.
        if (channel_ == nullptr) return kCannotStart;
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
    if (!answered && channel_ != nullptr) lost_ = true;
    if (geometry != nullptr) {
        *geometry = ScanGeometry{};
        if (answered) std::memcpy(geometry, r.payload.data(), kGeometryBytes);
    }
    return answered ? r.status : kNoAnswer;
}

std::int16_t RemoteScanner::ResetScanner() { return Simple(kResetScanner); }

std::int16_t RemoteScanner::ReadScanData(std::int16_t mode, void* buffer, std::int32_t count, std::int32_t* got) {
    if (got != nullptr) *got = 0;
    if (buffer == nullptr || got == nullptr || count < 0) {
        // Sent on for the library's own answer to a bad argument; no data comes back.
        Request q;
        q.call = kReadScanData;
        q.a = mode;
        Reply r;
        return Transact(q, 0, &r) ? r.status : kNoAnswer;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int32_t total = 0;
    std::int16_t status = kNoAnswer;
    // One round trip per section-full; a read the section holds is one.
    do {
        const std::size_t sectionSize = channel_ != nullptr ? channel_->SectionSize() : 0;
        const std::int32_t piece = static_cast<std::int32_t>(
            std::min<std::int64_t>(count - total, static_cast<std::int64_t>(std::max<std::size_t>(sectionSize, 1))));
        Request q;
        q.call = kReadScanData;
        q.a = total == 0 ? mode : 0;
        q.count = piece;
        Reply r;
        if (!Transact(q, 0, &r)) return kNoAnswer;
        // Not one byte more than asked for, nor than the section holds.
        if (r.got < 0 || r.got > piece || static_cast<std::size_t>(r.got) > sectionSize) {
            lost_ = true;
            return kNoAnswer;
        }
        std::memcpy(out + total, channel_->Section(), static_cast<std::size_t>(r.got));
        total += r.got;
        *got = total;
        status = r.status;
        if (r.got < piece || status != 0) break;
    } while (total < count);
    return status;
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
