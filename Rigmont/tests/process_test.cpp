// The hardware manager as its own process, started on demand for its clients: connections to real loopback
// instruments used by several client processes at once, a server killed during a call, clients killed while
// they hold objects, and the server's end when its last client has let go.
#include "Rigmont/include/rigmont.h"
#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "peers.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/errorinfo.h"
#include "tests/activation/process.h"
#include "tests/support/com_holders.h"
#include "tests/support/test_env.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace rigmonttest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using vrtest::Bstr;
using vrtest::ErrorDescription;
using vrtest::Missing;

// The whole file, empty when it cannot be read. Read without streams: a file under /proc of a process that
// ends while it is read fails with ESRCH, which a stream buffer throws as an exception (the process is gone,
// and that is the answer).
std::string ReadFile(const std::filesystem::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            text.clear();
        }
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return text;
}

// A process that exists and is no zombie.
bool IsRunning(pid_t pid) {
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    size_t end = stat.rfind(')');
    return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] != 'Z';
}

// The running `rigmont` processes of this test run: the program of the build that share this process's
// runtime folder (servers of other runs and users are left alone).
std::vector<pid_t> ServerPids() {
    std::string runtime = std::string("XDG_RUNTIME_DIR=") + std::getenv("XDG_RUNTIME_DIR");
    std::vector<pid_t> pids;
    std::error_code listing; // no /proc to list: no servers found
    for (const auto& entry : std::filesystem::directory_iterator("/proc", listing)) {
        std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path() / "exe", error) != RIGMONT_PATH || error) {
            continue;
        }
        std::string environment = ReadFile(entry.path() / "environ");
        bool ours = false;
        for (size_t start = 0; start < environment.size();) {
            size_t end = environment.find('\0', start);
            ours = ours || environment.substr(start, end - start) == runtime;
            start = end == std::string::npos ? environment.size() : end + 1;
        }
        pid_t pid = static_cast<pid_t>(std::stol(name));
        if (ours && IsRunning(pid)) {
            pids.push_back(pid);
        }
    }
    return pids;
}

bool WaitUntilGone(pid_t pid, std::chrono::milliseconds limit) {
    auto end = Clock::now() + limit;
    while (IsRunning(pid)) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class ServerProcessTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        vr::RegisterSystemProxies();
        ASSERT_TRUE(instrumentA_.Start());
        ASSERT_TRUE(instrumentB_.Start());
        PrepareStore();
        // An earlier test's server still on its way out would answer no one: each test starts its own.
        for (pid_t earlier : ServerPids()) {
            ASSERT_TRUE(WaitUntilGone(earlier, 10s));
        }
        ASSERT_EQ(CreateManager(&manager_), S_OK);
        SaveLoopRecord(u"LoopA", instrumentA_);
        SaveLoopRecord(u"LoopB", instrumentB_);
        std::vector<pid_t> pids = ServerPids();
        ASSERT_EQ(pids.size(), 1u);
        server_ = pids[0];
    }

    void TearDown() override {
        manager_ = nullptr;
        CoUninitialize();
    }

    // The store every server of this run reads: made once, pointed at by the configuration item.
    static void PrepareStore() {
        std::string path = vrtest::TestRoot() + "/ProcessStore.cfs";
        if (!std::filesystem::exists(path)) {
            std::ofstream(path) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ConfigStore><connections>"
                                   "<connection name=\"_default\"><Server>Vornic.CnVISA</Server></connection>"
                                   "</connections><sockets/></ConfigStore>\n";
        }
        CVrConfigData config;
        BSTR value = vr::AllocBstrUtf8(path);
        ASSERT_TRUE(config.StoreItem("ConfigStoreFile", value));
        SysFreeString(value);
    }

    static HRESULT CreateManager(vr::ComPtr<IVrRigmont>* manager) {
        return CoCreateInstance(CLSID_VrRigmont, nullptr, CLSCTX_LOCAL_SERVER, IID_IVrRigmont,
                                manager->PutVoid());
    }

    // Saved through the server: a save makes it read the file anew, whatever an earlier test left loaded.
    void SaveLoopRecord(std::u16string_view name, const vrvisatest::LoopbackInstrument& instrument) {
        ASSERT_EQ(manager_->SaveRecord(Bstr(u"connection"), Bstr(name), Bstr(u"Vornic.CnVISA"),
                                       Bstr(vr::FromUtf8(instrument.SocketResource())), Bstr(u"")),
                  S_OK);
    }

    static std::u16string Query(IVrConnection* connection, std::u16string_view command, HRESULT* hr) {
        int32_t written = 0;
        *hr = connection->WriteString(Bstr(command), &written);
        BSTR answer = nullptr;
        if (SUCCEEDED(*hr)) {
            *hr = connection->ReadString(Bstr(u"\n"), -1, -1, &answer);
        }
        std::u16string text(vr::BstrView(answer));
        SysFreeString(answer);
        return text;
    }

    vrvisatest::LoopbackInstrument instrumentA_;
    vrvisatest::LoopbackInstrument instrumentB_;
    vr::ComPtr<IVrRigmont> manager_;
    pid_t server_ = -1;
};

