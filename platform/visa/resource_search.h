// FindRsrc expressions: VISA's regular expressions over resource names.
#pragma once

#include "platform/visa/visa_status.h"

#include <string>
#include <string_view>
#include <vector>

namespace vr::visa {

// Keeps the candidates that expression matches whole, without regard to case, in their order. The
// expression language: "?" any one character, "*" and "+" repeat what comes before, "[...]" and "[^...]"
// character sets, "(a|b)" alternatives, "\" makes the next character plain; so "?*" matches every name.
// kErrorInvalidExpression for a malformed expression or an attribute part ("{...}", not supported here);
// kErrorResourceNotFound when nothing matches.
[[nodiscard]] HRESULT FindResources(std::string_view expression, const std::vector<std::string>& candidates,
                                    std::vector<std::string>* matches, Failure* failure);

} // namespace vr::visa
