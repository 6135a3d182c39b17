// The program graphhost: the graph host's local server. Clients start it (-Embedding) by creating
// CLSID_GraphHost; it ends when its window is closed (also by SIGTERM, SIGINT or SIGHUP, which close it) or
// once it has been idle.
#include "GraphHost.h"

#include "common/trace/Trace.h"
#include "platform/base/program_conventions.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/rpc/local_server.h"
#include "platform/ui/display.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/termination.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>
#include <utility>

namespace {

using namespace std::chrono_literals;

// How long no client may hold any object before the program ends, and how often that is looked at.
constexpr auto kIdleTime = 5s;
constexpr auto kIdlePoll = 100ms;

const char* const kUsage =
    "usage: graphhost [switches]\n"
    "The graph host: a window with one graph control that scripts draw into through engine.graph. Clients\n"
    "start it on demand (with -Embedding); it ends when its window is closed or once no client holds it.\n"
    "SIGTERM, SIGINT and SIGHUP close its window. Without a display it runs offscreen.\n"
    "  -Embedding, -Automation   started by a client: serve (also with \"/\", any letter case)\n"
    "  /RegServer                record the program in the registry and end\n"
    "  /UnregServer              remove the program from the registry and end\n"
    "  --help                    show this text\n"
    "  --version                 show the build it comes from\n"
    "exit code 64: a command line graphhost does not take\n";

enum class Action { Serve, Register, Unregister, Help, BadArgument };

// A switch is a word after "-", "--" or "/" in any letter case; anything else is a bad argument.
Action ActionOf(std::string_view argument) {
    std::string_view word = argument;
    if (word.starts_with("--")) {
        word.remove_prefix(2);
    } else if (word.starts_with('-') || word.starts_with('/')) {
        word.remove_prefix(1);
    } else {
        return Action::BadArgument;
    }
    if (vr::EqualsNoCase(word, "RegServer")) {
        return Action::Register;
    }
    if (vr::EqualsNoCase(word, "UnregServer")) {
        return Action::Unregister;
    }
    if (vr::EqualsNoCase(word, "Embedding") || vr::EqualsNoCase(word, "Automation")) {
        return Action::Serve;
    }
    if (vr::EqualsNoCase(word, "help") || vr::EqualsNoCase(word, "h") || vr::EqualsNoCase(word, "?")) {
        return Action::Help;
    }
    return Action::BadArgument;
}

std::u16string ProgramPath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::u16string() : vr::FromUtf8(path.string());
}

int Report(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        std::fprintf(stderr, "graphhost: %s failed (HRESULT 0x%08X)\n", what, static_cast<unsigned>(hr));
        return 1;
    }
    return 0;
}

// Quits the application once no client has held an object for kIdleTime. Window thread.
void QuitWhenIdle(QApplication& application) {
    auto* timer = new QTimer(&application);
    auto idleSince =
        std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
    QObject::connect(timer, &QTimer::timeout, [idleSince] {
        const auto now = std::chrono::steady_clock::now();
        if (vr::rpc::ServerProcessLocks() != 0) {
            *idleSince = now;
        } else if (now - *idleSince > kIdleTime) {
            QApplication::quit();
        }
    });
    timer->start(kIdlePoll);
}

// SIGTERM, SIGINT and SIGHUP close the window as its user would (a close event on it), so the program ends
// the way it does then: registrations given back, clients disconnected. Window thread.
void CloseWindowOnTermination() {
    vr::ui::CloseOnTerminationSignals([] {
        if (QWidget* window = graphhost::HostWindow::Window()) {
            window->close(); // its last window: the application quits once it is gone
        } else {
            QApplication::quit();
        }
    });
}

// Serves the class until the window is closed or the program is idle. 0, or 1 when serving could not start.
int Serve(int argc, char** argv) {
    SetTraceMethodName(u"GraphHost::Serve()");
    QApplication application(argc, argv);
    CloseWindowOnTermination();
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    if (FAILED(vr::ui::GuiApartment::Create(&apartment))) {
        return 1;
    }
    vr::ComPtr<IUnknown> factory;
    DWORD cookie = 0;
    HRESULT hr = vr::server::CreateClassFactory(graphhost::GraphHostClass().createInstance, IID_IUnknown,
                                                factory.PutVoid());
    if (SUCCEEDED(hr)) {
        hr = CoRegisterClassObject(graphhost::GraphHostClass().clsid, factory.Get(), CLSCTX_LOCAL_SERVER,
                                   REGCLS_MULTIPLEUSE, &cookie);
    }
    if (FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't register the class object of the GraphHost server.");
        return 1;
    }
    QuitWhenIdle(application);
    // Once the user closed the window, a client creating the class starts a new program with a new window
    // instead of reaching this one on its way out.
    const auto revoke = [&cookie] {
        if (cookie != 0) {
            (void)CoRevokeClassObject(std::exchange(cookie, 0)); // the cookie is ours and registered
        }
    };
    const QMetaObject::Connection onClose =
        QObject::connect(&application, &QGuiApplication::lastWindowClosed, revoke);
    (void)QApplication::exec(); // the window closed (its last window) or the idle timer quit
    revoke();
    QObject::disconnect(onClose); // revoke refers to this function's cookie
    graphhost::HostWindow::Close();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    vr::IgnoreBrokenPipes();
    if (vr::AnswerVersion(argc, argv, "graphhost")) {
        return 0;
    }
    Action action = Action::Serve;
    for (int i = 1; i < argc; ++i) {
        const Action asked = ActionOf(argv[i]);
        if (asked == Action::BadArgument) {
            std::fprintf(stderr, "graphhost: unknown argument '%s'\n%s", argv[i], kUsage);
            return vr::kExitBadCommandLine;
        }
        if (action == Action::Serve) {
            action = asked;
        }
    }
    switch (action) {
    case Action::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case Action::Register:
        return Report(
            vr::server::RegisterLocalServerClasses({&graphhost::GraphHostClass(), 1}, ProgramPath()),
            "registration");
    case Action::Unregister:
        return Report(
            vr::server::UnregisterLocalServerClasses({&graphhost::GraphHostClass(), 1}, ProgramPath()),
            "unregistration");
    case Action::BadArgument:
    case Action::Serve:
        break;
    }
    // Started by a client without a display, nobody sees the window but scripts still draw into it.
    (void)vr::ui::UseOffscreenWithoutDisplay("graphhost");
    if (FAILED(CoInitialize(nullptr))) {
        return 1;
    }
    const int code = Serve(argc, argv);
    CoUninitialize();
    return code;
}
