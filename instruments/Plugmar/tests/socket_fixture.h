// The fixture of the socket tests: COM on the test thread, the registered socket created by its ProgID, and
// calls made the way a script engine makes them (the name looked up on every access, then Invoke).
#pragma once

#include "fake_connection.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "plugmar.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace plugmartest {

// The path of an adapter file in tests/data.
std::u16string DataPath(const std::string& name);

// A call's outcome as a script sees it.
struct CallResult {
    HRESULT hr = S_OK;
    _variant_t value;
    HRESULT scode = S_OK;       // EXCEPINFO.scode of DISP_E_EXCEPTION
    std::u16string description; // EXCEPINFO.bstrDescription
    std::u16string source;      // EXCEPINFO.bstrSource
};

// A script array as an engine hands it to a host: an object with "length", "shift" and "push".
class ScriptArray : public vr::ObjectRoot, public IDispatch {
public:
    using Interfaces = vr::InterfaceList<IDispatch>;
    std::vector<_variant_t> items;

    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                   UINT*) override;
};

class SocketTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A socket of its own (a second one, or one to release in a test).
    vr::ComPtr<ISocket> NewSocket();
    // Init with "AdapterFile=<path>" and the extra settings, on the fake connection.
    HRESULT InitWithAdapter(const std::string& adapter, const std::u16string& extra = u"");
    HRESULT InitSocket(ISocket* socket, const std::u16string& options, IUnknown* connection);

    // Script-like access: dev.name, dev.name = value, dev.name(args...).
    CallResult Get(const std::u16string& name);
    CallResult Put(const std::u16string& name, const _variant_t& value);
    CallResult Call(const std::u16string& name, std::initializer_list<_variant_t> args = {});
    CallResult CallOn(IDispatch* object, const std::u16string& name, WORD flags, std::vector<_variant_t> args,
                      bool named = false);
    // The DISPID a name gets (DISPID_UNKNOWN when refused).
    DISPID IdOf(const std::u16string& name, HRESULT* hr = nullptr);

    // The thread's error information text after a failed call.
    static std::u16string ErrorDescription();

    vr::ComPtr<ISocket> socket_;
    vr::ComPtr<vr::ComObject<FakeConnection>> connection_;
};

} // namespace plugmartest
