// Calls between real processes: the probe server started on demand, values and references both ways,
// errors, call-backs into the caller during its call, reference counts, dead servers and clients, and the
// running object table across processes.
#include "platform/rpc/tests/probe.h"

#include "platform/base/paths.h"
#include "platform/base/program_conventions.h"
#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/com/activation.h"
#include "platform/com/activation_internal.h"
#include "platform/com/apartment.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/com/rot.h"
#include "platform/rpc/channel.h"
#include "platform/rpc/local_server.h"

#include "platform/rpc/wire.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace rpctest {
namespace {

constexpr CLSID kNoProgram = vr::MakeGuid("3B8F2D63-5A4C-4E97-8B12-6C0D9E4F7A21");

void RegisterProgram(const CLSID& clsid, const std::string& program) {
    ASSERT_EQ(vr::detail::WriteClassesText(vr::detail::ClassKey(clsid) + u"\\LocalServer32", u"",
                                           vr::FromUtf8(program)),
              ERROR_SUCCESS);
}

_variant_t Long(LONG value) {
    return _variant_t(value);
}

LONG GetLong(IDispatch* probe, DISPID member) {
    _variant_t result;
    EXPECT_EQ(CallProbe(probe, member, {}, &result), S_OK);
    return result.vt == VT_I4 ? result.lVal : -1;
}

// The test thread is a single-threaded apartment, so call-backs into its objects have a thread to run on.
class RpcTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        RegisterProgram(CLSID_RpcProbe, VR_RPC_PROBE_SERVER);
    }
    void TearDown() override { CoUninitialize(); }

    static vr::ComPtr<IDispatch> Remote() {
        vr::ComPtr<IDispatch> probe;
        EXPECT_EQ(
            CoCreateInstance(CLSID_RpcProbe, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, probe.PutVoid()),
            S_OK);
        return probe;
    }

    // Waits (serving) until check holds or a second passes.
    template <class Check>
    static bool Eventually(Check check) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!check()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            vr::PumpMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
};

