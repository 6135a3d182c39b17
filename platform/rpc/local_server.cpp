// Local servers: the listening socket, class objects and active objects published in the runtime folder, and
// the client side of activation (finding or starting the program, the class object's proxy).
#include "platform/rpc/local_server.h"

#include "platform/base/paths.h"
#include "platform/base/program_conventions.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"
#include "platform/com/activation_internal.h"
#include "platform/com/apartment.h"
#include "platform/com/errorinfo.h"
#include "platform/com/rot.h"
#include "platform/rpc/registrations.h"
#include "platform/rpc/remote_proxy.h"

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>

extern char** environ;

namespace vr::rpc {

namespace {

struct PublishedClass {
    CLSID clsid;
    ComPtr<IUnknown> classObject;
    ApartmentRef home;
    std::thread::id owner;
    DWORD cookie;
    std::string file;
};

struct PublishedActive {
    CLSID clsid;
    ApartmentRef home;
    DWORD cookie;
    std::string file;
};

struct ServerState {
    std::mutex mutex;
    std::string socketPath; // empty until the listener runs
    int listenFd = -1;
    std::vector<PublishedClass> classes;
    std::vector<PublishedActive> actives;
    std::vector<std::weak_ptr<Channel>> channels;
    std::map<std::string, ChannelRef> clients; // by socket path
    std::chrono::milliseconds startTimeout{10000};
};

ServerState& State() {
    static auto* state = new ServerState; // lives through exit: reader threads may still end
    return *state;
}

std::string ClassText(const CLSID& clsid) {
    return ToUtf8(GuidToString(clsid));
}

std::string ClassFile(const std::string& folder, const CLSID& clsid) {
    return folder + "/class-" + ClassText(clsid);
}

void TrackChannel(const ChannelRef& channel) {
    ServerState& state = State();
    std::lock_guard lock(state.mutex);
    std::erase_if(state.channels, [](const std::weak_ptr<Channel>& c) { return c.expired(); });
    state.channels.push_back(channel);
}

// Writes text into path atomically (a temporary file renamed over it); 0, or the errno of the failure.
int WriteFileAtomically(const std::string& path, const std::string& text) {
    std::string temporary = path + ".tmp" + std::to_string(getpid());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno;
    }
    ssize_t written = write(fd, text.data(), text.size());
    int error = written == static_cast<ssize_t>(text.size()) ? 0 : (written < 0 ? errno : ENOSPC);
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
    }
    return error;
}

std::string ReadSmallFile(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    char buffer[512];
    ssize_t got = read(fd, buffer, sizeof buffer);
    close(fd);
    return got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string();
}

void AcceptLoop(int listenFd) {
    for (;;) {
        int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;
        }
        TrackChannel(Channel::Start(fd));
    }
}

constexpr std::string_view kSocketPrefix = "srv-";
constexpr std::string_view kSocketSuffix = ".sock";

// The process that listens on a socket named "srv-<pid>.sock"; 0 for any other name.
pid_t SocketOwner(std::string_view name) {
    if (!name.starts_with(kSocketPrefix) || !name.ends_with(kSocketSuffix)) {
        return 0;
    }
    std::string_view digits =
        name.substr(kSocketPrefix.size(), name.size() - kSocketPrefix.size() - kSocketSuffix.size());
    pid_t pid = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    return error == std::errc() && end == digits.data() + digits.size() && pid > 0 ? pid : 0;
}

// Sockets left by processes that ended without removing theirs (killed outright, or crashed): removed when a
// program starts to listen, so that the folder does not fill up with them. A process that exists (or that
// this user may not signal, in a folder shared by a station's users) keeps its socket.
void RemoveStaleSockets(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        return;
    }
    std::vector<std::string> stale;
    while (dirent* entry = readdir(dir)) {
        pid_t owner = SocketOwner(entry->d_name);
        if (owner > 0 && kill(owner, 0) != 0 && errno == ESRCH) {
            stale.push_back(folder + "/" + entry->d_name);
        }
    }
    closedir(dir);
    for (const std::string& path : stale) {
        unlink(path.c_str());
    }
}

// The listening socket's path for the signal handler: written once, before the handler is installed.
char g_socketPathForSignal[sizeof(sockaddr_un::sun_path)];

