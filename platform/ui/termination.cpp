// SIGTERM, SIGINT and SIGHUP carried to the window thread through a pipe, as a close.
#include "platform/ui/termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace vr::ui {

namespace {

// Written once, before the handlers are installed; the handler only writes to it.
int g_signalPipe = -1;
std::atomic<bool> g_signalled{false};

void NoteSignal(int signal) {
    g_signalled.store(true);
    if (g_signalPipe >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        (void)!write(g_signalPipe, &number, 1); // a full pipe already holds a request to close
    }
}

void InstallHandlers() {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction handler {};
        handler.sa_handler = &NoteSignal;
        sigemptyset(&handler.sa_mask);
        handler.sa_flags = SA_RESETHAND | SA_RESTART;
        (void)sigaction(signal, &handler, nullptr); // valid arguments: cannot fail
    }
}

} // namespace

void CloseOnTerminationSignals(std::function<void()> close) {
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // without the pipe the signals keep ending the program outright
    }
    g_signalPipe = ends[1];
    auto* notifier = new QSocketNotifier(ends[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [readEnd = ends[0], close = std::move(close)] {
        unsigned char pending[16];
        (void)!read(readEnd, pending, sizeof(pending)); // which signal it was does not matter
        close();
    });
    InstallHandlers();
}

void NoteTerminationSignals() {
    InstallHandlers();
}

bool TerminationSignalled() {
    return g_signalled.load();
}

} // namespace vr::ui