TEST_F(RpcTest, AServerIsStartedOnDemandAndSharedByLaterCreations) {
    vr::ComPtr<IDispatch> first = Remote();
    ASSERT_TRUE(first);
    LONG pid = GetLong(first.Get(), kProcessId);
    EXPECT_NE(pid, static_cast<LONG>(getpid()));
    EXPECT_GT(pid, 0);
    vr::ComPtr<IDispatch> second = Remote();
    ASSERT_TRUE(second);
    EXPECT_EQ(GetLong(second.Get(), kProcessId), pid);
    // The runtime folder is private to the user.
    struct stat info {};
    ASSERT_EQ(stat(vr::RuntimeFolder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(RpcTest, ValuesArraysAndReferencesCrossBothWays) {
    vr::ComPtr<IDispatch> probe = Remote();
    ASSERT_TRUE(probe);
    // Plain values keep their types, texts their embedded nulls.
    VARIANT withNull;
    withNull.vt = VT_BSTR;
    withNull.bstrVal = SysAllocStringLen(u"a\0b", 3);
    for (const VARIANT& value :
         {static_cast<const VARIANT&>(_variant_t(LONG{-5})), static_cast<const VARIANT&>(_variant_t(2.5)),
          static_cast<const VARIANT&>(_variant_t(true)), withNull}) {
        _variant_t copy;
        ASSERT_EQ(CallProbe(probe.Get(), kEcho, {value}, &copy), S_OK);
        EXPECT_EQ(copy.vt, value.vt);
        EXPECT_EQ(VarCmp(&copy, const_cast<VARIANT*>(&value), 0, 0), VARCMP_EQ);
    }
    _variant_t copied;
    ASSERT_EQ(CallProbe(probe.Get(), kEcho, {withNull}, &copied), S_OK);
    EXPECT_EQ(SysStringLen(copied.bstrVal), 3u);
    static_cast<void>(VariantClear(&withNull));

    // A 2 x 3 array of VARIANTs holding a text, a number and an array of its own.
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, -1}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
    LONG at[2] = {2, 1};
    _variant_t inner(_bstr_t(u"inner"));
    ASSERT_EQ(SafeArrayPutElement(array, at, &inner), S_OK);
    SAFEARRAY* nested = SafeArrayCreateVector(VT_I4, 0, 2);
    LONG index = 1;
    LONG seven = 7;
    ASSERT_EQ(SafeArrayPutElement(nested, &index, &seven), S_OK);
    VARIANT nestedValue;
    nestedValue.vt = VT_ARRAY | VT_I4;
    nestedValue.parray = nested;
    LONG last[2] = {1, -1};
    ASSERT_EQ(SafeArrayPutElement(array, last, &nestedValue), S_OK);
    static_cast<void>(VariantClear(&nestedValue));
    VARIANT arrayValue;
    arrayValue.vt = VT_ARRAY | VT_VARIANT;
    arrayValue.parray = array;
    _variant_t echoed;
    ASSERT_EQ(CallProbe(probe.Get(), kEcho, {arrayValue}, &echoed), S_OK);
    ASSERT_EQ(echoed.vt, VT_ARRAY | VT_VARIANT);
    ASSERT_EQ(SafeArrayGetDim(echoed.parray), 2u);
    LONG lower = 0;
    LONG upper = 0;
    ASSERT_EQ(SafeArrayGetLBound(echoed.parray, 2, &lower), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(echoed.parray, 2, &upper), S_OK);
    EXPECT_EQ(lower, -1);
    EXPECT_EQ(upper, 1);
    _variant_t element;
    ASSERT_EQ(SafeArrayGetElement(echoed.parray, at, &element), S_OK);
    EXPECT_EQ(std::u16string(element.bstrVal), u"inner");
    _variant_t nestedBack;
    ASSERT_EQ(SafeArrayGetElement(echoed.parray, last, &nestedBack), S_OK);
    ASSERT_EQ(nestedBack.vt, VT_ARRAY | VT_I4);
    LONG read = 0;
    ASSERT_EQ(SafeArrayGetElement(nestedBack.parray, &index, &read), S_OK);
    EXPECT_EQ(read, 7);
    static_cast<void>(VariantClear(&arrayValue));

    // In-out arguments by reference come back changed.
    BSTR turned = SysAllocString(u"abc");
    LONG number = 21;
    VARIANT byText;
    byText.vt = VT_BYREF | VT_BSTR;
    byText.pbstrVal = &turned;
    VARIANT byNumber;
    byNumber.vt = VT_BYREF | VT_I4;
    byNumber.plVal = &number;
    _variant_t length;
    ASSERT_EQ(CallProbe(probe.Get(), kTurn, {byText, byNumber}, &length), S_OK);
    EXPECT_EQ(std::u16string(turned), u"cba");
    EXPECT_EQ(number, 42);
    EXPECT_EQ(length.lVal, 3);
    SysFreeString(turned);

    // An object of this process goes there and comes back as itself; one of the server's comes as a proxy
    // that goes back as the server's own object.
    vr::ComPtr<IDispatch> local = MakeProbe(5);
    _variant_t localValue(local.Get());
    ASSERT_EQ(CallProbe(probe.Get(), kKeep, {localValue}), S_OK);
    _variant_t kept;
    ASSERT_EQ(CallProbe(probe.Get(), kKept, {}, &kept), S_OK);
    ASSERT_EQ(kept.vt, VT_DISPATCH);
    EXPECT_EQ(kept.pdispVal, local.Get());
    _variant_t child;
    ASSERT_EQ(CallProbe(probe.Get(), kMakeChild, {Long(9)}, &child), S_OK);
    ASSERT_EQ(child.vt, VT_DISPATCH);
    EXPECT_EQ(GetLong(child.pdispVal, kTag), 9);
    ASSERT_EQ(CallProbe(probe.Get(), kKeep, {child}), S_OK);
    _variant_t childBack;
    ASSERT_EQ(CallProbe(probe.Get(), kKept, {}, &childBack), S_OK);
    EXPECT_EQ(GetLong(childBack.pdispVal, kTag), 9);
}

TEST_F(RpcTest, FailuresCarryTheirErrorInformation) {
    vr::ComPtr<IDispatch> probe = Remote();
    ASSERT_TRUE(probe);
    // Without an EXCEPINFO: the HRESULT itself, and the error information on this thread.
    HRESULT hr = CallProbe(probe.Get(), kFail, {Long(E_ACCESSDENIED), _variant_t(u"no entry")});
    EXPECT_EQ(hr, E_ACCESSDENIED);
    vr::ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    _bstr_t description;
    ASSERT_EQ(info->GetDescription(description.GetAddress()), S_OK);
    EXPECT_EQ(std::u16string(description), u"no entry");
    GUID guid = GUID_NULL;
    ASSERT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, CLSID_RpcProbe);
    // With one: DISP_E_EXCEPTION and the EXCEPINFO filled.
    EXCEPINFO excep{};
    hr = CallProbe(probe.Get(), kFail, {Long(E_INVALIDARG), _variant_t(u"bad")}, nullptr, &excep);
    EXPECT_EQ(hr, DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_INVALIDARG);
    EXPECT_EQ(std::u16string(excep.bstrSource), u"Probe");
    EXPECT_EQ(std::u16string(excep.bstrDescription), u"bad");
    vr::ClearExcepInfo(&excep);
    // Names resolve on the far side; an unknown one is refused there.
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"TAG"), const_cast<LPOLESTR>(u"nothing")};
    DISPID ids[2] = {};
    EXPECT_EQ(probe->GetIDsOfNames(IID_NULL, names, 1, 0, ids), S_OK);
    EXPECT_EQ(ids[0], kTag);
    EXPECT_EQ(probe->GetIDsOfNames(IID_NULL, names + 1, 1, 0, ids + 1), DISP_E_UNKNOWNNAME);
    // A value that cannot cross is refused before it leaves.
    VARIANT decimal;
    VariantInit(&decimal);
    decimal.vt = VT_DECIMAL;
    EXPECT_EQ(CallProbe(probe.Get(), kEcho, {decimal}), DISP_E_BADVARTYPE);
}

