// What a script run means: its verdict from the return value, and the script line an error text points at.
#pragma once

#include <cstdint>
#include <string>

namespace scrivon {

// 1 passed (a completed run that returned nothing, "true", "pass" or "passed", any case), 2 failed (any other
// completed run), 7 error (the run did not complete).
int32_t VerdictOf(bool completed, const std::string& returnValue);

// The number after the first "Line: " of an error text (blanks skipped, no digits = 0); 0 without one.
int ErrorLineOf(const std::string& errorText);

} // namespace scrivon
