// CTestEngine: Delay, the wait that keeps serving the calls queued for the engine's thread.
#include "TestEngine.h"

#include "platform/com/apartment.h"

#include <chrono>
#include <poll.h>

namespace corvant {

namespace {

constexpr int kPumpIntervalMilliseconds = 8;

// A millisecond tick count that wraps as a 32-bit counter does; differences are taken unsigned.
uint32_t TickCount() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

// Sleeps one interval, waking early when a call is queued for the thread (outside an apartment the
// descriptor is -1, which poll ignores).
void SleepOneInterval() {
    pollfd queue{.fd = vr::ApartmentQueueDescriptor(), .events = POLLIN, .revents = 0};
    (void)poll(&queue, 1, kPumpIntervalMilliseconds);
}

} // namespace

// A Stop that arrives while the script waits runs in PumpMessages and ends the wait at the next check.
HRESULT CTestEngine::Delay(uint32_t msec) {
    const uint32_t start = TickCount();
    for (;;) {
        if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
            return Finish(hr);
        }
        (void)vr::PumpMessages();
        if (static_cast<uint32_t>(TickCount() - start) >= msec) {
            return S_OK;
        }
        SleepOneInterval();
    }
}

} // namespace corvant
