// Windows error codes (ERROR_*) as constants, from the one table in win32errors.inc.
#pragma once

#include "platform/base/types.h"

#define VR_WIN32_ERROR(name, code, text) inline constexpr DWORD name = code;
#include "platform/base/win32errors.inc"
#undef VR_WIN32_ERROR