TEST_F(RpcTest, ACallBackRunsOnTheThreadThatWaitsForItsOwnCall) {
    vr::ComPtr<IDispatch> probe = Remote();
    ASSERT_TRUE(probe);
    vr::ComPtr<IDispatch> local = MakeProbe();
    _variant_t peer(local.Get());
    _variant_t reached;
    ASSERT_EQ(CallProbe(probe.Get(), kBounce, {peer, Long(5)}, &reached), S_OK);
    EXPECT_EQ(reached.lVal, 5); // here, there, here, there, here: nested in each other's waits
    _variant_t thread;
    ASSERT_EQ(CallProbe(local.Get(), kBounceThread, {}, &thread), S_OK);
    EXPECT_EQ(thread.llVal, ThisThreadId());

    // The same from a thread of no apartment: the call-back still runs on the waiting thread.
    std::thread([&] {
        vr::ComPtr<IDispatch> free = MakeProbe();
        _variant_t freePeer(free.Get());
        _variant_t depth;
        EXPECT_EQ(CallProbe(probe.Get(), kBounce, {freePeer, Long(2)}, &depth), S_OK);
        EXPECT_EQ(depth.lVal, 2);
        _variant_t where;
        EXPECT_EQ(CallProbe(free.Get(), kBounceThread, {}, &where), S_OK);
        EXPECT_EQ(where.llVal, ThisThreadId());
    }).join();
}

// Waits until a thread of the process sleeps (nanosleep or clock_nanosleep, as the probe's Sleep does); false
// after 20 s.
bool Sleeping(pid_t pid) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
            int call = -1;
            std::ifstream(task.path() / "syscall") >> call;
            if (call == SYS_nanosleep || call == SYS_clock_nanosleep) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Puts every thread of a process on the given cores.
void PinProcess(pid_t pid, const cpu_set_t& cores) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        static_cast<void>(
            sched_setaffinity(std::stoi(task.path().filename().string()), sizeof cores, &cores));
    }
}

