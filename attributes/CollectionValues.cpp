// Values: the check that validates and coerces, storing and mirroring, and the set, get and link operations.
#include "attributes/AttributeCollection.h"

#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"

namespace tabrisk {
namespace {

bool IsLinkableType(VARTYPE base) {
    return base == VT_I4 || base == VT_R8 || base == VT_BSTR || base == VT_BOOL;
}

// The filter declined, or has nothing of its own to do.
bool FilterDeclined(HRESULT hr) {
    return hr == S_FALSE || hr == E_NOTIMPL;
}

} // namespace

HRESULT CAttributeCollection::CheckValue(const Target& target, CheckMode mode, Variant* value, bool* valid) {
    if (target.own != nullptr) {
        return CheckOwnValue(*target.own, mode, value, valid);
    }
    Bstr name(target.name);
    if (mode == CheckMode::Store) {
        *valid = true;
        return target.contained->SetAttribute(name.Get(), value->Get());
    }
    // By reference, so that the contained collection hands its coerced form back into *value.
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_VARIANT;
    reference.pvarVal = &value->Get();
    VARIANT_BOOL answer = VARIANT_FALSE;
    HRESULT hr = target.contained->IsValidAttribute(name.Get(), reference, &answer);
    *valid = SUCCEEDED(hr) && answer != VARIANT_FALSE;
    return hr;
}

HRESULT CAttributeCollection::ValidateAgainstSchema(const AttributeRecord& record, CheckMode mode,
                                                    const Variant& value, bool* valid) {
    *valid = true;
    if (!record.validate || !record.schemaElement) {
        return S_OK;
    }
    std::u16string text;
    if (value.Type() == VT_BOOL) {
        text = value.Get().boolVal != VARIANT_FALSE ? u"true" : u"false";
    } else {
        Variant asText;
        if (FAILED(asText.CopyFrom(value.Get())) || FAILED(asText.ChangeType(VT_BSTR))) {
            SetTraceSite();
            TraceInfo(
                u"WARNING: '%s' object attribute wasn't validated according to it's schema because it can't "
                u"be converted to VT_BSTR type.",
                record.qName.c_str());
            return S_OK;
        }
        text = vr::BstrView(asText.Get().bstrVal);
    }
    HRESULT hr = record.schemaElement.type().isValid(text);
    if (FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr,
                          u"'%s' object attribute: the value '%s' couldn't be checked against its schema.",
                          record.qName.c_str(), text.c_str());
        return hr;
    }
    if (hr == S_OK) {
        return S_OK;
    }
    *valid = false;
    if (mode == CheckMode::Quiet) {
        return S_OK;
    }
    SetTraceSite();
    TraceError(u"The value '%s' is not valid according to the schema of the '%s' object attribute.",
               text.c_str(), record.qName.c_str());
    return E_INVALIDARG;
}

HRESULT CAttributeCollection::CheckOwnValue(AttributeRecord& record, CheckMode mode, Variant* value,
                                            bool* valid) {
    *valid = false;
    Variant work;
    if (FAILED(work.CopyFrom(value->Get()))) {
        return TraceInternalError();
    }
    // A number stands for the enumeration value that has it as its index.
    if (IsIntegerType(work.Type()) && record.hasEnumeration) {
        Variant number;
        if (SUCCEEDED(number.CopyFrom(work.Get())) && SUCCEEDED(number.ChangeType(VT_I4))) {
            if (int position = record.FindEnumerationIndex(number.Get().lVal); position >= 0) {
                if (FAILED(work.CopyFrom(record.validValues[position].Get()))) {
                    return TraceInternalError();
                }
            }
        }
    }
    if (HRESULT hr = ValidateAgainstSchema(record, mode, work, valid); FAILED(hr) || !*valid) {
        return hr;
    }
    Variant coerced;
    if (FAILED(coerced.CopyFrom(work.Get()))) {
        return TraceInternalError();
    }
    if (record.Type() != VT_EMPTY && FAILED(coerced.ChangeType(record.Type()))) {
        *valid = false;
        if (mode == CheckMode::Quiet) {
            *value = std::move(work);
            return S_OK;
        }
        SetTraceSite();
        TraceError(u"The value '%s' can't be coerced to '%s' type of the '%s' object attribute.",
                   TypedText(work.Get()).c_str(), VarTypeName(record.Type()).c_str(), record.qName.c_str());
        return E_INVALIDARG;
    }
    *valid = true;
    if (mode == CheckMode::Store) {
        if (HRESULT hr = StoreOwnValue(record, &coerced); FAILED(hr)) {
            return hr;
        }
    }
    *value = std::move(coerced);
    return S_OK;
}

