// The shutdown monitor of the server process: ends the server once its clients have let go of it for one
// whole idle period.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace rigmont {

// Watches a lock count (the references clients hold on the server's objects). Once the count is zero it
// waits in steps of one idle period; a step during which the count was seen above zero is followed by another
// step; when a whole step passes with the count staying at zero, and it is zero at the end, onIdle runs
// (once) and the monitor ends.
//
// Threads: the monitor runs its own thread, which reads the count through lockCount (called from that thread
// only, every poll interval) and calls onIdle on that thread. Stop() and the destructor may be called from
// any other thread; they wait for the monitor's thread to end.
class ShutdownMonitor {
public:
    struct Timing {
        std::chrono::milliseconds idlePeriod{1500};
        std::chrono::milliseconds pollInterval{20};
    };

    ShutdownMonitor(std::function<unsigned long()> lockCount, std::function<void()> onIdle, Timing timing);
    ShutdownMonitor(std::function<unsigned long()> lockCount, std::function<void()> onIdle)
        : ShutdownMonitor(std::move(lockCount), std::move(onIdle), Timing{}) {}
    ~ShutdownMonitor();
    ShutdownMonitor(const ShutdownMonitor&) = delete;
    ShutdownMonitor& operator=(const ShutdownMonitor&) = delete;

    // Ends the monitor without calling onIdle (when it has not run yet).
    void Stop();

private:
    void Run();
    // Waits one poll interval; false when the monitor is stopped.
    bool Pause();
    // Waits until the count is zero; false when stopped first.
    bool WaitForZero();
    // One idle period: true when the count stayed at zero all through it; stopped reported separately.
    bool QuietStep(bool* stopped);

    std::function<unsigned long()> lockCount_;
    std::function<void()> onIdle_;
    Timing timing_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false; // guarded by mutex_
    std::thread thread_;
};

} // namespace rigmont
