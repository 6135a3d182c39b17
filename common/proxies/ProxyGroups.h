// Registration of the typed proxies of each group of interfaces (the parts of RegisterSystemProxies).
#pragma once

namespace vrproxies {

void RegisterInstrumentProxies(); // IVrConnection, IVrSocket, IVrSocketProcessor
void RegisterAttributeProxies();  // IVrAttributeCollection
void RegisterRunTimeProxies();    // IVrRigmont, IVrTestEngine, IScrivon

} // namespace vrproxies
