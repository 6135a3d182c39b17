// A stand-in VXI-11 instrument for tests: the core channel (ONC RPC over TCP, program 0x0607AF version 1)
// on a loopback port, registered with the host's port mapper so that clients find it as they find a real
// instrument.
//
//   vrvxi11_instrument [--lifetime SECONDS]
//
// Prints "PORT <n>" once registered ("NO-PORTMAPPER" and exit status 2 when the port mapper refused the
// registration). Devices "inst0" and "inst1" can be linked; other names are refused (error 3). Commands end
// with a line feed (or with the END flag of a write); a new command drops an answer not yet read. Answers
// are messages that end with a line feed and END:
//   *IDN?               "VORNIC,VXI11 LOOPBACK,0,1.0"
//   ECHO <text>         <text>
//   DELAY <ms> <text>   <text>, ready ms milliseconds after the command
//   BIG <n>             n letters "x"
//   SILENT              no answer
//   EXIT                the program exits at once (clients lose their link)
// A read with no answer ready waits for it up to the read's io_timeout, then fails with error 15 (I/O
// timeout). The program unregisters and exits on SIGTERM, and by itself after --lifetime seconds (default
// 120), so that it never outlives a test run.
#include "platform/base/program_conventions.h"
#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

// libtirpc keeps the port mapper's address for good after a registration: not a leak of this program.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libtirpc.so\n";
}

namespace {

constexpr rpcprog_t kDeviceCore = 0x0607AF;
constexpr rpcvers_t kDeviceCoreVersion = 1;
constexpr rpcproc_t kCreateLink = 10;
constexpr rpcproc_t kDeviceWrite = 11;
constexpr rpcproc_t kDeviceRead = 12;
constexpr rpcproc_t kDestroyLink = 23;

constexpr int32_t kNoError = 0;
constexpr int32_t kDeviceNotAccessible = 3;
constexpr int32_t kInvalidLink = 4;
constexpr int32_t kIoTimeout = 15;
constexpr int32_t kFlagEnd = 0x08;
constexpr int32_t kFlagTermChar = 0x80;
constexpr int32_t kReasonRequestCount = 1;
constexpr int32_t kReasonTermChar = 2;
constexpr int32_t kReasonEnd = 4;

// ---- The core channel's messages and their XDR forms ----

struct CreateLinkParms {
    int32_t clientId;
    bool_t lockDevice;
    uint32_t lockTimeout;
    char* device;
};
struct CreateLinkResp {
    int32_t error;
    int32_t lid;
    u_short abortPort;
    uint32_t maxRecvSize;
};
struct WriteParms {
    int32_t lid;
    uint32_t ioTimeout;
    uint32_t lockTimeout;
    int32_t flags;
    u_int dataLength;
    char* data;
};
struct WriteResp {
    int32_t error;
    uint32_t size;
};
struct ReadParms {
    int32_t lid;
    uint32_t requestSize;
    uint32_t ioTimeout;
    uint32_t lockTimeout;
    int32_t flags;
    char termChar;
};
struct ReadResp {
    int32_t error;
    int32_t reason;
    u_int dataLength;
    char* data;
};

bool_t XdrCreateLinkParms(XDR* xdrs, CreateLinkParms* p) {
    return xdr_int32_t(xdrs, &p->clientId) && xdr_bool(xdrs, &p->lockDevice) &&
           xdr_u_int32_t(xdrs, &p->lockTimeout) && xdr_string(xdrs, &p->device, ~0u);
}
bool_t XdrCreateLinkResp(XDR* xdrs, CreateLinkResp* p) {
    return xdr_int32_t(xdrs, &p->error) && xdr_int32_t(xdrs, &p->lid) && xdr_u_short(xdrs, &p->abortPort) &&
           xdr_u_int32_t(xdrs, &p->maxRecvSize);
}
bool_t XdrWriteParms(XDR* xdrs, WriteParms* p) {
    return xdr_int32_t(xdrs, &p->lid) && xdr_u_int32_t(xdrs, &p->ioTimeout) &&
           xdr_u_int32_t(xdrs, &p->lockTimeout) && xdr_int32_t(xdrs, &p->flags) &&
           xdr_bytes(xdrs, &p->data, &p->dataLength, ~0u);
}
bool_t XdrWriteResp(XDR* xdrs, WriteResp* p) {
    return xdr_int32_t(xdrs, &p->error) && xdr_u_int32_t(xdrs, &p->size);
}
bool_t XdrReadParms(XDR* xdrs, ReadParms* p) {
    return xdr_int32_t(xdrs, &p->lid) && xdr_u_int32_t(xdrs, &p->requestSize) &&
           xdr_u_int32_t(xdrs, &p->ioTimeout) && xdr_u_int32_t(xdrs, &p->lockTimeout) &&
           xdr_int32_t(xdrs, &p->flags) && xdr_char(xdrs, &p->termChar);
}
bool_t XdrReadResp(XDR* xdrs, ReadResp* p) {
    return xdr_int32_t(xdrs, &p->error) && xdr_int32_t(xdrs, &p->reason) &&
           xdr_bytes(xdrs, &p->data, &p->dataLength, ~0u);
}
bool_t XdrDeviceError(XDR* xdrs, int32_t* error) {
    return xdr_int32_t(xdrs, error);
}
bool_t XdrNothing(XDR*, void*) {
    return TRUE;
}

// ---- The instrument ----

using Clock = std::chrono::steady_clock;

struct Instrument {
    int32_t nextLink = 1;
    int32_t openLink = 0;      // one link at a time is enough for the tests
    std::string input;         // command bytes not yet ended
    std::string answer;        // the answer not yet read
    Clock::time_point readyAt; // when the answer may be read
};

Instrument g_instrument;
volatile sig_atomic_t g_stop = 0;

void Execute(const std::string& command) {
    Instrument& device = g_instrument;
    device.answer.clear();
    device.readyAt = Clock::now();
    std::string word = command.substr(0, command.find(' '));
    std::string rest = command.size() > word.size() ? command.substr(word.size() + 1) : "";
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::toupper(c); });
    if (word == "*IDN?") {
        device.answer = "VORNIC,VXI11 LOOPBACK,0,1.0\n";
    } else if (word == "ECHO") {
        device.answer = rest + "\n";
    } else if (word == "DELAY") {
        size_t blank = rest.find(' ');
        device.readyAt += std::chrono::milliseconds(std::atoi(rest.c_str()));
        device.answer = (blank == std::string::npos ? "" : rest.substr(blank + 1)) + "\n";
    } else if (word == "BIG") {
        device.answer = std::string(static_cast<size_t>(std::max(0, std::atoi(rest.c_str()))), 'x') + "\n";
    } else if (word == "EXIT") {
        std::_Exit(0);
    }
}

