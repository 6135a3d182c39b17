// Questions about one attribute (valid values, numeric identifier, class, qualified name, type) and the
// enumeration of attributes (Count, Item, _NewEnum).
#include "attributes/AttributeCollection.h"

#include "attributes/Attribute.h"
#include "attributes/EnumVariant.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"

namespace tabrisk {
namespace {

// The values as a one-dimensional SAFEARRAY of VARIANT with lower bound 0.
HRESULT MakeArray(const std::vector<Variant>& values, VARIANT* out) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    if (array == nullptr) {
        return E_OUTOFMEMORY;
    }
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        if (HRESULT hr = SafeArrayPutElement(array, &i, &values[i].Get()); FAILED(hr)) {
            static_cast<void>(SafeArrayDestroy(array));
            return hr;
        }
    }
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
    return S_OK;
}

HRESULT CopyText(std::u16string_view text, BSTR* out) {
    *out = vr::AllocBstr(text);
    return *out != nullptr || text.empty() ? S_OK : E_OUTOFMEMORY;
}

} // namespace

HRESULT CAttributeCollection::GetAttributeValidValues(BSTR bstrAttrName, VARIANT* pvarValues) {
    SetTraceMethodName(u"CAttributeCollection::GetAttributeValidValues()");
    if (pvarValues == nullptr) {
        return E_POINTER;
    }
    VariantInit(pvarValues);
    Target target;
    HRESULT hr = ResolveExisting(vr::BstrView(bstrAttrName), &target);
    if (SUCCEEDED(hr)) {
        Bstr name(target.name);
        hr = target.own != nullptr ? MakeArray(target.own->validValues, pvarValues)
                                   : target.contained->GetAttributeValidValues(name.Get(), pvarValues);
    }
    return Finish(hr);
}

HRESULT CAttributeCollection::GetAttributeNumID(BSTR bstrAttrName, LONG* plNumID) {
    SetTraceMethodName(u"CAttributeCollection::GetAttributeNumID()");
    if (plNumID == nullptr) {
        return E_POINTER;
    }
    Target target;
    HRESULT hr = ResolveExisting(vr::BstrView(bstrAttrName), &target);
    if (SUCCEEDED(hr)) {
        Bstr name(target.name);
        if (target.own != nullptr) {
            *plNumID = target.own->numId;
        } else {
            hr = target.contained->GetAttributeNumID(name.Get(), plNumID);
        }
    }
    return Finish(hr);
}

HRESULT CAttributeCollection::GetAttributeNumIDName(LONG lNumID, BSTR* pbstrAttrName) {
    SetTraceMethodName(u"CAttributeCollection::GetAttributeNumIDName()");
    if (pbstrAttrName == nullptr) {
        return E_POINTER;
    }
    *pbstrAttrName = nullptr;
    for (const auto& [key, record] : attributes_) {
        if (record.numId == lNumID) {
            return Finish(CopyText(record.qName, pbstrAttrName));
        }
    }
    return S_OK;
}

HRESULT CAttributeCollection::GetAttributeClass(BSTR bstrAttrName, BSTR* pbstrClass) {
    SetTraceMethodName(u"CAttributeCollection::GetAttributeClass()");
    if (pbstrClass == nullptr) {
        return E_POINTER;
    }
    *pbstrClass = nullptr;
    Target target;
    HRESULT hr = ResolveExisting(vr::BstrView(bstrAttrName), &target);
    if (SUCCEEDED(hr)) {
        Bstr name(target.name);
        hr = target.own != nullptr ? CopyText(target.own->className, pbstrClass)
                                   : target.contained->GetAttributeClass(name.Get(), pbstrClass);
    }
    return Finish(hr);
}

HRESULT CAttributeCollection::GetAttributeQName(BSTR bstrAttrName, BSTR* pbstrQName) {
    SetTraceMethodName(u"CAttributeCollection::GetAttributeQName()");
    if (pbstrQName == nullptr) {
        return E_POINTER;
    }
    *pbstrQName = nullptr;
    Target target;
    HRESULT hr = Resolve(vr::BstrView(bstrAttrName), &target);
    if (SUCCEEDED(hr)) {
        Bstr name(target.name);
        if (target.own != nullptr) {
            hr = CopyText(target.own->qName, pbstrQName);
        } else if (target.contained != nullptr) {
            hr = target.contained->GetAttributeQName(name.Get(), pbstrQName);
        } else {
            hr = CopyText(u"", pbstrQName); // not found: an empty name, and no failure
        }
    }
    return Finish(hr);
}

HRESULT CAttributeCollection::GetAttributeType(BSTR bstrAttrName, VARIANT* pvarType) {
    SetTraceMethodName(u"CAttributeCollection::GetAttributeType()");
    if (pvarType == nullptr) {
        return E_POINTER;
    }
    VariantInit(pvarType);
    Target target;
    HRESULT hr = ResolveExisting(vr::BstrView(bstrAttrName), &target);
    if (SUCCEEDED(hr)) {
        Bstr name(target.name);
        if (target.contained != nullptr) {
            hr = target.contained->GetAttributeType(name.Get(), pvarType);
        } else if (FAILED(VariantCopy(pvarType, &target.own->value.Get()))) {
            hr = TraceInternalError();
        }
    }
    return Finish(hr);
}

LONG CAttributeCollection::CountWork() {
    LONG count = 0;
    for (const auto& [key, record] : attributes_) {
        if (!record.IsRegistryRootKey()) {
            ++count;
        }
    }
    ContainedWalk walk(&walkingContained_);
    if (!walk.Entered()) {
        return count;
    }
    for (const ContainedCollectionEntry& entry : contained_) {
        LONG contained = 0;
        if (entry.visible && SUCCEEDED(entry.collection->get_Count(&contained))) {
            count += contained;
        }
    }
    return count;
}

HRESULT CAttributeCollection::ItemWork(LONG index, IVrAttribute** attribute) {
    if (index >= 0) {
        LONG left = index;
        for (const auto& [key, record] : attributes_) {
            if (record.IsRegistryRootKey()) {
                continue;
            }
            if (left-- == 0) {
                return CAttribute::Create(record.name, record.qName, record.value.Get(), attribute);
            }
        }
        ContainedWalk walk(&walkingContained_);
        for (size_t i = 0; walk.Entered() && i < contained_.size(); ++i) {
            LONG count = 0;
            if (!contained_[i].visible || FAILED(contained_[i].collection->get_Count(&count))) {
                continue;
            }
            if (left < count) {
                return contained_[i].collection->get_Item(left, attribute);
            }
            left -= count;
        }
    }
    return TraceInternalError();
}

HRESULT CAttributeCollection::NewEnumWork(IUnknown** enumerator) {
    const LONG count = CountWork();
    std::vector<Variant> items;
    items.reserve(count);
    for (LONG i = 0; i < count; ++i) {
        IVrAttribute* attribute = nullptr;
        if (HRESULT hr = ItemWork(i, &attribute); FAILED(hr)) {
            static_cast<void>(TraceInternalError());
            return hr;
        }
        Variant item;
        item.Get().vt = VT_DISPATCH;
        item.Get().pdispVal = attribute; // IVrAttribute is an IDispatch; the reference moves into the item
        items.push_back(std::move(item));
    }
    IEnumVARIANT* made = nullptr;
    if (HRESULT hr = CEnumVariant::Create(std::move(items), &made); FAILED(hr)) {
        return hr;
    }
    *enumerator = made;
    return S_OK;
}

} // namespace tabrisk
