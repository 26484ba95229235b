// The 64-bit source's connection to its 32-bit helper. The source makes a
// named pipe whose name is 128 random bits from the system's generator and
// whose security descriptor lets only the current user in, and an unnamed
// section and two unnamed events (the helper wakes the source with one, the
// source the helper in a stream with the other) that reach the helper as
// handles duplicated into it. Calls pass through the section's mailbox; the
// pipe carries the first message, a byte that wakes a helper sleeping
// between calls, and its end tells the helper the source has gone. The
// helper is started suspended, put into a job that kills it when the job's
// last handle closes (the application ending in any way closes it), handed
// the section's and this process's handles, and resumed. The helper starts
// while the source goes on (a new process takes Wine tens of milliseconds);
// Connect then waits for it to connect and take the section.
//
// A slow helper is told from a dead or hung one by its process and its
// progress. Its start is the one wait with a time bound: the helper
// connects to the pipe before it runs any of the maker's code, so a helper
// that has not connected within the bound (the settings file's
// [Helper] StartSeconds, 15 by default) is hung and given up, once. The
// pipe's client must be the helper's own process, and its answer to the
// hello must name this build's version. After that every wait lasts as long
// as the helper's process lives: the maker's library may take its time to
// load, to warm its lamp up or to send a slow scan, as it would in a 32-bit
// source. A helper that ends is seen at once.
#if defined(_WIN64)

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "device/helper_channel.h"
#include "platform/library.h"
#include "platform/profile.h"

extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);  // RtlGenRandom

namespace {

constexpr char kHelperName[] = "vorelhost32.exe";
// The largest read the source makes is kMaxScanRead (64000) bytes; the section's ring
// holds 64 of them, so that the helper reads ahead while the source works
// on what it has and is woken once per 32 reads: under Wine every wake-up
// is a trip to its server, which a loaded machine makes slow.
constexpr std::size_t kSectionSize = 4u << 20;
// How long a new helper may take to connect, the maker's library not yet
// loaded: a new process, slow only on a loaded machine.
constexpr int kStartSeconds = 15;
constexpr int kMostStartSeconds = 600;
constexpr DWORD kEndWaitMs = 2000;

DWORD StartTimeoutMs() {
    const int seconds = platform::ProfileGetInt("Helper", "StartSeconds", kStartSeconds);
    return static_cast<DWORD>(seconds >= 1 && seconds <= kMostStartSeconds ? seconds : kStartSeconds) * 1000;
}

// The process at the pipe's other end; 0 when the system cannot say
// (GetNamedPipeClientProcessId is missing before Windows Vista).
DWORD PipeClientProcess(HANDLE pipe) {
    using Query = BOOL(WINAPI*)(HANDLE, PULONG);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetNamedPipeClientProcessId")));
    ULONG client = 0;
    return query != nullptr && query(pipe, &client) ? client : 0;
}
// How long the source looks for a reply before it sleeps: the library
// answers most calls at once. Longer looks cost more than they save on a
// busy machine, where a process that looks can lose its processor for a
// whole time slice.
constexpr remote::Spin kReplySpin{100};
#ifndef PIPE_REJECT_REMOTE_CLIENTS
#define PIPE_REJECT_REMOTE_CLIENTS 0x00000008
#endif

// A security descriptor whose list grants the current user all access and
// nobody else any.
class UserOnly {
public:
    UserOnly() {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD size = 0;
        alignas(8) BYTE user[512];
        const bool gotUser = ::GetTokenInformation(token, TokenUser, user, sizeof user, &size) != 0;
        ::CloseHandle(token);
        if (!gotUser) return;
        PSID sid = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
        if (!::IsValidSid(sid)) return;
        const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid);
        if (aclSize > sizeof acl_) return;
        auto* acl = reinterpret_cast<PACL>(acl_);
        if (!::InitializeAcl(acl, aclSize, ACL_REVISION) || !::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) ||
            !::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
            !::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) {
            return;
        }
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
        ready_ = true;
    }
    SECURITY_ATTRIBUTES* attributes() { return ready_ ? &attributes_ : nullptr; }

private:
    alignas(8) BYTE acl_[256] = {};
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ready_ = false;
};

