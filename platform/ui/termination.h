// Termination signals as the user's close: SIGTERM, SIGINT and SIGHUP end a program the way closing its
// window does (a run is stopped, registrations are given back), not at once with its work half done.
//
// Usage: a program with a window calls CloseOnTerminationSignals once, after its QApplication is made, with
// what closes its window; the close then runs on the window thread when its event loop (or a wait that
// serves the window's events) next runs. A program without an event loop asks TerminationSignalled() in its
// waits instead. The handlers reset as they run: a second signal ends the program at once, should the first
// close never get through.
// Threads: install on the window thread; TerminationSignalled may be asked on any thread.
#pragma once

#include <functional>

namespace vr::ui {

// Installs the handlers; close runs on the window thread after a signal came (once per signal). Without the
// pipe it needs (no descriptors left) the signals keep ending the program outright.
void CloseOnTerminationSignals(std::function<void()> close);

// Installs the handlers without a close of their own (a program without an event loop).
void NoteTerminationSignals();

// A termination signal came since the handlers were installed.
bool TerminationSignalled();

} // namespace vr::ui
