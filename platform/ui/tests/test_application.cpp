// The headless QApplication of the ui tests.
#include "platform/ui/tests/test_application.h"

#include <QApplication>

#include <cstdlib>

namespace vrtest {

QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "platform_ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        // Headless unless a test run asks for a real display (a screenshot under Xvfb, for instance).
        const char* platform = std::getenv("VR_TEST_QPA_PLATFORM");
        setenv("QT_QPA_PLATFORM", platform && *platform ? platform : "offscreen", 1);
        return new QApplication(argc, argv); // lives to the end of the process, as a program's does
    }();
    return *application;
}

} // namespace vrtest

// LeakSanitizer (sanitizer builds) reads this: fontconfig keeps a few hundred bytes of its configuration for
// good once Qt has looked up the first font, with no layer of ours involved.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
