// The registration of the server program: its AppID, class, ProgIDs and type library key.
#pragma once

#include "platform/com/hresult.h"

#include <string_view>

namespace rigmont {

[[nodiscard]] HRESULT RegisterProgram(std::u16string_view programPath);
[[nodiscard]] HRESULT UnregisterProgram(std::u16string_view programPath);

} // namespace rigmont
