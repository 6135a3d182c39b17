// The keyboard's lock keys (Caps Lock, Num Lock, Scroll Lock) as the display's keyboard indicators show them,
// for the status bar's CAP, NUM and SCRL indicators.
//
// Usage: KeyboardLocks locks = ReadKeyboardLocks(); label->setEnabled(locks.caps);
// Threads: the window thread (it asks the application's display connection).
// Failures: on a display without the keyboard extension's indicators (the offscreen platform) every lock
// reads as off.
#pragma once

namespace runvex {

struct KeyboardLocks {
    bool caps = false;
    bool num = false;
    bool scroll = false;
    bool operator==(const KeyboardLocks&) const = default;
};

KeyboardLocks ReadKeyboardLocks();

} // namespace runvex
