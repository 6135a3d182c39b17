// The component-categories manager: ICatInformation over the registry's "Implemented Categories" keys.
#pragma once

#include "platform/com/object.h"
#include "platform/scripting/comcat.h"

#include <vector>

namespace vr::script {

// Thread contract: free threaded; every call reads the registry afresh and keeps no state.
class CategoryManager : public vr::ObjectRoot, public vr::CoClass<CategoryManager>, public ICatInformation {
public:
    using Interfaces = vr::InterfaceList<ICatInformation>;
    static constexpr bool kAggregatable = false;

    HRESULT EnumCategories(LCID lcid, IEnumCATEGORYINFO** categories) override;
    HRESULT GetCategoryDesc(REFCATID catid, LCID lcid, LPOLESTR* description) override;
    HRESULT EnumClassesOfCategories(ULONG implementedCount, const CATID* implemented, ULONG requiredCount,
                                    const CATID* required, IEnumCLSID** classes) override;
    HRESULT IsClassOfCategories(REFCLSID clsid, ULONG implementedCount, const CATID* implemented,
                                ULONG requiredCount, const CATID* required) override;
    HRESULT EnumImplCategoriesOfClass(REFCLSID clsid, IEnumCATID** categories) override;
    HRESULT EnumReqCategoriesOfClass(REFCLSID clsid, IEnumCATID** categories) override;
};

// A new enumeration over a copy of ids.
[[nodiscard]] HRESULT CreateGuidEnumeration(std::vector<GUID> ids, IEnumGUID** out);

} // namespace vr::script