void RemoveSocketAndEnd(int signal) {
    unlink(g_socketPathForSignal);
    raise(signal); // the handler was reset on entry: the signal now ends the process as it would have
}

// A program ended by SIGTERM or SIGINT (its default action) removes its socket first. A program that handles
// those signals itself keeps its own handling, and ends through exit, which removes the socket too.
void RemoveSocketOnTermination(const std::string& path) {
    std::memcpy(g_socketPathForSignal, path.c_str(), path.size() + 1);
    for (int signal : {SIGTERM, SIGINT}) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
            current.sa_handler != SIG_DFL) {
            continue;
        }
        struct sigaction handler {};
        handler.sa_handler = &RemoveSocketAndEnd;
        sigemptyset(&handler.sa_mask);
        handler.sa_flags = SA_RESETHAND;
        (void)sigaction(signal, &handler, nullptr); // valid arguments: cannot fail
    }
}

// The path this process listens on, starting the listener on first use; empty when it cannot.
std::string EnsureListener() {
    ServerState& state = State();
    std::lock_guard lock(state.mutex);
    if (!state.socketPath.empty()) {
        return state.socketPath;
    }
    std::string folder = RuntimeFolder();
    if (folder.empty()) {
        return {};
    }
    std::string path =
        folder + "/" + std::string(kSocketPrefix) + std::to_string(getpid()) + std::string(kSocketSuffix);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return {};
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return {};
    }
    RemoveStaleSockets(folder);
    unlink(path.c_str()); // a socket left by an earlier process that had this process's id
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 64) != 0) {
        close(fd);
        return {};
    }
    state.listenFd = fd;
    state.socketPath = path;
    // Removed at exit; a crash leaves it, and the next program that listens removes it.
    std::atexit([] { unlink(State().socketPath.c_str()); });
    RemoveSocketOnTermination(path);
    std::thread(AcceptLoop, fd).detach();
    return path;
}

// A channel to the process listening at path: the one already open, or a new connection; null when nobody
// listens there.
ChannelRef Connect(const std::string& path) {
    ServerState& state = State();
    {
        std::lock_guard lock(state.mutex);
        auto found = state.clients.find(path);
        if (found != state.clients.end()) {
            // A peer that has just ended may not have been noticed by a reading thread yet.
            if (found->second->IsAlive() && !found->second->PeerHasClosed()) {
                return found->second;
            }
            state.clients.erase(found);
        }
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return nullptr;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return nullptr;
    }
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return nullptr;
    }
    ChannelRef channel = Channel::Start(fd);
    TrackChannel(channel);
    std::lock_guard lock(state.mutex);
    state.clients[path] = channel;
    return channel;
}

// ---- Serving ----

ApartmentRef ClassHome(const CLSID& clsid) {
    ServerState& state = State();
    std::lock_guard lock(state.mutex);
    for (const PublishedClass& entry : state.classes) {
        if (entry.clsid == clsid) {
            return entry.home;
        }
    }
    return nullptr;
}

HRESULT CreateInstanceForPeer(const CLSID& clsid, REFIID riid, IUnknown** object) {
    ComPtr<IUnknown> classObject;
    {
        ServerState& state = State();
        std::lock_guard lock(state.mutex);
        for (const PublishedClass& entry : state.classes) {
            if (entry.clsid == clsid) {
                classObject = entry.classObject;
                break;
            }
        }
    }
    if (!classObject) {
        return CO_E_SERVER_STOPPING; // revoked since the client found it
    }
    ComPtr<IClassFactory> factory;
    if (HRESULT hr = classObject.As(&factory); FAILED(hr)) {
        return hr;
    }
    ComPtr<IUnknown> made;
    if (HRESULT hr = factory->CreateInstance(nullptr, IID_IUnknown, made.PutVoid()); FAILED(hr)) {
        return hr;
    }
    ComPtr<IUnknown> asked;
    if (HRESULT hr = made->QueryInterface(riid, asked.PutVoid()); FAILED(hr)) {
        return hr;
    }
    *object = made.Detach();
    return S_OK;
}

ApartmentRef PublishedHome(uint64_t id) {
    ServerState& state = State();
    std::lock_guard lock(state.mutex);
    for (const PublishedActive& entry : state.actives) {
        if (entry.cookie == id) {
            return entry.home;
        }
    }
    return nullptr;
}