// Both processes on one core, so that the thread woken by a reply takes the core from the thread that sent
// it before that one is back in its wait: the next request wakes the apartment's own thread (in either
// process), not a reader thread that would have to hand it over. The design of a reader that took every
// frame handed over some 600 on each side in this run; this one leaves a few to a reader that woke in the
// moment between two watches, more when the machine is busy or the build slow. A bound of a third of that
// tells the designs apart whatever the scheduler does; how few it really is, is the rpc bench's hand-off row.
TEST_F(RpcTest, ARunOfCallsWakesOnlyTheThreadsThatRunThem) {
    vr::ComPtr<IDispatch> probe = Remote();
    ASSERT_TRUE(probe);
    vr::ComPtr<IDispatch> local = MakeProbe();
    _variant_t peer(local.Get());
    _variant_t pid;
    ASSERT_EQ(CallProbe(probe.Get(), kProcessId, {}, &pid), S_OK);
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    PinProcess(getpid(), one);
    PinProcess(pid.lVal, one);
    _variant_t serverBefore;
    ASSERT_EQ(CallProbe(probe.Get(), kHandOffs, {}, &serverBefore), S_OK);
    uint64_t clientBefore = vr::rpc::ReaderHandOffs();
    constexpr int kRounds = 300; // each an Echo and a Bounce that calls back
    int failed = 0;
    for (int i = 0; i < kRounds; ++i) {
        _variant_t echoed;
        _variant_t reached;
        failed += CallProbe(probe.Get(), kEcho, {Long(i)}, &echoed) == S_OK && echoed.lVal == i ? 0 : 1;
        failed += CallProbe(probe.Get(), kBounce, {peer, Long(2)}, &reached) == S_OK ? 0 : 1;
    }
    _variant_t serverAfter;
    ASSERT_EQ(CallProbe(probe.Get(), kHandOffs, {}, &serverAfter), S_OK);
    uint64_t clientAfter = vr::rpc::ReaderHandOffs();
    PinProcess(pid.lVal, all);
    PinProcess(getpid(), all);
    EXPECT_EQ(failed, 0);
    constexpr int kEveryFrame = 2 * kRounds; // what a reader that took every frame handed over
    EXPECT_LT(serverAfter.llVal - serverBefore.llVal, kEveryFrame / 3)
        << "frames the server's reader handed over";
    EXPECT_LT(clientAfter - clientBefore, uint64_t{kEveryFrame / 3})
        << "frames this process's reader handed over";
}

// Threads share one connection: whichever of them reads a frame, each call gets its own answer and each
// call-back runs on the thread that waits for it (this single-threaded apartment's included).
TEST_F(RpcTest, SeveralThreadsCallAtOnceOnOneConnection) {
    vr::ComPtr<IDispatch> probe = Remote();
    ASSERT_TRUE(probe);
    constexpr int kThreads = 4;
    constexpr int kCalls = 300;
    auto callMany = [&probe](int thread, IDispatch* own) {
        int wrong = 0;
        _variant_t peer(own);
        for (int i = 0; i < kCalls; ++i) {
            LONG value = thread * 100000 + i;
            _variant_t echoed;
            if (CallProbe(probe.Get(), kEcho, {Long(value)}, &echoed) != S_OK || echoed.lVal != value) {
                ++wrong;
            }
            if (i % 30 == 0) {
                _variant_t reached;
                _variant_t where;
                if (CallProbe(probe.Get(), kBounce, {peer, Long(3)}, &reached) != S_OK || reached.lVal != 3 ||
                    CallProbe(own, kBounceThread, {}, &where) != S_OK || where.llVal != ThisThreadId()) {
                    ++wrong;
                }
            }
        }
        return wrong;
    };
    std::vector<std::future<int>> others;
    for (int t = 1; t <= kThreads; ++t) {
        others.push_back(
            std::async(std::launch::async, [&callMany, t] { return callMany(t, MakeProbe().Get()); }));
    }
    EXPECT_EQ(callMany(0, MakeProbe().Get()), 0);
    for (auto& other : others) {
        EXPECT_EQ(other.get(), 0);
    }
}

TEST_F(RpcTest, ObjectsHeldByClientsAreServerLocksUntilReleased) {
    vr::ComPtr<IDispatch> probe = Remote();
    ASSERT_TRUE(probe);
    LONG base = GetLong(probe.Get(), kLocks);
    EXPECT_GE(base, 1); // the probe itself
    _variant_t child;
    ASSERT_EQ(CallProbe(probe.Get(), kMakeChild, {Long(1)}, &child), S_OK);
    EXPECT_EQ(GetLong(probe.Get(), kLocks), base + 1);
    static_cast<void>(VariantClear(&child));
    EXPECT_TRUE(Eventually([&] { return GetLong(probe.Get(), kLocks) == base; }));
}

