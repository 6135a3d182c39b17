// The probe object's members and dispatch table, and the argument-list helpers of the dispatch tests.
#include "platform/com/tests/dispatch_probe.h"

#include "platform/base/text.h"

#include <algorithm>

namespace vrtest {

const vr::DispatchTable<CProbe>& CProbe::GetDispatchTable() {
    using D = vr::DispatchTable<CProbe>;
    using vr::Param;
    static const D table(
        u"IProbe",
        {
            D::Method<&CProbe::Subtract>(kSubtract, u"Subtract", {u"a", u"b"}),
            D::PropGet<&CProbe::get_Name>(kName, u"Name"),
            D::PropPut<&CProbe::put_Name>(kName, u"Name"),
            D::PropGet<&CProbe::get_Item>(kItem, u"Item", {u"index"}),
            D::PropPut<&CProbe::put_Item>(kItem, u"item", {u"index"}),
            D::PropGet<&CProbe::get_Visible>(kVisible, u"Visible", {Param(u"visible").As(VT_BOOL)}),
            D::PropPut<&CProbe::put_Visible>(kVisible, u"Visible", {Param(u"visible").As(VT_BOOL)}),
            D::Method<&CProbe::Format>(
                kFormat, u"Format",
                {u"text", Param(u"width").Optional(8), Param(u"upper").As(VT_BOOL).Optional(false)}),
            D::Method<&CProbe::Inspect>(kInspect, u"Inspect",
                                        {Param(u"value").Optional(), Param(u"count").Optional()}),
            D::Method<&CProbe::Split>(
                kSplit, u"Split", {u"text", u"head", Param(u"rest").Optional(), Param(u"found").As(VT_BOOL)}),
            D::Method<&CProbe::Fail>(kFail, u"Fail", {u"code", Param(u"description").Optional(u"")}),
            D::Method<&CProbe::Throw>(kThrow, u"Throw"),
            D::Method<&CProbe::CountItems>(kCountItems, u"CountItems", {u"items"}),
            D::Method<&CProbe::MakeWords>(kMakeWords, u"MakeWords",
                                          {u"count", Param(u"words").As(VT_ARRAY | VT_BSTR)}),
            D::Method<&CProbe::Pair>(kPair, u"Pair", {u"other"}),
            D::Method<&CProbe::Echo>(kEcho, u"Echo", {u"object"}),
            D::Method<&CProbe::Mix>(
                kMix, u"Mix", {u"c", u"b", u"us", u"ul", u"ll", u"f", Param(u"when").As(VT_DATE), u"money"}),
            D::PropGet<&CProbe::get_Serial>(kSerial, u"Serial"),
            D::PropGet<&CProbe::get_Partner>(kPartner, u"Partner"),
            D::PropPutRef<&CProbe::putref_Partner>(kPartner, u"Partner"),
        });
    return table;
}

HRESULT CProbe::Subtract(LONG a, LONG b, LONG* difference) {
    ++calls;
    *difference = a - b;
    return S_OK;
}

HRESULT CProbe::get_Name(BSTR* result) {
    *result = vr::AllocBstr(name);
    return S_OK;
}

HRESULT CProbe::put_Name(BSTR value) {
    name = vr::BstrView(value);
    return S_OK;
}

HRESULT CProbe::get_Item(LONG index, VARIANT* value) {
    auto it = items_.find(index);
    return it == items_.end() ? S_OK : VariantCopy(value, &it->second.Get());
}

HRESULT CProbe::put_Item(LONG index, const VARIANT& value) {
    items_[index] = vr::OwnedVariant(value);
    return S_OK;
}

HRESULT CProbe::get_Visible(VARIANT_BOOL* result) {
    *result = visible;
    return S_OK;
}

HRESULT CProbe::put_Visible(VARIANT_BOOL value) {
    visible = value;
    return S_OK;
}

HRESULT CProbe::Format(BSTR text, LONG width, VARIANT_BOOL upper, BSTR* formatted) {
    std::u16string out(vr::BstrView(text));
    if (upper == VARIANT_TRUE) {
        out = vr::ToUpper(out);
    }
    if (out.size() < static_cast<size_t>(std::max<LONG>(width, 0))) {
        out.insert(0, width - out.size(), u'.');
    }
    *formatted = vr::AllocBstr(out);
    return S_OK;
}

HRESULT CProbe::Inspect(VARIANT value, LONG count, BSTR* description) {
    std::u16string text = value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND
                              ? u"missing"
                              : u"vt=" + vr::FromUtf8(std::to_string(value.vt));
    text += u" count=" + vr::FromUtf8(std::to_string(count));
    *description = vr::AllocBstr(text);
    return S_OK;
}

HRESULT CProbe::Split(BSTR text, BSTR* head, LONG* rest, VARIANT_BOOL* found) {
    std::u16string_view whole = vr::BstrView(text);
    size_t at = whole.find(u'=');
    *found = at == std::u16string_view::npos ? VARIANT_FALSE : VARIANT_TRUE;
    // [in, out]: the old head is replaced (and freed), the rest count adds to what came in.
    SysFreeString(*head);
    *head = vr::AllocBstr(whole.substr(0, at));
    *rest += at == std::u16string_view::npos ? 0 : static_cast<LONG>(whole.size() - at - 1);
    return S_OK;
}

HRESULT CProbe::Fail(LONG code, BSTR description) {
    if (SysStringLen(description) > 0) {
        ICreateErrorInfo* create = nullptr;
        if (SUCCEEDED(CreateErrorInfo(&create))) {
            (void)create->SetSource(const_cast<LPOLESTR>(u"Probe"));
            (void)create->SetDescription(description);
            IErrorInfo* info = nullptr;
            if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
                (void)SetErrorInfo(0, info);
                info->Release();
            }
            create->Release();
        }
    }
    return code;
}

