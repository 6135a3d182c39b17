// The ranges of the numbers a panel file holds, applied where each one is read: a value outside its range is
// clamped into it with a trace line, so that no sum or product of them can overflow and no object is larger
// than the panel's window can ever be (a graph as wide as the largest int would be painted for ever).
//
// Threads: any (constants, and a trace line).
#pragma once

#include <cstdint>
#include <string_view>

namespace panolix {

inline constexpr int kLargestPanelExtent = 20000; // pixels: the panel window's largest size
inline constexpr int kLongestRefreshPeriod =
    86400; // seconds: a day between two refreshes is as slow as it gets

struct NumberRange {
    int low;
    int high;
};
inline constexpr NumberRange kPositionRange{-kLargestPanelExtent, kLargestPanelExtent};
inline constexpr NumberRange kSizeRange{0, kLargestPanelExtent};
inline constexpr NumberRange kRefreshPeriodRange{1, kLongestRefreshPeriod};

// The value within the range; a value outside it leaves the trace line "The panel's <what> <value> is out of
// its range <low>..<high>; <clamped> is used."
int ClampedPanelNumber(std::u16string_view what, int64_t value, NumberRange range);

} // namespace panolix
