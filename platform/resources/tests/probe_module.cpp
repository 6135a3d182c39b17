// A small server library that carries resources: it reads its own through "this module's path", and its
// registration fails unless its registration script is embedded by the time it runs.
#include "platform/base/text.h"
#include "platform/com/server.h"
#include "platform/resources/module_resources.h"
#include "platform/resources/res_url.h"
#include "platform/resources/this_module.h"

#include "platform/resources/tests/probe_module.h"

#include <string>

namespace {

HRESULT RequireOwnScript(std::u16string_view modulePath) {
    std::string script;
    return vr::LoadModuleResource(vr::ToUtf8(modulePath), u"REGISTRY", 102, &script);
}

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_ResourceProbe, .description = u"Resource Probe Class"},
};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, (vr::server::RegistrationHooks{.afterRegister = &RequireOwnScript}))

VR_DLL_EXPORT void ProbeModulePath(std::string* path) {
    *path = vr::ThisModulePath();
}

VR_DLL_EXPORT HRESULT ProbeLoadOwnResource(const char16_t* name, std::string* bytes) {
    return vr::LoadResUrl(vr::ThisModuleResUrl(name), bytes);
}