HRESULT CAttributeCollection::MirrorCheck(const AttributeRecord& record, const VARIANT& value,
                                          Variant* mirrored) const {
    const VARTYPE base = record.linkedLocalVariable.vt & VT_TYPEMASK;
    if (base == VT_EMPTY) {
        return S_OK;
    }
    Variant converted;
    if (SUCCEEDED(converted.CopyFrom(value)) && SUCCEEDED(converted.ChangeType(base))) {
        *mirrored = std::move(converted);
        return S_OK;
    }
    if (int position = record.FindEnumeration(value); base == VT_I4 && position >= 0) {
        *mirrored = Variant::FromLong(record.enumIndexes[position]);
        return S_OK;
    }
    SetTraceSite();
    TraceError(
        u"The value '%s' of the '%s' object attribute can't be coerced to the LinkedLocalVariable of type "
        u"'%s'.",
        DisplayText(value).c_str(), record.qName.c_str(), VarTypeName(record.linkedLocalVariable.vt).c_str());
    return DISP_E_TYPEMISMATCH;
}

void CAttributeCollection::MirrorWrite(const AttributeRecord& record, Variant& mirrored) const {
    const VARIANT& link = record.linkedLocalVariable;
    switch (link.vt & VT_TYPEMASK) {
    case VT_I4:
        *link.plVal = mirrored.Get().lVal;
        break;
    case VT_R8:
        *link.pdblVal = mirrored.Get().dblVal;
        break;
    case VT_BSTR:
        SysFreeString(*link.pbstrVal);
        *link.pbstrVal = mirrored.Detach().bstrVal;
        break;
    case VT_BOOL:
        // The owner's flag is a 32-bit integer that receives 1 or 0.
        *static_cast<LONG*>(link.byref) = mirrored.Get().boolVal != VARIANT_FALSE ? 1 : 0;
        break;
    default:
        break;
    }
}

HRESULT CAttributeCollection::StoreOwnValue(AttributeRecord& record, Variant* value) {
    // The linked variable's form is made first: a value that cannot reach the owner's variable is not stored,
    // so the collection and its owner never disagree.
    Variant mirrored;
    if (HRESULT hr = MirrorCheck(record, value->Get(), &mirrored); FAILED(hr)) {
        return hr;
    }
    if (FAILED(record.value.CopyFrom(value->Get()))) {
        return TraceInternalError();
    }
    record.valueIsEmpty = false;
    MirrorWrite(record, mirrored);
    return S_OK;
}

HRESULT CAttributeCollection::SetAttributeWork(std::u16string_view name, const VARIANT& value) {
    Target target;
    if (HRESULT hr = ResolveExisting(name, &target); FAILED(hr)) {
        return hr;
    }
    const std::u16string key = target.own != nullptr ? vr::ToUpper(target.own->qName) : std::u16string();
    Variant checked;
    if (FAILED(checked.CopyFrom(value))) {
        return TraceInternalError();
    }
    bool valid = false;
    if (HRESULT hr = CheckValue(target, CheckMode::Quiet, &checked, &valid); FAILED(hr)) {
        return hr;
    }
    if (!valid) {
        // Storing mode tells why the value is refused.
        Variant refused;
        if (FAILED(refused.CopyFrom(value))) {
            return TraceInternalError();
        }
        return CheckValue(target, CheckMode::Store, &refused, &valid);
    }
    bool skip = false;
    if (HRESULT hr = PassFilterOnSet(target, &checked, &skip); FAILED(hr) || skip) {
        return hr;
    }
    if (target.contained != nullptr) {
        return CheckValue(target, CheckMode::Store, &checked, &valid);
    }
    // The filter may have changed the collection: look the record up again.
    target.own = FindRecord(key);
    if (target.own == nullptr) {
        return ReportNotFound(name);
    }
    if (HRESULT hr = CheckOwnValue(*target.own, CheckMode::Store, &checked, &valid); FAILED(hr)) {
        return hr;
    }
    return FinishOwnSet(key, checked);
}