class HelperChannel : public remote::Channel {
public:
    ~HelperChannel() override;
    // Starts the helper without waiting for it.
    bool Start();
    bool Connect() override;
    bool Post(const remote::Bytes& request) override;
    bool Collect(remote::Bytes* reply) override;
    bool AwaitData() override;
    remote::Spin LookFor() const override { return spin_; }
    void WakeHelper() override { ::SetEvent(room_); }
    std::uint8_t* Section() override { return view_; }
    std::size_t SectionSize() const override { return view_ != nullptr ? kSectionSize : 0; }

private:
    // Waits for the overlapped operation on the pipe; false when it failed,
    // the helper ended or the time ran out. An operation called off is
    // waited for until it has gone: its buffer and structure are the
    // caller's and this object's.
    bool Finish(BOOL started, DWORD timeout, bool* moreData = nullptr);
    bool Write(const void* data, DWORD size);
    bool Read(void* data, DWORD size, DWORD* got, bool* moreData);

    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped_{};
    HANDLE event_ = nullptr;
    HANDLE dataReady_ = nullptr;
    HANDLE room_ = nullptr;
    HANDLE section_ = nullptr;
    std::uint8_t* view_ = nullptr;
    remote::CallBox box_{nullptr};
    remote::Spin spin_{0};
    HANDLE job_ = nullptr;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    // The first message: the version, the helper's handles to the section,
    // this process and the two events, and the section's size.
    std::uint32_t hello_[kHelloWords] = {};
    bool connected_ = false;
    bool broken_ = false;
};

HelperChannel::~HelperChannel() {
    // Closing the pipe tells the helper to end; one that does not is ended,
    // as is one that never connected (it has not opened the scanner).
    if (pipe_ != INVALID_HANDLE_VALUE) ::CloseHandle(pipe_);
    if (process_ != nullptr) {
        if (::WaitForSingleObject(process_, broken_ || !connected_ ? 0 : kEndWaitMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(process_, 1);
            ::WaitForSingleObject(process_, kEndWaitMs);
        }
        ::CloseHandle(process_);
    }
    if (job_ != nullptr) ::CloseHandle(job_);
    if (view_ != nullptr) ::UnmapViewOfFile(view_);
    if (section_ != nullptr) ::CloseHandle(section_);
    if (event_ != nullptr) ::CloseHandle(event_);
    if (dataReady_ != nullptr) ::CloseHandle(dataReady_);
    if (room_ != nullptr) ::CloseHandle(room_);
}

bool HelperChannel::Finish(BOOL started, DWORD timeout, bool* moreData) {
    if (moreData != nullptr) *moreData = false;
    // Done at once (a request always fits the pipe, a reply is often there
    // already): no wait, which under Wine is one more trip to its server.
    if (started) return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_MORE_DATA && moreData != nullptr) *moreData = true;
    if (error != ERROR_IO_PENDING) return false;
    HANDLE waits[2] = {event_, process_};
    const DWORD woke = ::WaitForMultipleObjects(process_ != nullptr ? 2 : 1, waits, FALSE, timeout);
    if (woke != WAIT_OBJECT_0) {
        // The operation is called off and waited for: until it has gone the
        // system may still write into its buffer and structure.
        DWORD ignored = 0;
        ::CancelIo(pipe_);
        ::GetOverlappedResult(pipe_, &overlapped_, &ignored, TRUE);
        return false;
    }
    DWORD done = 0;
    if (!::GetOverlappedResult(pipe_, &overlapped_, &done, FALSE)) {
        // A message longer than the buffer: a reply no call has.
        if (::GetLastError() == ERROR_MORE_DATA && moreData != nullptr) *moreData = true;
        return false;
    }
    return true;
}

bool HelperChannel::Write(const void* data, DWORD size) {
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_;
    ::ResetEvent(event_);
    DWORD done = 0;
    const BOOL started = ::WriteFile(pipe_, data, size, &done, &overlapped_);
    return Finish(started, INFINITE) && ::GetOverlappedResult(pipe_, &overlapped_, &done, FALSE) && done == size;
}

bool HelperChannel::Read(void* data, DWORD size, DWORD* got, bool* moreData) {
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_;
    ::ResetEvent(event_);
    DWORD done = 0;
    const BOOL started = ::ReadFile(pipe_, data, size, &done, &overlapped_);
    if (!Finish(started, INFINITE, moreData)) return false;
    if (!::GetOverlappedResult(pipe_, &overlapped_, &done, FALSE)) return false;
    *got = done;
    return true;
}

