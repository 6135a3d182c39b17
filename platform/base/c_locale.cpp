// The "C" locale as a locale object, made once per process.
#include "platform/base/c_locale.h"

namespace vr::detail {

locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

} // namespace vr::detail
