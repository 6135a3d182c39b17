// RegisterSystemProxies: every group of typed proxies, registered once.
#include "common/proxies/SystemProxies.h"

#include "common/proxies/ProxyGroups.h"

#include <mutex>

namespace vr {

void RegisterSystemProxies() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        vrproxies::RegisterInstrumentProxies();
        vrproxies::RegisterAttributeProxies();
        vrproxies::RegisterRunTimeProxies();
    });
}

} // namespace vr
