// The proxies every interface-crossing call can rely on: IUnknown and the generic IDispatch proxy.
#pragma once

#include "platform/com/marshal.h"

namespace vr {

HRESULT MakeUnknownProxy(const RemoteObjectRef& remote, void** ppv);
// Carries GetTypeInfoCount, GetTypeInfo, GetIDsOfNames and Invoke; Invoke marshals the interface pointers in
// its arguments, by-reference VARIANTs and its result.
HRESULT MakeDispatchProxy(const RemoteObjectRef& remote, void** ppv);

} // namespace vr
