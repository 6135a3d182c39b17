// CSocket: the dispatch tables, construction and release, Init, Close, QueryString and the collections.
#include "Socket.h"

#include "SocketErrors.h"
#include "common/attrvalues/AttrCollHookup.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/resources/this_module.h"

namespace plugmar {

namespace {

bool IsMissing(const VARIANT& value) {
    return value.vt == VT_ERROR;
}

// Changes an optional argument in place; a missing one keeps its default.
HRESULT OptionalArgument(VARIANT& argument, VARTYPE vt, const OLECHAR* failure) {
    if (IsMissing(argument)) {
        return S_OK;
    }
    HRESULT hr = VariantChangeType(&argument, &argument, 0, vt);
    if (FAILED(hr)) {
        std::u16string shown = VariantToText(&argument);
        return RecordFailure(hr, failure, shown.c_str());
    }
    return S_OK;
}

} // namespace

const vr::DispatchTable<CSocket>& CSocket::GetDispatchTable() {
    using D = vr::DispatchTable<CSocket>;
    static const D table(
        u"ISocket", {
                        D::Method<&CSocket::Init>(1, u"Init", {u"bsOptionString", u"vpIVrConnection"}),
                        D::Method<&CSocket::Close>(2, u"Close"),
                        D::Method<&CSocket::Handle>(
                            3, u"Handle", {u"bsOptionString", vr::Param(u"pbIsHandled").As(VT_BOOL)}),
                        D::Method<&CSocket::QueryString>(4, u"QueryString",
                                                         {u"bsInData", vr::Param(u"vbsTerm").Optional(),
                                                          vr::Param(u"vlTimeout").Optional(),
                                                          vr::Param(u"vlCount").Optional(), u"pbsOutData"}),
                        D::PropGet<&CSocket::get_Connection>(5, u"Connection", {u"ppVrConnection"}),
                        D::PropGet<&CSocket::get_Attributes>(6, u"Attributes", {u"ppVrAttributeCollection"}),
                    });
    return table;
}

const vr::DispatchTable<CSocket>& CSocket::ProcessorTable() {
    using D = vr::DispatchTable<CSocket>;
    static const D table(
        u"IVrSocketProcessor",
        {
            D::Method<&CSocket::LoadInfo>(0x60020000, u"LoadInfo", {u"bsOptionString"}),
            D::Method<&CSocket::GetInfo>(0x60020001, u"GetInfo", {u"bsOptionString", u"plInfo"}),
        });
    return table;
}

const vr::DispatchTable<CSocket>& CSocket::FilterTable() {
    using D = vr::DispatchTable<CSocket>;
    static const D table(
        u"IVrAttributeCollectionFilter",
        {
            D::Method<&CSocket::SetAttributeValue>(1, u"SetAttributeValue",
                                                   {u"bstrAttrQName", u"varValue", u"pSchemaElement"}),
            D::Method<&CSocket::GetAttributeValue>(2, u"GetAttributeValue",
                                                   {u"bstrAttrQName", u"pVarValue", u"pSchemaElement",
                                                    vr::Param(u"vboolInitialValue").As(VT_BOOL)}),
            D::Method<&CSocket::AdjustSetAttribute>(3, u"AdjustSetAttribute",
                                                    {u"bstrAttrQName", u"pVarValue", u"pSchemaElement"}),
            D::Method<&CSocket::AttributeIsCreated>(4, u"AttributeIsCreated",
                                                    {u"bstrAttrQName", u"pVarValue", u"pSchemaElement"}),
        });
    return table;
}

HRESULT CSocket::FinalConstruct() {
    BeginMethod(u"CSocket::FinalConstruct()");
    TraceFunction(u"CSocket::FinalConstruct()", 1);
    BSTR path = vr::AllocBstr(vr::ThisModuleResUrl(u"Attributes.xml"));
    BSTR empty = vr::AllocBstr(u"");
    BSTR scope = vr::AllocBstr(u"Socket");
    HRESULT hr = CreateAttributeCollection(
        path, empty, scope, ownCollection_.Put(), nullptr, vr::MissingArgument(), nullptr, nullptr, nullptr,
        empty, {{u"SOCKET:ADAPTERFILE", LinkToText(&adapterFile_)}, {nullptr, {}}});
    SysFreeString(path);
    SysFreeString(empty);
    SysFreeString(scope);
    if (FAILED(hr)) {
        return EndMethod(RecordFailure(hr, u"Couldn't load VrAttributeCollection."));
    }
    return S_OK;
}

void CSocket::FinalRelease() {
    // A connected socket runs its close command and closes its connection when it goes.
    (void)Close();
    connection_ = nullptr;
    deviceCollection_ = nullptr;
    ownCollection_ = nullptr; // before the member its link points at
    TraceFunction(u"CSocket::FinalConstruct()", -1);
}

CSocket::~CSocket() {
    SysFreeString(adapterFile_);
}

HRESULT CSocket::SetConnection(VARIANT& connection) {
    if (FAILED(VariantChangeType(&connection, &connection, 0, VT_UNKNOWN))) {
        std::u16string shown = VariantToText(&connection);
        return RecordFailure(E_FAIL, u"Wrong VARIANT type of entry vpIVrConnection = '%s'.", shown.c_str());
    }
    vr::ComPtr<IVrConnection> held;
    if (!connection.punkVal || FAILED(connection.punkVal->QueryInterface(held.Put())) || !held) {
        return RecordFailure(E_FAIL,
                             u"The entry vpIVrConnection object doesn't implement IVrConnection interface.");
    }
    connection_ = held;
    return S_OK;
}

HRESULT CSocket::Init(BSTR bsOptionString, VARIANT vpIVrConnection) {
    BeginMethod(u"CSocket::Init()");
    _variant_t connection(vpIVrConnection);
    if (HRESULT hr = SetConnection(connection); FAILED(hr)) {
        return EndMethod(hr);
    }
    if (HRESULT hr = ownCollection_->SetAttributes(bsOptionString); FAILED(hr)) {
        return EndMethod(hr);
    }
    vr::ComPtr<IVrAttributeCollection> connectionAttributes;
    if (SUCCEEDED(connection_->get_Attributes(connectionAttributes.Put())) && connectionAttributes) {
        if (HRESULT hr =
                ownCollection_->AddContainedAttributes(connectionAttributes.Get(), vr::MissingArgument());
            FAILED(hr)) {
            return EndMethod(hr);
        }
    }
    if (SysStringLen(adapterFile_) > 0) {
        if (HRESULT hr = SetAdapter(adapterFile_, bsOptionString); FAILED(hr)) {
            return EndMethod(hr);
        }
    }
    if (!openCommand_.empty()) {
        _variant_t ignored;
        if (HRESULT hr = RunWithDefaults(openCommand_, &ignored); FAILED(hr)) {
            return EndMethod(hr);
        }
    }
    traceText_ = u"IVrSocket::Init('" + std::u16string(vr::BstrView(adapterFile_)) + u"')";
    TraceInfo(u"%s", traceText_.c_str());
    return S_OK;
}

HRESULT CSocket::Close() {
    BeginMethod(u"CSocket::Close()");
    if (connection_) {
        if (!closeCommand_.empty()) {
            _variant_t ignored;
            if (HRESULT hr = RunWithDefaults(closeCommand_, &ignored); FAILED(hr)) {
                return EndMethod(hr);
            }
        }
        if (HRESULT hr = connection_->Close(); FAILED(hr)) {
            return EndMethod(hr);
        }
    }
    if (!traceText_.empty()) {
        TraceInfo(u"%s", traceText_.c_str());
    }
    return S_OK;
}

HRESULT CSocket::RunWithDefaults(std::u16string_view commandName, VARIANT* result) {
    CCommand* command = FindCommand(commandName);
    if (!command) {
        return RecordInternalFailure(E_FAIL);
    }
    ParamList params = command->EntryParams();
    return command->Execute(params, result);
}

HRESULT CSocket::Handle(BSTR, VARIANT_BOOL* pbIsHandled) {
    return pbIsHandled ? E_NOTIMPL : E_POINTER;
}

HRESULT CSocket::QueryString(BSTR bsInData, VARIANT vbsTerm, VARIANT vlTimeout, VARIANT vlCount,
                             BSTR* pbsOutData) {
    BeginMethod(u"CSocket::QueryString()");
    if (!pbsOutData) {
        return E_POINTER;
    }
    *pbsOutData = nullptr;
    _variant_t term(vbsTerm);
    _variant_t timeout(vlTimeout);
    _variant_t count(vlCount);
    TraceInfo(u"(bsInData = '%s', vbsTerm = '%s', vlTimeout = '%s');",
              std::u16string(vr::BstrView(bsInData)).c_str(), VariantToText(&term).c_str(),
              VariantToText(&timeout).c_str());
    HRESULT hr = OptionalArgument(term, VT_BSTR, u"Entry vbsTerm '%s' can't be converted to the string.");
    if (SUCCEEDED(hr)) {
        hr = OptionalArgument(timeout, VT_I4, u"Entry vlTimeout '%s' can't be converted to the number.");
    }
    if (SUCCEEDED(hr)) {
        hr = OptionalArgument(count, VT_I4, u"Entry vlCount '%s' can't be converted to the number.");
    }
    if (FAILED(hr)) {
        return EndMethod(hr);
    }
    if (!connection_) {
        return EndMethod(RecordInternalFailure(E_FAIL));
    }
    int32_t written = 0;
    if (FAILED(connection_->WriteString(bsInData, &written))) {
        return EndMethod(E_FAIL);
    }
    return connection_->ReadString(IsMissing(term) ? nullptr : term.bstrVal,
                                   IsMissing(timeout) ? -1 : timeout.lVal, IsMissing(count) ? -1 : count.lVal,
                                   pbsOutData);
}

HRESULT CSocket::get_Connection(IVrConnection** ppVrConnection) {
    BeginMethod(u"CSocket::get_Connection()");
    if (!ppVrConnection) {
        return E_POINTER;
    }
    *ppVrConnection = nullptr;
    if (!connection_) {
        return S_OK; // no connection before Init
    }
    if (HRESULT hr = connection_->QueryInterface(ppVrConnection); FAILED(hr)) {
        return EndMethod(RecordInternalFailure(hr));
    }
    return S_OK;
}

HRESULT CSocket::get_Attributes(IVrAttributeCollection** ppVrAttributeCollection) {
    BeginMethod(u"CSocket::get_Attributes()");
    if (!ppVrAttributeCollection) {
        return E_POINTER;
    }
    *ppVrAttributeCollection = nullptr;
    if (HRESULT hr = ownCollection_->QueryInterface(ppVrAttributeCollection); FAILED(hr)) {
        return EndMethod(RecordInternalFailure(hr));
    }
    return S_OK;
}

HRESULT CSocket::LoadInfo(BSTR bsOptionString) {
    BeginMethod(u"CSocket::LoadInfo()");
    if (HRESULT hr = ownCollection_->SetAttributes(bsOptionString); FAILED(hr)) {
        return EndMethod(hr);
    }
    return EndMethod(SetAdapter(adapterFile_, bsOptionString));
}

CCommand* CSocket::FindCommand(std::u16string_view name) const {
    auto found = commands_.find(std::u16string(name));
    return found == commands_.end() ? nullptr : found->second.get();
}

HRESULT CSocket::AddCommand(std::unique_ptr<CCommand> command) {
    const std::u16string name = command->Name();
    if (!commands_.emplace(name, std::move(command)).second) {
        return RecordFailure(E_FAIL, u"The '%s' command has multiple definitions.", name.c_str());
    }
    return S_OK;
}

} // namespace plugmar
