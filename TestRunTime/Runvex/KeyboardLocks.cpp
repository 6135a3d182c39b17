// The lock keys read from the X server's keyboard indicators (XKB), by their names.
#include "TestRunTime/Runvex/KeyboardLocks.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>

namespace runvex {

namespace {

bool IndicatorOn(Display* display, const char* name) {
    Bool on = False;
    const Atom atom = XInternAtom(display, name, True);
    return atom != None && XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr) && on;
}

} // namespace

KeyboardLocks ReadKeyboardLocks() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (display == nullptr) {
        return {};
    }
    return {IndicatorOn(display, "Caps Lock"), IndicatorOn(display, "Num Lock"),
            IndicatorOn(display, "Scroll Lock")};
}

} // namespace runvex
