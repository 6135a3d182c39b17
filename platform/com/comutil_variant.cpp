// _variant_t: the owning VARIANT whose conversions throw _com_error.
#include "platform/com/comutil.h"

#include "platform/base/text.h"

namespace {

void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) {
        _com_issue_error(hr);
    }
}

// A BSTR copy of text for a new VT_BSTR value; throws when memory runs out.
BSTR NewBstr(std::u16string_view text) {
    BSTR copy = vr::AllocBstr(text);
    if (!copy) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    return copy;
}

} // namespace

_variant_t::_variant_t() noexcept {
    VariantInit(this);
}

_variant_t::_variant_t(const VARIANT& source) : _variant_t() {
    ThrowIfFailed(VariantCopy(this, &source));
}

_variant_t::_variant_t(const VARIANT* source) : _variant_t() {
    if (!source) {
        _com_issue_error(E_POINTER);
    }
    ThrowIfFailed(VariantCopy(this, source));
}

_variant_t::_variant_t(const _variant_t& source) : _variant_t(static_cast<const VARIANT&>(source)) {}

_variant_t::_variant_t(_variant_t&& source) noexcept : tagVARIANT(source) {
    source.vt = VT_EMPTY;
}

_variant_t::_variant_t(VARIANT& source, bool copy) : _variant_t() {
    if (copy) {
        ThrowIfFailed(VariantCopy(this, &source));
    } else {
        static_cast<tagVARIANT&>(*this) = source;
        source.vt = VT_EMPTY;
    }
}

_variant_t::_variant_t(SHORT value, VARTYPE type) : _variant_t() {
    if (type == VT_I2) {
        iVal = value;
    } else if (type == VT_BOOL) {
        boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        _com_issue_error(E_INVALIDARG);
    }
    vt = type;
}

_variant_t::_variant_t(LONG value, VARTYPE type) : _variant_t() {
    if (type == VT_I4 || type == VT_INT) {
        lVal = value;
    } else if (type == VT_ERROR) {
        scode = value;
    } else if (type == VT_BOOL) {
        boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        _com_issue_error(E_INVALIDARG);
    }
    vt = type;
}

_variant_t::_variant_t(FLOAT value) : _variant_t() {
    vt = VT_R4;
    fltVal = value;
}

_variant_t::_variant_t(DOUBLE value, VARTYPE type) : _variant_t() {
    if (type != VT_R8 && type != VT_DATE) {
        _com_issue_error(E_INVALIDARG);
    }
    vt = type;
    dblVal = value;
}

_variant_t::_variant_t(CY value) : _variant_t() {
    vt = VT_CY;
    cyVal = value;
}

