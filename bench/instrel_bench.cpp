// One query (WriteString, then ReadString to the line feed) through the VISA connection against the loopback
// instrument, against a raw socket write and read to the same instrument in the same run, and against the
// same query made by pyvisa-py; and a 1 MB answer through the VISA session and through the connection
// against the same answer read from a raw socket. Reported as ratios of wall time per query.
// The connection's query against the raw one is also measured in alternating blocks (each side with an
// instrument of its own, 100 queries a block, 200 pairs of blocks a run), so that what else the machine does
// falls on both sides alike: counter "ratio" is the median of the blocks' ratios.
#include "bench/pyvisa_timing.h"
#include "bench/ratio_reporter.h"
#include "instrel.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/visa/visa_com.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

int g_port = 0;

constexpr char kQuery[] = "*IDN?\n";
constexpr char kAnswer[] = "VORNIC,LOOPBACK,0,1.0\n";

// The loopback instrument as a child; its port from its first line.
pid_t StartInstrument(int* port) {
    int output[2];
    if (::pipe(output) != 0) {
        return -1;
    }
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        ::execl(VR_LOOPBACK_INSTRUMENT, VR_LOOPBACK_INSTRUMENT, "--lifetime", "900", nullptr);
        ::_exit(127);
    }
    ::close(output[1]);
    FILE* lines = ::fdopen(output[0], "r");
    if (!lines || std::fscanf(lines, "PORT %d", port) != 1) {
        *port = 0;
    }
    if (lines) {
        std::fclose(lines);
    }
    return pid;
}

int ConnectRaw(int port = g_port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The same bytes written and read back by hand on a plain socket; false when the instrument is gone or
// answered something else.
bool RawQuery(int fd, std::string* answer) {
    if (::send(fd, kQuery, sizeof kQuery - 1, MSG_NOSIGNAL) != sizeof kQuery - 1) {
        return false;
    }
    answer->clear();
    char buffer[256];
    while (answer->empty() || answer->back() != '\n') {
        ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count <= 0) {
            return false;
        }
        answer->append(buffer, static_cast<size_t>(count));
    }
    return *answer == kAnswer;
}

// The baseline: the query made by hand on a plain socket.
void BM_RawSocketQuery(benchmark::State& state) {
    int fd = ConnectRaw();
    if (fd < 0) {
        state.SkipWithError("cannot connect to the instrument");
        return;
    }
    std::string answer;
    for (auto _ : state) {
        if (!RawQuery(fd, &answer)) {
            state.SkipWithError("the raw query failed");
            break;
        }
    }
    ::close(fd);
}
BENCHMARK(BM_RawSocketQuery)->UseRealTime();

// A connection opened on the instrument. The instrument serves one client at a time, so each benchmark
// holds its own connection only while it runs.
std::u16string ResourceOf(int port) {
    return u"TCPIP0::127.0.0.1::" + vr::FromUtf8(std::to_string(port)) + u"::SOCKET";
}

// One query through the connection; false when it failed or the answer was another.
bool ConnectionQuery(IVrConnection* connection, BSTR command, BSTR term) {
    int32_t count = 0;
    BSTR answer = nullptr;
    bool ok = SUCCEEDED(connection->WriteString(command, &count)) &&
              SUCCEEDED(connection->ReadString(term, -1, -1, &answer)) &&
              vr::BstrView(answer) == u"VORNIC,LOOPBACK,0,1.0\n";
    SysFreeString(answer);
    return ok;
}

vr::ComPtr<IVrConnection> OpenConnection(int port = g_port) {
    vr::ComPtr<IVrConnection> connection;
    std::u16string resource = ResourceOf(port);
    BSTR name = vr::AllocBstr(resource);
    BSTR options = vr::AllocBstr(u"");
    HRESULT hr = CoCreateInstance(CLSID_CnVISA, nullptr, CLSCTX_INPROC_SERVER, IID_IVrConnection,
                                  connection.PutVoid());
    if (SUCCEEDED(hr)) {
        hr = connection->Init(name, options, 2000, _NO_LOCK);
    }
    SysFreeString(name);
    SysFreeString(options);
    if (FAILED(hr)) {
        connection = nullptr;
    }
    return connection;
}

void BM_ConnectionQuery(benchmark::State& state) {
    vr::ComPtr<IVrConnection> connection = OpenConnection();
    if (!connection) {
        state.SkipWithError("the connection did not open; is Instrel registered?");
        return;
    }
    BSTR command = vr::AllocBstr(u"*IDN?");
    BSTR term = vr::AllocBstr(u"\n");
    for (auto _ : state) {
        if (!ConnectionQuery(connection.Get(), command, term)) {
            state.SkipWithError("query failed");
            break;
        }
    }
    SysFreeString(command);
    SysFreeString(term);
    (void)connection->Close(); // the benchmark is over either way
}
BENCHMARK(BM_ConnectionQuery)->UseRealTime();