HRESULT CProbe::Throw() {
    throw std::runtime_error("thrown by a member");
}

HRESULT CProbe::CountItems(SAFEARRAY* items, LONG* count) {
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(items, 1, &lower)) || FAILED(SafeArrayGetUBound(items, 1, &upper))) {
        return E_INVALIDARG;
    }
    *count = upper - lower + 1;
    return S_OK;
}

HRESULT CProbe::MakeWords(LONG count, SAFEARRAY** words) {
    *words = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(count));
    for (LONG i = 0; i < count; ++i) {
        BSTR word = vr::AllocBstr(u"w" + vr::FromUtf8(std::to_string(i)));
        (void)SafeArrayPutElement(*words, &i, word);
        SysFreeString(word);
    }
    return S_OK;
}

HRESULT CProbe::Pair(IProbe* other, LONG* otherSerial) {
    return other ? other->get_Serial(otherSerial) : E_POINTER;
}

HRESULT CProbe::Echo(IDispatch* object, IUnknown** same) {
    *same = object;
    if (object) {
        object->AddRef();
    }
    return S_OK;
}

HRESULT CProbe::Mix(CHAR c, BYTE b, USHORT us, ULONG ul, LONGLONG ll, FLOAT f, DATE when, CY money,
                    BSTR* summary) {
    std::string text = std::to_string(c) + " " + std::to_string(b) + " " + std::to_string(us) + " " +
                       std::to_string(ul) + " " + std::to_string(ll) + " " + std::to_string(f) + " " +
                       std::to_string(when) + " " + std::to_string(money.int64);
    *summary = vr::AllocBstrUtf8(text);
    return S_OK;
}

HRESULT CProbe::get_Serial(LONG* serial) {
    *serial = serial_;
    return S_OK;
}

HRESULT CProbe::get_Partner(IDispatch** partner) {
    return partner_.CopyTo(partner);
}

HRESULT CProbe::putref_Partner(IDispatch* partner) {
    partner_ = partner;
    return S_OK;
}

// ---- Argument lists ----

CallArgs::CallArgs(std::initializer_list<VARIANT> positional) : positional_(positional) {}

CallArgs::~CallArgs() {
    for (VARIANT& v : positional_) {
        (void)VariantClear(&v);
    }
    for (VARIANT& v : named_) {
        (void)VariantClear(&v);
    }
}

CallArgs& CallArgs::Named(DISPID id, VARIANT value) {
    namedIds_.push_back(id);
    named_.push_back(value);
    return *this;
}

DISPPARAMS* CallArgs::Params() {
    // Layout: named arguments first, then the positional ones from the last to the first.
    laidOut_ = named_;
    laidOut_.insert(laidOut_.end(), positional_.rbegin(), positional_.rend());
    params_.rgvarg = laidOut_.empty() ? nullptr : laidOut_.data();
    params_.cArgs = static_cast<UINT>(laidOut_.size());
    params_.rgdispidNamedArgs = namedIds_.empty() ? nullptr : namedIds_.data();
    params_.cNamedArgs = static_cast<UINT>(namedIds_.size());
    return &params_;
}

VARIANT I4(LONG value) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT R8(double value) {
    VARIANT v;
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}

VARIANT Bool(bool value) {
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VARIANT Text(std::u16string_view text) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = vr::AllocBstr(text);
    return v;
}

VARIANT Missing() {
    VARIANT v;
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

VARIANT ByRef(VARTYPE vt, void* storage) {
    VARIANT v;
    v.vt = VT_BYREF | vt;
    v.byref = storage;
    return v;
}

VARIANT Object(IDispatch* object) {
    VARIANT v;
    v.vt = VT_DISPATCH;
    v.pdispVal = object;
    if (object) {
        object->AddRef();
    }
    return v;
}

VARIANT Array(SAFEARRAY* array) {
    VARTYPE vt = VT_EMPTY;
    (void)SafeArrayGetVartype(array, &vt);
    VARIANT v;
    v.vt = VT_ARRAY | vt;
    v.parray = array;
    return v;
}

// ---- Calls ----

CallOutcome::~CallOutcome() {
    (void)VariantClear(&result);
    vr::ClearExcepInfo(&excep);
}

std::u16string CallOutcome::ResultText() const {
    return result.vt == VT_BSTR ? std::u16string(vr::BstrView(result.bstrVal)) : std::u16string();
}

void Call(IDispatch* object, DISPID id, WORD flags, CallArgs& args, CallOutcome& outcome, bool wantExcep) {
    outcome.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, args.Params(), &outcome.result,
                                wantExcep ? &outcome.excep : nullptr, &outcome.argError);
}

} // namespace vrtest