TEST_F(RpcTest, ACallThatCannotBeSentGivesBackTheReferencesItsArgumentsTook) {
    vr::ComPtr<IDispatch> probe = Remote();
    ASSERT_TRUE(probe);
    LONG base = GetLong(probe.Get(), kLocks);
    _variant_t child;
    ASSERT_EQ(CallProbe(probe.Get(), kMakeChild, {Long(1)}, &child), S_OK);
    VARIANT unsendable{};
    unsendable.vt = VT_RECORD; // no wire form: the call fails after the objects before it were written
    vr::ComPtr<IDispatch> local = MakeProbe(2);
    VARIANT mine{};
    mine.vt = VT_DISPATCH;
    mine.pdispVal = local.Get();
    ULONG localLocks = vr::rpc::ServerProcessLocks();
    // The server's own object going home, and an object of this process going there.
    EXPECT_EQ(CallProbe(probe.Get(), kEcho, {unsendable, child}), DISP_E_BADVARTYPE);
    EXPECT_EQ(CallProbe(probe.Get(), kEcho, {unsendable, mine}), DISP_E_BADVARTYPE);
    EXPECT_EQ(vr::rpc::ServerProcessLocks(), localLocks);
    static_cast<void>(VariantClear(&child));
    EXPECT_TRUE(Eventually([&] { return GetLong(probe.Get(), kLocks) == base; }));
}

TEST_F(RpcTest, AClientThatDiesLeavesNoReferencesBehind) {
    vr::ComPtr<IDispatch> probe = Remote();
    ASSERT_TRUE(probe);
    LONG base = GetLong(probe.Get(), kLocks);
    std::string command = std::string(VR_RPC_PROBE_SERVER) + " --client 3";
    FILE* client = popen(command.c_str(), "r");
    ASSERT_NE(client, nullptr);
    char line[64] = {};
    ASSERT_NE(fgets(line, sizeof line, client), nullptr);
    EXPECT_STREQ(line, "holding\n");
    EXPECT_EQ(pclose(client), 0);
    EXPECT_TRUE(Eventually([&] { return GetLong(probe.Get(), kLocks) == base; }));
}

TEST_F(RpcTest, AServerThatDiesDuringACallFailsItAtOnceAndTheNextCreationStartsAnother) {
    vr::ComPtr<IDispatch> probe = Remote();
    ASSERT_TRUE(probe);
    LONG pid = GetLong(probe.Get(), kProcessId);
    auto call = std::async(std::launch::async, [&] { return CallProbe(probe.Get(), kSleep, {Long(60000)}); });
    ASSERT_TRUE(Sleeping(pid)) << "the call never reached the server";
    auto killed = std::chrono::steady_clock::now();
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    ASSERT_EQ(call.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(call.get(), RPC_E_SERVER_DIED);
    EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(30))
        << "the call waited it out";
    EXPECT_EQ(CallProbe(probe.Get(), kTag, {}), RPC_E_DISCONNECTED);

    vr::ComPtr<IDispatch> again = Remote();
    ASSERT_TRUE(again);
    LONG newPid = GetLong(again.Get(), kProcessId);
    EXPECT_NE(newPid, pid);
    EXPECT_GT(newPid, 0);
}

TEST_F(RpcTest, AProgramThatCannotServeGivesAClearError) {
    // No program registered at all.
    vr::ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(kNoProgram, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.PutVoid()),
              REGDB_E_CLASSNOTREG);
    auto description = [] {
        vr::ComPtr<IErrorInfo> info;
        _bstr_t text;
        if (GetErrorInfo(0, info.Put()) == S_OK) {
            static_cast<void>(info->GetDescription(text.GetAddress()));
        }
        return vr::ToUtf8(std::u16string(text.length() ? static_cast<const char16_t*>(text) : u""));
    };
    // A program file that is not there.
    RegisterProgram(kNoProgram, "/nonexistent/program");
    EXPECT_EQ(CoCreateInstance(kNoProgram, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.PutVoid()),
              CO_E_SERVER_EXEC_FAILURE);
    EXPECT_NE(description().find("could not be started"), std::string::npos);
    // A program that ends without registering.
    RegisterProgram(kNoProgram, "/bin/false");
    EXPECT_EQ(CoCreateInstance(kNoProgram, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.PutVoid()),
              CO_E_SERVER_EXEC_FAILURE);
    EXPECT_NE(description().find("ended (status 1)"), std::string::npos);
    // A program that runs but never registers: the wait ends at the time limit.
    std::string script = vr::RuntimeFolder() + "/../silent.sh";
    std::ofstream(script) << "#!/bin/sh\nexec sleep 3\n";
    ASSERT_EQ(chmod(script.c_str(), 0700), 0);
    RegisterProgram(kNoProgram, script);
    vr::rpc::SetServerStartTimeout(std::chrono::milliseconds(300));
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(CoCreateInstance(kNoProgram, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.PutVoid()),
              CO_E_SERVER_EXEC_FAILURE);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_NE(description().find("within 300 ms"), std::string::npos);
    vr::rpc::SetServerStartTimeout(std::chrono::seconds(10));
}

