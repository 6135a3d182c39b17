// Serving the manager's class object on the main thread until the server is idle.
#include "ServerMain.h"

#include "Rigmont/include/rigmont.h"
#include "SingletonFactory.h"

#include "common/trace/Trace.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/comptr.h"

#include <thread>

namespace rigmont {

namespace {

// The class object, registered for the life of the serving loop.
class ClassRegistration {
public:
    ClassRegistration() = default;
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;
    ~ClassRegistration() { Revoke(); }

    HRESULT Register() {
        vr::ComPtr<IClassFactory> factory;
        if (HRESULT hr = CreateSingletonFactory(factory.Put()); FAILED(hr)) {
            return hr;
        }
        return CoRegisterClassObject(CLSID_VrRigmont, factory.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie_);
    }
    void Revoke() {
        if (cookie_ != 0) {
            (void)CoRevokeClassObject(cookie_);
            cookie_ = 0;
        }
    }

private:
    DWORD cookie_ = 0;
};

// The message loop: serves the apartment's calls until the idle event is set.
void RunMessageLoop(HANDLE idle) {
    DWORD index = 0;
    while (CoWaitForMultipleHandles(COWAIT_DEFAULT, INFINITE, 1, &idle, &index) != S_OK) {
    }
}

} // namespace

int Serve(const ServeOptions& options) {
    SetTraceMethodName(u"Rigmont::Serve()");
    if (FAILED(CoInitialize(nullptr))) {
        return 1;
    }
    int exitCode = 0;
    HANDLE idle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        ClassRegistration registration;
        if (HRESULT hr = registration.Register(); FAILED(hr)) {
            SetTraceSite();
            TraceHResultError(hr, u"Couldn't register the class object of the VrRigmont server.");
            exitCode = 1;
        } else {
            ShutdownMonitor monitor(
                options.lockCount, [idle] { SetEvent(idle); }, options.timing);
            RunMessageLoop(idle);
            monitor.Stop();
            registration.Revoke();
            std::this_thread::sleep_for(options.pauseBeforeExit);
        }
    }
    CloseHandle(idle);
    CoUninitialize();
    return exitCode;
}

} // namespace rigmont
