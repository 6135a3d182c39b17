// The control-panel program panolix: opens the panel named on its command line and runs it; in batch mode
// (/b) its exit code is the verdict (1 passed, 2 otherwise). Offscreen (QT_QPA_PLATFORM=offscreen) nobody
// sees the window: its messages go to the standard streams and it ends when nothing more can happen.
#include "VrDev/Panolix/PanolixCommandLine.h"
#include "VrDev/Panolix/PanolixDlg.h"
#include "VrDev/Panolix/TestExecutivePanelWorker.h"
#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "platform/base/program_conventions.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/ui/display.h"
#include "platform/ui/gui_apartment.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace {

using namespace panolix;

bool Offscreen() {
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}

int RunPanel(const PanolixCommandLine& line) {
    CVrConfigData configuration; // a new user's station gets the built-in configuration items here
    // Declared before the window, so the worker outlives every wait the window runs.
    TestExecutivePanelWorker worker;
    CPanolixDlg dialog(worker, line.batch, Offscreen());
    dialog.SetPendingFile(line.file);
    dialog.exec();
    return dialog.Result();
}

} // namespace

int main(int argc, char** argv) {
    vr::IgnoreBrokenPipes();
    if (vr::AnswerVersion(argc, argv, "panolix")) {
        return 0;
    }
    PanolixCommandLine line = PanolixCommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (line.help) {
        std::fputs(kPanolixUsage, stdout);
        return 0;
    }
    if (!line.unknownArgument.empty()) {
        std::fprintf(stderr, "panolix: unknown switch '%s'\n%s", line.unknownArgument.c_str(), kPanolixUsage);
        return vr::kExitBadCommandLine;
    }
    (void)vr::ui::UseOffscreenWithoutDisplay("panolix"); // no display: offscreen, said once
    if (FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "OLE initialization failed.  Make sure that the OLE libraries are the correct "
                             "version.\n");
        return kExitNotPassed;
    }
    int result = kExitNotPassed;
    {
        QApplication application(argc, argv);
        if (Offscreen() && line.file.empty()) {
            std::fprintf(stderr, "panolix: no panel file, and no window to open one in\n");
        } else {
            vr::RegisterSystemProxies(); // the worker hands the engine and the script executive across
                                         // threads
            std::unique_ptr<vr::ui::GuiApartment> apartment;
            if (SUCCEEDED(vr::ui::GuiApartment::Create(&apartment))) {
                result = RunPanel(line);
            }
        }
    }
    CoUninitialize();
    return result;
}
