// CTestScriptExecutive as the script engine's host: the named items of the hardware manager's records, the
// objects behind them, and the script errors the engine reports.
#include "ScriptExecutive.h"

#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"

namespace scripvane {

namespace {

bool NamesEqualIgnoringCase(LPCOLESTR a, std::u16string_view b) {
    return vr::EqualsNoCase(vr::U16View(a), b);
}

// A hardware record that is a script object: not empty and not one of the records that begin with "_".
bool IsScriptRecordName(std::u16string_view name) {
    return !name.empty() && name.front() != u'_';
}

} // namespace

// ---- Named items ----

HRESULT CTestScriptExecutive::AddNamedItems(const char16_t* recordType) {
    BSTR type = vr::AllocBstr(recordType);
    VARIANT names;
    VariantInit(&names);
    HRESULT hr = hardware_->GetRecordNames(type, &names);
    SysFreeString(type);
    if (FAILED(hr)) {
        // The script gets no objects of this type; that alone does not fail the engine's setup.
        SetTraceSite();
        TraceError(u"Can't retrieve names from the Hardware Manager.");
        (void)VariantClear(&names);
        return S_OK;
    }
    if (names.vt == (VT_ARRAY | VT_VARIANT) && names.parray) {
        hr = AddNamedItemsFrom(recordType, names.parray);
    }
    (void)VariantClear(&names);
    return hr;
}

HRESULT CTestScriptExecutive::AddNamedItemsFrom(const char16_t* recordType, SAFEARRAY* names) {
    LONG lower = 0;
    LONG upper = -1;
    if (SafeArrayGetDim(names) != 1 || FAILED(SafeArrayGetLBound(names, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(names, 1, &upper))) {
        return S_OK;
    }
    for (LONG i = lower; i <= upper; ++i) {
        VARIANT element;
        VariantInit(&element);
        if (FAILED(SafeArrayGetElement(names, &i, &element))) {
            continue;
        }
        HRESULT hr = AddOneNamedItem(recordType, element);
        (void)VariantClear(&element);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

HRESULT CTestScriptExecutive::AddOneNamedItem(const char16_t* recordType, const VARIANT& element) {
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, &element, 0, VT_BSTR))) {
        return S_OK; // not a name
    }
    std::u16string name(vr::BstrView(text.bstrVal));
    (void)VariantClear(&text);
    if (!IsScriptRecordName(name)) {
        return S_OK;
    }
    if (FAILED(engine_->AddNamedItem(name.c_str(), SCRIPTITEM_ISVISIBLE))) {
        SetTraceSite();
        TraceError(u"The '%s' Script Engine AddNamedItem error.", language_.c_str());
        return E_FAIL;
    }
    std::u16string_view type(recordType);
    ItemMap* map = type == u"connection" ? &connections_ : type == u"socket" ? &sockets_ : nullptr;
    if (map) {
        map->try_emplace(name); // an object made earlier stays
    }
    return S_OK;
}

// ---- The site's answers ----

HRESULT CTestScriptExecutive::SiteGetItemInfo(LPCOLESTR name, DWORD returnMask, IUnknown** item,
                                              ITypeInfo** typeInfo) {
    SetTraceMethodName(u"IActiveScriptSite::GetItemInfo()");
    if (returnMask & SCRIPTINFO_ITYPEINFO) {
        if (!typeInfo) {
            return E_INVALIDARG;
        }
        *typeInfo = nullptr;
    }
    if (returnMask & SCRIPTINFO_IUNKNOWN) {
        if (!item) {
            return E_INVALIDARG;
        }
        *item = nullptr;
    }
    vr::ComPtr<IUnknown> found;
    if (NamesEqualIgnoringCase(name, u"Scripter")) {
        found = static_cast<IScrivon*>(this);
        if (returnMask & SCRIPTINFO_ITYPEINFO) {
            (void)GetTypeInfo(0, 0, typeInfo);
        }
    } else if (NamesEqualIgnoringCase(name, u"engine")) {
        if (!testEngine_) {
            SetTraceSite();
            TraceError(u"Couldn't find TestEngine Object.");
            scriptErrorText_ = LastErrorText();
            return Fail(TYPE_E_ELEMENTNOTFOUND); // the text goes with it, for the engine's error at the line
        }
        found = testEngine_;
    } else if (HRESULT hr = ItemFromRecord(name ? name : u"", found.Put()); FAILED(hr)) {
        return hr;
    }
    if (returnMask & SCRIPTINFO_IUNKNOWN) {
        *item = found.Detach();
    }
    return S_OK;
}

// The object of a connection or socket record, made by the hardware manager on first use and kept.
HRESULT CTestScriptExecutive::ItemFromRecord(const std::u16string& name, IUnknown** item) {
    bool connection = true;
    auto entry = connections_.find(name);
    if (entry == connections_.end()) {
        connection = false;
        entry = sockets_.find(name);
        if (entry == sockets_.end()) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
    }
    RecordItem& made = entry->second;
    // The engine asks once per name for each script it runs, so an object lives for the scripts that follow
    // while its record stays as it was.
    std::optional<std::u16string> record = RecordDescription(connection, name);
    if (made.object && record && *record != made.madeFrom) {
        SetTraceSite();
        TraceInfo(u"The '%s' record changed in the ConfigStore: its object is made anew.", name.c_str());
        made.object = nullptr; // released first, so its connection is closed before the new one opens
    }
    if (!made.object) {
        if (HRESULT hr = CreateRecordObject(connection, name, &made.object); FAILED(hr)) {
            return hr;
        }
        made.madeFrom = record.value_or(u"");
    }
    return made.object.CopyTo(item);
}

// The record's server, resource and setup as the hardware manager reads them now (for a socket, its
// connection's too); none when it cannot tell.
std::optional<std::u16string> CTestScriptExecutive::RecordDescription(bool connection,
                                                                      const std::u16string& name) {
    auto load = [this](const char16_t* type, std::u16string_view record, std::u16string* text,
                       std::u16string* resource) {
        _bstr_t typeText(vr::AllocBstr(type), false);
        _bstr_t recordText(vr::AllocBstr(record), false);
        _bstr_t none(vr::AllocBstr(u""), false);
        BSTR server = nullptr;
        BSTR found = nullptr;
        BSTR setup = nullptr;
        HRESULT hr = hardware_->LoadRecord(typeText, recordText, none, &server, &found, &setup);
        *resource = std::u16string(vr::BstrView(found));
        *text += std::u16string(vr::BstrView(server)) + u"\n" + *resource + u"\n" +
                 std::u16string(vr::BstrView(setup)) + u"\n";
        SysFreeString(server);
        SysFreeString(found);
        SysFreeString(setup);
        return SUCCEEDED(hr);
    };
    std::u16string text;
    std::u16string resource;
    std::u16string connectionResource;
    if (!load(connection ? u"connection" : u"socket", name, &text, &resource) ||
        (!connection && !load(u"connection", resource, &text, &connectionResource))) {
        (void)SetErrorInfo(0, nullptr); // the record is then taken as unchanged
        return std::nullopt;
    }
    return text;
}

HRESULT CTestScriptExecutive::CreateRecordObject(bool connection, const std::u16string& name,
                                                 vr::ComPtr<IUnknown>* object) {
    BSTR resource = vr::AllocBstr(name);
    VARIANT setup;
    VariantInit(&setup);
    setup.vt = VT_BSTR;
    setup.bstrVal = vr::AllocBstr(u"");
    HRESULT hr = S_OK;
    if (connection) {
        vr::ComPtr<IVrConnection> made;
        hr = hardware_->CreateConnection(resource, setup, made.Put());
        *object = made.Get();
    } else {
        vr::ComPtr<IVrSocket> made;
        hr = hardware_->CreateSocket(resource, setup, made.Put());
        *object = made.Get();
    }
    SysFreeString(resource);
    (void)VariantClear(&setup);
    if (FAILED(hr) || !*object) {
        *object = nullptr;
        // The hardware manager's own report says why (the port refused, the adapter file missing).
        std::u16string text =
            vr::FormatWString(connection ? u"Couldn't open '%s' Connection by the '%s' Script Engine."
                                         : u"Couldn't open '%s' Socket by the '%s' Script Engine.",
                              name.c_str(), language_.c_str());
        SetTraceSite();
        TraceError(u"%s", WithCauseBelow(text).c_str());
        scriptErrorText_ = LastErrorText();
        // As error information the text reaches the engine, whose error then names the line that used it.
        return Fail(TYPE_E_ELEMENTNOTFOUND);
    }
    return S_OK;
}

HRESULT CTestScriptExecutive::SiteOnScriptError(IActiveScriptError* error) {
    SetTraceMethodName(u"IActiveScriptSite::OnScriptError()");
    if (!error) {
        return E_POINTER;
    }
    EXCEPINFO excep{};
    (void)error->GetExceptionInfo(&excep);
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    (void)error->GetSourcePosition(&context, &line, &column);
    BSTR lineText = nullptr;
    (void)error->GetSourceLineText(&lineText);
    BSTR text = FormatBstr(u"%s; Source: '%s'; Line: %d, Error: %d, Code: %X;\n Script: '%s'.",
                           excep.bstrDescription ? excep.bstrDescription : u"",
                           excep.bstrSource ? excep.bstrSource : u"", static_cast<int>(line),
                           static_cast<int>(excep.wCode), static_cast<unsigned>(excep.scode),
                           lineText ? lineText : u"");
    scriptErrorCode_ = excep.scode;
    SetTraceSite();
    TraceError(u"%s", text ? text : u"");
    if (SysStringLen(excep.bstrDescription) > 0) {
        scriptErrorText_ = std::u16string(vr::BstrView(text));
    }
    SysFreeString(text);
    SysFreeString(lineText);
    vr::ClearExcepInfo(&excep);
    return S_OK;
}

// ---- ScriptSite ----

HRESULT ScriptSite::GetLCID(LCID*) {
    return E_NOTIMPL;
}

HRESULT ScriptSite::GetItemInfo(LPCOLESTR name, DWORD returnMask, IUnknown** item, ITypeInfo** typeInfo) {
    if (!owner_) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    return owner_->SiteGetItemInfo(name, returnMask, item, typeInfo);
}

HRESULT ScriptSite::GetDocVersionString(BSTR*) {
    return E_NOTIMPL;
}

HRESULT ScriptSite::OnScriptTerminate(const VARIANT*, const EXCEPINFO*) {
    return S_OK;
}

HRESULT ScriptSite::OnStateChange(SCRIPTSTATE) {
    return S_OK;
}

HRESULT ScriptSite::OnScriptError(IActiveScriptError* error) {
    return owner_ ? owner_->SiteOnScriptError(error) : S_OK;
}

HRESULT ScriptSite::OnEnterScript() {
    return S_OK;
}

HRESULT ScriptSite::OnLeaveScript() {
    return S_OK;
}

} // namespace scripvane