// Both clients talk to the same instrument, each over a connection of its own built in the one server; their
// calls run through the server at the same time and each gets its own answers.
TEST_F(ServerProcessTest, TwoClientProcessesWorkThroughTheOneServerAtOnce) {
    constexpr int kQueries = 300;
    auto run = [](const char* record, const char* tag) {
        return vrtest::RunProcess(RIGMONT_TEST_CLIENT, {"exchange", record, tag, std::to_string(kQueries)});
    };
    std::future<vrtest::ProcessResult> a = std::async(std::launch::async, run, "LoopA", "A");
    std::future<vrtest::ProcessResult> b = std::async(std::launch::async, run, "LoopA", "B");
    vrtest::ProcessResult resultA = a.get();
    vrtest::ProcessResult resultB = b.get();
    EXPECT_EQ(resultA.exitCode, 0) << resultA.output;
    EXPECT_EQ(resultA.output, "DONE " + std::to_string(kQueries) + "\n");
    EXPECT_EQ(resultB.exitCode, 0) << resultB.output;
    EXPECT_EQ(resultB.output, "DONE " + std::to_string(kQueries) + "\n");
    EXPECT_EQ(ServerPids(), std::vector<pid_t>{server_});
}

// A socket is built in the server with its connection; the client reaches both through the process
// boundary, and the adapter's open command has run on the instrument.
TEST_F(ServerProcessTest, SocketIsBuiltInTheServerWithItsConnection) {
    vrvisatest::LoopbackInstrument supply;
    ASSERT_TRUE(supply.Start("\\r\\n"));
    ASSERT_EQ(manager_->SaveRecord(Bstr(u"connection"), Bstr(u"SupplyLink"), Bstr(u"Vornic.CnVISA"),
                                   Bstr(vr::FromUtf8(supply.SocketResource())), Bstr(u"")),
              S_OK);
    std::u16string adapter = vr::FromUtf8(std::string(RIGMONT_TEST_DATA) + "/plugmar_powersupply.daf");
    ASSERT_EQ(manager_->SaveRecord(Bstr(u"socket"), Bstr(u"Supply"), Bstr(u"Vornic.Socket"),
                                   Bstr(u"SupplyLink"), Bstr(u"AdapterFile=" + adapter)),
              S_OK);
    vr::ComPtr<IVrSocket> socket;
    ASSERT_EQ(manager_->CreateSocket(Bstr(u"Supply"), Missing(), socket.Put()), S_OK);
    VARIANT term;
    VariantInit(&term);
    term.vt = VT_BSTR;
    term.bstrVal = vr::AllocBstr(u"\n");
    BSTR answer = nullptr;
    ASSERT_EQ(socket->QueryString(Bstr(u"*CLS?\r\n"), term, Missing(), Missing(), &answer), S_OK);
    EXPECT_EQ(std::u16string(vr::BstrView(answer)), u"\n") << "the open command ran";
    SysFreeString(answer);
    (void)VariantClear(&term);
    vr::ComPtr<IVrConnection> connection;
    ASSERT_EQ(socket->get_Connection(connection.Put()), S_OK);
    HRESULT hr = S_OK;
    // The adapter's settings decide what is left of the answer's end; the text itself comes back whole.
    EXPECT_EQ(Query(connection.Get(), u"ECHO direct", &hr).substr(0, 6), u"direct");
    EXPECT_EQ(hr, S_OK);
}