// Sends one frame to the running probe server over a connection of its own and reads what comes back: the
// reply's status, or 0 when the server closed the connection instead.
uint32_t SendRaw(const std::vector<uint8_t>& frame) {
    std::ifstream file(vr::RuntimeFolder() + "/class-" + vr::GuidToUtf8(CLSID_RpcProbe));
    std::string path;
    std::getline(file, path);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(send(fd, frame.data(), frame.size(), MSG_NOSIGNAL), static_cast<ssize_t>(frame.size()));
    // A reply: length, kind, call id, status.
    uint8_t reply[17] = {};
    ssize_t got = recv(fd, reply, sizeof reply, MSG_WAITALL);
    close(fd);
    uint32_t status = 0;
    if (got == sizeof reply) {
        std::memcpy(&status, reply + 13, 4);
    }
    return status;
}

TEST_F(RpcTest, AMalformedMessageIsRefusedAndTheServerGoesOn) {
    vr::ComPtr<IDispatch> probe = Remote();
    ASSERT_TRUE(probe);
    // An Invoke whose argument count runs past the frame: answered with an error, nothing called.
    vr::rpc::Writer bad;
    bad.U8(static_cast<uint8_t>(vr::rpc::FrameKind::Request));
    bad.U64(1);
    bad.U64(2);
    bad.U64(0x7FFFFFFF); // no such object
    bad.U8(static_cast<uint8_t>(vr::rpc::Operation::Invoke));
    bad.U32(kTag);
    EXPECT_EQ(static_cast<HRESULT>(SendRaw(bad.Finish())), RPC_E_DISCONNECTED);
    vr::rpc::Writer worse;
    worse.U8(static_cast<uint8_t>(vr::rpc::FrameKind::Request));
    worse.U64(1);
    worse.U64(2);
    worse.U64(0);
    worse.U8(static_cast<uint8_t>(vr::rpc::Operation::CreateInstance));
    worse.U16(1); // a class id cut short
    EXPECT_EQ(static_cast<HRESULT>(SendRaw(worse.Finish())), RPC_E_INVALID_DATA);
    // A frame of a kind no peer sends, and a length beyond any frame: the connection is closed.
    EXPECT_EQ(SendRaw({1, 0, 0, 0, 0x42}), 0u);
    EXPECT_EQ(SendRaw({0xFF, 0xFF, 0xFF, 0xFF, 1}), 0u);
    // The server still serves its clients.
    EXPECT_EQ(GetLong(probe.Get(), kTag), 0);
}

TEST_F(RpcTest, ARegistrationAfterAFailedLookupIsFound) {
    vr::ComPtr<IUnknown> active;
    if (GetActiveObject(CLSID_RpcProbeActive, nullptr, active.Put()) == S_OK) {
        GTEST_SKIP() << "a probe server of an earlier test is still registered";
    }
    // Lookups remember an absent class while the runtime folder stays unchanged (every trace line asks for
    // the tracer); a registration made afterwards must still be found.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(GetActiveObject(CLSID_RpcProbeActive, nullptr, active.Put()), MK_E_UNAVAILABLE);
    EXPECT_EQ(GetActiveObject(CLSID_RpcProbeActive, nullptr, active.Put()), MK_E_UNAVAILABLE);
    vr::ComPtr<IDispatch> probe = Remote(); // starts the server, which registers its active probe
    ASSERT_TRUE(probe);
    EXPECT_EQ(GetActiveObject(CLSID_RpcProbeActive, nullptr, active.Put()), S_OK);
}

