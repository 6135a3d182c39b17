// Registration and single-instance forwarding of the script executive program.
#include "TestRunTime/Scrivon/ScrivonStart.h"

#include "TestRunTime/Scrivon/ScrivonCommandLine.h"
#include "TestRunTime/Scrivon/include/vrtestloader.h"
#include "platform/base/text.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/rot.h"
#include "platform/com/server.h"
#include "platform/rpc/local_server.h"

#include <array>
#include <filesystem>

namespace scrivon {
namespace {

const vr::server::ClassEntry kTestLoaderClass{
    .clsid = CLSID_VrTestLoader,
    .progId = kTestLoaderProgId,
    .versionIndependentProgId = kTestLoaderProgId,
    .description = u"VrTestLoader",
    .typeLib = LIBID_VrTestLoader,
};

// A refused call answers with the object's own words (a run in progress, ...): they join *reason.
HRESULT CallMethod(IDispatch* object, DISPID member, VARIANT* argument, VARIANT* result,
                   std::string* reason) {
    DISPPARAMS params{argument, nullptr, argument ? 1u : 0u, 0};
    EXCEPINFO exception{};
    HRESULT hr = object->Invoke(member, IID_NULL, 0, DISPATCH_METHOD, &params, result, &exception, nullptr);
    if (hr == DISP_E_EXCEPTION) {
        hr = FAILED(exception.scode) ? exception.scode : E_FAIL;
        if (exception.bstrDescription) {
            *reason = _bstr_t(exception.bstrDescription, true).utf8();
        }
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

} // namespace

HRESULT RegisterScrivon(const std::string& programPath) {
    std::u16string path = vr::FromUtf8(programPath);
    HRESULT hr = vr::server::RegisterLocalServerClasses(std::span(&kTestLoaderClass, 1), path);
    if (SUCCEEDED(hr)) {
        hr = vr::server::RegisterEmbeddedTypeLib(path); // the library the program carries
    }
    return hr;
}

HRESULT UnregisterScrivon(const std::string& programPath) {
    HRESULT hr =
        vr::server::UnregisterLocalServerClasses(std::span(&kTestLoaderClass, 1), vr::FromUtf8(programPath));
    HRESULT typeLib = vr::server::UnregisterTypeLibKey(LIBID_VrTestLoader, 1, 0);
    return FAILED(hr) ? hr : typeLib;
}

std::string AbsoluteScriptPath(const std::string& file) {
    if (file.empty()) {
        return file;
    }
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(file, error);
    return error ? file : absolute.lexically_normal().string();
}

ForwardOutcome ForwardToRunningInstance(const std::string& file, const std::string* serialNumber,
                                        std::string* errorText, pid_t* runningProcess) {
    *runningProcess = 0;
    vr::ComPtr<IUnknown> active;
    if (FAILED(GetActiveObject(CLSID_VrTestLoader, nullptr, active.Put())) || !active) {
        return ForwardOutcome::NoInstance;
    }
    *runningProcess = vr::rpc::ServingProcessOf(active.Get());
    // The object's members are reached by DISPID; an outside connection answers IDispatch for it.
    vr::ComPtr<IDispatch> loader;
    if (FAILED(active->QueryInterface(__uuidof(IVrTestLoader), loader.PutVoid())) &&
        FAILED(active->QueryInterface(IID_IDispatch, loader.PutVoid()))) {
        return ForwardOutcome::NoInstance;
    }
    HRESULT hr = S_OK;
    if (serialNumber) {
        _variant_t text(_bstr_t(serialNumber->c_str()));
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS put{&text, &named, 1, 1};
        hr = loader->Invoke(DISPID_TestLoaderSN, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr,
                            nullptr);
    }
    _variant_t name(_bstr_t(file.c_str()));
    _variant_t loaded;
    std::string reason;
    if (SUCCEEDED(hr)) {
        hr = CallMethod(loader.Get(), DISPID_TestLoaderLoad, &name, &loaded, &reason);
    }
    if (SUCCEEDED(hr)) {
        hr = CallMethod(loader.Get(), DISPID_TestLoaderPopup, nullptr, nullptr, &reason);
    }
    if (FAILED(hr)) {
        *errorText =
            ForwardErrorText(hr, vr::ToUtf8(vr::HResultMessage(hr))) + (reason.empty() ? "" : reason + "\n");
        return ForwardOutcome::Failed;
    }
    return ForwardOutcome::Forwarded;
}

std::string ForwardedText(const std::string& file, pid_t runningProcess) {
    std::string instance = "the scrivon that runs already (" +
                           (runningProcess > 0 ? "process " + std::to_string(runningProcess)
                                               : std::string("its process unknown")) +
                           ")";
    if (file.empty()) {
        return "scrivon: " + instance + " came to the front; this start ends.";
    }
    return "scrivon: '" + file + "' went to " + instance + ", which loads and shows it; this start ends.";
}

} // namespace scrivon
