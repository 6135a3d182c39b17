// A test engine that records what the script executive window hands it: identity, output and result rows.
#pragma once

#include "TestRunTime/Corvant/include/corvant.h"
#include "platform/com/comutil.h"

#include <string>
#include <vector>

namespace scrivon {

class FakeEngine final : public IVrTestEngine {
public:
    struct Row {
        std::string value;
        std::string description;
        int32_t status = 0;
    };
    std::string sn, testId, session = "unset";
    bool engineOutput = false;
    int nextSessionCalls = 0;
    std::vector<std::string> output;
    std::vector<Row> rows;

    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT Output(BSTR text, VARIANT) override {
        output.push_back(_bstr_t(text).utf8());
        return S_OK;
    }
    HRESULT get_attributes(IDispatch**) override { return E_NOTIMPL; }
    HRESULT GetOutput(VARIANT*, BSTR*) override { return S_FALSE; }
    HRESULT OutputLn(BSTR, VARIANT) override { return S_OK; }
    HRESULT get_spec(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT put_spec(BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT IsValid(VARIANT, BSTR, VARIANT, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT SaveResult(VARIANT value, BSTR, VARIANT description, VARIANT status, VARIANT) override {
        rows.push_back({_bstr_t(value.bstrVal).utf8(), _bstr_t(description.bstrVal).utf8(), status.lVal});
        return S_OK;
    }
    HRESULT InitExecution() override { return S_OK; }
    HRESULT get_PEC(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_PEC(BSTR) override { return S_OK; }
    HRESULT get_Release(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_Release(BSTR) override { return S_OK; }
    HRESULT get_SN(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_SN(BSTR value) override {
        sn = _bstr_t(value).utf8();
        return S_OK;
    }
    HRESULT get_TestID(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_TestID(BSTR value) override {
        testId = _bstr_t(value).utf8();
        return S_OK;
    }
    HRESULT get_TestPlanID(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_TestPlanID(BSTR) override { return S_OK; }
    HRESULT get_TestPlanVariantID(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_TestPlanVariantID(BSTR) override { return S_OK; }
    HRESULT get_TestExecSession(BSTR* value) override {
        *value = _bstr_t(session.c_str()).copy();
        return S_OK;
    }
    HRESULT put_TestExecSession(BSTR value) override {
        session = _bstr_t(value).utf8();
        return S_OK;
    }
    HRESULT SetNextTestExecSession() override {
        ++nextSessionCalls;
        session = "17";
        return S_OK;
    }
    HRESULT Delay(uint32_t) override { return S_OK; }
    HRESULT Stop(VARIANT) override { return S_OK; }
    HRESULT get_graph(IDispatch**) override { return E_NOTIMPL; }
    HRESULT put_graph(IDispatch*) override { return E_NOTIMPL; }
    HRESULT get_csv(IDispatch**) override { return E_NOTIMPL; }
    HRESULT EndExecution() override { return S_OK; }
    HRESULT get_option(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT put_option(BSTR, VARIANT) override { return S_OK; }
    HRESULT IsOptionEnabled(BSTR, VARIANT_BOOL* enabled) override {
        *enabled = engineOutput ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT SetOptions(BSTR) override { return S_OK; }
};

} // namespace scrivon
