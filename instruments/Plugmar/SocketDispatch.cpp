// CSocket's dynamic IDispatch: names answered from the static members of ISocket first, then from the
// property table, and names ending in a digit as selectors; Invoke routes each DISPID.
#include "Socket.h"
#include "SocketErrors.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/base/text.h"

namespace plugmar {

namespace {

constexpr size_t kInvokeTraceBuffer = 5000;

bool EndsInDigit(std::u16string_view name) {
    return !name.empty() && name.back() >= u'0' && name.back() <= u'9';
}

std::u16string FlagsText(WORD flags) {
    return vr::FormatWString(u"METHOD=%d|PROPERTYGET=%d|PROPERTYPUT=%d|PROPERTYPUTREF=%d",
                             flags & DISPATCH_METHOD, flags & DISPATCH_PROPERTYGET,
                             flags & DISPATCH_PROPERTYPUT, flags & DISPATCH_PROPERTYPUTREF);
}

} // namespace

HRESULT CSocket::SocketGetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) {
        return E_POINTER;
    }
    if (adapterTypeInfo_) {
        *info = adapterTypeInfo_.Get();
        (*info)->AddRef();
        return S_OK;
    }
    TraceInfo(
        u"WARNING: GetTypeInfo() returning default typelibrary without loaded Adapter's type information.");
    return GetDispatchTable().GetTypeInfo(index, vr::uuidof<ISocket>(), true, info);
}

const DispProperty* CSocket::LookupProperty(std::u16string_view name) const {
    if (const DispProperty* found = properties_.Find(name)) {
        return found;
    }
    if (!deviceCollection_) {
        return nullptr;
    }
    // An alias of a device attribute names the attribute's property.
    BSTR asked = vr::AllocBstr(name);
    BSTR qualified = nullptr;
    HRESULT hr = deviceCollection_->GetAttributeQName(asked, &qualified);
    SysFreeString(asked);
    const DispProperty* found = nullptr;
    if (SUCCEEDED(hr) && SysStringLen(qualified) > 0) {
        std::u16string_view text = vr::BstrView(qualified);
        size_t colon = text.find(u':');
        found = properties_.Find(colon == std::u16string_view::npos ? text : text.substr(colon + 1));
    }
    SysFreeString(qualified);
    return found;
}

HRESULT CSocket::SocketGetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
    if (!names || !ids) {
        return E_POINTER;
    }
    HRESULT hr = GetDispatchTable().GetIDsOfNames(riid, names, count, lcid, ids);
    TraceInfo(u"(rgszNames='%s', cNames='%d'): rgdispid[0]='0x%X';", count && names[0] ? names[0] : u"",
              static_cast<int>(count), ids[0]);
    if (SUCCEEDED(hr)) {
        return hr;
    }
    pendingSelector_.clear();
    if (count > 1) {
        BeginMethod(u"CSocket::GetIDsOfNames()");
        return EndMethod(
            RecordFailure(DISP_E_UNKNOWNNAME, u"Requests with multiple Names are not supported."));
    }
    const std::u16string name(vr::U16View(names[0]));
    if (const DispProperty* property = LookupProperty(name)) {
        ids[0] = property->dispId;
        TraceInfo(u"Return: rgdispid[0]='0x%X';", ids[0]);
        return S_OK;
    }
    if (EndsInDigit(name)) {
        pendingSelector_ = name;
        ids[0] = RESERVED_SELECTOR_DISPID;
        TraceInfo(u"Return: RESERVED_SELECTOR_DISPID (rgdispid[0]='0x%X');", ids[0]);
        return S_OK;
    }
    ids[0] = DISPID_UNKNOWN;
    TraceInfo(u"Return: Name wasn't found (rgdispid[0]='0x%X');", ids[0]);
    return hr;
}

void CSocket::TraceInvoke(DISPID id, WORD flags, const DISPPARAMS* params, const VARIANT* result) const {
    TraceInfoOf([=] { return InvokeTraceText(id, flags, params, result); });
}