HRESULT CAttributeCollection::PassFilterOnSet(const Target& target, Variant* value, bool* skip) {
    const std::u16string key = target.own != nullptr ? vr::ToUpper(target.own->qName) : std::u16string();
    Bstr name(target.name);
    if (filter_ != nullptr) {
        IDispatch* element = target.own != nullptr ? target.own->schemaElementObject.Get() : nullptr;
        HRESULT hr = filter_->AdjustSetAttribute(name.Get(), &value->Get(), element);
        if (FAILED(hr) && hr != E_NOTIMPL) {
            SetTraceSite();
            TraceInfo(
                u"WARNING: '%s' object attribute: IVrAttributeCollectionFilter::AdjustSetAttribute('%s') "
                u"return error %08lx.",
                target.name.c_str(), DisplayText(value->Get()).c_str(), hr);
            return hr;
        }
    }
    AttributeRecord* own = target.own != nullptr ? FindRecord(key) : nullptr;
    if (target.own != nullptr && own == nullptr) {
        return ReportNotFound(target.name);
    }
    if (own != nullptr && own->cache && !own->valueIsEmpty && ValuesEqual(value->Get(), own->value.Get())) {
        SetTraceSite();
        TraceInfo(
            u"Skip Setting '%s' object attribute, because the Set Value and Value in Cache are the same "
            u"('%s');",
            own->qName.c_str(), DisplayText(value->Get()).c_str());
        *skip = true;
        return S_OK;
    }
    if (filter_ == nullptr) {
        return S_OK;
    }
    if (own != nullptr && own->initialValuePending) {
        // The first set of a value the filter itself supplied does not go back to the filter.
        Variant initial = std::move(own->initialValue);
        own->initialValuePending = false;
        bool valid = false;
        if (SUCCEEDED(CheckOwnValue(*own, CheckMode::Quiet, &initial, &valid)) &&
            ValuesEqual(initial.Get(), value->Get())) {
            return S_OK;
        }
    }
    IDispatch* element = own != nullptr ? own->schemaElementObject.Get() : nullptr;
    HRESULT hr = filter_->SetAttributeValue(name.Get(), value->Get(), element);
    if (FAILED(hr) && hr != E_NOTIMPL) {
        SetTraceSite();
        TraceInfo(
            u"WARNING: '%s' object attribute: IVrAttributeCollectionFilter::SetAttributeValue('%s') return "
            u"error %08lx.",
            target.name.c_str(), DisplayText(value->Get()).c_str(), hr);
        return hr;
    }
    return S_OK;
}

HRESULT CAttributeCollection::FinishOwnSet(const std::u16string& key, const Variant& value) {
    AttributeRecord* record = FindRecord(key);
    if (record == nullptr) {
        return ReportNotFound(key);
    }
    if (record->IsRegistryRootKey()) {
        if (HRESULT hr = OpenRegistryKey(*record); FAILED(hr)) {
            return hr;
        }
    }
    if (loadNesting_ == 0) {
        SetTraceSite();
        TraceInfo(u"'%s' object attribute = '%s';", record->qName.c_str(), DisplayText(value.Get()).c_str());
    }
    return S_OK;
}

HRESULT CAttributeCollection::GetFromFilter(const Target& target, VARIANT* out, bool* answered) {
    *answered = false;
    const std::u16string key = vr::ToUpper(target.own->qName);
    Bstr name(target.name);
    Variant received;
    HRESULT result = filter_->GetAttributeValue(name.Get(), &received.Get(),
                                                target.own->schemaElementObject.Get(), VARIANT_FALSE);
    if (FilterDeclined(result)) {
        return S_OK;
    }
    *answered = true;
    if (FAILED(result)) {
        SetTraceSite();
        TraceInfo(
            u"WARNING: '%s' object attribute: IVrAttributeCollectionFilter::GetAttributeValue() returned "
            u"error %08lx.",
            target.name.c_str(), result);
        return result;
    }
    AttributeRecord* record = FindRecord(key);
    if (record == nullptr) {
        return ReportNotFound(target.name);
    }
    bool valid = false;
    if (HRESULT hr = CheckOwnValue(*record, CheckMode::Quiet, &received, &valid); FAILED(hr)) {
        return hr;
    }
    if (record->valueIsEmpty) {
        Variant stored;
        if (FAILED(stored.CopyFrom(received.Get()))) {
            return TraceInternalError();
        }
        if (HRESULT hr = CheckOwnValue(*record, CheckMode::Store, &stored, &valid); FAILED(hr)) {
            return hr;
        }
    }
    *out = received.Detach();
    return result;
}

HRESULT CAttributeCollection::GetAttributeWork(std::u16string_view name, VARIANT* out) {
    // The caller's VARIANT says whether it wants an enumeration value as its index; it owns nothing ([out]).
    const VARTYPE requested = out->vt;
    VariantInit(out);
    Target target;
    if (HRESULT hr = ResolveExisting(name, &target); FAILED(hr)) {
        return hr;
    }
    if (target.contained != nullptr) {
        Bstr resolved(target.name);
        out->vt = requested;
        return target.contained->GetAttribute(resolved.Get(), out);
    }
    AttributeRecord* record = target.own;
    if (filter_ != nullptr && (!record->cache || record->valueIsEmpty)) {
        bool answered = false;
        if (HRESULT hr = GetFromFilter(target, out, &answered); answered || FAILED(hr)) {
            return hr;
        }
    }
    if (record->valueIsEmpty) {
        SetTraceSite();
        TraceInfo(u"'%s' object attribute: Couldn't get Attribute's value, because it's Empty.",
                  record->qName.c_str());
        return S_OK;
    }
    Variant result;
    int position = record->FindEnumeration(record->value.Get());
    if (IsIntegerType(requested) && position >= 0) {
        result = Variant::FromLong(record->enumIndexes[position]);
        if (FAILED(result.ChangeType(requested))) {
            return TraceInternalError();
        }
    } else if (FAILED(result.CopyFrom(record->value.Get()))) {
        return TraceInternalError();
    }
    *out = result.Detach();
    return S_OK;
}