HRESULT GetPublishedForPeer(uint64_t id, IUnknown** object) {
    CLSID clsid{};
    bool found = false;
    {
        ServerState& state = State();
        std::lock_guard lock(state.mutex);
        for (const PublishedActive& entry : state.actives) {
            if (entry.cookie == id) {
                clsid = entry.clsid;
                found = true;
            }
        }
    }
    return found ? GetActiveObject(clsid, nullptr, object) : MK_E_UNAVAILABLE;
}

void InstallServices() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        ProcessServices services;
        services.classHome = &ClassHome;
        services.publishedHome = &PublishedHome;
        services.createInstance = &CreateInstanceForPeer;
        services.getPublished = &GetPublishedForPeer;
        SetProcessServices(services);
    });
}

// ---- The client side of activation ----

// IClassFactory of a class served by another process.
class ClassFactoryProxy final : public IClassFactory {
public:
    ClassFactoryProxy(ChannelRef channel, const CLSID& clsid) : channel_(std::move(channel)), clsid_(clsid) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            AddRef();
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        HRESULT hr = CreateOn(channel_, riid, ppv);
        if (hr != RPC_E_SERVER_DIED && hr != RPC_E_DISCONNECTED) {
            return hr;
        }
        // The server ended after it was found (even while it still took the connection): once more, with
        // the server running now or a new one.
        ComPtr<IClassFactory> fresh;
        if (HRESULT found = detail::GetLocalServerClassObject(clsid_, IID_IClassFactory, fresh.PutVoid());
            FAILED(found)) {
            return found;
        }
        return static_cast<ClassFactoryProxy*>(fresh.Get())
            ->CreateOn(static_cast<ClassFactoryProxy*>(fresh.Get())->channel_, riid, ppv);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    HRESULT CreateOn(const ChannelRef& channel, REFIID riid, void** ppv) {
        uint64_t callId = 0;
        uint64_t causality = 0;
        Writer request = channel->BeginRequest(0, Operation::CreateInstance, &callId, &causality);
        request.Guid(clsid_);
        request.Guid(riid);
        std::vector<uint8_t> reply;
        if (HRESULT hr = channel->Transact(std::move(request), callId, causality, &reply); FAILED(hr)) {
            return hr;
        }
        Reader in(reply.data(), reply.size(), channel.get());
        uint32_t status = 0;
        if (!in.U32(&status) || !in.ErrorInfo()) {
            return RPC_E_INVALID_DATA;
        }
        if (FAILED(static_cast<HRESULT>(status))) {
            return static_cast<HRESULT>(status);
        }
        ComPtr<IUnknown> object;
        if (HRESULT hr = in.Object(object.Put()); FAILED(hr)) {
            return hr;
        }
        return object ? object->QueryInterface(riid, ppv) : E_UNEXPECTED;
    }

    ~ClassFactoryProxy() = default;
    std::atomic<ULONG> refs_{1};
    ChannelRef channel_;
    CLSID clsid_;
};

// The build a running program comes from: the stamp beside its program file (*program: that file); "" when
// unknown. A program file removed or replaced since the process started (an installation over a running
// program) is of another build than any that can be read now.
std::string BuildOfProcess(pid_t pid, std::string* program) {
    char target[PATH_MAX];
    ssize_t length = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return {};
    }
    *program = std::string(target, static_cast<size_t>(length));
    constexpr std::string_view kDeleted = " (deleted)";
    if (program->ends_with(kDeleted)) {
        program->resize(program->size() - kDeleted.size());
        return "replaced since it started";
    }
    std::string stamp = ReadSmallFile(program->substr(0, program->rfind('/')) + "/build.dat");
    return stamp.substr(0, stamp.find('\n'));
}

// A running server of another build than this program's is not used: the classes it serves and the
// libraries it loads for them are that build's, and the two builds' libraries fail together without a cause
// (an undefined symbol). Refused with the server's process, its build and what to do; taken when either build
// is unknown.
HRESULT RefuseServerOfOtherBuild(const std::string& socketPath) {
    static const std::string mine = BuildStamp();
    pid_t server = SocketOwner(std::string_view(socketPath).substr(socketPath.rfind('/') + 1));
    std::string program;
    std::string theirs = server > 0 ? BuildOfProcess(server, &program) : std::string();
    if (mine == "unknown" || theirs.empty() || theirs == mine) {
        return S_OK;
    }
    std::string pid = std::to_string(server);
    return ReportError(CO_E_SERVER_EXEC_FAILURE, IID_IClassFactory, u"rpc",
                       FromUtf8("The local server " + program + " that runs (process " + pid + ", build " +
                                theirs + ") is of another build than this program (build " + mine +
                                "): end it (kill " + pid + ") and start this program again."));
}