bool HelperChannel::Start() {
    const std::string folder = platform::ModuleFolder();
    if (folder.empty()) return false;
    const std::string helper = folder + kHelperName;
    if (::GetFileAttributesA(helper.c_str()) == INVALID_FILE_ATTRIBUTES) return false;

    unsigned char random[16];
    if (!SystemFunction036(random, sizeof random)) return false;
    char name[80];
    int at = std::snprintf(name, sizeof name, "\\\\.\\pipe\\vorel-");
    for (unsigned char byte : random) at += std::snprintf(name + at, sizeof name - at, "%02x", byte);

    UserOnly security;
    if (security.attributes() == nullptr) return false;
    event_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    dataReady_ = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    room_ = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event_ == nullptr || dataReady_ == nullptr || room_ == nullptr) return false;
    const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
    const DWORD pipeMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT;
    pipe_ = ::CreateNamedPipeA(name, openMode, pipeMode | PIPE_REJECT_REMOTE_CLIENTS, 1, 4096, 4096, 0,
                               security.attributes());
    if (pipe_ == INVALID_HANDLE_VALUE) {
        // Systems without the remote-client flag refuse it; the pipe is local anyway.
        pipe_ = ::CreateNamedPipeA(name, openMode, pipeMode, 1, 4096, 4096, 0, security.attributes());
    }
    if (pipe_ == INVALID_HANDLE_VALUE) return false;

    section_ = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSectionSize, nullptr);
    if (section_ == nullptr) return false;
    view_ = static_cast<std::uint8_t*>(::MapViewOfFile(section_, FILE_MAP_WRITE, 0, 0, kSectionSize));
    if (view_ == nullptr) return false;
    box_ = remote::CallBox(view_);
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    if (system.dwNumberOfProcessors > 1) spin_ = kReplySpin;

    job_ = ::CreateJobObjectA(nullptr, nullptr);
    if (job_ != nullptr) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        ::SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }

    std::string command = "\"" + helper + "\" " + name;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(helper.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                          nullptr, folder.c_str(), &startup, &info)) {
        return false;
    }
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    // An application already in a job that forbids nesting keeps the helper
    // out of ours; the helper still ends with the pipe and with this process.
    if (job_ != nullptr) ::AssignProcessToJobObject(job_, process_);

    HANDLE sectionThere = nullptr;
    HANDLE parentThere = nullptr;
    HANDLE dataReadyThere = nullptr;
    HANDLE roomThere = nullptr;
    const HANDLE self = ::GetCurrentProcess();
    const bool handedOver =
        ::DuplicateHandle(self, section_, process_, &sectionThere, FILE_MAP_WRITE | FILE_MAP_READ, FALSE, 0) &&
        ::DuplicateHandle(self, self, process_, &parentThere, SYNCHRONIZE, FALSE, 0) &&
        ::DuplicateHandle(self, dataReady_, process_, &dataReadyThere, EVENT_MODIFY_STATE, FALSE, 0) &&
        ::DuplicateHandle(self, room_, process_, &roomThere, SYNCHRONIZE, FALSE, 0);
    ::ResumeThread(info.hThread);
    ::CloseHandle(info.hThread);
    if (!handedOver) return false;
    auto value = [](HANDLE handle) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle)); };
    const std::uint32_t hello[kHelloWords] = {kHelperProtocol,    value(sectionThere),
                                              kSectionSize,       value(parentThere),
                                              value(dataReadyThere), value(roomThere)};
    std::memcpy(hello_, hello, sizeof hello_);
    return true;
}

bool HelperChannel::Connect() {
    if (connected_) return true;
    if (process_ == nullptr || broken_) return false;
    // Read before the pipe's call, whose error Finish looks at.
    const DWORD startTimeout = StartTimeoutMs();
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_;
    ::ResetEvent(event_);
    const BOOL connected = ::ConnectNamedPipe(pipe_, &overlapped_);
    // A helper that has not connected in time is hung; one that ended is dead.
    if (!connected && ::GetLastError() != ERROR_PIPE_CONNECTED && !Finish(FALSE, startTimeout)) {
        broken_ = true;
        return false;
    }
    // Only the helper this source started may be at the other end.
    const DWORD client = PipeClientProcess(pipe_);
    if (client != 0 && client != processId_) {
        broken_ = true;
        return false;
    }

    // The answer comes once the helper has loaded the library, which takes
    // as long as it takes while the helper lives.
    std::uint32_t answer[kAnswerWords + 1] = {};
    DWORD got = 0;
    bool moreData = false;
    connected_ = Write(hello_, sizeof hello_) && Read(answer, sizeof answer, &got, &moreData) &&
                 got == kAnswerWords * sizeof answer[0] && answer[0] == kHelperReady && answer[1] == kHelperProtocol;
    broken_ = !connected_;
    return connected_;
}

bool HelperChannel::Post(const remote::Bytes& request) {
    if (broken_ || !connected_ || request.size() > remote::kMaxMessage) return false;
    const std::uint8_t wake = 1;
    if (!box_.Post(request) || Write(&wake, sizeof wake)) return true;
    // Nothing more is asked of a helper that failed once.
    broken_ = true;
    return false;
}

bool HelperChannel::Collect(remote::Bytes* reply) {
    if (broken_ || !connected_) return false;
    if (box_.Collect(spin_, [this] { return AwaitData(); }, reply)) return true;
    broken_ = true;
    return false;
}

bool HelperChannel::AwaitData() {
    if (broken_) return false;
    // However long a slow scanner takes, while the helper lives.
    HANDLE waits[2] = {dataReady_, process_};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) return true;
    broken_ = true;
    return false;
}

}  // namespace

std::unique_ptr<remote::Channel> StartHelperChannel() {
    std::unique_ptr<HelperChannel> channel(new HelperChannel);
    if (!channel->Start()) return nullptr;
    return std::unique_ptr<remote::Channel>(std::move(channel));
}

#endif  // _WIN64
