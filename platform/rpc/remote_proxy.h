// The proxy of an object in another process: IUnknown, and IDispatch when the object has it; typed dual
// interfaces are asked of the object and served by their typed proxies (platform/com/dual_proxy.h) over this
// one. Calls travel on the channel the reference came over.
// Threads: any thread may call a proxy; its reference count is atomic.
#pragma once

#include "platform/rpc/channel.h"

namespace vr::rpc {

// The bytes a by-reference slot of type vt takes.
size_t VariantSlotSize(VARTYPE vt);

class RemoteProxy final : public IDispatch {
public:
    RemoteProxy(ChannelRef channel, uint64_t id, bool dispatch)
        : channel_(std::move(channel)), id_(id), dispatch_(dispatch) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override;
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override;

    const ChannelRef& Channel() const { return channel_; }
    uint64_t Id() const { return id_; }
    bool IsDispatch() const { return dispatch_; }

private:
    ~RemoteProxy() = default;
    // Sends the request and reads the reply's status and error information; *in then reads the results.
    HRESULT Call(Writer& request, uint64_t callId, uint64_t causality, std::vector<uint8_t>* reply,
                 Reader* in);

    std::atomic<ULONG> refs_{1};
    ChannelRef channel_;
    uint64_t id_;
    bool dispatch_;
};

} // namespace vr::rpc