// The channel to the running server of the class; null when none runs, or (with *refused) when it is of
// another build.
ChannelRef ConnectToClass(const std::string& folder, const CLSID& clsid, HRESULT* refused) {
    std::string socket = ReadSmallFile(ClassFile(folder, clsid));
    *refused = socket.empty() ? S_OK : RefuseServerOfOtherBuild(socket);
    return FAILED(*refused) ? nullptr : Connect(socket);
}

// The program of a LocalServer32 value: a quoted path up to its closing quote, else the whole text.
std::string ProgramOf(const std::u16string& command) {
    std::string text = ToUtf8(command);
    if (!text.empty() && text.front() == '"') {
        size_t end = text.find('"', 1);
        return text.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    }
    return text;
}

struct StartedProgram {
    std::mutex mutex;
    bool ended = false;
    int status = 0;
};

HRESULT StartProgram(const std::string& program, std::shared_ptr<StartedProgram>* started) {
    std::string embedding = "-Embedding";
    char* argv[] = {const_cast<char*>(program.c_str()), embedding.data(), nullptr};
    pid_t pid = 0;
    int error = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ);
    if (error != 0) {
        return ReportError(CO_E_SERVER_EXEC_FAILURE, IID_IClassFactory, u"rpc",
                           u"The server program '" + FromUtf8(program) + u"' could not be started: " +
                               FromUtf8(std::strerror(error)));
    }
    auto record = std::make_shared<StartedProgram>();
    // The program outlives this call; its end is collected so it leaves no zombie behind.
    std::thread([pid, record] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        std::lock_guard lock(record->mutex);
        record->ended = true;
        record->status = status;
    }).detach();
    *started = record;
    return S_OK;
}

