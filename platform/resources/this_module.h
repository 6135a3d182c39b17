// "This module's path" for the code of any deliverable: the file of the library or program it is built into.
#pragma once

#include "platform/base/text.h"
#include "platform/com/server.h"

#include <string>
#include <string_view>

namespace vr {

// Header-only on purpose, and hidden: compiled into each deliverable, the anchor and the function that
// reads it belong to that deliverable even when another one exports the same inline names, so the path is
// the file that holds the calling code (as GetModuleFileName of the module's own handle gives it).
[[gnu::visibility("hidden")]] inline constexpr char kThisModuleAnchor = 0;

// The absolute path of the module this code is built into; empty if the loader cannot tell. Any thread.
[[gnu::visibility("hidden")]] inline std::string ThisModulePath() {
    return server::ModulePathOf(&kThisModuleAnchor);
}

// "res://<this module's path>/<name>": the URL of one of this module's own resources (of type RT_HTML).
[[gnu::visibility("hidden")]] inline std::u16string ThisModuleResUrl(std::u16string_view name) {
    return u"res://" + FromUtf8(ThisModulePath()) + u"/" + std::u16string(name);
}

} // namespace vr
