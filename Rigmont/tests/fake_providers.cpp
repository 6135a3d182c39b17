// The stand-in connection and socket providers and their registration in the test process.
#include "fake_providers.h"

#include "platform/com/activation.h"
#include "platform/com/errorinfo.h"
#include "platform/com/object.h"
#include "platform/com/server.h"
#include "platform/com/variant.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

namespace rigmonttest {

std::vector<ConnectionInit> FakeProviders::connectionInits;
std::vector<SocketInit> FakeProviders::socketInits;
std::vector<std::u16string> FakeProviders::findExpressions;
HRESULT FakeProviders::connectionInitResult = S_OK;
HRESULT FakeProviders::socketInitResult = S_OK;
int FakeProviders::liveConnections = 0;
int FakeProviders::liveSockets = 0;

void FakeProviders::Reset() {
    connectionInits.clear();
    socketInits.clear();
    findExpressions.clear();
    connectionInitResult = S_OK;
    socketInitResult = S_OK;
}

namespace {

// IDispatch is not used by the manager: every member answers E_NOTIMPL.
template <class I>
class NoDispatch : public I {
public:
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

class FakeConnection : public vr::ObjectRoot,
                       public vr::CoClass<FakeConnection>,
                       public NoDispatch<IVrConnection> {
public:
    using Interfaces = vr::InterfaceList<IVrConnection, IDispatch>;

    FakeConnection() { ++FakeProviders::liveConnections; }
    ~FakeConnection() { --FakeProviders::liveConnections; }

    HRESULT FindResources(BSTR expression, VARIANT* resources) override {
        FakeProviders::findExpressions.emplace_back(vr::BstrView(expression));
        SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
        VARIANT name;
        VariantInit(&name);
        name.vt = VT_BSTR;
        name.bstrVal = vr::AllocBstr(u"TCPIP0::127.0.0.1::5025::SOCKET");
        LONG index = 0;
        HRESULT hr = SafeArrayPutElement(array, &index, &name);
        (void)VariantClear(&name);
        resources->vt = VT_ARRAY | VT_VARIANT;
        resources->parray = array;
        return hr;
    }
    HRESULT Init(BSTR resource, BSTR setup, int32_t timeout, VrAccessMode mode) override {
        setup_ = std::u16string(vr::BstrView(setup));
        FakeProviders::connectionInits.push_back(
            {std::u16string(vr::BstrView(resource)), setup_, timeout, mode});
        if (FAILED(FakeProviders::connectionInitResult)) {
            // As a real provider does: its own report of why.
            return vr::ReportError(FakeProviders::connectionInitResult, GUID_NULL, u"RigmontTest.Connection",
                                   u"The fake instrument refused the connection.");
        }
        return FakeProviders::connectionInitResult;
    }
    HRESULT Close() override { return S_OK; }
    HRESULT LockRsrc(VrAccessMode, int32_t, BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT UnlockRsrc() override { return E_NOTIMPL; }
    HRESULT Clear() override { return E_NOTIMPL; }
    HRESULT ReadString(BSTR, int32_t, int32_t, BSTR*) override { return E_NOTIMPL; }
    HRESULT WriteString(BSTR, int32_t*) override { return E_NOTIMPL; }
    HRESULT Write(VARIANT, VARIANT, int32_t*) override { return E_NOTIMPL; }
    HRESULT Handle(BSTR, BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT get_LastReadStatus(VrReadStatus*) override { return E_NOTIMPL; }
    HRESULT get_Attributes(IVrAttributeCollection**) override { return E_NOTIMPL; }

    std::u16string setup_;
};

class FakeSocket : public vr::ObjectRoot, public vr::CoClass<FakeSocket>, public NoDispatch<IVrSocket> {
public:
    using Interfaces = vr::InterfaceList<IVrSocket, IDispatch>;

    FakeSocket() { ++FakeProviders::liveSockets; }
    ~FakeSocket() { --FakeProviders::liveSockets; }

    HRESULT Init(BSTR setup, VARIANT connection) override {
        SocketInit init{std::u16string(vr::BstrView(setup)), connection.vt, nullptr};
        if (connection.vt == VT_UNKNOWN && connection.punkVal) {
            (void)connection.punkVal->QueryInterface(IID_IVrConnection, init.connection.PutVoid());
        }
        connection_ = init.connection;
        FakeProviders::socketInits.push_back(std::move(init));
        return FakeProviders::socketInitResult;
    }
    HRESULT Close() override { return S_OK; }
    HRESULT Handle(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT QueryString(BSTR, VARIANT, VARIANT, VARIANT, BSTR*) override { return E_NOTIMPL; }
    HRESULT get_Connection(IVrConnection** connection) override {
        *connection = vr::ComPtr<IVrConnection>(connection_).Detach();
        return S_OK;
    }
    HRESULT get_Attributes(IVrAttributeCollection**) override { return E_NOTIMPL; }

private:
    vr::ComPtr<IVrConnection> connection_;
};

void RegisterProgId(const char16_t* progId, const CLSID& clsid) {
    HKEY key = nullptr;
    std::u16string path = std::u16string(progId) + u"\\CLSID";
    ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                             nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::u16string text = vr::GuidToString(clsid);
    EXPECT_EQ(RegSetValueEx(key, u"", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

template <class T>
DWORD RegisterClass(const CLSID& clsid) {
    vr::ComPtr<IUnknown> factory;
    EXPECT_EQ(vr::server::CreateClassFactory<T>(IID_IUnknown, factory.PutVoid()), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(CoRegisterClassObject(clsid, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    return cookie;
}

} // namespace

std::u16string FakeProviders::SetupOf(IVrConnection* connection) {
    return static_cast<FakeConnection*>(connection)->setup_;
}

FakeProviderRegistration::FakeProviderRegistration() {
    RegisterProgId(kFakeConnectionProgId, CLSID_FakeConnection);
    RegisterProgId(kFakeSocketProgId, CLSID_FakeSocket);
    RegisterProgId(kCnVisaIndependentProgId, CLSID_CnVISA);
    cookies_.push_back(RegisterClass<FakeConnection>(CLSID_FakeConnection));
    cookies_.push_back(RegisterClass<FakeSocket>(CLSID_FakeSocket));
    cookies_.push_back(RegisterClass<FakeConnection>(CLSID_CnVISA));
    FakeProviders::Reset();
}

FakeProviderRegistration::~FakeProviderRegistration() {
    for (DWORD cookie : cookies_) {
        EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    }
}

} // namespace rigmonttest
