// Clamping a panel's numbers into their ranges, with a trace line for each value that was out of range.
#include "PanelNumbers.h"

#include "common/trace/Trace.h"

#include <algorithm>
#include <string>

namespace panolix {

int ClampedPanelNumber(std::u16string_view what, int64_t value, NumberRange range) {
    int64_t clamped = std::clamp<int64_t>(value, range.low, range.high);
    if (clamped != value) {
        std::u16string name(what);
        TraceInfo(u"The panel's %s %lld is out of its range %d..%d; %lld is used.", name.c_str(),
                  static_cast<long long>(value), range.low, range.high, static_cast<long long>(clamped));
    }
    return static_cast<int>(clamped);
}

} // namespace panolix
