// Reading a whole message without acting on it: the decoder's checks, for the fuzz target and tests.
#include "platform/rpc/wire.h"

namespace vr::rpc {

namespace {

// Accepts every reference and stands nothing behind it.
class NoObjects final : public ObjectMarshaller {
public:
    HRESULT Export(IUnknown*, ObjectRefKind*, uint64_t*, bool*) override { return E_NOTIMPL; }
    HRESULT Import(ObjectRefKind, uint64_t, bool, IUnknown** object) override {
        *object = nullptr;
        return S_OK;
    }
    void Unexport(ObjectRefKind, uint64_t) override {}
};

HRESULT CheckVariants(Reader& in, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        VARIANT value;
        HRESULT hr = in.Variant(&value);
        static_cast<void>(VariantClear(&value));
        if (FAILED(hr)) {
            return RPC_E_INVALID_DATA;
        }
    }
    return S_OK;
}

HRESULT CheckRequest(Reader& in) {
    uint64_t callId = 0;
    uint64_t causality = 0;
    uint64_t target = 0;
    uint8_t op = 0;
    if (!in.U64(&callId) || !in.U64(&causality) || !in.U64(&target) || !in.U8(&op)) {
        return RPC_E_INVALID_DATA;
    }
    GUID guid{};
    switch (static_cast<Operation>(op)) {
    case Operation::QueryInterface:
        return in.Guid(&guid) && in.AtEnd() ? S_OK : RPC_E_INVALID_DATA;
    case Operation::CreateInstance:
        return in.Guid(&guid) && in.Guid(&guid) && in.AtEnd() ? S_OK : RPC_E_INVALID_DATA;
    case Operation::GetPublished:
        return in.U64(&target) && in.AtEnd() ? S_OK : RPC_E_INVALID_DATA;
    case Operation::GetIDsOfNames: {
        uint32_t count = 0;
        if (!in.U32(&count) || count == 0 || count > in.Remaining() / 4) {
            return RPC_E_INVALID_DATA;
        }
        for (uint32_t i = 0; i < count; ++i) {
            BSTR name = nullptr;
            bool ok = in.Bstr(&name);
            SysFreeString(name);
            if (!ok) {
                return RPC_E_INVALID_DATA;
            }
        }
        return in.AtEnd() ? S_OK : RPC_E_INVALID_DATA;
    }
    case Operation::Invoke: {
        uint32_t id = 0;
        uint16_t flags = 0;
        uint32_t count = 0;
        uint32_t named = 0;
        if (!in.U32(&id) || !in.U16(&flags) || !in.U32(&count) || !in.U32(&named) || named > count ||
            count > in.Remaining() / 2) {
            return RPC_E_INVALID_DATA;
        }
        for (uint32_t i = 0; i < named; ++i) {
            if (!in.U32(&id)) {
                return RPC_E_INVALID_DATA;
            }
        }
        if (FAILED(CheckVariants(in, count))) {
            return RPC_E_INVALID_DATA;
        }
        uint8_t wantResult = 0;
        uint8_t wantExcep = 0;
        return in.U8(&wantResult) && in.U8(&wantExcep) && wantResult <= 1 && wantExcep <= 1 && in.AtEnd()
                   ? S_OK
                   : RPC_E_INVALID_DATA;
    }
    default:
        return RPC_E_INVALID_DATA;
    }
}

} // namespace

HRESULT CheckMessage(const uint8_t* body, size_t size) {
    if (size == 0 || size > kMaxFrameBody) {
        return RPC_E_INVALID_DATA;
    }
    NoObjects objects;
    Reader in(body + 1, size - 1, &objects);
    switch (static_cast<FrameKind>(body[0])) {
    case FrameKind::Request:
        return CheckRequest(in);
    case FrameKind::Reply: {
        // A reply's results depend on the request; the fixed part and one value are checked.
        uint64_t callId = 0;
        uint32_t status = 0;
        if (!in.U64(&callId) || !in.U32(&status)) {
            return RPC_E_INVALID_DATA;
        }
        if (!in.ErrorInfo()) {
            return RPC_E_INVALID_DATA;
        }
        return in.AtEnd() || SUCCEEDED(CheckVariants(in, 1)) ? S_OK : RPC_E_INVALID_DATA;
    }
    case FrameKind::Release:
    case FrameKind::Hold: {
        uint64_t id = 0;
        uint32_t count = 0;
        return in.U64(&id) && in.U32(&count) && in.AtEnd() ? S_OK : RPC_E_INVALID_DATA;
    }
    default:
        return RPC_E_INVALID_DATA;
    }
}

} // namespace vr::rpc
