// The recording site and the hand-written host object of the scripting tests.
#include "script_test_support.h"

#include "platform/base/text.h"
#include "platform/com/errorinfo.h"

#include <algorithm>

namespace scripttest {
namespace {

enum : DISPID { kName = 1, kAdd, kCount, kNumbers, kGrid, kSum, kFail, kKept, kCallKept, kPing, kIdentify };

const std::map<std::u16string, DISPID>& MemberIds() {
    static const std::map<std::u16string, DISPID> ids = {
        {u"item", DISPID_VALUE},  {u"name", kName},         {u"add", kAdd},   {u"count", kCount},
        {u"numbers", kNumbers},   {u"grid", kGrid},         {u"sum", kSum},   {u"fail", kFail},
        {u"kept", kKept},         {u"callkept", kCallKept}, {u"ping", kPing}, {u"_newenum", DISPID_NEWENUM},
        {u"identify", kIdentify},
    };
    return ids;
}

// The positional argument i (natural order) of a call.
VARIANT* Argument(DISPPARAMS* params, UINT i) {
    UINT positional = params->cArgs - params->cNamedArgs;
    return i < positional ? &params->rgvarg[params->cArgs - 1 - i] : nullptr;
}

LONG AsLong(const VARIANT* v) {
    VARIANT converted;
    VariantInit(&converted);
    if (!v || FAILED(VariantChangeType(&converted, v, 0, VT_I4))) {
        return -1;
    }
    return converted.lVal;
}

// An enumeration over copies of some values.
class SlotEnumeration : public vr::ObjectRoot, public IEnumVARIANT {
public:
    using Interfaces = vr::InterfaceList<IEnumVARIANT>;
    std::vector<VARIANT> values;
    size_t next = 0;

    void FinalRelease() {
        for (VARIANT& v : values) {
            (void)VariantClear(&v);
        }
    }
    HRESULT Next(ULONG count, VARIANT* items, ULONG* fetched) override {
        ULONG taken = 0;
        while (taken < count && next < values.size()) {
            VariantInit(&items[taken]);
            (void)VariantCopy(&items[taken++], &values[next++]);
        }
        if (fetched) {
            *fetched = taken;
        }
        return taken == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        next = std::min(values.size(), next + count);
        return S_OK;
    }
    HRESULT Reset() override {
        next = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumVARIANT**) override { return E_NOTIMPL; }
};

SAFEARRAY* MakeNumbers() {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 1, 3);
    for (LONG i = 1; i <= 3; ++i) {
        LONG value = i * 10;
        (void)SafeArrayPutElement(array, &i, &value);
    }
    return array;
}

SAFEARRAY* MakeGrid() {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
    for (LONG i = 0; i < 2; ++i) {
        for (LONG j = 0; j < 3; ++j) {
            LONG indices[2] = {i, j};
            VARIANT value;
            VariantInit(&value);
            value.vt = VT_I4;
            value.lVal = i * 10 + j;
            (void)SafeArrayPutElement(array, indices, &value);
        }
    }
    return array;
}

} // namespace

HRESULT TestSite::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) {
    std::u16string key(name);
    ++itemRequests[key];
    if (info) {
        *info = nullptr;
    }
    if (item) {
        *item = nullptr;
    }
    if (auto failing = failingItems.find(key); failing != failingItems.end()) {
        return failing->second;
    }
    auto found = items.find(key);
    if (found == items.end()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    if (mask & SCRIPTINFO_IUNKNOWN) {
        *item = found->second.Get();
        (*item)->AddRef();
    }
    return S_OK;
}

HRESULT TestSite::OnScriptError(IActiveScriptError* error) {
    ReportedError report;
    EXCEPINFO excep{};
    EXPECT_EQ(error->GetExceptionInfo(&excep), S_OK);
    report.scode = excep.scode;
    report.description = vr::BstrView(excep.bstrDescription);
    report.source = vr::BstrView(excep.bstrSource);
    report.helpFile = vr::BstrView(excep.bstrHelpFile);
    report.helpContext = excep.dwHelpContext;
    vr::ClearExcepInfo(&excep);
    DWORD context = 0;
    EXPECT_EQ(error->GetSourcePosition(&context, &report.line, &report.column), S_OK);
    BSTR line = nullptr;
    EXPECT_EQ(error->GetSourceLineText(&line), S_OK);
    report.lineText = vr::BstrView(line);
    SysFreeString(line);
    errors.push_back(report);
    return S_OK;
}

void TestHost::FinalRelease() {
    for (VARIANT& slot : slots) {
        (void)VariantClear(&slot);
    }
    (void)VariantClear(&kept);
}

HRESULT TestHost::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    ++lookups;
    std::u16string key(names[0]);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char16_t c) { return c < 128 ? std::tolower(c) : c; });
    auto found = MemberIds().find(key);
    ids[0] = found == MemberIds().end() ? DISPID_UNKNOWN : found->second;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
    }
    return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

