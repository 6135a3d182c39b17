// Test helpers: a recording script site, a hand-written host object, and an engine set up through activation.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/comptr.h"
#include "platform/com/object.h"
#include "platform/scripting/activscp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

namespace scripttest {

using vr::ComPtr;

// An owned VARIANT.
struct Value {
    VARIANT v;
    Value() { VariantInit(&v); }
    ~Value() { (void)VariantClear(&v); }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
    std::u16string Text() const {
        return v.vt == VT_BSTR ? std::u16string(vr::BstrView(v.bstrVal)) : u"<not text>";
    }
};

// One error as the site received it.
struct ReportedError {
    HRESULT scode = S_OK;
    std::u16string description;
    std::u16string source;
    std::u16string helpFile;
    DWORD helpContext = 0;
    ULONG line = 0;
    LONG column = 0;
    std::u16string lineText;
};

// Answers GetItemInfo from a table of objects (or failures) and records every error and call.
class TestSite : public vr::ObjectRoot, public IActiveScriptSite {
public:
    using Interfaces = vr::InterfaceList<IActiveScriptSite>;

    std::map<std::u16string, ComPtr<IUnknown>> items;
    std::map<std::u16string, HRESULT> failingItems;
    std::map<std::u16string, int> itemRequests;
    std::vector<ReportedError> errors;
    std::vector<SCRIPTSTATE> states;
    int enters = 0;
    int leaves = 0;

    HRESULT GetLCID(LCID*) override { return E_NOTIMPL; }
    HRESULT GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override;
    HRESULT GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    HRESULT OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT OnStateChange(SCRIPTSTATE state) override {
        states.push_back(state);
        return S_OK;
    }
    HRESULT OnScriptError(IActiveScriptError* error) override;
    HRESULT OnEnterScript() override {
        ++enters;
        return S_OK;
    }
    HRESULT OnLeaveScript() override {
        ++leaves;
        return S_OK;
    }
};

// A host object written by hand (no type information):
//   Item (DISPID_VALUE)  indexed property over four slots, also the default member
//   Name                 text property
//   Add(a, b)            a + b
//   Count                number of slots
//   _NewEnum             the slots' enumeration
//   Numbers              SAFEARRAY of VT_I4 {10, 20, 30}, lower bound 1
//   Grid                 2 x 3 SAFEARRAY of VT_VARIANT, element (i, j) = i * 10 + j
//   Sum(array)           the sum of a script array read through "length" and its indices; then pushes 99
//                        and shifts the first element away, through "push" and "shift"
//   Fail()               DISP_E_EXCEPTION with scode 0x80040200, description "boom", source "Test.Host.1",
//                        help file "host.chm" and help context 42
//   Kept                 any value, stored and read back as it came
//   CallKept(args...)    calls the kept script function with the arguments
//   Ping()               counts its calls in pings
//   Identify()           a method only, worded as the instrument socket words it: a read fails with
//                        DISP_E_EXCEPTION whose scode is DISP_E_MEMBERNOTFOUND; calls count in identifies
// lookups and invokes count every GetIDsOfNames and Invoke.
class TestHost : public vr::ObjectRoot, public IDispatch {
public:
    using Interfaces = vr::InterfaceList<IDispatch>;
    static constexpr HRESULT kFailure = static_cast<HRESULT>(0x80040200);

    void FinalRelease();

    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT*) override;

    VARIANT slots[4] = {};
    std::u16string name;
    VARIANT kept = {};
    std::atomic<int> pings{0};
    std::atomic<int> identifies{0};
    std::atomic<int> lookups{0};
    std::atomic<int> invokes{0};

private:
    HRESULT Sum(IDispatch* array, VARIANT* result);
};

// Creates a COM object of class T held in code.
template <class T>
ComPtr<vr::ComObject<T>> Make() {
    ComPtr<vr::ComObject<T>> object;
    EXPECT_EQ(vr::ComObject<T>::Create(&object), S_OK);
    return object;
}

// Calls member of object by name with positional arguments in natural order.
HRESULT CallByName(IDispatch* object, const char16_t* member, WORD flags, std::vector<VARIANT> args,
                   VARIANT* result, EXCEPINFO* excep = nullptr);

} // namespace scripttest
