// Rich error information: the per-thread error object a failing method leaves for its caller.
#pragma once

#include "platform/com/dispatch.h"

struct IErrorInfo : IUnknown {
    [[nodiscard]] virtual HRESULT GetGUID(GUID* guid) = 0;
    [[nodiscard]] virtual HRESULT GetSource(BSTR* source) = 0;
    [[nodiscard]] virtual HRESULT GetDescription(BSTR* description) = 0;
    [[nodiscard]] virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
    [[nodiscard]] virtual HRESULT GetHelpContext(DWORD* helpContext) = 0;

protected:
    ~IErrorInfo() = default;
};
VR_DECLARE_INTERFACE_ID(IErrorInfo, "1CF2B120-547D-101B-8E65-08002B2BD119")

struct ICreateErrorInfo : IUnknown {
    [[nodiscard]] virtual HRESULT SetGUID(REFGUID guid) = 0;
    [[nodiscard]] virtual HRESULT SetSource(LPOLESTR source) = 0;
    [[nodiscard]] virtual HRESULT SetDescription(LPOLESTR description) = 0;
    [[nodiscard]] virtual HRESULT SetHelpFile(LPOLESTR helpFile) = 0;
    [[nodiscard]] virtual HRESULT SetHelpContext(DWORD helpContext) = 0;

protected:
    ~ICreateErrorInfo() = default;
};
VR_DECLARE_INTERFACE_ID(ICreateErrorInfo, "22F03340-547D-101B-8E65-08002B2BD119")

struct ISupportErrorInfo : IUnknown {
    [[nodiscard]] virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;

protected:
    ~ISupportErrorInfo() = default;
};
VR_DECLARE_INTERFACE_ID(ISupportErrorInfo, "DF0B3D60-548F-101B-8E65-08002B2BD119")

// Per-thread error object, as COM keeps it: SetErrorInfo replaces it (null clears), GetErrorInfo hands it
// over and clears it (S_FALSE and null when there is none).
[[nodiscard]] HRESULT CreateErrorInfo(ICreateErrorInfo** info);
[[nodiscard]] HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
[[nodiscard]] HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);