HRESULT TestHost::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excep, UINT*) {
    bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    bool call = (flags & DISPATCH_METHOD) != 0;
    UINT positional = params->cArgs - params->cNamedArgs;
    VARIANT* value = put ? &params->rgvarg[0] : nullptr;
    ++invokes;
    switch (id) {
    case DISPID_VALUE: {
        if (positional == 0) {
            return DISP_E_BADPARAMCOUNT;
        }
        LONG index = AsLong(Argument(params, 0));
        if (index < 0 || index > 3) {
            return DISP_E_BADINDEX;
        }
        return put ? VariantCopy(&slots[index], value) : (result ? VariantCopy(result, &slots[index]) : S_OK);
    }
    case kName:
        if (put) {
            VARIANT text;
            VariantInit(&text);
            if (FAILED(VariantChangeType(&text, value, 0, VT_BSTR))) {
                return DISP_E_TYPEMISMATCH;
            }
            name = vr::BstrView(text.bstrVal);
            return VariantClear(&text);
        }
        if (!(flags & DISPATCH_PROPERTYGET)) {
            return DISP_E_MEMBERNOTFOUND;
        }
        result->vt = VT_BSTR;
        result->bstrVal = vr::AllocBstr(name);
        return S_OK;
    case kAdd:
        if (!call) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (positional != 2) {
            return DISP_E_BADPARAMCOUNT;
        }
        result->vt = VT_I4;
        result->lVal = AsLong(Argument(params, 0)) + AsLong(Argument(params, 1));
        return S_OK;
    case kCount:
        result->vt = VT_I4;
        result->lVal = 4;
        return S_OK;
    case kNumbers:
    case kGrid:
        result->vt = static_cast<VARTYPE>(VT_ARRAY | (id == kNumbers ? VT_I4 : VT_VARIANT));
        result->parray = id == kNumbers ? MakeNumbers() : MakeGrid();
        return S_OK;
    case kSum: {
        VARIANT* array = Argument(params, 0);
        if (!call) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (!array || array->vt != VT_DISPATCH) {
            return DISP_E_TYPEMISMATCH;
        }
        return Sum(array->pdispVal, result);
    }
    case kFail:
        if (!call) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (excep) {
            *excep = EXCEPINFO{};
            excep->bstrDescription = vr::AllocBstr(u"boom");
            excep->bstrSource = vr::AllocBstr(u"Test.Host.1");
            excep->bstrHelpFile = vr::AllocBstr(u"host.chm");
            excep->dwHelpContext = 42;
            excep->scode = kFailure;
        }
        return DISP_E_EXCEPTION;
    case kKept:
        return put ? VariantCopy(&kept, value) : VariantCopy(result, &kept);
    case kCallKept: {
        if (!call) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (kept.vt != VT_DISPATCH) {
            return DISP_E_TYPEMISMATCH;
        }
        DISPPARAMS forwarded{params->rgvarg, nullptr, positional, 0};
        return kept.pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &forwarded, result, excep,
                                     nullptr);
    }
    case kPing:
        if (!call) {
            return DISP_E_MEMBERNOTFOUND;
        }
        ++pings;
        return S_OK;
    case kIdentify:
        if (!call) {
            if (excep) {
                *excep = EXCEPINFO{};
                excep->bstrDescription = vr::AllocBstr(u"'Identify' property: GET operation is not defined.");
                excep->scode = DISP_E_MEMBERNOTFOUND;
            }
            return DISP_E_EXCEPTION;
        }
        ++identifies;
        result->vt = VT_BSTR;
        result->bstrVal = vr::AllocBstr(u"LOOPBACK");
        return S_OK;
    case DISPID_NEWENUM: {
        ComPtr<vr::ComObject<SlotEnumeration>> enumeration = Make<SlotEnumeration>();
        for (VARIANT& slot : slots) {
            VARIANT copy;
            VariantInit(&copy);
            (void)VariantCopy(&copy, &slot);
            enumeration->values.push_back(copy);
        }
        result->vt = VT_UNKNOWN;
        result->punkVal = static_cast<IEnumVARIANT*>(enumeration.Detach());
        return S_OK;
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT TestHost::Sum(IDispatch* array, VARIANT* result) {
    Value length;
    if (HRESULT hr = CallByName(array, u"length", DISPATCH_PROPERTYGET, {}, &length.v); FAILED(hr)) {
        return hr;
    }
    LONG total = 0;
    for (LONG i = 0; i < AsLong(&length.v); ++i) {
        Value element;
        std::u16string index = vr::FromUtf8(std::to_string(i));
        if (HRESULT hr = CallByName(array, index.c_str(), DISPATCH_PROPERTYGET, {}, &element.v); FAILED(hr)) {
            return hr;
        }
        total += AsLong(&element.v);
    }
    VARIANT pushed;
    VariantInit(&pushed);
    pushed.vt = VT_I4;
    pushed.lVal = 99;
    Value ignored;
    if (HRESULT hr = CallByName(array, u"push", DISPATCH_METHOD, {pushed}, &ignored.v); FAILED(hr)) {
        return hr;
    }
    Value shifted;
    if (HRESULT hr = CallByName(array, u"shift", DISPATCH_METHOD, {}, &shifted.v); FAILED(hr)) {
        return hr;
    }
    result->vt = VT_I4;
    result->lVal = total;
    return S_OK;
}

HRESULT CallByName(IDispatch* object, const char16_t* member, WORD flags, std::vector<VARIANT> args,
                   VARIANT* result, EXCEPINFO* excep) {
    std::u16string name(member);
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    if (HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id); FAILED(hr)) {
        return hr;
    }
    std::reverse(args.begin(), args.end());
    DISPID putId = DISPID_PROPERTYPUT;
    bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    DISPPARAMS params{args.empty() ? nullptr : args.data(), put ? &putId : nullptr,
                      static_cast<UINT>(args.size()), put ? 1u : 0u};
    return object->Invoke(id, IID_NULL, 0, flags, &params, result, excep, nullptr);
}

} // namespace scripttest
