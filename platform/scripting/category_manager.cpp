// The component-categories manager: which registered classes implement or require which categories.
#include "platform/scripting/category_manager.h"

#include "platform/base/win32errors.h"
#include "platform/com/activation.h"
#include "platform/registry/registry.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <string>

namespace vr::script {
namespace {

constexpr ULONG kIgnore = static_cast<ULONG>(-1);

// The sub-key names of a key (empty when it cannot be opened).
std::vector<std::u16string> SubKeyNames(HKEY root, const std::u16string& path) {
    std::vector<std::u16string> names;
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        char16_t name[256];
        DWORD length = 256;
        if (RegEnumKeyEx(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

std::vector<GUID> CategoriesOfClass(REFCLSID clsid, const char16_t* kind) {
    std::vector<GUID> ids;
    for (const std::u16string& name :
         SubKeyNames(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidToString(clsid) + u"\\" + kind)) {
        GUID id{};
        if (GuidFromString(name, id)) {
            ids.push_back(id);
        }
    }
    return ids;
}

bool Contains(const CATID* list, ULONG count, const GUID& id) {
    return std::find(list, list + count, id) != list + count;
}

// At least one of `implemented` among the class's implemented categories, and every category the class
// requires listed in `required`.
bool ClassMatches(REFCLSID clsid, ULONG implementedCount, const CATID* implemented, ULONG requiredCount,
                  const CATID* required) {
    if (implementedCount != kIgnore) {
        std::vector<GUID> has = CategoriesOfClass(clsid, u"Implemented Categories");
        bool any = std::any_of(has.begin(), has.end(),
                               [&](const GUID& id) { return Contains(implemented, implementedCount, id); });
        if (!any) {
            return false;
        }
    }
    if (requiredCount != kIgnore) {
        std::vector<GUID> needs = CategoriesOfClass(clsid, u"Required Categories");
        return std::all_of(needs.begin(), needs.end(),
                           [&](const GUID& id) { return Contains(required, requiredCount, id); });
    }
    return true;
}

bool ValidList(ULONG count, const CATID* list) {
    return count == 0 || count == kIgnore || list;
}

class GuidEnumeration : public vr::ObjectRoot, public IEnumGUID {
public:
    using Interfaces = vr::InterfaceList<IEnumGUID>;
    static constexpr bool kAggregatable = false;

    void Set(std::vector<GUID> ids, size_t position) {
        ids_ = std::move(ids);
        position_ = position;
    }

    HRESULT Next(ULONG count, GUID* items, ULONG* fetched) override {
        if (!items || (count > 1 && !fetched)) {
            return E_POINTER;
        }
        ULONG taken = 0;
        while (taken < count && position_ < ids_.size()) {
            items[taken++] = ids_[position_++];
        }
        if (fetched) {
            *fetched = taken;
        }
        return taken == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        size_t left = ids_.size() - position_;
        position_ += std::min<size_t>(left, count);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumGUID** copy) override {
        if (!copy) {
            return E_POINTER;
        }
        vr::ComObjectPtr<GuidEnumeration> clone;
        if (HRESULT hr = vr::ComObject<GuidEnumeration>::Create(&clone); FAILED(hr)) {
            *copy = nullptr;
            return hr;
        }
        clone->Set(ids_, position_);
        *copy = clone.Detach();
        return S_OK;
    }

private:
    std::vector<GUID> ids_;
    size_t position_ = 0;
};

} // namespace

HRESULT CreateGuidEnumeration(std::vector<GUID> ids, IEnumGUID** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    vr::ComObjectPtr<GuidEnumeration> enumeration;
    if (HRESULT hr = vr::ComObject<GuidEnumeration>::Create(&enumeration); FAILED(hr)) {
        return hr;
    }
    enumeration->Set(std::move(ids), 0);
    *out = enumeration.Detach();
    return S_OK;
}

HRESULT CategoryManager::EnumCategories(LCID, IEnumCATEGORYINFO** categories) {
    if (categories) {
        *categories = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT CategoryManager::GetCategoryDesc(REFCATID, LCID, LPOLESTR* description) {
    if (description) {
        *description = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT CategoryManager::EnumClassesOfCategories(ULONG implementedCount, const CATID* implemented,
                                                 ULONG requiredCount, const CATID* required,
                                                 IEnumCLSID** classes) {
    if (!classes) {
        return E_POINTER;
    }
    *classes = nullptr;
    if (!ValidList(implementedCount, implemented) || !ValidList(requiredCount, required)) {
        return E_INVALIDARG;
    }
    std::vector<GUID> found;
    for (const std::u16string& name : SubKeyNames(HKEY_CLASSES_ROOT, u"CLSID")) {
        GUID clsid{};
        if (GuidFromString(name, clsid) &&
            ClassMatches(clsid, implementedCount, implemented, requiredCount, required)) {
            found.push_back(clsid);
        }
    }
    return CreateGuidEnumeration(std::move(found), classes);
}

HRESULT CategoryManager::IsClassOfCategories(REFCLSID clsid, ULONG implementedCount, const CATID* implemented,
                                             ULONG requiredCount, const CATID* required) {
    if (!ValidList(implementedCount, implemented) || !ValidList(requiredCount, required)) {
        return E_INVALIDARG;
    }
    return ClassMatches(clsid, implementedCount, implemented, requiredCount, required) ? S_OK : S_FALSE;
}

HRESULT CategoryManager::EnumImplCategoriesOfClass(REFCLSID clsid, IEnumCATID** categories) {
    return CreateGuidEnumeration(CategoriesOfClass(clsid, u"Implemented Categories"), categories);
}

HRESULT CategoryManager::EnumReqCategoriesOfClass(REFCLSID clsid, IEnumCATID** categories) {
    return CreateGuidEnumeration(CategoriesOfClass(clsid, u"Required Categories"), categories);
}

} // namespace vr::script
