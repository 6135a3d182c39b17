// IDispatch and its call records (DISPPARAMS, EXCEPINFO), and IEnumVARIANT.
#pragma once

#include "platform/com/unknown.h"
#include "platform/com/variant.h"

struct ITypeInfo;

struct DISPPARAMS {
    VARIANTARG* rgvarg; // arguments in reverse order: the last argument first
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_NEWENUM = -4;
inline constexpr DISPID DISPID_EVALUATE = -5;

struct IDispatch : IUnknown {
    [[nodiscard]] virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    [[nodiscard]] virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
    [[nodiscard]] virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
    [[nodiscard]] virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                         VARIANT* result, EXCEPINFO* excep, UINT* argError) = 0;

protected:
    ~IDispatch() = default;
};
VR_DECLARE_INTERFACE_ID(IDispatch, "00020400-0000-0000-C000-000000000046")

struct IEnumVARIANT : IUnknown {
    [[nodiscard]] virtual HRESULT Next(ULONG count, VARIANT* items, ULONG* fetched) = 0;
    [[nodiscard]] virtual HRESULT Skip(ULONG count) = 0;
    [[nodiscard]] virtual HRESULT Reset() = 0;
    [[nodiscard]] virtual HRESULT Clone(IEnumVARIANT** copy) = 0;

protected:
    ~IEnumVARIANT() = default;
};
VR_DECLARE_INTERFACE_ID(IEnumVARIANT, "00020404-0000-0000-C000-000000000046")
