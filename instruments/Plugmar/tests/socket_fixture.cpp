// SocketTest and ScriptArray.
#include "socket_fixture.h"

#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/errorinfo.h"
#include "tests/support/com_holders.h"

namespace plugmartest {

namespace {

constexpr DISPID kLength = 1;
constexpr DISPID kShift = 2;
constexpr DISPID kPush = 3;

using vrtest::TextOf;

} // namespace

std::u16string DataPath(const std::string& name) {
    return vr::FromUtf8(std::string(PLUGMAR_TEST_DATA) + "/" + name);
}

HRESULT ScriptArray::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

HRESULT ScriptArray::GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) {
    std::u16string_view name = vr::U16View(names[0]);
    ids[0] = name == u"length"  ? kLength
             : name == u"shift" ? kShift
             : name == u"push"  ? kPush
                                : DISPID_UNKNOWN;
    return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
}

HRESULT ScriptArray::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                            UINT*) {
    switch (id) {
    case kLength:
        *result = _variant_t(static_cast<LONG>(items.size())).Detach();
        return S_OK;
    case kShift:
        if (items.empty()) {
            return S_OK;
        }
        *result = items.front().Detach();
        items.erase(items.begin());
        return S_OK;
    case kPush:
        items.emplace_back(params->rgvarg[0]);
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

void SocketTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    socket_ = NewSocket();
    ASSERT_TRUE(socket_);
    ASSERT_EQ(vr::ComObject<FakeConnection>::Create(&connection_), S_OK);
}

void SocketTest::TearDown() {
    socket_ = nullptr;
    connection_ = nullptr;
    CoUninitialize();
}

vr::ComPtr<ISocket> SocketTest::NewSocket() {
    CLSID clsid;
    vr::ComPtr<ISocket> socket;
    EXPECT_EQ(CLSIDFromProgID(u"Vornic.Socket", &clsid), S_OK);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<ISocket>(), socket.PutVoid()),
              S_OK);
    return socket;
}

HRESULT SocketTest::InitSocket(ISocket* socket, const std::u16string& options, IUnknown* connection) {
    BSTR text = vr::AllocBstr(options);
    _variant_t argument(connection);
    HRESULT hr = socket->Init(text, argument);
    SysFreeString(text);
    return hr;
}

HRESULT SocketTest::InitWithAdapter(const std::string& adapter, const std::u16string& extra) {
    std::u16string options = u"AdapterFile=" + DataPath(adapter);
    if (!extra.empty()) {
        options += u" " + extra;
    }
    return InitSocket(socket_.Get(), options, static_cast<IVrConnection*>(connection_.Get()));
}

DISPID SocketTest::IdOf(const std::u16string& name, HRESULT* hr) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID id = DISPID_UNKNOWN;
    HRESULT result = socket_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (hr) {
        *hr = result;
    }
    return id;
}

CallResult SocketTest::CallOn(IDispatch* object, const std::u16string& name, WORD flags,
                              std::vector<_variant_t> args, bool named) {
    CallResult outcome;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID id = DISPID_UNKNOWN;
    outcome.hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(outcome.hr)) {
        return outcome;
    }
    // Arguments travel last first.
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        reversed.push_back(*it);
    }
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), named ? &putId : nullptr, static_cast<UINT>(reversed.size()),
                      named ? 1u : 0u};
    EXCEPINFO excep{};
    UINT argError = 0;
    outcome.hr =
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &outcome.value, &excep, &argError);
    if (outcome.hr == DISP_E_EXCEPTION) {
        outcome.scode = excep.scode;
        outcome.description = TextOf(excep.bstrDescription);
        outcome.source = TextOf(excep.bstrSource);
    }
    vr::ClearExcepInfo(&excep);
    return outcome;
}

CallResult SocketTest::Get(const std::u16string& name) {
    return CallOn(socket_.Get(), name, DISPATCH_PROPERTYGET, {});
}

CallResult SocketTest::Put(const std::u16string& name, const _variant_t& value) {
    return CallOn(socket_.Get(), name, DISPATCH_PROPERTYPUT, {value}, true);
}

CallResult SocketTest::Call(const std::u16string& name, std::initializer_list<_variant_t> args) {
    return CallOn(socket_.Get(), name, DISPATCH_METHOD, std::vector<_variant_t>(args));
}

std::u16string SocketTest::ErrorDescription() {
    vr::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
        return {};
    }
    BSTR description = nullptr;
    (void)info->GetDescription(&description);
    std::u16string text = TextOf(description);
    SysFreeString(description);
    return text;
}

} // namespace plugmartest
