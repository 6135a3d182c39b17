// scrivon-drive: has a running script executive load a script and run it through its automation object, as
// any automation client would, and tells the run's verdict by its exit code: 0 passed, 1 failed, 2 error,
// 3 not run (no script executive was reached, or it did not load the script, or it ran nothing). A run that
// started and was lost (its scrivon ended during it) is an error.
#include "TestRunTime/Scrivon/include/vrtestloader.h"
#include "platform/base/program_conventions.h"
#include "platform/base/win32errors.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/com/rot.h"
#include "platform/rpc/local_server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

enum ExitCode : int {
    kPassed = 0,
    kFailed = 1,
    kError = 2,
    kNotRun = 3,
};

// The run verdicts the script executive tells (its test statuses).
constexpr LONG kVerdictPassed = 1;
constexpr LONG kVerdictFailed = 2;
constexpr LONG kVerdictError = 7;

// The call's failure, with the reason the script executive gave (a refusal while it runs another script)
// in *why.
HRESULT Call(IDispatch* loader, DISPID member, VARIANT* argument, VARIANT* result, std::string* why) {
    DISPPARAMS params{argument, nullptr, argument ? 1u : 0u, 0};
    EXCEPINFO exception{};
    HRESULT hr = loader->Invoke(member, IID_NULL, 0, DISPATCH_METHOD, &params, result, &exception, nullptr);
    if (hr == DISP_E_EXCEPTION) {
        hr = FAILED(exception.scode) ? exception.scode : E_FAIL;
        *why = exception.bstrDescription ? _bstr_t(exception.bstrDescription).utf8() : "";
    }
    vr::ClearExcepInfo(&exception);
    return hr;
}

// ": <reason>" when there is one.
std::string Reason(const std::string& why) {
    return why.empty() ? "" : ": " + why;
}

// The verdict of the run just made; 0 when it cannot be read.
LONG VerdictOf(IDispatch* loader) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    _variant_t verdict;
    HRESULT hr = loader->Invoke(DISPID_TestLoaderVerdict, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &verdict,
                                nullptr, nullptr);
    _variant_t number;
    if (FAILED(hr) || FAILED(VariantChangeType(&number, &verdict, 0, VT_I4))) {
        return 0;
    }
    return number.lVal;
}

