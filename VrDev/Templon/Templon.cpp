// The template library's entry points: its one class (the device of the copy's type library) and its
// registration from its own registration script and type library.
#include "DeviceLibrary.h"
#include "DeviceObject.h"

#include "platform/com/registration_script.h"
#include "platform/com/server.h"
#include "platform/resources/module_resources.h"

#include <array>
#include <string>

namespace {

constexpr WORD kScriptName = 102;

// The placeholders a stamped copy no longer holds; the template itself is never registered.
constexpr std::array<std::string_view, 3> kPlaceholders{"<DEVICE>", "<CLSID>", "<LIBID>"};

// The copy's registration script, up to its first zero byte.
HRESULT ReadScript(std::string* script) {
    const templon::DeviceLibrary& library = templon::ThisLibrary();
    std::string bytes;
    HRESULT hr = vr::LoadModuleResource(vr::ToUtf8(library.modulePath), vr::ResourceId(u"REGISTRY"),
                                        vr::ResourceId(kScriptName), &bytes);
    if (FAILED(hr)) {
        return templon::ReportDeviceError(SELFREG_E_CLASS,
                                          u"The device library carries no registration script REGISTRY 102.");
    }
    *script = bytes.substr(0, bytes.find('\0'));
    for (std::string_view placeholder : kPlaceholders) {
        if (script->find(placeholder) != std::string::npos) {
            return templon::ReportDeviceError(SELFREG_E_CLASS,
                                              u"The template library is registered only as a "
                                              u"device's stamped copy (its script still holds " +
                                                  vr::FromUtf8(placeholder) + u").");
        }
    }
    return S_OK;
}

HRESULT RunScript(bool doRegister) {
    std::string script;
    if (HRESULT hr = ReadScript(&script); FAILED(hr)) {
        return hr;
    }
    const std::u16string& path = templon::ThisLibrary().modulePath;
    const vr::registration::ScriptVariable variables[] = {{u"MODULE", path}};
    std::u16string error;
    HRESULT hr = doRegister ? vr::registration::RegisterScript(script, variables, &error)
                            : vr::registration::UnregisterScript(script, variables, &error);
    if (FAILED(hr)) {
        return templon::ReportDeviceError(SELFREG_E_CLASS,
                                          u"The registration script of " + path + u": " + error);
    }
    return S_OK;
}

} // namespace

VR_DLL_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    const templon::DeviceLibrary& library = templon::ThisLibrary();
    if (FAILED(library.status) || clsid != library.clsid) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return vr::server::CreateClassFactory(&templon::DeviceObject::Create, riid, ppv);
}

VR_DLL_EXPORT HRESULT DllCanUnloadNow() {
    return vr::server::CanUnloadNow();
}

VR_DLL_EXPORT HRESULT DllRegisterServer() {
    const templon::DeviceLibrary& library = templon::ThisLibrary();
    if (FAILED(library.status)) {
        return templon::ReportDeviceError(SELFREG_E_TYPELIB, u"The device library " + library.modulePath +
                                                                 u" is damaged: " + library.failure);
    }
    if (HRESULT hr = RunScript(true); FAILED(hr)) {
        return hr;
    }
    HRESULT hr = vr::server::RegisterEmbeddedTypeLib(library.modulePath);
    if (FAILED(hr)) {
        (void)RunScript(false); // leave no half registration behind; the type library's failure is reported
    }
    return hr;
}

VR_DLL_EXPORT HRESULT DllUnregisterServer() {
    const templon::DeviceLibrary& library = templon::ThisLibrary();
    HRESULT typeLibResult = S_OK;
    if (SUCCEEDED(library.status)) {
        typeLibResult =
            vr::server::UnregisterTypeLibKey(library.libid, library.majorVersion, library.minorVersion);
    }
    HRESULT hr = RunScript(false);
    return FAILED(hr) ? hr : typeLibResult;
}