TEST_F(RpcTest, AnActiveObjectOfAnotherProcessIsFound) {
    vr::ComPtr<IDispatch> probe = Remote(); // starts the server, which registers its active probe
    ASSERT_TRUE(probe);
    vr::ComPtr<IUnknown> active;
    ASSERT_EQ(GetActiveObject(CLSID_RpcProbeActive, nullptr, active.Put()), S_OK);
    vr::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(active.As(&dispatch), S_OK);
    EXPECT_EQ(GetLong(dispatch.Get(), kTag), 77);
    EXPECT_EQ(GetLong(dispatch.Get(), kProcessId), GetLong(probe.Get(), kProcessId));
    // An object of this process registered here is still this process's own.
    vr::ComPtr<IDispatch> local = MakeProbe(3);
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(local.Get(), CLSID_RpcProbeActive, ACTIVEOBJECT_STRONG, &cookie), S_OK);
    ASSERT_EQ(GetActiveObject(CLSID_RpcProbeActive, nullptr, active.Put()), S_OK);
    ASSERT_EQ(active.As(&dispatch), S_OK);
    EXPECT_EQ(GetLong(dispatch.Get(), kProcessId), static_cast<LONG>(getpid()));
    ASSERT_EQ(RevokeActiveObject(cookie, nullptr), S_OK);
}

// Whether the peer ends the connection within a few seconds (reading what it sends meanwhile).
bool EndsTheConnection(int fd) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 100) > 0) {
            char buffer[256];
            if (recv(fd, buffer, sizeof buffer, 0) <= 0) {
                return true;
            }
        }
    }
    return false;
}