// The running instance's object; it may still be starting, so it is looked for a while (said at once when
// none runs yet, so that the wait is no silence).
vr::ComPtr<IDispatch> FindLoader(std::chrono::milliseconds patience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    for (bool first = true;; first = false) {
        vr::ComPtr<IUnknown> active;
        vr::ComPtr<IDispatch> loader;
        if (SUCCEEDED(GetActiveObject(CLSID_VrTestLoader, nullptr, active.Put())) &&
            SUCCEEDED(active->QueryInterface(IID_IDispatch, loader.PutVoid()))) {
            return loader;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return {};
        }
        if (first) {
            std::fprintf(
                stderr,
                "scrivon-drive: no scrivon runs yet; waiting up to %lld s for one to start (start it "
                "with 'scrivon &')\n",
                static_cast<long long>(std::chrono::ceil<std::chrono::seconds>(patience).count()));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// Gives the serial number of this client's run; the failure with the reason the script executive gave (its
// refusal while another client's run holds it) in *why.
HRESULT PutSerialNumber(IDispatch* loader, const std::string& serialNumber, std::string* why) {
    _variant_t text(_bstr_t(serialNumber.c_str()));
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&text, &named, 1, 1};
    EXCEPINFO exception{};
    HRESULT hr = loader->Invoke(DISPID_TestLoaderSN, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr,
                                &exception, nullptr);
    if (hr == DISP_E_EXCEPTION) {
        hr = FAILED(exception.scode) ? exception.scode : E_FAIL;
        *why = exception.bstrDescription ? _bstr_t(exception.bstrDescription).utf8() : "";
    }
    vr::ClearExcepInfo(&exception);
    return hr;
}

// When the process started: its start in clock ticks after the boot (/proc/<pid>/stat, the 22nd field) plus
// the boot's time (/proc/stat, btime); 0 when either cannot be read.
std::time_t StartOf(pid_t process) {
    std::ifstream stat("/proc/" + std::to_string(process) + "/stat");
    std::string line;
    std::getline(stat, line);
    size_t name = line.rfind(')'); // the fields after the program's name, which may hold blanks
    if (name == std::string::npos) {
        return 0;
    }
    std::istringstream fields(line.substr(name + 2));
    std::string field;
    for (int index = 3; index < 22 && fields >> field; ++index) {
    }
    unsigned long long ticks = 0;
    std::ifstream system("/proc/stat");
    std::string word;
    long long boot = 0;
    while (system >> word && word != "btime") {
    }
    long perSecond = ::sysconf(_SC_CLK_TCK);
    if (!(fields >> ticks) || !(system >> boot) || perSecond <= 0) {
        return 0;
    }
    return static_cast<std::time_t>(
        boot + static_cast<long long>(ticks / static_cast<unsigned long long>(perSecond)));
}

// "scrivon process <pid> (<program>, running since <time>)": which scrivon serves the run, also one left
// from an earlier try; "a scrivon of unknown process" when the connection does not tell.
std::string ServerText(pid_t process) {
    if (process <= 0) {
        return "a scrivon of unknown process";
    }
    std::string proc = "/proc/" + std::to_string(process);
    char program[4096];
    ssize_t length = ::readlink((proc + "/exe").c_str(), program, sizeof program - 1);
    std::string text = "scrivon process " + std::to_string(process);
    char since[32] = "";
    if (std::time_t started = StartOf(process); started > 0) {
        std::tm local{};
        (void)std::strftime(since, sizeof since, "%Y-%m-%d %H:%M:%S", localtime_r(&started, &local));
    }
    if (length > 0) {
        text += " (" + std::string(program, static_cast<size_t>(length)) +
                (since[0] ? ", running since " : "") + since + ")";
    }
    return text;
}

// Why the script executive answered a Load with false, as far as this side can tell.
std::string LoadFailure(const std::string& script) {
    struct stat status {};
    if (::stat(script.c_str(), &status) != 0) {
        return std::string(std::strerror(errno)) + " (check the name and the folder)";
    }
    if (::access(script.c_str(), R_OK) != 0) {
        return std::string(std::strerror(errno));
    }
    return "the script executive's messages say why (its file name's language part, e.g. .JScript.ts, "
           "names a script language it knows?)";
}

// True when the process that served the run no longer runs: gone, or a zombie its parent has not reaped yet.
bool Ended(pid_t process) {
    if (process <= 0) {
        return false;
    }
    if (::kill(process, 0) != 0 && errno == ESRCH) {
        return true;
    }
    std::ifstream stat("/proc/" + std::to_string(process) + "/stat");
    std::string line;
    std::getline(stat, line);
    size_t state = line.rfind(')'); // the state follows the program's name, which may hold blanks
    return state != std::string::npos && line.compare(state, 3, ") Z") == 0;
}

// Ended, or ends within the patience: a killed process closes its connections before it is gone.
bool EndsWithin(pid_t process, std::chrono::milliseconds patience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    while (!Ended(process)) {
        if (process <= 0 || std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// "0x%08X" of hr.
std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// One attempt: the serial number, the script and the run, each of which a busy script executive refuses
// with ERROR_BUSY (*busy then tells the caller that a later attempt may succeed). What went wrong is left in
// *complaint, for the caller to tell when it gives up.
int DriveOnce(IDispatch* loader, pid_t server, const std::string& serverText, const std::string& script,
              const std::string* serialNumber, bool* busy, std::string* complaint) {
    std::string why;
    auto refused = [busy](HRESULT hr) {
        *busy = hr == HRESULT_FROM_WIN32(ERROR_BUSY);
        return *busy;
    };
    if (serialNumber) {
        if (HRESULT hr = PutSerialNumber(loader, *serialNumber, &why); FAILED(hr)) {
            refused(hr);
            *complaint =
                "the script executive did not take the serial number (" + Hex(hr) + ")" + Reason(why);
            return kNotRun;
        }
    }
    _variant_t file(_bstr_t(script.c_str()));
    _variant_t loaded;
    HRESULT hr = Call(loader, DISPID_TestLoaderLoad, &file, &loaded, &why);
    if (FAILED(hr)) {
        refused(hr);
        *complaint = "the script executive did not load " + script + " (" + Hex(hr) + ")" + Reason(why);
        return kNotRun;
    }
    if (loaded.vt != VT_BOOL || !loaded.boolVal) {
        *complaint = "the script executive did not load " + script + ": " + LoadFailure(script);
        return kNotRun;
    }
    _variant_t completed; // the verdict read below tells more than whether the run completed
    hr = Call(loader, DISPID_TestLoaderRun, nullptr, &completed, &why);
    if (refused(hr)) {
        *complaint = "the run could not be started (" + Hex(hr) + ")" + Reason(why);
        return kNotRun; // another run is in progress
    }
    if (FAILED(hr)) {
        // The run was asked for and did not come back: it is lost, which is an error, not a run never made.
        std::string lost = EndsWithin(server, std::chrono::seconds(2))
                               ? serverText + " ended during the run"
                               : std::string("the script executive did not answer");
        *complaint = "the run was lost: " + lost + " (" + Hex(hr) + ")" + Reason(why);
        return kError;
    }
    switch (VerdictOf(loader)) {
    case kVerdictPassed:
        std::printf("scrivon-drive: the test passed\n");
        return kPassed;
    case kVerdictFailed:
        std::printf("scrivon-drive: the test failed\n");
        return kFailed;
    case kVerdictError:
        std::printf("scrivon-drive: the run ended in an error\n");
        return kError;
    default:
        *complaint = "the script executive ran nothing (another run in progress?)";
        return kNotRun;
    }
}

// Attempts until one is not refused as busy, or until the wait is over (none: one attempt). A refusal the
// client waits through is not reported; the last one is. Scrivon is looked for 30 s, or for the wait when
// that is longer: a scrivon busy with other clients may be slow to answer.
int Drive(const std::string& script, const std::string* serialNumber, std::chrono::milliseconds wait) {
    vr::ComPtr<IDispatch> loader =
        FindLoader(std::max<std::chrono::milliseconds>(std::chrono::seconds(30), wait));
    if (!loader) {
        std::fprintf(stderr, "scrivon-drive: no running script executive was found (start one with 'scrivon "
                             "&')\n");
        return kNotRun;
    }
    const pid_t server = vr::rpc::ServingProcessOf(loader.Get());
    const std::string serverText = ServerText(server); // told now: a process that ended tells no program
    std::fprintf(stderr, "scrivon-drive: the run goes to %s\n", serverText.c_str());
    auto deadline = std::chrono::steady_clock::now() + wait;
    std::minstd_rand jitter(static_cast<unsigned>(getpid()));
    for (;;) {
        bool busy = false;
        bool lastAttempt = std::chrono::steady_clock::now() >= deadline;
        std::string complaint;
        int code = DriveOnce(loader.Get(), server, serverText, script, serialNumber, &busy, &complaint);
        if (!busy || lastAttempt) {
            if (!complaint.empty()) {
                std::fprintf(stderr, "scrivon-drive: %s\n", complaint.c_str());
            }
            return code;
        }
        // Clients that were refused together come back apart.
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + jitter() % 60));
    }
}

// A --wait value: seconds, whole or with a fraction, none negative; false for anything else.
bool ParseSeconds(const std::string& text, std::chrono::milliseconds* wait) {
    char* end = nullptr;
    double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds >= 0) || seconds > 1e6) {
        return false;
    }
    *wait = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
    return true;
}

constexpr const char* kUsage =
    "usage: scrivon-drive [--sn SERIAL] [--wait SECONDS] <script file>\n"
    "Has the running scrivon (waited for up to 30 s, or SECONDS) load the script and run it, and tells the\n"
    "verdict. Says on standard error which scrivon (process, program, start) serves the run.\n"
    "exit code: 0 passed, 1 failed, 2 error (also a run lost when its scrivon ended during it), 3 not run,\n"
    "64 a command line it does not take\n"
    "  --sn SERIAL   the serial number of the device under test, typed into scrivon's SN field first;\n"
    "                it holds for this run alone (no other client's can come between)\n"
    "  --wait SECONDS  while scrivon is busy with another client's run, try again for up to SECONDS\n"
    "                (without it, a busy scrivon is not waited for: exit code 3)\n"
    "  --help        show this text\n"
    "  --version     show the build it comes from\n";

} // namespace

