// The "C" locale as a locale object, for conversions that must not follow the program's setlocale().
#pragma once

#include <locale.h>

namespace vr::detail {

// Made once, never freed; safe to call from any thread.
locale_t CLocale();

// Makes the calling thread use the "C" locale for as long as the guard lives (uselocale is per thread).
class ScopedCLocale {
public:
    ScopedCLocale() : previous_(uselocale(CLocale())) {}
    ~ScopedCLocale() { uselocale(previous_); }
    ScopedCLocale(const ScopedCLocale&) = delete;
    ScopedCLocale& operator=(const ScopedCLocale&) = delete;

private:
    locale_t previous_;
};

} // namespace vr::detail
