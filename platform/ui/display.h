// Where a program's windows go: a program with windows asks, before it makes its QApplication, whether the
// display its environment names answers; without one (none named, or one nobody serves) it runs on Qt's
// offscreen platform instead of ending on Qt's abort, and says so once on standard error.
//
// Usage: the first thing main() does after answering --help and --version:
//     vr::ui::UseOffscreenWithoutDisplay("runvex");
// The program then tells a run without a display by QGuiApplication::platformName() == "offscreen", as with
// QT_QPA_PLATFORM=offscreen. A platform the user chose (QT_QPA_PLATFORM) is kept; when it needs a display and
// none answers, Qt falls back to offscreen after it.
// Also hides Qt's notice that the offscreen platform does not support propagateSizeHints(), which says
// nothing to the user.
// Threads: the main thread, before any QApplication exists. Failures: none; a display that does not answer
// within a few seconds counts as none.
#pragma once

namespace vr::ui {

enum class DisplayChoice {
    Display,   // the named display answers: windows are shown
    Offscreen, // no display answers: the program runs offscreen (also when asked to by QT_QPA_PLATFORM)
};

// Chooses the platform as above. `program` prefixes the one line said when no display answers; nullptr says
// nothing (a program with a message of its own for that case).
DisplayChoice UseOffscreenWithoutDisplay(const char* program);

// Whether the display WAYLAND_DISPLAY or DISPLAY names accepts a client now.
bool DisplayAnswers();

} // namespace vr::ui
