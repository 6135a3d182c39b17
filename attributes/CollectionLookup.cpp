// Name lookup: aliases, qualified names, short names and contained collections; adding aliases and contained
// collections.
#include "attributes/AttributeCollection.h"

#include "common/trace/Trace.h"
#include "platform/base/text.h"

#include <set>

namespace tabrisk {
namespace {

// The text before the first ":" (empty without one) and the text after it (the whole without one).
std::u16string_view ScopeOf(std::u16string_view name) {
    size_t colon = name.find(u':');
    return colon == std::u16string_view::npos ? std::u16string_view() : name.substr(0, colon);
}
std::u16string_view LocalOf(std::u16string_view name) {
    size_t colon = name.find(u':');
    return colon == std::u16string_view::npos ? name : name.substr(colon + 1);
}

} // namespace

AttributeRecord* CAttributeCollection::FindRecord(const std::u16string& upperName) {
    auto found = attributes_.find(upperName);
    return found == attributes_.end() ? nullptr : &found->second;
}

HRESULT CAttributeCollection::FollowAliases(std::u16string* upperName) const {
    std::set<std::u16string> followed;
    for (auto alias = aliases_.find(*upperName); alias != aliases_.end(); alias = aliases_.find(*upperName)) {
        std::u16string referred = vr::ToUpper(alias->second);
        // An alias that names itself (as its local part does when it equals the referred name) stands for
        // the attribute of that name.
        if (referred == *upperName) {
            return S_OK;
        }
        followed.insert(*upperName);
        if (followed.count(referred) != 0) {
            SetTraceSite();
            TraceError(u"The object attribute's alias '%s' leads back to itself.", upperName->c_str());
            return E_INVALIDARG;
        }
        *upperName = std::move(referred);
    }
    return S_OK;
}

HRESULT CAttributeCollection::Resolve(std::u16string_view name, Target* target) {
    *target = Target();
    if (name.empty()) {
        return S_OK;
    }
    std::u16string upper = vr::ToUpper(name);
    if (HRESULT hr = FollowAliases(&upper); FAILED(hr)) {
        return hr;
    }
    target->name = upper;
    if (AttributeRecord* record = FindRecord(upper)) {
        target->own = record;
        return S_OK;
    }
    if (HRESULT hr = ResolveShortName(upper, target); FAILED(hr) || *target) {
        return hr;
    }
    return ResolveContained(upper, target);
}

HRESULT CAttributeCollection::ResolveShortName(const std::u16string& upperName, Target* target) {
    std::u16string_view scope = ScopeOf(upperName);
    std::u16string_view local = LocalOf(upperName);
    AttributeRecord* match = nullptr;
    for (auto& [key, record] : attributes_) {
        if (!vr::EqualsNoCase(record.name, local)) {
            continue;
        }
        if (!scope.empty() && !vr::EqualsNoCase(ScopeOf(record.qName), scope)) {
            continue;
        }
        if (match != nullptr) {
            SetTraceSite();
            TraceError(u"The object attribute's name '%s' is ambiguous.", upperName.c_str());
            return TYPE_E_AMBIGUOUSNAME;
        }
        match = &record;
    }
    if (match != nullptr) {
        target->own = match;
        target->name = vr::ToUpper(match->qName);
    }
    return S_OK;
}

HRESULT CAttributeCollection::ResolveContained(const std::u16string& upperName, Target* target) {
    ContainedWalk walk(&walkingContained_);
    if (!walk.Entered()) {
        return S_OK;
    }
    BSTR name = vr::AllocBstr(upperName);
    HRESULT result = S_OK;
    for (const ContainedCollectionEntry& entry : contained_) {
        VARIANT_BOOL has = VARIANT_FALSE;
        if (HRESULT hr = entry.collection->HasAttribute(name, &has); FAILED(hr)) {
            result = hr;
            break;
        }
        if (has != VARIANT_FALSE) {
            target->contained = entry.collection;
            break;
        }
    }
    SysFreeString(name);
    return result;
}

HRESULT CAttributeCollection::ReportNotFound(std::u16string_view name) {
    SetTraceSite();
    TraceError(u"The '%s' object attribute doesn't exist.", std::u16string(name).c_str());
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT CAttributeCollection::ResolveExisting(std::u16string_view name, Target* target) {
    if (HRESULT hr = Resolve(name, target); FAILED(hr)) {
        return hr;
    }
    return *target ? S_OK : ReportNotFound(name);
}

HRESULT CAttributeCollection::AddAliasWork(std::u16string_view alias, std::u16string_view referred) {
    if (alias.empty() || referred.empty() || LocalOf(alias).empty()) {
        SetTraceSite();
        TraceError(u"Wrong value of entry parameter(s): bstrAliasName = '%s'; bstrRefferedName = '%s'.",
                   std::u16string(alias).c_str(), std::u16string(referred).c_str());
        return E_INVALIDARG;
    }
    std::u16string key = vr::ToUpper(alias);
    std::u16string localKey = vr::ToUpper(LocalOf(alias));
    aliases_[key] = std::u16string(referred);
    if (localKey != key) {
        aliases_[localKey] = std::u16string(referred);
    }
    return S_OK;
}

HRESULT CAttributeCollection::CheckContainedNames(IVrAttributeCollection* collection) {
    LONG count = 0;
    if (HRESULT hr = collection->get_Count(&count); FAILED(hr)) {
        return hr;
    }
    for (LONG i = 0; i < count; ++i) {
        vr::ComPtr<IVrAttribute> attribute;
        if (HRESULT hr = collection->get_Item(i, attribute.Put()); FAILED(hr)) {
            return hr;
        }
        BSTR name = nullptr;
        if (HRESULT hr = attribute->get_Name(&name); FAILED(hr)) {
            return hr;
        }
        std::u16string text(vr::BstrView(name));
        SysFreeString(name);
        Target target;
        if (HRESULT hr = Resolve(text, &target); FAILED(hr)) {
            return hr;
        }
        if (target) {
            SetTraceSite();
            TraceError(u"The contained '%s' object attribute has multiple definitions.", text.c_str());
            return TYPE_E_NAMECONFLICT;
        }
    }
    return S_OK;
}

HRESULT CAttributeCollection::AddContainedWork(IVrAttributeCollection* collection,
                                               const VARIANT& visibility) {
    if (HRESULT hr = CheckContainedNames(collection); FAILED(hr)) {
        return hr;
    }
    ContainedCollectionEntry entry;
    entry.collection = collection;
    // Whatever value the caller gives, giving one at all hides the contained attributes from enumeration.
    entry.visible = visibility.vt == VT_ERROR;
    vr::ComPtr<IUnknown> containedBase;
    vr::ComPtr<IUnknown> ownBase;
    static_cast<void>(collection->QueryInterface(containedBase.Put()));
    static_cast<void>(GetControllingUnknown()->QueryInterface(ownBase.Put()));
    if (containedBase && containedBase == ownBase) {
        SetTraceSite();
        TraceInfo(
            u"Didn't call ContainedAttributeCollection::AddRef(), since Contained & Container Attributes "
            u"have the same 'base' IUnknown (aggregated).");
    } else {
        collection->AddRef();
        entry.referenced = true;
    }
    contained_.push_back(entry);
    return S_OK;
}

} // namespace tabrisk
