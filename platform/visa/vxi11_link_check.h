// Asks a VXI-11 instrument whether it accepts a link to a device, before liblxi opens the session's link:
// liblxi takes a refused create_link for a link, and its failures say nothing about why.
#pragma once

#include "platform/visa/visa_status.h"

#include <cstdint>
#include <string>

namespace vr::visa {

// Creates and destroys one link to device on host's core channel within timeoutMs (< 0: 25 s). S_OK when
// the instrument accepted it; kErrorResourceNotFound with the reason (no port mapper or VXI-11 server on
// the host, no answer, the instrument's error code) otherwise.
[[nodiscard]] HRESULT CheckVxi11Device(const std::string& host, const std::string& device, int32_t timeoutMs,
                                       Failure* failure);

} // namespace vr::visa
