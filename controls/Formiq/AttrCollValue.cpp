// The values of one attribute collection: reading, storing and checking one attribute, and choosing the
// attributes a form shows.
#include "AttrCollValue.h"

#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/com/comutil.h"
#include "platform/com/variant.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace {

// The value as text; false when it is empty or does not convert.
bool VariantText(const VARIANT& value, std::string* text) {
    if (value.vt == VT_EMPTY) {
        return false;
    }
    _variant_t converted;
    if (FAILED(VariantChangeType(&converted, &value, 0, VT_BSTR))) {
        return false;
    }
    *text = vr::BstrToUtf8(converted.bstrVal);
    return true;
}

void TraceNotACollection(int line) {
    SetTraceSite();
    TraceError(u"%s: %hs (%d)",
               u"Passed pVrAttributeCollection object doesn't implement IVrAttributeCollection interface.",
               "AttrCollValue", line);
}

// Takes every item of the name out of the text.
void RemoveItems(BSTR* text, const std::u16string& name) {
    while (FindParamValue(nullptr, nullptr, text, name.c_str())) {
        // one item less each time: the last of the name is removed until none is left
    }
}

vr::ComPtr<IVrAttributeCollection> CollectionOf(IUnknown* object) {
    vr::ComPtr<IVrAttributeCollection> collection;
    if (object) {
        (void)object->QueryInterface(IID_IVrAttributeCollection, collection.PutVoid()); // null says it all
    }
    return collection;
}

} // namespace

std::string ScopeOf(const std::string& qualifiedName) {
    size_t colon = qualifiedName.find(':');
    return colon == std::string::npos ? std::string() : qualifiedName.substr(0, colon);
}

CAttrCollValue::CAttrCollValue(IUnknown* collection, const char* name)
    : CAttrValue(name, nullptr), collection_(CollectionOf(collection)) {
    if (!collection_) {
        TraceNotACollection(__LINE__);
        return;
    }
    _bstr_t asked(name ? name : "");
    BSTR qualified = nullptr;
    if (SUCCEEDED(collection_->GetAttributeQName(asked, &qualified)) && qualified) {
        SetNameText(vr::BstrToUtf8(qualified).c_str());
    }
    SysFreeString(qualified);
    SetValueText(ReadValueText().c_str());
    _variant_t valid;
    _bstr_t qname(GetNameText());
    if (FAILED(collection_->GetAttributeValidValues(qname, &valid)) || valid.vt != (VT_ARRAY | VT_VARIANT) ||
        SafeArrayGetDim(valid.parray) != 1) {
        return; // an attribute without an enumeration offers nothing to choose
    }
    LONG lower = 0;
    LONG upper = -1;
    (void)SafeArrayGetLBound(valid.parray, 1, &lower); // a one-dimensional array has both bounds
    (void)SafeArrayGetUBound(valid.parray, 1, &upper);
    for (LONG index = lower; index <= upper; ++index) {
        _variant_t element;
        std::string text;
        if (SUCCEEDED(SafeArrayGetElement(valid.parray, &index, &element)) && VariantText(element, &text)) {
            AddValue(text.c_str());
        }
    }
}

std::string CAttrCollValue::ReadValueText() {
    _variant_t value;
    std::string text;
    _bstr_t qname(GetNameText());
    if (!collection_ || FAILED(collection_->GetAttribute(qname, &value)) || !VariantText(value, &text)) {
        return kUndefined;
    }
    return text;
}

HRESULT CAttrCollValue::StoreValue(const char* text) {
    SetValueText(text);
    if (std::strcmp(GetValueText(), kUndefined) == 0) {
        return S_OK;
    }
    if (!collection_) {
        TraceNotACollection(__LINE__);
        return E_NOINTERFACE;
    }
    _bstr_t qname(GetNameText());
    _variant_t value(GetValueText());
    return collection_->SetAttribute(qname, value);
}

HRESULT CAttrCollValue::RetrieveValue() {
    SetValueText(ReadValueText().c_str());
    return S_OK;
}

int CAttrCollValue::CompareValue(const char* text, std::string* completion) {
    (void)completion; // the collection offers no completions
    if (!text || std::strcmp(text, kUndefined) == 0) {
        return -1;
    }
    if (!collection_) {
        return 0;
    }
    _bstr_t qname(GetNameText());
    _variant_t value(text);
    VARIANT_BOOL valid = VARIANT_FALSE;
    if (FAILED(collection_->IsValidAttribute(qname, value, &valid))) {
        return 0;
    }
    return valid != VARIANT_FALSE ? 1 : 0;
}

bool CAttrCollValues::Init(IUnknown* collection, const std::string& setup, const std::string& options) {
    collection_ = CollectionOf(collection);
    if (!collection_) {
        TraceNotACollection(__LINE__);
        return false;
    }
    std::u16string optionText = vr::FromUtf8(options);
    BSTR scopesText = nullptr;
    std::vector<std::string> scopes;
    if (GetParam(nullptr, &scopesText, optionText.c_str(), u"IncludeAttributeQualifiers") && scopesText) {
        std::istringstream words(vr::BstrToUtf8(scopesText));
        for (std::string scope; words >> scope;) {
            scopes.push_back(scope);
        }
    }
    SysFreeString(scopesText);

    _bstr_t setupBstr(setup.c_str());
    // Items naming no attribute of the collection belong to the supplementary setup: the collection's
    // complaint about them is expected and its valid items are set all the same.
    (void)collection_->SetAttributes(setupBstr);

    BSTR rest = vr::AllocBstrUtf8(setup);
    LONG count = 0;
    (void)collection_->get_Count(&count); // a collection that cannot count shows no rows
    for (LONG index = 0; index < count; ++index) {
        vr::ComPtr<IVrAttribute> attribute;
        BSTR name = nullptr;
        if (FAILED(collection_->get_Item(index, attribute.Put())) || !attribute ||
            FAILED(attribute->get_Name(&name))) {
            continue; // an attribute that cannot be read gets no row
        }
        std::string qualified = vr::BstrToUtf8(name);
        SysFreeString(name);
        if (!scopes.empty() && std::find(scopes.begin(), scopes.end(), ScopeOf(qualified)) == scopes.end()) {
            continue;
        }
        Add(new CAttrCollValue(collection_.Get(), qualified.c_str()));
        std::u16string full = vr::FromUtf8(qualified);
        std::u16string local = full.substr(full.find(u':') == std::u16string::npos ? 0 : full.find(u':') + 1);
        RemoveItems(&rest, full);
        RemoveItems(&rest, local);
    }
    // An item the writer cannot quote keeps the text as it was: nothing of it is lost.
    (void)GetParamRaw(&rest);
    Supplementary = vr::BstrToUtf8(rest);
    SysFreeString(rest);
    return true;
}
