// The display probe (a Wayland socket, or an X connection through libxcb loaded at run time) and the choice
// of Qt's platform before the application is made.
#include "platform/ui/display.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace vr::ui {

namespace {

// How long a display (a remote X server's host, say) may take to accept a client.
constexpr auto kProbeLimit = std::chrono::seconds(5);

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool WaylandAnswers() {
    std::string socketPath = Environment("WAYLAND_DISPLAY");
    if (socketPath.empty()) {
        return false;
    }
    if (socketPath[0] != '/') {
        std::string runtime = Environment("XDG_RUNTIME_DIR");
        if (runtime.empty()) {
            return false;
        }
        socketPath = runtime + "/" + socketPath;
    }
    sockaddr_un address{};
    if (socketPath.size() >= sizeof address.sun_path) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
    int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (client < 0) {
        return false;
    }
    bool connected = ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    (void)::close(client); // a probe's socket: nothing was written that a close could lose
    return connected;
}

// One X connection made and closed; false when libxcb is missing (then Qt's xcb platform cannot run either).
bool X11Answers(const std::string& display) {
    // Kept loaded for the process's life: a probe that outlived its limit may still be inside it.
    void* library = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        return false;
    }
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(::dlsym(library, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(::dlsym(library, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(::dlsym(library, "xcb_disconnect"));
    if (!connect || !hasError || !disconnect) {
        return false;
    }
    void* connection = connect(display.c_str(), nullptr);
    bool answers = connection && hasError(connection) == 0;
    if (connection) {
        disconnect(connection); // also frees a connection in error
    }
    return answers;
}

// The X probe on a thread of its own, given up after kProbeLimit (a host that drops packets).
bool X11AnswersInTime(const std::string& display) {
    struct Outcome {
        std::mutex lock;
        std::condition_variable done;
        bool finished = false; // guarded by lock
        bool answers = false;  // guarded by lock
    };
    auto outcome = std::make_shared<Outcome>();
    std::thread probe([outcome, display] {
        bool answers = X11Answers(display);
        std::lock_guard<std::mutex> guard(outcome->lock);
        outcome->finished = true;
        outcome->answers = answers;
        outcome->done.notify_one();
    });
    probe.detach(); // it holds its own share of the outcome; one that hangs ends with the process
    std::unique_lock<std::mutex> guard(outcome->lock);
    outcome->done.wait_for(guard, kProbeLimit, [&] { return outcome->finished; });
    return outcome->finished && outcome->answers;
}

// Qt's notices that say nothing to a user: one for every window shown offscreen (there is no window manager),
// and one where a station's session has no runtime folder of its own (a service, a CI job, su), where Qt
// makes one and goes on.
QtMessageHandler g_previousHandler = nullptr; // main thread, set once before the application exists

void DropNoticesForNobody(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("propagateSizeHints")) ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) {
        return;
    }
    if (g_previousHandler) {
        g_previousHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
    }
}

bool NeedsNoDisplay(const std::string& platforms) {
    return platforms.find("offscreen") != std::string::npos || platforms.find("minimal") != std::string::npos;
}

} // namespace

bool DisplayAnswers() {
    if (WaylandAnswers()) {
        return true;
    }
    std::string display = Environment("DISPLAY");
    return !display.empty() && X11AnswersInTime(display);
}

DisplayChoice UseOffscreenWithoutDisplay(const char* program) {
    if (!g_previousHandler) {
        g_previousHandler = qInstallMessageHandler(&DropNoticesForNobody);
    }
    std::string platforms = Environment("QT_QPA_PLATFORM");
    if (NeedsNoDisplay(platforms)) {
        return DisplayChoice::Offscreen;
    }
    if (DisplayAnswers()) {
        return DisplayChoice::Display;
    }
    // A platform the user chose is tried first; offscreen only when it cannot start.
    std::string chosen = platforms.empty() ? "offscreen" : platforms + ";offscreen";
    (void)setenv("QT_QPA_PLATFORM", chosen.c_str(), 1); // only fails without memory; Qt then says why
    if (program) {
        std::string named =
            Environment("WAYLAND_DISPLAY").empty() ? Environment("DISPLAY") : Environment("WAYLAND_DISPLAY");
        std::fprintf(stderr, "%s: %s; running without a window (offscreen)\n", program,
                     named.empty() ? "no display is set (DISPLAY)"
                                   : ("the display " + named + " does not answer").c_str());
    }
    return DisplayChoice::Offscreen;
}

} // namespace vr::ui
