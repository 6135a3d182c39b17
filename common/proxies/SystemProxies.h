// The typed proxies of the system's dual interfaces (libvrproxies.so): programs and tests call
// vr::RegisterSystemProxies() once, before they hand such an interface to another thread or process.
//
// Registered: IVrConnection, IVrSocket, IVrSocketProcessor, IVrAttributeCollection, IVrRigmont,
// IVrTestEngine and IScrivon. Each proxy carries its calls by IDispatch::Invoke on a transport (the
// cross-apartment IDispatch proxy, or a cross-process one), so one proxy serves threads and processes.
//
// The library is linked, never loaded at run time: the factories it registers stay valid for the program's
// life. Threads: any; calling it again does no harm.
#pragma once

#define VR_PROXIES_EXPORT __attribute__((visibility("default")))

namespace vr {

VR_PROXIES_EXPORT void RegisterSystemProxies();

} // namespace vr
