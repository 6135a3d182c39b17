// The window thread as an apartment: its call queue driven from Qt's event loop, and waits that keep both
// Qt's events and the apartment's calls running.
#pragma once

#include "platform/com/apartment.h"

#include <memory>

class QSocketNotifier;

namespace vr::ui {

// Runs the calls queued for the calling thread's single-threaded apartment whenever Qt's event loop runs on
// that thread (QApplication::exec, a dialog's exec, a QEventLoop, processEvents), so that calls from other
// apartments reach window objects as they reach any apartment's objects (the re-entrancy rule of
// platform/com/apartment.h holds: calls run only while the thread waits in an event loop).
// Threads: made, used and destroyed on the window thread, while its apartment and the application live.
class GuiApartment {
public:
    // CO_E_NOTINITIALIZED when the calling thread owns no single-threaded apartment; E_UNEXPECTED without a
    // QCoreApplication, or when the thread has one already (one per thread).
    [[nodiscard]] static HRESULT Create(std::unique_ptr<GuiApartment>* apartment);
    ~GuiApartment();
    GuiApartment(const GuiApartment&) = delete;
    GuiApartment& operator=(const GuiApartment&) = delete;

    // Whether the calling thread's queue is driven by a GuiApartment.
    static bool IsActiveOnThisThread();

private:
    explicit GuiApartment(QSocketNotifier* notifier) : notifier_(notifier) {}
    QSocketNotifier* notifier_;
};

// Runs Qt's pending events and the apartment's queued calls, without waiting (a PeekMessage loop).
void PumpPendingMessages();

// Waits until one of the handles (events) is signalled or timeout milliseconds pass (INFINITE: no limit),
// running Qt's events and the apartment's calls meanwhile: the wait of a window thread for its worker, during
// which the window stays responsive. S_OK with *index = the signalled handle's position (an auto-reset event
// is reset by the wait it ends); RPC_S_CALLPENDING when the time ran out; E_INVALIDARG for a null index, no
// handles or a handle that is no event; E_UNEXPECTED without a QCoreApplication. Window thread only.
[[nodiscard]] HRESULT WaitPumping(DWORD timeout, ULONG count, HANDLE* handles, DWORD* index);

} // namespace vr::ui
