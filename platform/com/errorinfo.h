// Rich error information: the per-thread error object a failing method leaves for its caller.
#pragma once

#include "platform/com/dispatch.h"

#include <string>
#include <string_view>

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
// Threads: each thread has its own slot; what a slot holds is released when its thread ends. The objects
// CreateErrorInfo makes may be read and written from any thread.
[[nodiscard]] HRESULT CreateErrorInfo(ICreateErrorInfo** info);
[[nodiscard]] HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
[[nodiscard]] HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);

namespace vr {

// Reports a failure the system's way: makes error information (iid, source, description; no help file, help
// context 0), makes it the calling thread's and returns hr. When the information cannot be made, the thread's
// slot is cleared instead, so that no stale information stands for this failure.
[[nodiscard]] HRESULT ReportError(HRESULT hr, const GUID& iid, std::u16string_view source,
                                  std::u16string_view description);

// Fills every field of *excep for a failed Invoke, with scode = hr: from the thread's error information,
// which it consumes, or, when the thread has none, with the HRESULT's text as description. The strings belong
// to *excep afterwards (ClearExcepInfo frees them); fields the caller set before are overwritten, not freed.
// A null excep leaves the thread's information in place for the caller's GetErrorInfo.
void FillExcepInfo(EXCEPINFO* excep, HRESULT hr);

// Frees the strings of *excep and zeroes it (null does nothing).
void ClearExcepInfo(EXCEPINFO* excep);

// The description of the calling thread's error information, which it consumes: what a failed call below
// said, for a caller that adds it as the cause to its own report. Empty when the thread holds none.
std::u16string TakeErrorDescription();

} // namespace vr