HRESULT CAttributeCollection::IsValidWork(std::u16string_view name, const VARIANT& value,
                                          VARIANT_BOOL* answer) {
    Target target;
    if (HRESULT hr = ResolveExisting(name, &target); FAILED(hr)) {
        return hr;
    }
    Variant checked;
    if (FAILED(checked.CopyFrom(value))) {
        return TraceInternalError();
    }
    bool valid = false;
    if (HRESULT hr = CheckValue(target, CheckMode::Quiet, &checked, &valid); FAILED(hr)) {
        return hr;
    }
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal != nullptr) {
        if (FAILED(VariantClear(value.pvarVal))) {
            return TraceInternalError();
        }
        *value.pvarVal = checked.Detach();
    }
    *answer = valid ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CAttributeCollection::ConvertToEnumIndexWork(std::u16string_view name, const VARIANT& value,
                                                     VARIANT* out) {
    VariantInit(out);
    Target target;
    if (HRESULT hr = ResolveExisting(name, &target); FAILED(hr)) {
        return hr;
    }
    if (target.contained != nullptr) {
        Bstr resolved(target.name);
        return target.contained->ConvertValueToEnumIndex(resolved.Get(), value, out);
    }
    Variant given;
    if (FAILED(given.CopyFrom(value))) {
        return TraceInternalError();
    }
    if (IsIntegerType(given.Type())) {
        *out = given.Detach();
        return S_OK;
    }
    int position = target.own->FindEnumeration(given.Get());
    if (position < 0) {
        SetTraceSite();
        TraceError(u"'%s' object attribute: value '%s' can't be coerced to Enum Index.",
                   target.own->qName.c_str(), DisplayText(given.Get()).c_str());
        return E_FAIL;
    }
    *out = Variant::FromLong(target.own->enumIndexes[position]).Detach();
    return S_OK;
}

HRESULT CAttributeCollection::SetAttributesWork(BSTR settings) {
    const int count = ParamCount(settings);
    for (int i = 0; i < count; ++i) {
        Bstr name;
        Bstr value;
        if (!GetParamAt(name.Put(), value.Put(), settings, i)) {
            continue;
        }
        Target target;
        if (HRESULT hr = Resolve(name.View(), &target); FAILED(hr)) {
            return hr;
        }
        if (!target) {
            SetTraceSite();
            TraceInfo(u"'%s' object attribute doesn't exist (tried to set to '%s');", name.Get(),
                      value.IsNull() ? u"" : value.Get());
            continue;
        }
        if (value.IsNull()) {
            SetTraceSite();
            TraceError(u"The '%s' object attribute doesn't have a value:\n\"%s\".", name.Get(),
                       settings != nullptr ? settings : u"");
            return E_INVALIDARG;
        }
        Variant text = Variant::FromText(value.View());
        if (HRESULT hr = SetAttributeWork(name.View(), text.Get()); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

HRESULT CAttributeCollection::LinkWork(std::u16string_view name, const VARIANT& variable) {
    Target target;
    if (HRESULT hr = ResolveExisting(name, &target); FAILED(hr)) {
        return hr;
    }
    if (target.contained != nullptr) {
        SetTraceSite();
        TraceError(u"Couldn't link the Contained '%s' object attribute to local variable.",
                   target.name.c_str());
        return E_FAIL;
    }
    AttributeRecord& record = *target.own;
    const VARTYPE base = variable.vt & VT_TYPEMASK;
    if (base == VT_EMPTY) {
        VariantInit(&record.linkedLocalVariable);
        return S_OK;
    }
    if ((variable.vt & VT_BYREF) == 0 || (variable.vt & VT_ARRAY) != 0 || !IsLinkableType(base) ||
        variable.byref == nullptr) {
        SetTraceSite();
        TraceError(u"Wrong value of varValue parameter for the '%s' object attribute.", record.qName.c_str());
        return E_INVALIDARG;
    }
    record.linkedLocalVariable = variable;
    // An attribute without a value has nothing to hand over yet: its first value will.
    if (record.valueIsEmpty) {
        return S_OK;
    }
    Variant mirrored;
    if (HRESULT hr = MirrorCheck(record, record.value.Get(), &mirrored); FAILED(hr)) {
        return hr;
    }
    MirrorWrite(record, mirrored);
    return S_OK;
}

} // namespace tabrisk