std::u16string CSocket::InvokeTraceText(DISPID id, WORD flags, const DISPPARAMS* params,
                                        const VARIANT* result) {
    std::u16string text =
        vr::FormatWString(u"CSocket::Invoke(): dispidMember='0x%X(%d)'; pvarResult='0x%X'; wFlags='", id, id,
                          static_cast<unsigned>(reinterpret_cast<uintptr_t>(result)));
    text += FlagsText(flags) + u"'; ";
    const UINT args = params ? params->cArgs : 0;
    const UINT named = params ? params->cNamedArgs : 0;
    text += vr::FormatWString(u"pdispparams='cArgs=%d|cNamedArgs=%d", static_cast<int>(args),
                              static_cast<int>(named));
    for (UINT i = args; i-- > 0 && text.size() < kInvokeTraceBuffer;) {
        text += vr::FormatWString(u"|rgvarg[%d]=", static_cast<int>(i)) + VariantToText(&params->rgvarg[i]);
    }
    for (UINT i = named; i-- > 0 && text.size() < kInvokeTraceBuffer;) {
        text += vr::FormatWString(u"|rgdispidNamedArgs[%d]=%d", static_cast<int>(i),
                                  params->rgdispidNamedArgs[i]);
    }
    text += u"';";
    // The line stays within its buffer: a long argument list is cut at its end.
    if (text.size() >= kInvokeTraceBuffer) {
        text.resize(kInvokeTraceBuffer - 4);
        text += u"...";
    }
    return text;
}

HRESULT CSocket::SocketInvoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* excep, UINT* argError) {
    TraceInvoke(id, flags, params, result);
    if (result) {
        (void)VariantClear(result);
    }
    if (id == RESERVED_SELECTOR_DISPID) {
        BeginMethod(u"CSocket::Invoke()");
        HRESULT hr = InvokeSelector(result);
        return FAILED(hr) ? EndInvoke(hr, excep) : hr;
    }
    const DispProperty* property = properties_.FindById(id);
    if (!property) {
        return GetDispatchTable().Invoke(this, id, riid, lcid, flags, params, result, excep, argError);
    }
    if (flags & ~(DISPATCH_METHOD | DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        return E_INVALIDARG;
    }
    if (riid != IID_NULL) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    BeginMethod(u"CSocket::Invoke()");
    HRESULT hr = InvokeProperty(*property, flags, params, result, argError);
    return FAILED(hr) ? EndInvoke(hr, excep) : hr;
}

HRESULT CSocket::InvokeSelector(VARIANT* result) {
    if (pendingSelector_.empty()) {
        return RecordInternalFailure(E_FAIL);
    }
    std::u16string selector;
    selector.swap(pendingSelector_);
    if (HRESULT hr = ApplySelector(std::move(selector)); FAILED(hr)) {
        return hr;
    }
    if (!result) {
        return S_OK; // the selection took effect; nobody asked for the socket
    }
    _variant_t self(static_cast<IDispatch*>(static_cast<ISocket*>(this)));
    if (FAILED(VariantCopy(result, &self))) {
        return RecordInternalFailure(E_FAIL);
    }
    return S_OK;
}

HRESULT CSocket::ApplySelector(std::u16string text) {
    while (!text.empty()) {
        std::u16string part;
        size_t colon = text.find(u':');
        if (colon == std::u16string::npos) {
            part.swap(text);
        } else {
            part = text.substr(0, colon);
            text.erase(0, colon + 1);
        }
        size_t digit = part.find_first_of(u"0123456789");
        if (digit == std::u16string::npos) {
            continue;
        }
        LONG number = 0;
        if (!TextToLong(&number, part.c_str() + digit, 0, true, false)) {
            continue;
        }
        const std::u16string prefix = part.substr(0, digit);
        const DispProperty* property =
            prefix.empty() ? properties_.DefaultSelector() : LookupProperty(prefix);
        if (!property || !(property->ptPropertyTypeFlags & kPropertySelector) || !deviceCollection_) {
            continue;
        }
        BSTR name = vr::AllocBstr(u"Device:" + property->name);
        _variant_t value(number);
        HRESULT hr = deviceCollection_->SetAttribute(name, value);
        SysFreeString(name);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

} // namespace plugmar
