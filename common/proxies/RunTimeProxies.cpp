// Typed proxies of the hardware manager, the test engine and the script executive.
#include "common/proxies/ProxyGroups.h"

#include "Rigmont/include/rigmont.h"
#include "TestRunTime/Corvant/include/corvant.h"
#include "TestRunTime/Scripvane/include/scripvane.h"
#include "platform/com/dual_proxy.h"

namespace vrproxies {

namespace {

using vr::AsBool;
using vr::DualProxy;
using vr::InOut;

class RigmontProxy final : public DualProxy<IVrRigmont> {
public:
    using DualProxy::DualProxy;

    HRESULT CreateConnection(BSTR resource, VARIANT setup, IVrConnection** connection) override {
        return Method(1, connection, resource, setup);
    }
    HRESULT CreateSocket(BSTR resource, VARIANT setup, IVrSocket** socket) override {
        return Method(2, socket, resource, setup);
    }
    HRESULT LoadRecord(BSTR type, BSTR name, BSTR supplementary, BSTR* server, BSTR* resource,
                       BSTR* setup) override {
        return Method(3, setup, type, name, supplementary, InOut(server), InOut(resource));
    }
    HRESULT SaveRecord(BSTR type, BSTR name, BSTR server, BSTR resource, BSTR setup) override {
        return Call(4, type, name, server, resource, setup);
    }
    HRESULT RemoveRecord(BSTR type, BSTR name) override { return Call(5, type, name); }
    HRESULT GetRecordNames(BSTR type, VARIANT* names) override { return Method(6, names, type); }
    HRESULT FindResources(BSTR server, BSTR resourceType, VARIANT* resources) override {
        return Method(7, resources, server, resourceType);
    }
};

class TestEngineProxy final : public DualProxy<IVrTestEngine> {
public:
    using DualProxy::DualProxy;

    HRESULT Output(BSTR text, VARIANT status) override { return Call(1, text, status); }
    HRESULT get_attributes(IDispatch** attributes) override { return Get(2, attributes); }
    HRESULT GetOutput(VARIANT* status, BSTR* text) override { return Method(3, text, InOut(status)); }
    HRESULT OutputLn(BSTR text, VARIANT status) override { return Call(4, text, status); }
    HRESULT get_spec(BSTR specId, VARIANT* spec) override { return Get(5, spec, specId); }
    HRESULT put_spec(BSTR specId, VARIANT spec) override { return Put(5, specId, spec); }
    HRESULT IsValid(VARIANT value, BSTR specId, VARIANT description, VARIANT_BOOL* valid) override {
        return Method(6, AsBool(valid), value, specId, description);
    }
    HRESULT SaveResult(VARIANT value, BSTR resultId, VARIANT description, VARIANT status,
                       VARIANT specValue) override {
        return Call(7, value, resultId, description, status, specValue);
    }
    HRESULT InitExecution() override { return Call(8); }
    HRESULT get_PEC(BSTR* value) override { return Get(9, value); }
    HRESULT put_PEC(BSTR value) override { return Put(9, value); }
    HRESULT get_Release(BSTR* value) override { return Get(10, value); }
    HRESULT put_Release(BSTR value) override { return Put(10, value); }
    HRESULT get_SN(BSTR* value) override { return Get(11, value); }
    HRESULT put_SN(BSTR value) override { return Put(11, value); }
    HRESULT get_TestID(BSTR* value) override { return Get(12, value); }
    HRESULT put_TestID(BSTR value) override { return Put(12, value); }
    HRESULT get_TestPlanID(BSTR* value) override { return Get(13, value); }
    HRESULT put_TestPlanID(BSTR value) override { return Put(13, value); }
    HRESULT get_TestPlanVariantID(BSTR* value) override { return Get(14, value); }
    HRESULT put_TestPlanVariantID(BSTR value) override { return Put(14, value); }
    HRESULT get_TestExecSession(BSTR* value) override { return Get(15, value); }
    HRESULT put_TestExecSession(BSTR value) override { return Put(15, value); }
    HRESULT SetNextTestExecSession() override { return Call(16); }
    HRESULT Delay(uint32_t msec) override { return Call(17, msec); }
    HRESULT Stop(VARIANT param) override { return Call(18, param); }
    HRESULT get_graph(IDispatch** graph) override { return Get(19, graph); }
    HRESULT put_graph(IDispatch* graph) override { return Put(19, graph); }
    HRESULT get_csv(IDispatch** csv) override { return Get(20, csv); }
    HRESULT EndExecution() override { return Call(21); }
    HRESULT get_option(BSTR name, VARIANT* value) override { return Get(22, value, name); }
    HRESULT put_option(BSTR name, VARIANT value) override { return Put(22, name, value); }
    HRESULT IsOptionEnabled(BSTR name, VARIANT_BOOL* enabled) override {
        return Method(23, AsBool(enabled), name);
    }
    HRESULT SetOptions(BSTR options) override { return Call(24, options); }
};

class ScrivonProxy final : public DualProxy<IScrivon> {
public:
    using DualProxy::DualProxy;

    HRESULT Execute(BSTR method, VARIANT* result) override { return Method(1, result, method); }
    HRESULT Close() override { return Call(2); }
    HRESULT get_ScriptLanguage(BSTR* language) override { return Get(3, language); }
    HRESULT put_ScriptLanguage(BSTR language) override { return Put(3, language); }
    HRESULT AddScript(BSTR text) override { return Call(4, text); }
    HRESULT get_ScriptLanguages(VARIANT* languages) override { return Get(5, languages); }
    HRESULT ClearScript() override { return Call(6); }
    HRESULT ClearAll() override { return Call(7); }
    HRESULT Init(IUnknown* engine) override { return Call(8, engine); }
    HRESULT IsMethodAvailable(BSTR method, VARIANT_BOOL* available) override {
        return Method(9, AsBool(available), method);
    }
    HRESULT Evaluate(BSTR expression, VARIANT* result) override { return Method(10, result, expression); }
    HRESULT get_ScriptEngine(IUnknown** engine) override { return Get(11, engine); }
    HRESULT GetProperty(BSTR property, VARIANT* value) override { return Method(12, value, property); }
};

} // namespace

void RegisterRunTimeProxies() {
    vr::RegisterDualProxy<RigmontProxy>();
    vr::RegisterDualProxy<TestEngineProxy>();
    vr::RegisterDualProxy<ScrivonProxy>();
}

} // namespace vrproxies
