// The shutdown monitor's thread: waiting for the lock count to fall to zero and for one quiet idle period.
#include "ShutdownMonitor.h"

namespace rigmont {

ShutdownMonitor::ShutdownMonitor(std::function<unsigned long()> lockCount, std::function<void()> onIdle,
                                 Timing timing)
    : lockCount_(std::move(lockCount)), onIdle_(std::move(onIdle)), timing_(timing) {
    thread_ = std::thread([this] { Run(); });
}

ShutdownMonitor::~ShutdownMonitor() {
    Stop();
}

void ShutdownMonitor::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

bool ShutdownMonitor::Pause() {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, timing_.pollInterval, [this] { return stopping_; });
}

bool ShutdownMonitor::WaitForZero() {
    while (lockCount_() != 0) {
        if (!Pause()) {
            return false;
        }
    }
    return true;
}

bool ShutdownMonitor::QuietStep(bool* stopped) {
    auto end = std::chrono::steady_clock::now() + timing_.idlePeriod;
    bool quiet = true;
    while (std::chrono::steady_clock::now() < end) {
        if (!Pause()) {
            *stopped = true;
            return false;
        }
        if (lockCount_() != 0) {
            quiet = false;
        }
    }
    return quiet;
}

void ShutdownMonitor::Run() {
    for (;;) {
        if (!WaitForZero()) {
            return;
        }
        bool stopped = false;
        // A client that came and went during a step keeps the server for another step.
        while (!QuietStep(&stopped)) {
            if (stopped) {
                return;
            }
        }
        if (lockCount_() == 0) {
            break;
        }
    }
    onIdle_();
}

} // namespace rigmont
