// The development studio program ostrel: its main window, and the device adapter file named on its command
// line opened at once. Without a display there is nothing the studio could do: it says so and ends.
#include "VrDev/Ostrel/studio/MainFrame.h"
#include "VrDev/Ostrel/studio/StudioLogic.h"
#include "VrDev/Ostrel/typelib/SocketLibraries.h"
#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "platform/base/program_conventions.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/ui/display.h"
#include "platform/ui/gui_apartment.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace {

// 69 is EX_UNAVAILABLE of the BSD exit codes, beside the 64 of a bad command line.
enum ExitCode : int {
    kExitDone = 0,
    kExitFailed = 1,
    kExitNoDisplay = 69,
    kExitUsage = vr::kExitBadCommandLine
};

int RunStudio(const ostrel::StudioCommandLine& line) {
    CVrConfigData configuration; // a new user's station gets the built-in configuration items here
    ostrel::MainFrame frame;
    frame.SetRebuild([](const std::u16string& adapterFile, std::u16string* error) {
        return ostrel::RebuildAdapterLibraries(adapterFile, error);
    });
    frame.show();
    if (!line.file.empty()) {
        (void)frame.OpenAdapterFile(vr::FromUtf8(line.file)); // a file that does not load is shown
    }
    return QApplication::exec() == 0 ? kExitDone : kExitFailed;
}

} // namespace

int main(int argc, char** argv) {
    vr::IgnoreBrokenPipes();
    if (vr::AnswerVersion(argc, argv, "ostrel")) {
        return 0;
    }
    ostrel::StudioCommandLine line =
        ostrel::ParseStudioCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.help) {
        std::fputs(ostrel::kOstrelUsage, stdout);
        return kExitDone;
    }
    if (!line.unknownArgument.empty()) {
        std::fprintf(stderr, "ostrel: unknown switch '%s'\n%s", line.unknownArgument.c_str(),
                     ostrel::kOstrelUsage);
        return kExitUsage;
    }
    (void)vr::ui::UseOffscreenWithoutDisplay(nullptr); // without a display the studio says so below
    if (FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "OLE initialization failed.  Make sure that the OLE libraries are the correct "
                             "version.\n");
        return kExitFailed;
    }
    int result = kExitFailed;
    {
        QApplication application(argc, argv);
        if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
            std::fprintf(stderr, "ostrel: the studio is a window and needs a display: none answers (DISPLAY, "
                                 "WAYLAND_DISPLAY); start it in a desktop session or over ssh -X\n");
            result = kExitNoDisplay;
        } else {
            vr::RegisterSystemProxies(); // the windows call the hardware manager's objects across processes
            std::unique_ptr<vr::ui::GuiApartment> apartment;
            if (SUCCEEDED(vr::ui::GuiApartment::Create(&apartment))) {
                result = RunStudio(line);
            }
        }
    }
    CoUninitialize();
    return result;
}