// The server dies while it waits for an answer due long after (5 s, within the read's 10 s time-out): the
// call ends with the server's end as its reason, never with the answer or the time-out. (Under load the kill
// may come before the call is sent; then it is refused as disconnected, for the same reason.)
TEST_F(ServerProcessTest, ServerKilledDuringACallGivesAnErrorAtOnceAndTheNextCallStartsANewServer) {
    vr::ComPtr<IVrConnection> connection;
    ASSERT_EQ(manager_->CreateConnection(Bstr(u"LoopA"), Missing(), connection.Put()), S_OK);
    int32_t written = 0;
    ASSERT_EQ(connection->WriteString(Bstr(u"DELAY 5000 late"), &written), S_OK);
    std::thread killer([&] {
        std::this_thread::sleep_for(300ms);
        ::kill(server_, SIGKILL);
    });
    BSTR answer = nullptr;
    HRESULT hr = connection->ReadString(Bstr(u"\n"), 10000, -1, &answer);
    std::u16string reason = ErrorDescription();
    killer.join();
    EXPECT_EQ(answer, nullptr) << "the late answer never came";
    SysFreeString(answer);
    if (hr == RPC_E_SERVER_DIED) {
        EXPECT_EQ(reason, u"The server process ended before the call completed.");
    } else {
        EXPECT_EQ(hr, RPC_E_DISCONNECTED);
        EXPECT_EQ(reason, u"The object's process is no longer connected.");
    }
    // The dead server's objects keep failing without hanging.
    EXPECT_EQ(connection->WriteString(Bstr(u"ECHO x"), &written), RPC_E_DISCONNECTED);
    connection = nullptr;
    manager_ = nullptr;
    ASSERT_TRUE(WaitUntilGone(server_, 5s));

    ASSERT_EQ(CreateManager(&manager_), S_OK);
    std::vector<pid_t> pids = ServerPids();
    ASSERT_EQ(pids.size(), 1u);
    EXPECT_NE(pids[0], server_);
    ASSERT_EQ(manager_->CreateConnection(Bstr(u"LoopB"), Missing(), connection.Put()), S_OK);
    EXPECT_EQ(Query(connection.Get(), u"ECHO again", &hr), u"again\n");
}

// Objects handed to clients hold the server: a client that keeps only a connection keeps the server, and the
// server ends about one idle period after the last such object is released.
TEST_F(ServerProcessTest, ServerStaysWhileAClientHoldsAConnectionAndEndsAfterwards) {
    vr::ComPtr<IVrConnection> connection;
    ASSERT_EQ(manager_->CreateConnection(Bstr(u"LoopA"), Missing(), connection.Put()), S_OK);
    manager_ = nullptr;
    std::this_thread::sleep_for(3500ms);
    ASSERT_TRUE(IsRunning(server_));
    HRESULT hr = S_OK;
    EXPECT_EQ(Query(connection.Get(), u"ECHO still", &hr), u"still\n");
    EXPECT_EQ(hr, S_OK);
    auto released = Clock::now();
    connection = nullptr;
    EXPECT_TRUE(WaitUntilGone(server_, 10s));
    // One whole idle period of 1500 ms and the pause of 1000 ms before the exit.
    EXPECT_GE(Clock::now() - released, 2400ms);
}

TEST_F(ServerProcessTest, ClientKilledWhileHoldingObjectsLeavesNothingHeld) {
    vrvisatest::ChildProcess client;
    std::string line;
    ASSERT_TRUE(client.Start({RIGMONT_TEST_CLIENT, "hold", "LoopB"}, &line));
    ASSERT_EQ(line, "HOLDING");
    manager_ = nullptr;
    std::this_thread::sleep_for(3500ms);
    ASSERT_TRUE(IsRunning(server_)) << "the client's connection holds the server";
    client.Stop();
    EXPECT_TRUE(WaitUntilGone(server_, 10s)) << "what the dead client held was given back";
}

} // namespace
} // namespace rigmonttest
