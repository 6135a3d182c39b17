// The script executive program's automation contract (type library VrTestLoader 1.0): the object a running
// instance registers so that later starts hand it their script file.
#pragma once

#include "platform/com/dispatch.h"

// Dispatch-only: its members are reached through IDispatch::Invoke by DISPID.
//   [1] Load(BSTR sFile) -> VARIANT_BOOL: true when the window loaded the file
//   [2] Run() -> VARIANT_BOOL: true when the run completed
//   [3] Popup(): the window shows itself and comes to the front
//   [4] Verdict (read-only property) -> long: the verdict of the last run, 1 passed, 2 failed, 7 error; 0
//   before
//       any run and after a Run that ran nothing (no script loaded, or another run in progress)
//   [5] Stop(): the window's Stop command: interrupts the run in progress (a Run called by another client)
//   [6] SN (write-only property) <- BSTR: typed into the window's serial-number field, as the operator would
struct IVrTestLoader : IDispatch {
protected:
    ~IVrTestLoader() = default;
};
VR_DECLARE_INTERFACE_ID(IVrTestLoader, "A6CEBF6C-62F6-4DD8-9B62-6D1FFD5656E1")

inline constexpr CLSID CLSID_VrTestLoader = vr::MakeGuid("F6E4AFAD-54B6-4B25-BA7B-5E42485B5804");
inline constexpr GUID LIBID_VrTestLoader = vr::MakeGuid("998DFFCA-616B-4955-871E-8C617248EDBA");
inline constexpr const char16_t* kTestLoaderProgId = u"Vornic.TestLoader";

inline constexpr DISPID DISPID_TestLoaderLoad = 1;
inline constexpr DISPID DISPID_TestLoaderRun = 2;
inline constexpr DISPID DISPID_TestLoaderPopup = 3;
inline constexpr DISPID DISPID_TestLoaderVerdict = 4;
inline constexpr DISPID DISPID_TestLoaderStop = 5;
inline constexpr DISPID DISPID_TestLoaderSN = 6;
