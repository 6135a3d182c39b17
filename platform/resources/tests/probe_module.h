// What the resource tests know of their probe library: its class and its exported test entry points.
#pragma once

#include "platform/com/guid.h"

#include <string>

// Registered by the build only when the library's own registration script is embedded before registration.
inline constexpr CLSID CLSID_ResourceProbe = {
    0x5b0e51a2, 0x7c3d, 0x4e86, {0x9a, 0x41, 0x2f, 0x6d, 0x13, 0xc8, 0x07, 0xe4}};

// The path of the library as its own code finds it.
using ProbeModulePathFn = void (*)(std::string* path);
// One of the library's RT_HTML resources, read through its own res:// URL.
using ProbeLoadOwnResourceFn = HRESULT (*)(const char16_t* name, std::string* bytes);
