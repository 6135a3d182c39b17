// The fake hardware manager, connection and test engine of the typed-proxy tests.
#include "fake_objects.h"

#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "tests/support/com_holders.h"

#include <deque>

namespace proxytest {
namespace {

using vr::Param;

BSTR Copy(const std::u16string& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

using vrtest::TextOf;

class CFakeConnection : public vr::ObjectRoot, public vr::DispatchImpl<CFakeConnection, IVrConnection> {
public:
    using Interfaces = vr::InterfaceList<IVrConnection, IDispatch>;
    static const vr::DispatchTable<CFakeConnection>& GetDispatchTable();

    HRESULT FindResources(BSTR, VARIANT* resources) override {
        VariantInit(resources);
        return S_OK;
    }
    HRESULT Init(BSTR resource, BSTR, int32_t initTimeout, VrAccessMode mode) override {
        resource_ = TextOf(resource);
        timeout_ = initTimeout;
        mode_ = mode;
        return S_OK;
    }
    HRESULT Close() override { return S_OK; }
    HRESULT LockRsrc(VrAccessMode, int32_t, BSTR, BSTR* key) override {
        *key = Copy(u"key");
        return S_OK;
    }
    HRESULT UnlockRsrc() override { return S_OK; }
    HRESULT Clear() override { return S_OK; }
    // "<resource>|<term>|<timeout>|<count>|<mode>"
    HRESULT ReadString(BSTR term, int32_t timeout, int32_t count, BSTR* data) override {
        std::string numbers = "|" + std::to_string(timeout) + "|" + std::to_string(count) + "|" +
                              std::to_string(static_cast<int>(mode_));
        *data = Copy(resource_ + u"|" + TextOf(term) + std::u16string(numbers.begin(), numbers.end()));
        return S_OK;
    }
    HRESULT WriteString(BSTR data, int32_t* written) override {
        *written = static_cast<int32_t>(SysStringLen(data));
        return S_OK;
    }
    HRESULT Write(VARIANT, VARIANT, int32_t* written) override {
        *written = 0;
        return S_OK;
    }
    HRESULT Handle(BSTR resource, BSTR, VARIANT_BOOL* handled) override {
        *handled = TextOf(resource) == resource_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT get_LastReadStatus(VrReadStatus* status) override {
        *status = ReadTimeout;
        return S_OK;
    }
    HRESULT get_Attributes(IVrAttributeCollection** attributes) override {
        *attributes = nullptr;
        return S_OK;
    }

private:
    std::u16string resource_;
    int32_t timeout_ = 0;
    VrAccessMode mode_ = _NO_LOCK;
};

const vr::DispatchTable<CFakeConnection>& CFakeConnection::GetDispatchTable() {
    using C = CFakeConnection;
    using D = vr::DispatchTable<C>;
    static const D table(
        u"IVrConnection",
        {
            D::Method<&C::FindResources>(0x60020000, u"FindResources", {u"bstrExpression", u"pvResources"}),
            D::Method<&C::Init>(0x60020001, u"Init",
                                {u"bsResource", Param(u"bsOptionString").Optional(u""),
                                 Param(u"lInitTimeout").Optional(LONG{5000}),
                                 Param(u"mode").Optional(LONG{0})}),
            D::Method<&C::Close>(0x60020002, u"Close"),
            D::Method<&C::LockRsrc>(0x60020003, u"LockRsrc",
                                    {Param(u"mode").Optional(LONG{1}),
                                     Param(u"lLockTimeout").Optional(LONG{5000}),
                                     Param(u"bsRequestedKey").Optional(u""), u"pbsAccessKey"}),
            D::Method<&C::UnlockRsrc>(0x60020004, u"UnlockRsrc"),
            D::Method<&C::Clear>(0x60020005, u"Clear"),
            D::Method<&C::ReadString>(0x60020006, u"ReadString",
                                      {Param(u"bsTerm").Optional(u""), Param(u"lTimeout").Optional(LONG{-1}),
                                       Param(u"lCount").Optional(LONG{-1}), u"pbsData"}),
            D::Method<&C::WriteString>(0x60020007, u"WriteString", {u"bsData", u"plRetCount"}),
            D::Method<&C::Write>(0x60020008, u"Write",
                                 {u"vData", Param(u"vlCount").Optional(), u"plRetCount"}),
            D::Method<&C::Handle>(
                0x60020009, u"Handle",
                {u"bsResource", Param(u"bsOptionString").Optional(u""), Param(u"pbIsHandled").As(VT_BOOL)}),
            D::PropGet<&C::get_LastReadStatus>(0x6002000A, u"LastReadStatus", {u"pStatus"}),
            D::PropGet<&C::get_Attributes>(0x6002000B, u"Attributes", {u"ppAttributes"}),
        });
    return table;
}

class CFakeRigmont : public vr::ObjectRoot, public vr::DispatchImpl<CFakeRigmont, IVrRigmont> {
public:
    using Interfaces = vr::InterfaceList<IVrRigmont, IDispatch>;
    static const vr::DispatchTable<CFakeRigmont>& GetDispatchTable();

    HRESULT CreateConnection(BSTR resource, VARIANT setup, IVrConnection** connection) override {
        auto found = records_.find(TextOf(resource));
        if (found == records_.end()) {
            return vr::ReportError(E_INVALIDARG, IID_IVrRigmont, u"Rigmont",
                                   u"no record '" + TextOf(resource) + u"'");
        }
        vr::ComPtr<IVrConnection> made = MakeFakeConnection();
        BSTR options = setup.vt == VT_BSTR ? setup.bstrVal : nullptr;
        BSTR record = Copy(found->second);
        HRESULT hr = made->Init(record, options, 1234, _SHARED_LOCK);
        SysFreeString(record);
        if (FAILED(hr)) {
            return hr;
        }
        *connection = made.Detach();
        return S_OK;
    }
    HRESULT CreateSocket(BSTR, VARIANT, IVrSocket** socket) override {
        *socket = nullptr;
        return E_NOTIMPL;
    }
    // server: "<type>/<name>", resource: the record, setup: the supplementary string.
    HRESULT LoadRecord(BSTR type, BSTR name, BSTR supplementary, BSTR* server, BSTR* resource,
                       BSTR* setup) override {
        SysFreeString(*server);
        SysFreeString(*resource);
        *server = Copy(TextOf(type) + u"/" + TextOf(name));
        *resource = Copy(records_[TextOf(name)]);
        *setup = Copy(TextOf(supplementary));
        return S_OK;
    }
    HRESULT SaveRecord(BSTR, BSTR name, BSTR, BSTR resource, BSTR) override {
        records_[TextOf(name)] = TextOf(resource);
        return S_OK;
    }
    HRESULT RemoveRecord(BSTR, BSTR name) override { return records_.erase(TextOf(name)) ? S_OK : S_FALSE; }
    HRESULT GetRecordNames(BSTR, VARIANT* names) override {
        SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(records_.size()));
        LONG index = 0;
        for (const auto& [name, resource] : records_) {
            VARIANT element;
            element.vt = VT_BSTR;
            element.bstrVal = Copy(name);
            static_cast<void>(SafeArrayPutElement(array, &index, &element));
            static_cast<void>(VariantClear(&element));
            ++index;
        }
        names->vt = VT_ARRAY | VT_VARIANT;
        names->parray = array;
        return S_OK;
    }
    HRESULT FindResources(BSTR, BSTR, VARIANT* resources) override {
        VariantInit(resources);
        return S_OK;
    }

private:
    std::map<std::u16string, std::u16string> records_;
};

const vr::DispatchTable<CFakeRigmont>& CFakeRigmont::GetDispatchTable() {
    using C = CFakeRigmont;
    using D = vr::DispatchTable<C>;
    static const D table(
        u"IVrRigmont",
        {
            D::Method<&C::CreateConnection>(
                1, u"CreateConnection",
                {u"bsResource", Param(u"vbsSetupString").Optional(), u"ppConnection"}),
            D::Method<&C::CreateSocket>(2, u"CreateSocket",
                                        {u"bsResource", Param(u"vbsSetupString").Optional(), u"ppSocket"}),
            D::Method<&C::LoadRecord>(3, u"LoadRecord",
                                      {u"bsRecordType", u"bsRecordName", u"bsSupplementarySetupString",
                                       u"pbsServer", u"pbsResource", u"pbsSetupString"}),
            D::Method<&C::SaveRecord>(
                4, u"SaveRecord",
                {u"bsRecordType", u"bsRecordName", u"bsServer", u"bsResource", u"bsSetupString"}),
            D::Method<&C::RemoveRecord>(5, u"RemoveRecord", {u"bsRecordType", u"bsRecordName"}),
            D::Method<&C::GetRecordNames>(6, u"GetRecordNames", {u"bsRecordType", u"pvNames"}),
            D::Method<&C::FindResources>(7, u"FindResources",
                                         {u"bsServer", u"bsResourceType", u"pvResources"}),
        });
    return table;
}

class CFakeEngine : public vr::ObjectRoot, public vr::DispatchImpl<CFakeEngine, IVrTestEngine> {
public:
    using Interfaces = vr::InterfaceList<IVrTestEngine, IDispatch>;
    static const vr::DispatchTable<CFakeEngine>& GetDispatchTable();

    HRESULT Output(BSTR text, VARIANT status) override {
        LONG code = status.vt == VT_I4 ? status.lVal : TestStatusUnknown;
        queue_.emplace_back(TextOf(text), code);
        return S_OK;
    }
    HRESULT get_attributes(IDispatch** attributes) override {
        *attributes = nullptr;
        return S_OK;
    }
    HRESULT GetOutput(VARIANT* status, BSTR* text) override {
        if (queue_.empty()) {
            return S_FALSE;
        }
        auto [line, code] = queue_.front();
        queue_.pop_front();
        *text = Copy(line);
        if (status) {
            static_cast<void>(VariantClear(status));
            status->vt = VT_I4;
            status->lVal = code;
        }
        return S_OK;
    }
    HRESULT OutputLn(BSTR text, VARIANT status) override {
        BSTR line = Copy(TextOf(text) + u"\n");
        HRESULT hr = Output(line, status);
        SysFreeString(line);
        return hr;
    }
    HRESULT get_spec(BSTR id, VARIANT* spec) override {
        auto found = specs_.find(TextOf(id));
        if (found == specs_.end()) {
            return vr::ReportError(DISP_E_BADINDEX, IID_IVrTestEngine, u"TestEngine",
                                   u"no such specification");
        }
        return VariantCopy(spec, &found->second);
    }
    HRESULT put_spec(BSTR id, VARIANT spec) override {
        VARIANT& slot = specs_[TextOf(id)];
        static_cast<void>(VariantClear(&slot));
        return VariantCopy(&slot, &spec);
    }
    HRESULT IsValid(VARIANT value, BSTR, VARIANT, VARIANT_BOOL* valid) override {
        *valid = value.vt == VT_I4 && value.lVal > 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT SaveResult(VARIANT, BSTR, VARIANT, VARIANT, VARIANT) override { return S_OK; }
    HRESULT InitExecution() override { return S_OK; }
    HRESULT get_PEC(BSTR* value) override { return Read(pec_, value); }
    HRESULT put_PEC(BSTR value) override { return Store(pec_, value); }
    HRESULT get_Release(BSTR* value) override { return Read(pec_, value); }
    HRESULT put_Release(BSTR value) override { return Store(pec_, value); }
    HRESULT get_SN(BSTR* value) override { return Read(pec_, value); }
    HRESULT put_SN(BSTR value) override { return Store(pec_, value); }
    HRESULT get_TestID(BSTR* value) override { return Read(pec_, value); }
    HRESULT put_TestID(BSTR value) override { return Store(pec_, value); }
    HRESULT get_TestPlanID(BSTR* value) override { return Read(pec_, value); }
    HRESULT put_TestPlanID(BSTR value) override { return Store(pec_, value); }
    HRESULT get_TestPlanVariantID(BSTR* value) override { return Read(pec_, value); }
    HRESULT put_TestPlanVariantID(BSTR value) override { return Store(pec_, value); }
    HRESULT get_TestExecSession(BSTR* value) override { return Read(pec_, value); }
    HRESULT put_TestExecSession(BSTR value) override { return Store(pec_, value); }
    HRESULT SetNextTestExecSession() override { return S_OK; }
    // Remembers the delay as the PEC, so that a test sees the unsigned value arrive.
    HRESULT Delay(uint32_t msec) override {
        std::string text = std::to_string(msec);
        pec_.assign(text.begin(), text.end());
        return S_OK;
    }
    HRESULT Stop(VARIANT) override { return S_OK; }
    HRESULT get_graph(IDispatch** graph) override { return graph_.CopyTo(graph); }
    HRESULT put_graph(IDispatch* graph) override {
        graph_ = graph;
        return S_OK;
    }
    HRESULT get_csv(IDispatch** csv) override {
        *csv = nullptr;
        return S_OK;
    }
    HRESULT EndExecution() override { return S_OK; }
    HRESULT get_option(BSTR, VARIANT* value) override {
        VariantInit(value);
        return S_OK;
    }
    HRESULT put_option(BSTR, VARIANT) override { return S_OK; }
    HRESULT IsOptionEnabled(BSTR, VARIANT_BOOL* enabled) override {
        *enabled = VARIANT_TRUE;
        return S_OK;
    }
    HRESULT SetOptions(BSTR) override { return S_OK; }

    void FinalRelease() {
        for (auto& [id, spec] : specs_) {
            static_cast<void>(VariantClear(&spec));
        }
    }

private:
    static HRESULT Read(const std::u16string& from, BSTR* value) {
        *value = Copy(from);
        return S_OK;
    }
    static HRESULT Store(std::u16string& to, BSTR value) {
        to = TextOf(value);
        return S_OK;
    }

    std::deque<std::pair<std::u16string, LONG>> queue_;
    std::map<std::u16string, VARIANT> specs_;
    std::u16string pec_;
    vr::ComPtr<IDispatch> graph_;
};

const vr::DispatchTable<CFakeEngine>& CFakeEngine::GetDispatchTable() {
    using C = CFakeEngine;
    using D = vr::DispatchTable<C>;
    static const D table(
        u"IVrTestEngine",
        {
            D::Method<&C::Output>(1, u"Output", {u"bsText", Param(u"vTestStatus").Optional()}),
            D::PropGet<&C::get_attributes>(2, u"attributes", {u"ppAttributes"}),
            D::Method<&C::GetOutput>(3, u"GetOutput", {Param(u"pvTestStatus").Optional(), u"pbsText"}),
            D::Method<&C::OutputLn>(4, u"OutputLn", {u"bsText", Param(u"vTestStatus").Optional()}),
            D::PropGet<&C::get_spec>(5, u"spec", {u"bsSpecID", u"pvSpec"}),
            D::PropPut<&C::put_spec>(5, u"spec", {u"bsSpecID", u"vSpec"}),
            D::Method<&C::IsValid>(
                6, u"IsValid",
                {u"vValue", u"bsSpecID", Param(u"vDescription").Optional(), Param(u"pvbValid").As(VT_BOOL)}),
            D::PropGet<&C::get_PEC>(9, u"PEC", {u"pVal"}),
            D::PropPut<&C::put_PEC>(9, u"PEC", {u"newVal"}),
            D::Method<&C::Delay>(17, u"Delay", {u"msec"}),
            D::PropGet<&C::get_graph>(19, u"graph", {u"ppGraph"}),
            D::PropPutRef<&C::put_graph>(19, u"graph", {u"pGraph"}),
        });
    return table;
}

} // namespace

vr::ComPtr<IVrConnection> MakeFakeConnection() {
    vr::ComPtr<IVrConnection> made;
    static_cast<void>(vr::ComObject<CFakeConnection>::Create(&made));
    return made;
}

vr::ComPtr<IVrRigmont> MakeFakeRigmont() {
    vr::ComPtr<IVrRigmont> made;
    static_cast<void>(vr::ComObject<CFakeRigmont>::Create(&made));
    return made;
}

vr::ComPtr<IVrTestEngine> MakeFakeEngine() {
    vr::ComPtr<IVrTestEngine> made;
    static_cast<void>(vr::ComObject<CFakeEngine>::Create(&made));
    return made;
}

} // namespace proxytest
