// The window thread's apartment queue on Qt's event loop, and the pumping waits.
#include "platform/ui/gui_apartment.h"

#include "platform/com/waithandle.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <poll.h>
#include <vector>

namespace vr::ui {

namespace {

thread_local GuiApartment* tActive = nullptr;

bool IsReadable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

// The first handle that is signalled now and won by this wait; -1 when none.
int ClaimSignalled(ULONG count, HANDLE* handles) {
    for (ULONG k = 0; k < count; ++k) {
        if (IsReadable(detail::EventDescriptor(handles[k])) && detail::ClaimEvent(handles[k])) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

} // namespace

HRESULT GuiApartment::Create(std::unique_ptr<GuiApartment>* apartment) {
    if (!apartment) {
        return E_POINTER;
    }
    apartment->reset();
    int fd = ApartmentQueueDescriptor();
    if (fd < 0) {
        return CO_E_NOTINITIALIZED;
    }
    if (!QCoreApplication::instance() || tActive) {
        return E_UNEXPECTED;
    }
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, [] { PumpMessages(); });
    apartment->reset(new GuiApartment(notifier));
    tActive = apartment->get();
    return S_OK;
}

GuiApartment::~GuiApartment() {
    delete notifier_;
    tActive = nullptr;
}

bool GuiApartment::IsActiveOnThisThread() {
    return tActive != nullptr;
}

void PumpPendingMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(); // deferred deletes and other events posted by what just ran
    PumpMessages();
}

HRESULT WaitPumping(DWORD timeout, ULONG count, HANDLE* handles, DWORD* index) {
    if (!index || count == 0 || !handles) {
        return E_INVALIDARG;
    }
    for (ULONG k = 0; k < count; ++k) {
        if (detail::EventDescriptor(handles[k]) < 0) {
            return E_INVALIDARG;
        }
    }
    if (!QCoreApplication::instance()) {
        return E_UNEXPECTED;
    }
    if (int signalled = ClaimSignalled(count, handles); signalled >= 0) {
        *index = static_cast<DWORD>(signalled);
        return S_OK;
    }

    QEventLoop loop;
    int won = -1;
    std::vector<std::unique_ptr<QSocketNotifier>> watches;
    for (ULONG k = 0; k < count; ++k) {
        auto& watch = watches.emplace_back(
            std::make_unique<QSocketNotifier>(detail::EventDescriptor(handles[k]), QSocketNotifier::Read));
        QObject::connect(watch.get(), &QSocketNotifier::activated, &loop, [&, k] {
            // Another waiter may have won an auto-reset event: then this wait goes on.
            if (won < 0 && detail::ClaimEvent(handles[k])) {
                won = static_cast<int>(k);
                loop.quit();
            }
        });
    }
    // Without a GuiApartment the thread's queue is served here, so that the wait keeps the re-entrancy rule.
    std::unique_ptr<QSocketNotifier> queueWatch;
    if (int queueFd = ApartmentQueueDescriptor(); queueFd >= 0 && !GuiApartment::IsActiveOnThisThread()) {
        queueWatch = std::make_unique<QSocketNotifier>(queueFd, QSocketNotifier::Read);
        QObject::connect(queueWatch.get(), &QSocketNotifier::activated, &loop, [] { PumpMessages(); });
    }
    QTimer timer;
    if (timeout != INFINITE) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] { loop.quit(); });
        timer.start(static_cast<int>(std::min<DWORD>(timeout, 0x7FFFFFFF)));
    }
    loop.exec();
    if (won < 0) {
        return RPC_S_CALLPENDING;
    }
    *index = static_cast<DWORD>(won);
    return S_OK;
}

} // namespace vr::ui