void Receive(const char* data, size_t length, bool end) {
    Instrument& device = g_instrument;
    device.input.append(data, length);
    size_t newline;
    while ((newline = device.input.find('\n')) != std::string::npos) {
        std::string command = device.input.substr(0, newline);
        device.input.erase(0, newline + 1);
        if (!command.empty() && command.back() == '\r') {
            command.pop_back();
        }
        Execute(command);
    }
    if (end && !device.input.empty()) {
        Execute(std::exchange(device.input, {}));
    }
}

// ---- Procedures ----

void CreateLink(SVCXPRT* transport) {
    CreateLinkParms parms{};
    if (!svc_getargs(transport, reinterpret_cast<xdrproc_t>(XdrCreateLinkParms),
                     reinterpret_cast<char*>(&parms))) {
        svcerr_decode(transport);
        return;
    }
    CreateLinkResp resp{};
    std::string device = parms.device ? parms.device : "";
    if (device == "inst0" || device == "inst1") {
        resp.lid = g_instrument.openLink = g_instrument.nextLink++;
        resp.maxRecvSize = 1 << 20;
    } else {
        resp.error = kDeviceNotAccessible;
    }
    svc_sendreply(transport, reinterpret_cast<xdrproc_t>(XdrCreateLinkResp), reinterpret_cast<char*>(&resp));
    svc_freeargs(transport, reinterpret_cast<xdrproc_t>(XdrCreateLinkParms), reinterpret_cast<char*>(&parms));
}

void DeviceWrite(SVCXPRT* transport) {
    WriteParms parms{};
    if (!svc_getargs(transport, reinterpret_cast<xdrproc_t>(XdrWriteParms),
                     reinterpret_cast<char*>(&parms))) {
        svcerr_decode(transport);
        return;
    }
    WriteResp resp{};
    if (parms.lid != g_instrument.openLink) {
        resp.error = kInvalidLink;
    } else {
        Receive(parms.data, parms.dataLength, parms.flags & kFlagEnd);
        resp.size = parms.dataLength;
    }
    svc_sendreply(transport, reinterpret_cast<xdrproc_t>(XdrWriteResp), reinterpret_cast<char*>(&resp));
    svc_freeargs(transport, reinterpret_cast<xdrproc_t>(XdrWriteParms), reinterpret_cast<char*>(&parms));
}

