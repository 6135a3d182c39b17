// Typed proxies of the connection and socket interfaces.
#include "common/proxies/ProxyGroups.h"

#include "instruments/Instrel/include/instrel.h"
#include "instruments/Plugmar/include/plugmar.h"
#include "platform/com/dual_proxy.h"

namespace vrproxies {

namespace {

using vr::AsBool;
using vr::DualProxy;

class ConnectionProxy final : public DualProxy<IVrConnection> {
public:
    using DualProxy::DualProxy;

    HRESULT FindResources(BSTR expression, VARIANT* resources) override {
        return Method(0x60020000, resources, expression);
    }
    HRESULT Init(BSTR resource, BSTR options, int32_t initTimeout, VrAccessMode mode) override {
        return Call(0x60020001, resource, options, initTimeout, mode);
    }
    HRESULT Close() override { return Call(0x60020002); }
    HRESULT LockRsrc(VrAccessMode mode, int32_t lockTimeout, BSTR requestedKey, BSTR* accessKey) override {
        return Method(0x60020003, accessKey, mode, lockTimeout, requestedKey);
    }
    HRESULT UnlockRsrc() override { return Call(0x60020004); }
    HRESULT Clear() override { return Call(0x60020005); }
    HRESULT ReadString(BSTR term, int32_t timeout, int32_t count, BSTR* data) override {
        return Method(0x60020006, data, term, timeout, count);
    }
    HRESULT WriteString(BSTR data, int32_t* written) override { return Method(0x60020007, written, data); }
    HRESULT Write(VARIANT data, VARIANT count, int32_t* written) override {
        return Method(0x60020008, written, data, count);
    }
    HRESULT Handle(BSTR resource, BSTR options, VARIANT_BOOL* handled) override {
        return Method(0x60020009, AsBool(handled), resource, options);
    }
    HRESULT get_LastReadStatus(VrReadStatus* status) override { return Get(0x6002000A, status); }
    HRESULT get_Attributes(IVrAttributeCollection** attributes) override {
        return Get(0x6002000B, attributes);
    }
};

class SocketProxy final : public DualProxy<IVrSocket> {
public:
    using DualProxy::DualProxy;

    HRESULT Init(BSTR options, VARIANT connection) override { return Call(1, options, connection); }
    HRESULT Close() override { return Call(2); }
    HRESULT Handle(BSTR options, VARIANT_BOOL* handled) override {
        return Method(3, AsBool(handled), options);
    }
    HRESULT QueryString(BSTR inData, VARIANT term, VARIANT timeout, VARIANT count, BSTR* outData) override {
        return Method(4, outData, inData, term, timeout, count);
    }
    HRESULT get_Connection(IVrConnection** connection) override { return Get(5, connection); }
    HRESULT get_Attributes(IVrAttributeCollection** attributes) override { return Get(6, attributes); }
};

// GetInfo's address is meaningful in the socket's own process only; across threads of one process it stays
// valid.
class SocketProcessorProxy final : public DualProxy<IVrSocketProcessor> {
public:
    using DualProxy::DualProxy;

    HRESULT LoadInfo(BSTR options) override { return Call(0x60020000, options); }
    HRESULT GetInfo(BSTR options, intptr_t* info) override { return Method(0x60020001, info, options); }
};

} // namespace

void RegisterInstrumentProxies() {
    vr::RegisterDualProxy<ConnectionProxy>();
    vr::RegisterDualProxy<SocketProxy>();
    vr::RegisterDualProxy<SocketProcessorProxy>();
}

} // namespace vrproxies
