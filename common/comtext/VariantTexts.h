// The texts of a VARIANT that holds a list, as the hardware manager hands out its record names.
#pragma once

#include "platform/com/comutil.h"

#include <string>
#include <vector>

namespace vrcommon {

// Appends to *texts the text of each element of a one-dimensional SAFEARRAY of VARIANTs, from the lower to
// the upper bound; an element that cannot be read or converted to text is skipped. False, with *texts as it
// was, when array holds no such list (or its bounds cannot be read). Any thread.
bool VariantArrayTexts(const VARIANT& array, std::vector<std::u16string>* texts);

} // namespace vrcommon
