// The server program's serving: the class object published for clients, the message loop of the main thread,
// and the end of the process once it has been idle.
#pragma once

#include "ShutdownMonitor.h"

#include <functional>

namespace rigmont {

struct ServeOptions {
    // The references clients hold on the server's objects.
    std::function<unsigned long()> lockCount;
    ShutdownMonitor::Timing timing;
    std::chrono::milliseconds pauseBeforeExit{1000};
};

// Enters a single-threaded apartment on the calling thread, registers the manager's class object for many
// clients, serves calls until the shutdown monitor finds the server idle, revokes the class object and waits
// the pause before exit. Returns the process's exit code (0, or 1 when serving could not start).
int Serve(const ServeOptions& options);

} // namespace rigmont
