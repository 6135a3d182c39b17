// A connection stand-in for the socket's logic tests: records what the socket writes and answers reads
// from a queue of prepared answers.
#pragma once

#include "instrel.h"
#include "platform/com/object.h"

#include <deque>
#include <string>
#include <vector>

namespace plugmartest {

// Threads: used on the test thread only.
class FakeConnection : public vr::ObjectRoot, public IVrConnection {
public:
    using Interfaces = vr::InterfaceList<IVrConnection, IDispatch>;

    // What a read hands out next; a read with none left fails with the timeout status.
    void Answer(std::u16string text) { answers_.push_back(std::move(text)); }
    std::vector<std::u16string> writes;
    struct Read {
        std::u16string term;
        int32_t timeout;
        int32_t count;
    };
    std::vector<Read> reads;
    int closes = 0;
    // A collection of the connection's own, when set.
    IVrAttributeCollection* attributes = nullptr;

    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT FindResources(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT Init(BSTR, BSTR, int32_t, VrAccessMode) override { return S_OK; }
    HRESULT Close() override;
    HRESULT LockRsrc(VrAccessMode, int32_t, BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT UnlockRsrc() override { return E_NOTIMPL; }
    HRESULT Clear() override { return S_OK; }
    HRESULT ReadString(BSTR bsTerm, int32_t lTimeout, int32_t lCount, BSTR* pbsData) override;
    HRESULT WriteString(BSTR bsData, int32_t* plRetCount) override;
    HRESULT Write(VARIANT, VARIANT, int32_t*) override { return E_NOTIMPL; }
    HRESULT Handle(BSTR, BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT get_LastReadStatus(VrReadStatus* pStatus) override;
    HRESULT get_Attributes(IVrAttributeCollection** ppAttributes) override;

private:
    std::deque<std::u16string> answers_;
    VrReadStatus lastStatus_ = UnknownReason;
};

// The timeout code a read without an answer fails with (VISA's "timeout expired").
inline constexpr HRESULT kReadTimeout = static_cast<HRESULT>(0x80040015);

} // namespace plugmartest
