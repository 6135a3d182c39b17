// Calls across processes and threads, each against its own floor, in one run (wall-clock times: a caller
// spends these calls blocked, not on the CPU):
//   an Invoke on an object of a local server process  vs  a bare Unix-socket ping-pong with a child process;
//   an Invoke on an object of another apartment's thread  vs  the same Invoke made directly.
// And how many frames the channels' reader threads handed over per call, in a run of calls that each wake
// the thread that runs them (pinned to one core, the reader should have none to hand over): per iteration
// an Echo, and a Bounce whose call-back runs on this thread; counters "server_hand_offs_per_call" and
// "client_hand_offs_per_call", per call this thread made (the design of a reader that took every frame
// handed over about one per call on each side).
// Prints "ratio <name> <time / floor>" after the table, by the medians of repeated runs
// (--benchmark_repetitions). Runs in a private registry and runtime folder.
#include "bench/ratio_reporter.h"
#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/com/activation.h"
#include "platform/com/activation_internal.h"
#include "platform/com/apartment.h"
#include "platform/com/comutil.h"
#include "platform/com/marshal.h"
#include "platform/rpc/channel.h"
#include "platform/rpc/tests/probe.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

int g_pingFd = -1;

// The child's side of the ping-pong: every 16 bytes read go straight back.
[[noreturn]] void Pong(int fd) {
    char buffer[16];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0 || write(fd, buffer, static_cast<size_t>(got)) != got) {
            _exit(0);
        }
    }
}

void UnixSocketPingPong(benchmark::State& state) {
    char buffer[16] = {1};
    for (auto _ : state) {
        if (write(g_pingFd, buffer, sizeof buffer) != sizeof buffer ||
            read(g_pingFd, buffer, sizeof buffer) <= 0) {
            state.SkipWithError("the ping-pong child is gone");
            break;
        }
    }
}

void InvokeOnce(benchmark::State& state, IDispatch* target) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (auto _ : state) {
        VARIANT result;
        VariantInit(&result);
        if (FAILED(target->Invoke(rpctest::kTag, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                                  nullptr))) {
            state.SkipWithError("the call failed");
            break;
        }
        benchmark::DoNotOptimize(result.lVal);
    }
}

void CrossProcessInvoke(benchmark::State& state) {
    vr::ComPtr<IDispatch> remote;
    if (FAILED(CoCreateInstance(rpctest::CLSID_RpcProbe, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                remote.PutVoid()))) {
        state.SkipWithError("the probe server did not start");
        return;
    }
    InvokeOnce(state, remote.Get());
}

void CrossProcessHandOffs(benchmark::State& state) {
    vr::ComPtr<IDispatch> remote;
    if (FAILED(CoCreateInstance(rpctest::CLSID_RpcProbe, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                remote.PutVoid()))) {
        state.SkipWithError("the probe server did not start");
        return;
    }
    vr::ComPtr<IDispatch> local = rpctest::MakeProbe();
    _variant_t peer(local.Get());
    _variant_t serverBefore;
    if (FAILED(rpctest::CallProbe(remote.Get(), rpctest::kHandOffs, {}, &serverBefore))) {
        state.SkipWithError("the probe server does not count its hand-offs");
        return;
    }
    uint64_t clientBefore = vr::rpc::ReaderHandOffs();
    for (auto _ : state) {
        _variant_t echoed;
        _variant_t reached;
        if (FAILED(rpctest::CallProbe(remote.Get(), rpctest::kEcho, {_variant_t(static_cast<LONG>(1))},
                                      &echoed)) ||
            FAILED(rpctest::CallProbe(remote.Get(), rpctest::kBounce,
                                      {peer, _variant_t(static_cast<LONG>(2))}, &reached))) {
            state.SkipWithError("the call failed");
            return;
        }
    }
    _variant_t serverAfter;
    if (FAILED(rpctest::CallProbe(remote.Get(), rpctest::kHandOffs, {}, &serverAfter))) {
        state.SkipWithError("the probe server is gone");
        return;
    }
    state.counters["server_hand_offs_per_call"] = benchmark::Counter(
        static_cast<double>(serverAfter.llVal - serverBefore.llVal) / 2, benchmark::Counter::kAvgIterations);
    state.counters["client_hand_offs_per_call"] =
        benchmark::Counter(static_cast<double>(vr::rpc::ReaderHandOffs() - clientBefore) / 2,
                           benchmark::Counter::kAvgIterations);
}

void DirectInvoke(benchmark::State& state) {
    InvokeOnce(state, rpctest::MakeProbe().Get());
}

void CrossThreadInvoke(benchmark::State& state) {
    std::promise<LPSTREAM> made;
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread far([&] {
        static_cast<void>(CoInitialize(nullptr));
        LPSTREAM stream = nullptr;
        vr::ComPtr<IDispatch> probe = rpctest::MakeProbe();
        static_cast<void>(CoMarshalInterThreadInterfaceInStream(IID_IDispatch, probe.Get(), &stream));
        made.set_value(stream);
        DWORD index = 0;
        static_cast<void>(CoWaitForMultipleHandles(COWAIT_DEFAULT, INFINITE, 1, &stop, &index));
        probe = nullptr;
        CoUninitialize();
    });
    vr::ComPtr<IDispatch> proxy;
    if (SUCCEEDED(CoGetInterfaceAndReleaseStream(made.get_future().get(), IID_IDispatch, proxy.PutVoid()))) {
        InvokeOnce(state, proxy.Get());
    }
    proxy = nullptr;
    SetEvent(stop);
    far.join();
    CloseHandle(stop);
}

BENCHMARK(UnixSocketPingPong)->UseRealTime();
BENCHMARK(CrossProcessInvoke)->UseRealTime();
BENCHMARK(CrossProcessHandOffs)->UseRealTime()->Iterations(3000);
BENCHMARK(DirectInvoke)->UseRealTime();
BENCHMARK(CrossThreadInvoke)->UseRealTime();

// A private registry and runtime folder with the probe server registered.
bool PrepareStation() {
    char folder[] = "/tmp/vornic-rpc-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        return false;
    }
    std::string root = folder;
    setenv("VORNIC_REGISTRY", (root + "/registry").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
    return vr::detail::WriteClassesText(vr::detail::ClassKey(rpctest::CLSID_RpcProbe) + u"\\LocalServer32",
                                        u"", vr::FromUtf8(VR_RPC_PROBE_SERVER)) == ERROR_SUCCESS;
}

} // namespace

int main(int argc, char** argv) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        return 1;
    }
    pid_t child = fork(); // before any thread exists
    if (child == 0) {
        close(pair[0]);
        Pong(pair[1]);
    }
    close(pair[1]);
    g_pingFd = pair[0];
    if (!PrepareStation() || FAILED(CoInitialize(nullptr))) {
        return 1;
    }
    int result = vrbench::RunWithRatioPairs(
        argc, argv, {{"CrossProcessInvoke", "UnixSocketPingPong"}, {"CrossThreadInvoke", "DirectInvoke"}},
        vrbench::RatioTime::Wall);
    CoUninitialize();
    close(g_pingFd);
    waitpid(child, nullptr, 0);
    return result;
}