// A second instrument, so that the paired benchmark holds a connection and a raw socket at once.
int g_pairedPort = 0;

// Seconds that count queries of one side took.
template <class Query>
double TimeBlock(int count, Query query, bool* ok) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count && *ok; ++i) {
        *ok = query();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ConnectionQueryPaired(benchmark::State& state) {
    constexpr int kBlock = 100;
    vr::ComPtr<IVrConnection> connection = OpenConnection();
    int fd = ConnectRaw(g_pairedPort);
    if (!connection || fd < 0) {
        state.SkipWithError("the connection or the raw socket did not open");
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    BSTR command = vr::AllocBstr(u"*IDN?");
    BSTR term = vr::AllocBstr(u"\n");
    std::string answer;
    std::vector<double> ratios;
    bool ok = true;
    for (auto _ : state) {
        auto viaConnection = [&] { return ConnectionQuery(connection.Get(), command, term); };
        auto raw = [&] { return RawQuery(fd, &answer); };
        // Which side goes first alternates, so neither always follows the other's wake-ups.
        bool connectionFirst = ratios.size() % 2 == 0;
        double first = connectionFirst ? TimeBlock(kBlock, viaConnection, &ok) : TimeBlock(kBlock, raw, &ok);
        double second = connectionFirst ? TimeBlock(kBlock, raw, &ok) : TimeBlock(kBlock, viaConnection, &ok);
        if (!ok) {
            state.SkipWithError("a query failed");
            break;
        }
        double mine = connectionFirst ? first : second;
        ratios.push_back(mine / (first + second - mine));
        state.SetIterationTime(mine / kBlock);
    }
    SysFreeString(command);
    SysFreeString(term);
    (void)connection->Close(); // the benchmark is over either way
    ::close(fd);
    if (ok && !ratios.empty()) {
        std::sort(ratios.begin(), ratios.end());
        state.counters["ratio"] = ratios[ratios.size() / 2];
    }
}
BENCHMARK(BM_ConnectionQueryPaired)->UseManualTime()->Iterations(200);

// ---- A 1 MB answer ----

// The answer of the megabyte peer: 1 MB of text whose last byte is the line feed.
constexpr size_t kMegabyte = 1 << 20;
int g_megabytePort = 0;

// Serves one client at a time, each line it receives answered with kMegabyte bytes; runs until the process
// ends. Returns the port, 0 when the socket could not be set up.
int StartMegabytePeer() {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    std::thread([listener] {
        const std::string answer = std::string(kMegabyte - 1, 'M') + "\n";
        for (;;) {
            int client = ::accept(listener, nullptr, nullptr);
            if (client < 0) {
                continue;
            }
            int on = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            char command[256];
            ssize_t count;
            while ((count = ::recv(client, command, sizeof command, 0)) > 0) {
                for (ssize_t i = 0; i < count; ++i) {
                    if (command[i] == '\n' && ::send(client, answer.data(), answer.size(), MSG_NOSIGNAL) !=
                                                  static_cast<ssize_t>(answer.size())) {
                        break;
                    }
                }
            }
            ::close(client);
        }
    }).detach();
    return ntohs(address.sin_port);
}

// The baseline: the query written and its answer read into one buffer by hand.
void BM_RawSocketMegabyte(benchmark::State& state) {
    int fd = ConnectRaw(g_megabytePort);
    if (fd < 0) {
        state.SkipWithError("cannot connect to the megabyte peer");
        return;
    }
    std::vector<char> buffer(2 * kMegabyte);
    for (auto _ : state) {
        if (::send(fd, "DATA?\n", 6, MSG_NOSIGNAL) != 6) {
            state.SkipWithError("send failed");
            break;
        }
        size_t got = 0;
        while (got == 0 || buffer[got - 1] != '\n') {
            ssize_t count = ::recv(fd, buffer.data() + got, buffer.size() - got, 0);
            if (count <= 0) {
                state.SkipWithError("peer gone");
                break;
            }
            got += static_cast<size_t>(count);
        }
        if (got != kMegabyte) {
            state.SkipWithError("unexpected answer");
            break;
        }
    }
    ::close(fd);
}
BENCHMARK(BM_RawSocketMegabyte)->UseRealTime();

vr::ComPtr<IMessage> OpenSession(int port) {
    CLSID clsid;
    vr::ComPtr<IResourceManager> manager;
    vr::ComPtr<IVisaSession> session;
    vr::ComPtr<IMessage> message;
    if (FAILED(CLSIDFromProgID(u"VISA.GlobalRM", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IResourceManager>(),
                                manager.PutVoid()))) {
        return nullptr;
    }
    BSTR name = vr::AllocBstr(ResourceOf(port));
    HRESULT hr = manager->Open(name, NO_LOCK, 2000, nullptr, session.Put());
    SysFreeString(name);
    if (FAILED(hr) || FAILED(session.As(&message)) ||
        FAILED(message->put_TerminationCharacterEnabled(VARIANT_TRUE))) {
        return nullptr;
    }
    return message;
}

// The session as a VISA user reads it: one ReadString up to the termination character.
void BM_SessionMegabyte(benchmark::State& state) {
    vr::ComPtr<IMessage> session = OpenSession(g_megabytePort);
    if (!session) {
        state.SkipWithError("the session did not open; is VISA.GlobalRM registered?");
        return;
    }
    BSTR command = vr::AllocBstr(u"DATA?\n");
    for (auto _ : state) {
        LONG count = 0;
        BSTR answer = nullptr;
        if (FAILED(session->WriteString(command, &count)) ||
            FAILED(session->ReadString(static_cast<LONG>(2 * kMegabyte), &answer)) ||
            SysStringLen(answer) != kMegabyte) {
            SysFreeString(answer);
            state.SkipWithError("query failed");
            break;
        }
        SysFreeString(answer);
    }
    SysFreeString(command);
    (void)session->Close(); // the benchmark is over either way
}
BENCHMARK(BM_SessionMegabyte)->UseRealTime();

void BM_ConnectionMegabyte(benchmark::State& state) {
    vr::ComPtr<IVrConnection> connection = OpenConnection(g_megabytePort);
    if (!connection) {
        state.SkipWithError("the connection did not open; is Instrel registered?");
        return;
    }
    BSTR command = vr::AllocBstr(u"DATA?");
    BSTR term = vr::AllocBstr(u"\n");
    for (auto _ : state) {
        int32_t count = 0;
        BSTR answer = nullptr;
        if (FAILED(connection->WriteString(command, &count)) ||
            FAILED(connection->ReadString(term, -1, -1, &answer)) || SysStringLen(answer) != kMegabyte) {
            SysFreeString(answer);
            state.SkipWithError("query failed");
            break;
        }
        SysFreeString(answer);
    }
    SysFreeString(command);
    SysFreeString(term);
    (void)connection->Close(); // the benchmark is over either way
}
BENCHMARK(BM_ConnectionMegabyte)->UseRealTime();

// pyvisa-py times its own loop of queries; its time per query is this benchmark's time.
void BM_PyVisaQuery(benchmark::State& state) {
    for (auto _ : state) {
        vrbench::PyVisaTiming timing = vrbench::TimePyVisaQueries(VR_PYVISA_SCRIPT, g_port, 2000);
        if (timing.outcome == vrbench::PyVisaOutcome::NotInstalled) {
            state.SkipWithError("pyvisa is not installed (Debian package python3-pyvisa-py): not compared");
            break;
        }
        if (timing.outcome == vrbench::PyVisaOutcome::Failed) {
            state.SkipWithError("the pyvisa query failed");
            break;
        }
        state.SetIterationTime(timing.secondsPerQuery);
    }
}
BENCHMARK(BM_PyVisaQuery)->UseManualTime()->Iterations(1)->Repetitions(3);

} // namespace

int main(int argc, char** argv) {
    setenv("VORNIC_REGISTRY", VR_BUILD_REGISTRY_DIR, 0);
    std::signal(SIGPIPE, SIG_IGN);
    pid_t instrument = StartInstrument(&g_port);
    pid_t paired = StartInstrument(&g_pairedPort);
    g_megabytePort = StartMegabytePeer();
    if (g_port == 0 || g_pairedPort == 0 || g_megabytePort == 0 || FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "the loopback instrument or the megabyte peer did not start\n");
        return 1;
    }
    // Each query against the raw socket reading the same answer; the connection also against the session.
    int result = vrbench::RunWithRatioPairs(argc, argv,
                                            {{"BM_ConnectionQuery", "BM_RawSocketQuery"},
                                             {"BM_PyVisaQuery", "BM_RawSocketQuery"},
                                             {"BM_SessionMegabyte", "BM_RawSocketMegabyte"},
                                             {"BM_ConnectionMegabyte", "BM_RawSocketMegabyte"},
                                             {"BM_ConnectionMegabyte", "BM_SessionMegabyte"}},
                                            vrbench::RatioTime::Wall);
    CoUninitialize();
    for (pid_t child : {instrument, paired}) {
        ::kill(child, SIGTERM);
        ::waitpid(child, nullptr, 0);
    }
    return result;
}
