// A small connection over the platform's VISA session ("VISA.GlobalRM") for the tests that go the whole
// way to the loopback instrument: writes text as it is and reads up to a termination string.
#pragma once

#include "instrel.h"
#include "platform/com/comptr.h"
#include "platform/com/object.h"
#include "platform/visa/visa_com.h"

#include <string>

namespace plugmartest {

// Threads: used on the test thread only.
class VisaConnection : public vr::ObjectRoot, public IVrConnection {
public:
    using Interfaces = vr::InterfaceList<IVrConnection, IDispatch>;

    int closes = 0;

    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT FindResources(BSTR, VARIANT*) override { return E_NOTIMPL; }
    // Opens the session; lInitTimeout is also the session's read timeout.
    HRESULT Init(BSTR bsResource, BSTR bsOptionString, int32_t lInitTimeout, VrAccessMode mode) override;
    HRESULT Close() override;
    HRESULT LockRsrc(VrAccessMode, int32_t, BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT UnlockRsrc() override { return E_NOTIMPL; }
    HRESULT Clear() override { return E_NOTIMPL; }
    HRESULT ReadString(BSTR bsTerm, int32_t lTimeout, int32_t lCount, BSTR* pbsData) override;
    HRESULT WriteString(BSTR bsData, int32_t* plRetCount) override;
    HRESULT Write(VARIANT, VARIANT, int32_t*) override { return E_NOTIMPL; }
    HRESULT Handle(BSTR, BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT get_LastReadStatus(VrReadStatus* pStatus) override;
    HRESULT get_Attributes(IVrAttributeCollection** ppAttributes) override;

private:
    HRESULT SetTimeout(int32_t timeout);

    vr::ComPtr<IMessage> session_;
    int32_t configuredTimeout_ = 2000;
    VrReadStatus lastStatus_ = UnknownReason;
};

} // namespace plugmartest
