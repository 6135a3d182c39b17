// A thread with its own single-threaded apartment that serves calls until it is stopped: the far side of the
// cross-apartment tests.
#pragma once

#include "platform/com/activation.h"
#include "platform/com/marshal.h"

#include <functional>
#include <future>
#include <thread>

namespace vrtest {

class ApartmentThread {
public:
    ApartmentThread() {
        std::promise<vr::ApartmentRef> started;
        auto ready = started.get_future();
        thread_ = std::thread([this, &started] { Serve(started); });
        apartment_ = ready.get();
    }
    ~ApartmentThread() { Stop(); }
    ApartmentThread(const ApartmentThread&) = delete;
    ApartmentThread& operator=(const ApartmentThread&) = delete;

    // Ends the thread's apartment (its last CoUninitialize) and joins it.
    void Stop() {
        if (thread_.joinable()) {
            SetEvent(stop_);
            thread_.join();
        }
    }

    const vr::ApartmentRef& Apartment() const { return apartment_; }

    // Runs work on the thread and waits for it (through the apartment's own call path).
    HRESULT Run(const std::function<HRESULT()>& work) { return apartment_->Call(work); }

    // Makes an object on the thread with make and hands it to the calling thread through a stream.
    template <class I>
    HRESULT Make(const std::function<vr::ComPtr<I>()>& make, vr::ComPtr<I>* out) {
        LPSTREAM stream = nullptr;
        HRESULT hr = Run([&] {
            vr::ComPtr<I> made = make();
            return CoMarshalInterThreadInterfaceInStream(vr::uuidof<I>(), made.Get(), &stream);
        });
        return FAILED(hr) ? hr : CoGetInterfaceAndReleaseStream(stream, vr::uuidof<I>(), out->PutVoid());
    }

private:
    void Serve(std::promise<vr::ApartmentRef>& started) {
        static_cast<void>(CoInitialize(nullptr));
        started.set_value(vr::ThisApartment());
        DWORD index = 0;
        static_cast<void>(CoWaitForMultipleHandles(COWAIT_DEFAULT, INFINITE, 1, &stop_, &index));
        CoUninitialize();
        CloseHandle(stop_);
    }

    HANDLE stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    vr::ApartmentRef apartment_;
    std::thread thread_;
};

} // namespace vrtest