int main(int argc, char** argv) {
    vr::IgnoreBrokenPipes();
    if (vr::AnswerVersion(argc, argv, "scrivon-drive")) {
        return 0;
    }
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string serialNumber;
    bool serialNumberGiven = false;
    std::chrono::milliseconds wait{0};
    while (arguments.size() >= 2 && (arguments[0] == "--sn" || arguments[0] == "--wait")) {
        if (arguments[0] == "--sn") {
            serialNumber = arguments[1];
            serialNumberGiven = true;
        } else if (!ParseSeconds(arguments[1], &wait)) {
            std::fprintf(stderr, "scrivon-drive: --wait takes a number of seconds, not '%s'\n",
                         arguments[1].c_str());
            std::fputs(kUsage, stderr);
            return vr::kExitBadCommandLine;
        }
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    std::string argument = arguments.size() == 1 ? arguments[0] : "";
    if (argument == "--help" || argument == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // A script whose name starts with "-" is given as ./-name.
    if (arguments.size() != 1 || argument.empty() || argument[0] == '-') {
        if (arguments.size() == 1) {
            std::fprintf(stderr, "scrivon-drive: unknown switch '%s'\n", argument.c_str());
        }
        std::fputs(kUsage, stderr);
        return vr::kExitBadCommandLine;
    }
    if (FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "scrivon-drive: COM could not be initialised\n");
        return kNotRun;
    }
    int result = Drive(std::filesystem::absolute(argument).string(),
                       serialNumberGiven ? &serialNumber : nullptr, wait);
    CoUninitialize();
    return result;
}
