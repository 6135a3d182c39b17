// Component categories: the manager that lists the classes implementing a category, read from the registry.
#pragma once

#include "platform/com/unknown.h"

using CATID = GUID;
using REFCATID = const GUID&;

// An enumeration of class (or category) identifiers.
struct IEnumGUID : IUnknown {
    [[nodiscard]] virtual HRESULT Next(ULONG count, GUID* items, ULONG* fetched) = 0;
    [[nodiscard]] virtual HRESULT Skip(ULONG count) = 0;
    [[nodiscard]] virtual HRESULT Reset() = 0;
    [[nodiscard]] virtual HRESULT Clone(IEnumGUID** copy) = 0;

protected:
    ~IEnumGUID() = default;
};
VR_DECLARE_INTERFACE_ID(IEnumGUID, "0002E000-0000-0000-C000-000000000046")
using IEnumCLSID = IEnumGUID;
using IEnumCATID = IEnumGUID;
inline const IID& IID_IEnumCLSID = vr::uuidof<IEnumGUID>();

struct IEnumCATEGORYINFO;

// Reads "Implemented Categories" and "Required Categories" under HKEY_CLASSES_ROOT\CLSID\{clsid}.
// Counts of (ULONG)-1 leave that side out of the test. Category descriptions are not kept here: the
// description methods answer E_NOTIMPL.
struct ICatInformation : IUnknown {
    [[nodiscard]] virtual HRESULT EnumCategories(LCID lcid, IEnumCATEGORYINFO** categories) = 0;
    [[nodiscard]] virtual HRESULT GetCategoryDesc(REFCATID catid, LCID lcid, LPOLESTR* description) = 0;
    // The classes that implement at least one of `implemented` and require none outside `required`.
    [[nodiscard]] virtual HRESULT EnumClassesOfCategories(ULONG implementedCount, const CATID* implemented,
                                                          ULONG requiredCount, const CATID* required,
                                                          IEnumCLSID** classes) = 0;
    // S_OK when the class passes the same test, S_FALSE when not.
    [[nodiscard]] virtual HRESULT IsClassOfCategories(REFCLSID clsid, ULONG implementedCount,
                                                      const CATID* implemented, ULONG requiredCount,
                                                      const CATID* required) = 0;
    [[nodiscard]] virtual HRESULT EnumImplCategoriesOfClass(REFCLSID clsid, IEnumCATID** categories) = 0;
    [[nodiscard]] virtual HRESULT EnumReqCategoriesOfClass(REFCLSID clsid, IEnumCATID** categories) = 0;

protected:
    ~ICatInformation() = default;
};
VR_DECLARE_INTERFACE_ID(ICatInformation, "0002E013-0000-0000-C000-000000000046")

inline constexpr CLSID CLSID_StdComponentCategoriesMgr = vr::MakeGuid("0002E005-0000-0000-C000-000000000046");