HRESULT WaitForClass(const std::string& folder, const CLSID& clsid, const std::string& program,
                     const StartedProgram& started, ChannelRef* channel) {
    auto deadline = std::chrono::steady_clock::now() + State().startTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        HRESULT refused = S_OK;
        if ((*channel = ConnectToClass(folder, clsid, &refused)) || FAILED(refused)) {
            return refused;
        }
        {
            std::lock_guard lock(const_cast<std::mutex&>(started.mutex));
            if (started.ended) {
                int code =
                    WIFEXITED(started.status) ? WEXITSTATUS(started.status) : 128 + WTERMSIG(started.status);
                return ReportError(CO_E_SERVER_EXEC_FAILURE, IID_IClassFactory, u"rpc",
                                   u"The server program '" + FromUtf8(program) + u"' ended (status " +
                                       FromUtf8(std::to_string(code)) +
                                       u") before it registered its class object.");
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return ReportError(CO_E_SERVER_EXEC_FAILURE, IID_IClassFactory, u"rpc",
                       u"The server program '" + FromUtf8(program) +
                           u"' did not register its class object within " +
                           FromUtf8(std::to_string(State().startTimeout.count())) + u" ms.");
}

// Holds the station-wide lock that serialises starting the program of one class.
class StartLock {
public:
    StartLock(const std::string& folder, const CLSID& clsid) {
        fd_ = open((folder + "/start-" + ClassText(clsid) + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC,
                   0600);
        if (fd_ >= 0) {
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~StartLock() {
        if (fd_ >= 0) {
            close(fd_); // gives the lock back
        }
    }
    StartLock(const StartLock&) = delete;
    StartLock& operator=(const StartLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace

ULONG ServerProcessLocks() {
    return ServerProcessLockCount();
}

void ServeUntilIdle(std::chrono::milliseconds idle) {
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto idleSince = std::chrono::steady_clock::now();
    for (;;) {
        DWORD index = 0;
        static_cast<void>(CoWaitForMultipleHandles(COWAIT_DEFAULT, 20, 1, &never, &index));
        auto now = std::chrono::steady_clock::now();
        if (ServerProcessLocks() != 0) {
            idleSince = now;
        } else if (now - idleSince > idle) {
            break;
        }
    }
    CloseHandle(never);
}

void SetServerStartTimeout(std::chrono::milliseconds timeout) {
    ServerState& state = State();
    std::lock_guard lock(state.mutex);
    state.startTimeout = timeout;
}

size_t LiveChannelCount() {
    ServerState& state = State();
    std::lock_guard lock(state.mutex);
    return static_cast<size_t>(
        std::count_if(state.channels.begin(), state.channels.end(), [](const auto& weak) {
            ChannelRef channel = weak.lock();
            return channel && channel->IsAlive();
        }));
}

namespace detail {

HRESULT PublishClassObject(const CLSID& clsid, IUnknown* classObject, DWORD cookie) {
    InstallServices();
    std::string socket = EnsureListener();
    if (socket.empty()) {
        return ReportError(CO_E_SERVER_EXEC_FAILURE, IID_IClassFactory, u"rpc",
                           u"The runtime folder cannot take this program's socket.");
    }
    std::string file = ClassFile(RuntimeFolder(), clsid);
    ServerState& state = State();
    {
        std::lock_guard lock(state.mutex);
        state.classes.push_back({clsid, ComPtr<IUnknown>(classObject), ThisApartment(),
                                 std::this_thread::get_id(), cookie, file});
    }
    if (int error = WriteFileAtomically(file, socket); error != 0) {
        std::lock_guard lock(state.mutex);
        std::erase_if(state.classes,
                      [cookie](const PublishedClass& entry) { return entry.cookie == cookie; });
        return ReportError(HResultFromErrno(error), IID_IClassFactory, u"rpc",
                           u"The class could not be published in the runtime folder: " +
                               FromUtf8(std::strerror(error)));
    }
    return S_OK;
}

namespace {

template <class Predicate>
void Unpublish(Predicate matches) {
    std::vector<PublishedClass> removed;
    ServerState& state = State();
    {
        std::lock_guard lock(state.mutex);
        for (auto it = state.classes.begin(); it != state.classes.end();) {
            if (matches(*it)) {
                removed.push_back(std::move(*it));
                it = state.classes.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const PublishedClass& entry : removed) {
        // The file names this process only while no later server took the class over.
        if (ReadSmallFile(entry.file) == state.socketPath) {
            unlink(entry.file.c_str());
        }
    }
}

} // namespace

void UnpublishClassObject(DWORD cookie) {
    Unpublish([cookie](const PublishedClass& entry) { return entry.cookie == cookie; });
}

void UnpublishClassObjectsOfThisThread() {
    auto self = std::this_thread::get_id();
    Unpublish([self](const PublishedClass& entry) { return entry.owner == self; });
}

HRESULT GetLocalServerClassObject(const CLSID& clsid, REFIID riid, void** ppv) {
    std::string folder = RuntimeFolder();
    if (folder.empty()) {
        return ReportError(CO_E_SERVER_EXEC_FAILURE, IID_IClassFactory, u"rpc",
                           u"There is no private runtime folder to find local servers in.");
    }
    InstallServices();
    HRESULT refused = S_OK;
    ChannelRef channel = ConnectToClass(folder, clsid, &refused);
    if (FAILED(refused)) {
        return refused;
    }
    if (!channel) {
        std::u16string command;
        if (!vr::detail::ReadClassesText(vr::detail::ClassKey(clsid) + u"\\LocalServer32", u"", command) ||
            command.empty()) {
            return REGDB_E_CLASSNOTREG;
        }
        std::string program = ProgramOf(command);
        StartLock lock(folder, clsid);
        channel = ConnectToClass(folder, clsid, &refused); // started meanwhile by another client
        if (FAILED(refused)) {
            return refused;
        }
        if (!channel) {
            std::shared_ptr<StartedProgram> started;
            if (HRESULT hr = StartProgram(program, &started); FAILED(hr)) {
                return hr;
            }
            if (HRESULT hr = WaitForClass(folder, clsid, program, *started, &channel); FAILED(hr)) {
                return hr;
            }
        }
    }
    ComPtr<IClassFactory> factory = ComPtr<IClassFactory>::Adopt(new ClassFactoryProxy(channel, clsid));
    return factory->QueryInterface(riid, ppv);
}

HRESULT PublishActiveObject(IUnknown*, const CLSID& clsid, DWORD cookie) {
    InstallServices();
    std::string socket = EnsureListener();
    std::string folder = RuntimeFolder();
    if (socket.empty() || folder.empty()) {
        return ReportError(
            E_ACCESSDENIED, GUID_NULL, u"rpc",
            u"The runtime folder cannot take this program's socket: other processes cannot find "
            u"its active object.");
    }
    std::string file = folder + "/" + ActiveObjectFilePrefix(clsid) + std::to_string(getpid()) + "-" +
                       std::to_string(cookie);
    ServerState& state = State();
    {
        std::lock_guard lock(state.mutex);
        state.actives.push_back({clsid, ThisApartment(), cookie, file});
    }
    if (int error = WriteFileAtomically(file, socket); error != 0) {
        std::lock_guard lock(state.mutex);
        std::erase_if(state.actives,
                      [cookie](const PublishedActive& entry) { return entry.cookie == cookie; });
        return ReportError(HResultFromErrno(error), GUID_NULL, u"rpc",
                           u"The active object could not be published in the runtime folder: " +
                               FromUtf8(std::strerror(error)));
    }
    BumpRegistrationGeneration(folder);
    return S_OK;
}

void UnpublishActiveObject(DWORD cookie) {
    std::string file;
    {
        ServerState& state = State();
        std::lock_guard lock(state.mutex);
        for (auto it = state.actives.begin(); it != state.actives.end(); ++it) {
            if (it->cookie == cookie) {
                file = it->file;
                state.actives.erase(it);
                break;
            }
        }
    }
    if (!file.empty()) {
        (void)unlink(file.c_str()); // perhaps gone already: a reader removes a file it finds stale
        BumpRegistrationGeneration(file.substr(0, file.rfind('/')));
    }
}

namespace {

// Removes the file of a registration whose process is gone or no longer has it, and tells every process.
void RemoveDeadRegistration(const std::string& folder, const std::string& name) {
    (void)unlink((folder + "/" + name).c_str()); // removed already by another reader: the same end
    BumpRegistrationGeneration(folder);
}

} // namespace

HRESULT GetActiveObjectElsewhere(const CLSID& clsid, IUnknown** object) {
    *object = nullptr;
    // Every trace line asks for the outside tracer, which is usually not running: answered from memory while
    // the registrations of the runtime folder have not changed.
    if (KnownAbsentElsewhere(clsid)) {
        return MK_E_UNAVAILABLE;
    }
    PublishedElsewhere published = FindPublishedElsewhere(clsid);
    for (const std::string& name : published.names) {
        ChannelRef channel = Connect(ReadSmallFile(published.folder + "/" + name));
        if (!channel) {
            RemoveDeadRegistration(published.folder, name); // its process is gone
            continue;
        }
        uint64_t cookie = std::strtoull(name.substr(name.rfind('-') + 1).c_str(), nullptr, 10);
        uint64_t callId = 0;
        uint64_t causality = 0;
        Writer request = channel->BeginRequest(0, Operation::GetPublished, &callId, &causality);
        request.U64(cookie);
        std::vector<uint8_t> reply;
        if (FAILED(channel->Transact(std::move(request), callId, causality, &reply))) {
            continue;
        }
        Reader in(reply.data(), reply.size(), channel.get());
        uint32_t status = 0;
        if (!in.U32(&status) || !in.ErrorInfo()) {
            continue;
        }
        if (static_cast<HRESULT>(status) == MK_E_UNAVAILABLE) {
            // A process that does not have the object: it revoked it without removing the file, or it took
            // the dead registrant's process id (and so its socket's name).
            RemoveDeadRegistration(published.folder, name);
            continue;
        }
        if (FAILED(static_cast<HRESULT>(status))) {
            continue;
        }
        if (SUCCEEDED(in.Object(object)) && *object) {
            return S_OK;
        }
    }
    return MK_E_UNAVAILABLE;
}

} // namespace detail

} // namespace vr::rpc

ULONG CoAddRefServerProcess() {
    vr::rpc::AddServerProcessLock();
    return vr::rpc::ServerProcessLockCount();
}

ULONG CoReleaseServerProcess() {
    vr::rpc::ReleaseServerProcessLock();
    return vr::rpc::ServerProcessLockCount();
}