void DeviceRead(SVCXPRT* transport) {
    ReadParms parms{};
    if (!svc_getargs(transport, reinterpret_cast<xdrproc_t>(XdrReadParms), reinterpret_cast<char*>(&parms))) {
        svcerr_decode(transport);
        return;
    }
    Instrument& device = g_instrument;
    ReadResp resp{};
    std::string data;
    if (parms.lid != device.openLink) {
        resp.error = kInvalidLink;
    } else {
        Clock::time_point limit = Clock::now() + std::chrono::milliseconds(parms.ioTimeout);
        if (device.answer.empty() || device.readyAt > limit) {
            std::this_thread::sleep_until(limit);
            resp.error = kIoTimeout;
        } else {
            std::this_thread::sleep_until(device.readyAt);
            size_t take = std::min<size_t>(parms.requestSize, device.answer.size());
            if (parms.flags & kFlagTermChar) {
                size_t at = device.answer.find(parms.termChar);
                if (at != std::string::npos && at < take) {
                    take = at + 1;
                    resp.reason = kReasonTermChar;
                }
            }
            data = device.answer.substr(0, take);
            device.answer.erase(0, take);
            if (device.answer.empty()) {
                resp.reason |= kReasonEnd;
            } else if (take == parms.requestSize) {
                resp.reason |= kReasonRequestCount;
            }
        }
    }
    resp.data = data.data();
    resp.dataLength = static_cast<u_int>(data.size());
    svc_sendreply(transport, reinterpret_cast<xdrproc_t>(XdrReadResp), reinterpret_cast<char*>(&resp));
    svc_freeargs(transport, reinterpret_cast<xdrproc_t>(XdrReadParms), reinterpret_cast<char*>(&parms));
}

void DestroyLink(SVCXPRT* transport) {
    int32_t link = 0;
    if (!svc_getargs(transport, reinterpret_cast<xdrproc_t>(xdr_int32_t), reinterpret_cast<char*>(&link))) {
        svcerr_decode(transport);
        return;
    }
    int32_t error = link == g_instrument.openLink ? kNoError : kInvalidLink;
    if (error == kNoError) {
        g_instrument.openLink = 0;
    }
    svc_sendreply(transport, reinterpret_cast<xdrproc_t>(XdrDeviceError), reinterpret_cast<char*>(&error));
}

void Dispatch(svc_req* request, SVCXPRT* transport) {
    switch (request->rq_proc) {
    case NULLPROC:
        svc_sendreply(transport, reinterpret_cast<xdrproc_t>(XdrNothing), nullptr);
        return;
    case kCreateLink:
        return CreateLink(transport);
    case kDeviceWrite:
        return DeviceWrite(transport);
    case kDeviceRead:
        return DeviceRead(transport);
    case kDestroyLink:
        return DestroyLink(transport);
    default:
        svcerr_noproc(transport);
        return;
    }
}

void OnStop(int) {
    g_stop = 1;
}

// A listening socket on a free loopback port; -1 on failure.
int ListenOnLoopback(int* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

constexpr const char* kUsage =
    "usage: vrvxi11_instrument [--lifetime SECONDS]\n"
    "A stand-in VXI-11 instrument: serves the device core on a free loopback port, registers it with the\n"
    "port mapper and prints \"PORT <n>\" (\"NO-PORTMAPPER\" when no port mapper runs).\n"
    "  --lifetime SECONDS  exit after this long (default 120)\n"
    "  --help              show this text\n"
    "  --version           show the build it comes from\n"
    "exit code 64: a command line it does not take\n";

} // namespace

int main(int argc, char** argv) {
    if (vr::AnswerVersion(argc, argv, "vrvxi11_instrument")) {
        return 0;
    }
    int lifetime = 120;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--lifetime") != 0 || i + 1 == argc) {
            std::fprintf(stderr, "vrvxi11_instrument: unknown argument '%s'\n%s", argv[i], kUsage);
            return vr::kExitBadCommandLine;
        }
        lifetime = std::atoi(argv[++i]);
    }
    std::signal(SIGTERM, OnStop);
    std::signal(SIGINT, OnStop);
    std::signal(SIGPIPE, SIG_IGN);
    int port = 0;
    int fd = ListenOnLoopback(&port);
    SVCXPRT* transport = fd < 0 ? nullptr : svctcp_create(fd, 0, 0);
    if (!transport) {
        std::printf("NO-SOCKET\n");
        return 1;
    }
    (void)pmap_unset(kDeviceCore, kDeviceCoreVersion);
    if (!svc_register(transport, kDeviceCore, kDeviceCoreVersion, Dispatch, IPPROTO_TCP)) {
        std::printf("NO-PORTMAPPER\n");
        return 2;
    }
    std::printf("PORT %d\n", port);
    std::fflush(stdout);
    auto end = Clock::now() + std::chrono::seconds(lifetime);
    while (!g_stop && Clock::now() < end) {
        int ready = ::poll(svc_pollfd, static_cast<nfds_t>(svc_max_pollfd), 100);
        if (ready > 0) {
            svc_getreq_poll(svc_pollfd, ready);
        }
    }
    (void)pmap_unset(kDeviceCore, kDeviceCoreVersion);
    return 0;
}