_variant_t::_variant_t(bool value) : _variant_t() {
    vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

_variant_t::_variant_t(BYTE value) : _variant_t() {
    vt = VT_UI1;
    bVal = value;
}

_variant_t::_variant_t(CHAR value) : _variant_t() {
    vt = VT_I1;
    cVal = value;
}

_variant_t::_variant_t(USHORT value) : _variant_t() {
    vt = VT_UI2;
    uiVal = value;
}

_variant_t::_variant_t(ULONG value) : _variant_t() {
    vt = VT_UI4;
    ulVal = value;
}

_variant_t::_variant_t(LONGLONG value) : _variant_t() {
    vt = VT_I8;
    llVal = value;
}

_variant_t::_variant_t(ULONGLONG value) : _variant_t() {
    vt = VT_UI8;
    ullVal = value;
}

_variant_t::_variant_t(const _bstr_t& value) : _variant_t() {
    bstrVal = value.copy();
    vt = VT_BSTR;
}

_variant_t::_variant_t(const OLECHAR* value) : _variant_t() {
    bstrVal = value ? NewBstr(vr::U16View(value)) : nullptr;
    vt = VT_BSTR;
}

_variant_t::_variant_t(const char* utf8) : _variant_t() {
    bstrVal = utf8 ? NewBstr(vr::FromUtf8(utf8)) : nullptr;
    vt = VT_BSTR;
}

_variant_t::_variant_t(IDispatch* value, bool addRef) : _variant_t() {
    vt = VT_DISPATCH;
    pdispVal = value;
    if (value && addRef) {
        value->AddRef();
    }
}

_variant_t::_variant_t(IUnknown* value, bool addRef) : _variant_t() {
    vt = VT_UNKNOWN;
    punkVal = value;
    if (value && addRef) {
        value->AddRef();
    }
}

_variant_t::~_variant_t() {
    (void)VariantClear(this);
}

_variant_t& _variant_t::operator=(const VARIANT& source) {
    return *this = _variant_t(source);
}

_variant_t& _variant_t::operator=(const _variant_t& source) {
    return *this = _variant_t(source);
}

_variant_t& _variant_t::operator=(_variant_t&& source) noexcept {
    if (this != &source) {
        (void)VariantClear(this);
        static_cast<tagVARIANT&>(*this) = source;
        source.vt = VT_EMPTY;
    }
    return *this;
}

_variant_t _variant_t::Converted(VARTYPE type) const {
    _variant_t result;
    ThrowIfFailed(VariantChangeType(&result, this, 0, type));
    return result;
}

template <class T>
T _variant_t::ValueAs(VARTYPE type, T tagVARIANT::*field) const {
    return vt == type ? this->*field : Converted(type).*field;
}

_variant_t::operator SHORT() const {
    return ValueAs(VT_I2, &tagVARIANT::iVal);
}
_variant_t::operator LONG() const {
    return ValueAs(VT_I4, &tagVARIANT::lVal);
}
_variant_t::operator FLOAT() const {
    return ValueAs(VT_R4, &tagVARIANT::fltVal);
}
_variant_t::operator DOUBLE() const {
    return ValueAs(VT_R8, &tagVARIANT::dblVal);
}
_variant_t::operator CY() const {
    return ValueAs(VT_CY, &tagVARIANT::cyVal);
}
_variant_t::operator bool() const {
    return ValueAs(VT_BOOL, &tagVARIANT::boolVal) != VARIANT_FALSE;
}
_variant_t::operator BYTE() const {
    return ValueAs(VT_UI1, &tagVARIANT::bVal);
}
_variant_t::operator USHORT() const {
    return ValueAs(VT_UI2, &tagVARIANT::uiVal);
}
_variant_t::operator ULONG() const {
    return ValueAs(VT_UI4, &tagVARIANT::ulVal);
}
_variant_t::operator LONGLONG() const {
    return ValueAs(VT_I8, &tagVARIANT::llVal);
}
_variant_t::operator ULONGLONG() const {
    return ValueAs(VT_UI8, &tagVARIANT::ullVal);
}

_variant_t::operator _bstr_t() const {
    if (vt == VT_BSTR) {
        return _bstr_t(bstrVal, true);
    }
    _variant_t text = Converted(VT_BSTR);
    return _bstr_t(std::exchange(text.bstrVal, nullptr), false);
}

_variant_t::operator IDispatch*() const {
    if (vt == VT_DISPATCH) {
        if (pdispVal) {
            pdispVal->AddRef();
        }
        return pdispVal;
    }
    _variant_t object = Converted(VT_DISPATCH);
    return std::exchange(object.pdispVal, nullptr);
}

_variant_t::operator IUnknown*() const {
    if (vt == VT_UNKNOWN) {
        if (punkVal) {
            punkVal->AddRef();
        }
        return punkVal;
    }
    _variant_t object = Converted(VT_UNKNOWN);
    return std::exchange(object.punkVal, nullptr);
}

void _variant_t::ChangeType(VARTYPE type, const _variant_t* source) {
    *this = (source ? source : this)->Converted(type);
}

void _variant_t::Clear() {
    ThrowIfFailed(VariantClear(this));
}

void _variant_t::Attach(VARIANT& source) {
    if (&source == this) {
        return;
    }
    Clear();
    static_cast<tagVARIANT&>(*this) = source;
    source.vt = VT_EMPTY;
}

VARIANT _variant_t::Detach() noexcept {
    VARIANT value = *this;
    vt = VT_EMPTY;
    return value;
}

void _variant_t::SetString(const char* utf8) {
    *this = _variant_t(utf8);
}
