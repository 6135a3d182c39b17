// The script executive program scrivon: registration switches, single-instance forwarding, then the window.
// Offscreen (QT_QPA_PLATFORM=offscreen) nobody sees the window: what it would show goes to the standard
// streams instead (ConsoleReport.h), and no box waits for an answer. SIGTERM, SIGINT and SIGHUP close the
// window as its user would.
#include "TestRunTime/Scrivon/ScrivonCommandLine.h"
#include "TestRunTime/Scrivon/ScrivonStart.h"
#include "TestRunTime/Scrivon/TestExecutiveRunWorker.h"
#include "TestRunTime/Scrivon/TestLoaderDlg.h"
#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "platform/base/program_conventions.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/com/server.h"
#include "platform/ui/display.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/message_box.h"
#include "platform/ui/termination.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>

#include <cstdio>

namespace {

using namespace scrivon;

bool Offscreen() {
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}

void ShowBox(const std::string& text) {
    if (Offscreen()) {
        std::fprintf(stderr, "Scrivon: %s\n", text.c_str()); // nobody could answer the box
        return;
    }
    (void)vr::ui::MessageBox(nullptr, vr::FromUtf8(text), u"Scrivon", MB_OK | MB_ICONERROR);
}

// Serves class-factory requests of clients started with /Automation or /Embedding. The objects it makes are
// bound to no window: they act on nothing. A failure leaves the thread's error information.
HRESULT RegisterFactory(DWORD* cookie) {
    vr::ComPtr<IUnknown> factory;
    HRESULT hr = vr::server::CreateClassFactory(&CVrTestLoaderDlgAutoProxy::CreateInstance, IID_IUnknown,
                                                factory.PutVoid());
    if (SUCCEEDED(hr)) {
        hr = CoRegisterClassObject(CLSID_VrTestLoader, factory.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                   cookie);
    }
    return hr;
}

// What a failed registration tells the user: the code, and the description its error information gives.
std::string RegistrationFailure(HRESULT hr) {
    vr::ComPtr<IErrorInfo> info;
    _com_error error(hr, GetErrorInfo(0, info.Put()) == S_OK ? info.Get() : nullptr);
    _bstr_t description = error.Description();
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    return std::string("The automation server could not be registered (") + code + "): " +
           (description.length() ? vr::ToUtf8(std::u16string_view(description, description.length()))
                                 : std::string(error.ErrorMessage()));
}

int RunWindow(const ScrivonCommandLine& line) {
    CVrConfigData configuration; // a new user's station gets the built-in configuration items here
    TestExecutiveRunWorker worker;
    CVrTestLoaderDlg dialog(worker, worker.Languages());
    if (Offscreen()) {
        dialog.ReportToConsole(stdout, stderr);
    }
    dialog.RegisterAsActiveObject();
    if (line.serialNumberGiven) {
        dialog.TypeSerialNumber(line.serialNumber);
    }
    dialog.SetPendingFile(line.file);
    // Ended by a signal, the window closes as its user closes it: a run is stopped and its Reset runs.
    vr::ui::CloseOnTerminationSignals([window = QPointer<QWidget>(&dialog)] {
        if (window) {
            window->close();
        }
    });
    dialog.exec();
    return 0;
}

std::string ProgramPath() {
    return vr::server::ModulePathOf(reinterpret_cast<const void*>(&RunWindow));
}

// Registration needs no window system: it is served before Qt starts, so it works on a machine without a
// display and while an instance runs, and never reaches the running instance.
int Register(StartAction action) {
    HRESULT hr =
        action == StartAction::Register ? RegisterScrivon(ProgramPath()) : UnregisterScrivon(ProgramPath());
    if (FAILED(hr)) {
        std::fprintf(stderr, "scrivon: registration failed (0x%08X)\n", static_cast<unsigned>(hr));
        return 1;
    }
    return 0;
}

int Serve(const ScrivonCommandLine& line) {
    std::string error;
    std::string file = AbsoluteScriptPath(line.file);
    pid_t running = 0;
    switch (ForwardToRunningInstance(file, line.serialNumberGiven ? &line.serialNumber : nullptr, &error,
                                     &running)) {
    case ForwardOutcome::Forwarded:
        std::printf("%s\n",
                    ForwardedText(file, running).c_str()); // a corrected environment here is not used there
        return 0;
    case ForwardOutcome::Failed:
        ShowBox(error);
        return 1;
    case ForwardOutcome::NoInstance:
        break;
    }
    DWORD factoryCookie = 0;
    if (line.automation || line.embedding) {
        // Without its class object no client can reach this instance: it says so and ends.
        if (HRESULT hr = RegisterFactory(&factoryCookie); FAILED(hr)) {
            std::string text = RegistrationFailure(hr);
            std::fprintf(stderr, "scrivon: %s\n", text.c_str());
            if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
                ShowBox(text); // a box nobody could see would wait for good
            }
            return 1;
        }
    } else {
        (void)RegisterScrivon(ProgramPath());
    }
    int result = RunWindow(line);
    if (factoryCookie) {
        (void)CoRevokeClassObject(factoryCookie);
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    vr::IgnoreBrokenPipes();
    if (vr::AnswerVersion(argc, argv, "scrivon")) {
        return 0;
    }
    ScrivonCommandLine line = ScrivonCommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc));
    StartAction action = StartActionOf(line);
    // Answered before COM and Qt start, so that --help needs no display and no registry.
    if (action == StartAction::Help) {
        std::fputs(kScrivonUsage, stdout);
        return 0;
    }
    if (action == StartAction::BadArgument) {
        std::fprintf(stderr, "scrivon: unknown switch '%s'\n%s", line.unknownArgument.c_str(), kScrivonUsage);
        return vr::kExitBadCommandLine;
    }
    if (FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "OLE initialization failed.  Make sure that the OLE libraries are the correct "
                             "version.\n");
        return 1;
    }
    int result = 1;
    if (action != StartAction::ForwardOrServe) {
        result = Register(action);
    } else {
        (void)vr::ui::UseOffscreenWithoutDisplay("scrivon"); // no display: offscreen, said once
        QApplication application(argc, argv);
        vr::RegisterSystemProxies(); // the worker hands the engine and the script executive across threads
        std::unique_ptr<vr::ui::GuiApartment> apartment;
        if (SUCCEEDED(vr::ui::GuiApartment::Create(&apartment))) {
            result = Serve(line);
        }
    }
    CoUninitialize();
    return result;
}