// A peer that breaks the protocol leaves a trace line and loses its connection: a frame cut short, a frame of
// no known kind, a release or hold of an object never lent, a frame of no length.
TEST_F(RpcTest, APeerThatBreaksTheProtocolIsTracedAndCutOff) {
    auto frame = [](vr::rpc::FrameKind kind, auto&&... fields) {
        vr::rpc::Writer writer;
        writer.U8(static_cast<uint8_t>(kind));
        (fields(writer), ...);
        return writer.Finish();
    };
    auto u64 = [](uint64_t value) { return [value](vr::rpc::Writer& w) { w.U64(value); }; };
    auto u32 = [](uint32_t value) { return [value](vr::rpc::Writer& w) { w.U32(value); }; };
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> broken = {
        {"release cut short", frame(vr::rpc::FrameKind::Release, u64(1))},
        {"hold cut short", frame(vr::rpc::FrameKind::Hold, u32(1))},
        {"reply cut short", frame(vr::rpc::FrameKind::Reply, u32(1))},
        {"request cut short", frame(vr::rpc::FrameKind::Request, u64(1))},
        {"unknown kind", {1, 0, 0, 0, 0x42}},
        {"release never lent", frame(vr::rpc::FrameKind::Release, u64(0x5EED), u32(1))},
        {"hold never lent", frame(vr::rpc::FrameKind::Hold, u64(0x5EED), u32(1))},
        {"empty frame", {0, 0, 0, 0}},
    };
    for (const auto& [what, bytes] : broken) {
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        testing::internal::CaptureStderr();
        vr::rpc::ChannelRef channel = vr::rpc::Channel::Start(pair[0]);
        EXPECT_EQ(send(pair[1], bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
        bool ended = EndsTheConnection(pair[1]);
        if (!ended) {
            channel->Shutdown();
        }
        std::string trace = testing::internal::GetCapturedStderr();
        close(pair[1]);
        EXPECT_TRUE(ended) << what;
        EXPECT_NE(trace.find("rpc: "), std::string::npos) << what << ": " << trace;
    }
}

TEST_F(RpcTest, AServerEndedBySigtermOrSigintRemovesItsSocketAndStaleOnesAreClearedAtTheNextStart) {
    for (int signal : {SIGTERM, SIGINT}) {
        vr::ComPtr<IDispatch> probe = Remote();
        ASSERT_TRUE(probe);
        LONG pid = GetLong(probe.Get(), kProcessId);
        std::string socket = vr::RuntimeFolder() + "/srv-" + std::to_string(pid) + ".sock";
        ASSERT_TRUE(std::filesystem::exists(socket));
        ASSERT_EQ(kill(pid, signal), 0);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (kill(pid, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // until the server is gone and reaped
        }
        ASSERT_NE(kill(pid, 0), 0) << "the server did not end on " << strsignal(signal);
        EXPECT_FALSE(std::filesystem::exists(socket)) << strsignal(signal);
    }

    // A socket left by a process that was killed outright.
    pid_t gone = fork();
    if (gone == 0) {
        _exit(0);
    }
    ASSERT_GT(gone, 0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    std::string stale = vr::RuntimeFolder() + "/srv-" + std::to_string(gone) + ".sock";
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", stale.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
    vr::ComPtr<IDispatch> probe = Remote(); // a new server starts
    ASSERT_TRUE(probe);
    EXPECT_FALSE(std::filesystem::exists(stale));
}

// Publishing an active object for other processes that cannot be done is a failure, and leaves nothing
// registered.
TEST_F(RpcTest, AnActiveObjectThatCannotBePublishedFailsItsRegistration) {
    std::string root = vrtest::MakeFreshFolder("noruntime");
    std::ofstream(root + "/vornic") << "a file where the runtime folder belongs";
    std::string saved = std::getenv("XDG_RUNTIME_DIR");
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
    vr::ComPtr<IDispatch> local = MakeProbe(5);
    DWORD cookie = 1;
    HRESULT hr = RegisterActiveObject(local.Get(), CLSID_RpcProbeActive, ACTIVEOBJECT_STRONG, &cookie);
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(cookie, 0u);
    vr::ComPtr<IUnknown> active;
    if (GetActiveObject(CLSID_RpcProbeActive, nullptr, active.Put()) == S_OK) {
        vr::ComPtr<IDispatch> dispatch;
        ASSERT_EQ(active.As(&dispatch), S_OK);
        EXPECT_NE(GetLong(dispatch.Get(), kTag), 5) << "the failed registration is still found";
    }
}

// A server of the build before an installation still runs when a client of the new build asks for its class:
// the client says which process of which build it found and what to do, and never uses it (its libraries are
// the other build's). The other build is a copy of the server program beside a build stamp of its own.
TEST_F(RpcTest, AServerOfAnotherBuildIsNamedWithItsProcessAndBuildAndNotUsed) {
    namespace fs = std::filesystem;
    fs::path folder = vrtest::MakeFreshFolder("older-build");
    fs::path program = folder / "rpc_probe_server";
    fs::copy_file(VR_RPC_PROBE_SERVER, program);
    std::ofstream(folder / "build.dat") << "000101.000000\n";
    RegisterProgram(CLSID_RpcProbe, program.string());
    std::string path = program.string();
    std::string embedding = "-Embedding";
    char* argv[] = {path.data(), embedding.data(), nullptr};
    pid_t older = -1;
    ASSERT_EQ(posix_spawn(&older, path.c_str(), nullptr, nullptr, argv, environ), 0);
    // Running once its class is published.
    std::string classFile = vr::RuntimeFolder() + "/class-" + vr::ToUtf8(vr::GuidToString(CLSID_RpcProbe));
    auto published = [&] {
        std::string socket;
        std::getline(std::ifstream(classFile), socket);
        return socket.ends_with("/srv-" + std::to_string(older) + ".sock");
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!published() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(published());
    vr::ComPtr<IDispatch> probe;
    HRESULT hr =
        CoCreateInstance(CLSID_RpcProbe, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, probe.PutVoid());
    EXPECT_EQ(hr, CO_E_SERVER_EXEC_FAILURE);
    vr::ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    _bstr_t description;
    ASSERT_EQ(info->GetDescription(description.GetAddress()), S_OK);
    EXPECT_EQ(description.utf8(),
              "The local server " + path + " that runs (process " + std::to_string(older) +
                  ", build 000101.000000) is of another build than this program (build " + vr::BuildStamp() +
                  "): end it (kill " + std::to_string(older) + ") and start this program again.");
    kill(older, SIGTERM);
    int status = 0;
    EXPECT_EQ(waitpid(older, &status, 0), older);
}

} // namespace
} // namespace rpctest
