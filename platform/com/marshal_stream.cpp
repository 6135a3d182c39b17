// CoMarshalInterThreadInterfaceInStream and CoGetInterfaceAndReleaseStream: a packet that carries one
// interface, valid on any thread, to the thread that unmarshals it.
#include "platform/com/marshal.h"

namespace {

// Asked of a stream to find the packet inside; answered without a reference.
constexpr IID kPacketIid = {0x5A1C2E71, 0x3B4D, 0x4E8F, {0x9A, 0x61, 0x0C, 0x7D, 0x22, 0x4B, 0x91, 0xE3}};

class MarshalPacket final : public IStream {
public:
    explicit MarshalPacket(vr::ComPtr<IUnknown> carried) : carried_(std::move(carried)) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == kPacketIid) {
            *ppv = this;
            return S_OK;
        }
        if (riid == IID_IUnknown || riid == IID_IStream) {
            AddRef();
            *ppv = static_cast<IStream*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    IUnknown* Carried() const { return carried_.Get(); }

private:
    ~MarshalPacket() = default;

    std::atomic<ULONG> refs_{1};
    vr::ComPtr<IUnknown> carried_; // a proxy, or an object every thread may call
};

} // namespace

HRESULT CoMarshalInterThreadInterfaceInStream(REFIID riid, IUnknown* object, LPSTREAM* stream) {
    if (!stream) {
        return E_INVALIDARG;
    }
    *stream = nullptr;
    if (!object) {
        return E_INVALIDARG;
    }
    vr::ComPtr<IUnknown> carried;
    if (HRESULT hr = vr::MarshalInterface(riid, object, nullptr, carried.PutVoid()); FAILED(hr)) {
        return hr;
    }
    *stream = new MarshalPacket(std::move(carried));
    return S_OK;
}

HRESULT CoGetInterfaceAndReleaseStream(LPSTREAM stream, REFIID riid, void** ppv) {
    if (!ppv) {
        if (stream) {
            stream->Release();
        }
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (!stream) {
        return E_INVALIDARG;
    }
    void* packet = nullptr;
    HRESULT hr = stream->QueryInterface(kPacketIid, &packet);
    if (SUCCEEDED(hr)) {
        hr = vr::MarshalInterface(riid, static_cast<MarshalPacket*>(packet)->Carried(), vr::ThisApartment(),
                                  ppv);
    } else {
        hr = E_INVALIDARG;
    }
    stream->Release();
    return hr;
}
