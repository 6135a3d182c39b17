// Device socket libraries: the template copied and stamped per device, registered, regenerated for every
// device of an adapter file, and removed.
#include "VrDev/Ostrel/typelib/SocketLibraries.h"

#include "Rigmont/include/rigmont.h"
#include "VrDev/Ostrel/typelib/TypeLibBuilder.h"
#include "common/comtext/VariantTexts.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/library_folder.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/registry/registry.h"
#include "platform/resources/module_resources.h"
#include "platform/resources/resource_update.h"

#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unistd.h>

namespace ostrel {

namespace {

namespace fs = std::filesystem;

constexpr WORD kStampLanguage = 0x1009; // English (Canada): the language the template's resources carry
constexpr WORD kRegistryScriptId = 102;
constexpr WORD kTypeLibraryId = 1;

std::u16string U16(const std::string& text) {
    return vr::FromUtf8(text);
}

std::string ReplaceAll(std::string text, std::string_view placeholder, std::string_view value) {
    for (size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
    }
    return text;
}

// The device name as it stands inside a single-quoted string of a registration script.
std::string ScriptQuoted(const std::u16string& device) {
    return ReplaceAll(vr::ToUtf8(device), "'", "''");
}

// The HRESULT of a failed COM call with the callee's own description, when it left one.
std::u16string ComFailureText(HRESULT hr) {
    std::u16string text = HResultText(hr);
    vr::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) == S_OK && info) {
        _bstr_t description;
        if (SUCCEEDED(info->GetDescription(description.GetAddress())) && description.length() > 0) {
            text += std::u16string(description.view());
        }
    }
    return text;
}

// Traces a failure (kept as LastErrorText) and returns hr.
HRESULT Report(HRESULT hr, const std::u16string& message) {
    TraceError(u"%s", message.c_str());
    return hr;
}

HRESULT ReportCom(HRESULT hr, const std::u16string& what) {
    const HRESULT failure = FAILED(hr) ? hr : E_FAIL;
    return Report(failure, what + u" " + ComFailureText(failure));
}

// The library and class GUIDs of a type library file, as the registry writes them.
HRESULT ReadLibraryGuids(const std::string& typeLibraryPath, std::string* libid, std::string* clsid) {
    vr::ComPtr<ITypeLib> lib;
    if (HRESULT hr = LoadTypeLib(U16(typeLibraryPath).c_str(), lib.Put()); FAILED(hr)) {
        TraceHResultError(hr, u"Couldn't load the type library '%hs'.", typeLibraryPath.c_str());
        return hr;
    }
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(lib->GetLibAttr(&attr))) {
        *libid = vr::GuidToUtf8(attr->guid);
        lib->ReleaseTLibAttr(attr);
    }
    for (UINT k = 0; k < lib->GetTypeInfoCount(); ++k) {
        TYPEKIND kind = TKIND_ENUM;
        vr::ComPtr<ITypeInfo> info;
        TYPEATTR* typeAttr = nullptr;
        if (SUCCEEDED(lib->GetTypeInfoType(k, &kind)) && kind == TKIND_COCLASS &&
            SUCCEEDED(lib->GetTypeInfo(k, info.Put())) && SUCCEEDED(info->GetTypeAttr(&typeAttr))) {
            *clsid = vr::GuidToUtf8(typeAttr->guid); // with several classes, the last one
            info->ReleaseTypeAttr(typeAttr);
        }
    }
    if (libid->empty() || clsid->empty()) {
        return Report(E_FAIL,
                      u"The type library '" + U16(typeLibraryPath) + u"' has no library or class GUID.");
    }
    return S_OK;
}

HRESULT ReadFile(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Report(E_FAIL, u"Could not open file '" + U16(path) + u"'.");
    }
    bytes->assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) {
        return Report(E_FAIL, u"Could not read file '" + U16(path) + u"'.");
    }
    return S_OK;
}

// A temporary copy of the template in the output folder, to be stamped and renamed into place.
HRESULT CopyTemplate(const std::string& templatePath, const std::string& outputFolder,
                     const std::u16string& device, std::string* copyPath) {
    std::string pattern = outputFolder + "/." + vr::ToUtf8(device) + ".dll.XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) {
        return Report(E_FAIL, u"Couldn't make a temporary file in '" + U16(outputFolder) + u"'.");
    }
    close(fd);
    *copyPath = pattern;
    std::error_code error;
    fs::copy_file(templatePath, pattern, fs::copy_options::overwrite_existing, error);
    if (error) {
        return Report(E_FAIL, u"Couldn't copy the template library '" + U16(templatePath) + u"': " +
                                  U16(error.message()) + u".");
    }
    // The copy took the template's mode; a library there is the user's (or the group's) only.
    fs::permissions(pattern, static_cast<fs::perms>(vr::LibraryFileModeIn(outputFolder)), error);
    if (error) {
        return Report(E_FAIL,
                      u"Couldn't set the mode of '" + U16(pattern) + u"': " + U16(error.message()) + u".");
    }
    return S_OK;
}

// Removes the resource in every language but the stamped one: a loader that prefers another language would
// otherwise find the template's unstamped resource beside the device's.
HRESULT RemoveOtherLanguages(vr::ResourceUpdateHandle update, const vr::ModuleResources& resources,
                             const vr::ResourceId& type, WORD name) {
    for (WORD language : resources.Languages(type, name)) {
        if (language != kStampLanguage) {
            if (HRESULT hr = vr::UpdateResource(update, type, name, language, nullptr, 0); FAILED(hr)) {
                return hr;
            }
        }
    }
    return S_OK;
}

HRESULT StampCopy(const std::string& copyPath, const vr::ModuleResources& templateResources,
                  const std::string& script, const std::string& typeLibrary) {
    vr::ResourceUpdateHandle update = nullptr;
    HRESULT hr = vr::BeginUpdateResource(copyPath, false, &update);
    if (FAILED(hr)) {
        TraceHResultError(hr, u"Couldn't begin the resource update of '%hs'.", copyPath.c_str());
        return E_FAIL;
    }
    hr = RemoveOtherLanguages(update, templateResources, u"REGISTRY", kRegistryScriptId);
    if (SUCCEEDED(hr)) {
        hr = RemoveOtherLanguages(update, templateResources, u"TYPELIB", kTypeLibraryId);
    }
    if (SUCCEEDED(hr)) {
        hr = vr::UpdateResource(update, u"REGISTRY", kRegistryScriptId, kStampLanguage, script.data(),
                                static_cast<DWORD>(script.size()));
    }
    if (SUCCEEDED(hr)) {
        hr = vr::UpdateResource(update, u"TYPELIB", kTypeLibraryId, kStampLanguage, typeLibrary.data(),
                                static_cast<DWORD>(typeLibrary.size()));
    }
    const HRESULT ended = vr::EndUpdateResource(update, FAILED(hr));
    if (FAILED(hr) || FAILED(ended)) {
        TraceHResultError(FAILED(hr) ? hr : ended, u"Couldn't stamp the resources of '%hs'.",
                          copyPath.c_str());
        return E_FAIL;
    }
    return S_OK;
}

// The library file registered for the library GUID (version 1.0), empty when none is.
std::string RegisteredLibraryFile(const GUID& libid) {
    const std::u16string key = u"TypeLib\\" + vr::GuidToString(libid) + u"\\1.0\\0";
    for (const char16_t* platform : {u"win64", u"win32"}) {
        HKEY handle = nullptr;
        if (RegOpenKeyEx(HKEY_CLASSES_ROOT, (key + u"\\" + platform).c_str(), 0, KEY_READ, &handle) !=
            ERROR_SUCCESS) {
            continue;
        }
        OLECHAR path[4096] = {};
        DWORD size = sizeof(path) - sizeof(OLECHAR);
        DWORD type = 0;
        const LONG read =
            RegQueryValueEx(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
        RegCloseKey(handle);
        if (read == ERROR_SUCCESS && type == REG_SZ) {
            return vr::ToUtf8(vr::U16View(path));
        }
    }
    return {};
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error);
}

// Refuses a device whose derived GUIDs are those of another device's library that is still there.
HRESULT CheckGuidsAreTheDevices(const std::u16string& device, const std::string& libraryPath) {
    const DeviceTypeLibIds ids = DeriveDeviceTypeLibIds(device, u"");
    const std::string registered = RegisteredLibraryFile(ids.libid);
    std::error_code error;
    if (registered.empty() || SameFile(registered, libraryPath) || !fs::exists(registered, error)) {
        return S_OK;
    }
    return Report(CO_E_CLASSSTRING,
                  u"The device '" + device +
                      u"' can't get a library of its own: its class and library GUIDs " +
                      u"(derived from the sum of its name's letters) are those of the library '" +
                      U16(registered) + u"' of another device. Rename one of the two devices.");
}

HRESULT CallEntry(const std::string& libraryPath, const char* entry) {
    if (std::string reason; !vr::MayLoadLibrary(libraryPath, &reason)) {
        return Report(E_ACCESSDENIED, U16(reason));
    }
    void* module = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = dlerror();
        return Report(E_FAIL, u"Couldn't load the library '" + U16(libraryPath) + u"': " +
                                  U16(why ? why : "") + u".");
    }
    using Entry = HRESULT (*)();
    auto function = reinterpret_cast<Entry>(dlsym(module, entry));
    HRESULT hr = E_FAIL;
    if (!function) {
        (void)Report(E_FAIL, u"The library '" + U16(libraryPath) + u"' has no " + U16(entry) + u".");
    } else if (hr = function(); FAILED(hr)) {
        TraceHResultError(hr, u"%hs of the library '%hs' failed.", entry, libraryPath.c_str());
    }
    dlclose(module);
    return hr;
}

// The socket's member description of an adapter file, copied (the socket's own record goes with it).
HRESULT ReadSocketInfo(const std::u16string& adapterFile, SocketInfo* info) {
    vr::ComPtr<IVrSocket> socket;
    HRESULT hr =
        CoCreateInstance(CLSID_Socket, nullptr, CLSCTX_ALL, vr::uuidof<IVrSocket>(), socket.PutVoid());
    if (FAILED(hr)) {
        return ReportCom(hr, u"Couldn't create the socket.");
    }
    vr::ComPtr<IVrSocketProcessor> processor;
    if (hr = socket.As(&processor); FAILED(hr)) {
        return ReportCom(hr, u"The socket has no IVrSocketProcessor.");
    }
    // Quoted: a path may hold blanks, commas or semicolons, which would end the item.
    _bstr_t options(u"");
    if (!AppendParam(options.GetAddress(), u"AdapterFile", adapterFile.c_str(), u" ", true)) {
        return Report(E_INVALIDARG,
                      u"The adapter file's path '" + adapterFile + u"' holds every kind of quote.");
    }
    if (hr = processor->LoadInfo(options); FAILED(hr)) {
        return ReportCom(hr, u"Couldn't load the adapter file '" + adapterFile + u"'.");
    }
    intptr_t address = 0;
    if (hr = processor->GetInfo(_bstr_t(u""), &address); FAILED(hr) || address == 0) {
        return ReportCom(hr, u"Couldn't describe the adapter file '" + adapterFile + u"'.");
    }
    *info = *reinterpret_cast<const SocketInfo*>(address);
    return S_OK;
}

// Whether two paths name the same file: one file reached through a symbolic link, a relative path (from
// the studio's folder) or another spelling of the same folders; equal texts when neither exists.
bool SameFile(const std::u16string& one, const std::u16string& other) {
    if (one.empty() || other.empty()) {
        return one == other;
    }
    const fs::path a = vr::ToUtf8(one);
    const fs::path b = vr::ToUtf8(other);
    std::error_code error;
    if (fs::equivalent(a, b, error)) {
        return true;
    }
    const fs::path normalA = fs::weakly_canonical(a, error);
    const bool readA = !error;
    const fs::path normalB = fs::weakly_canonical(b, error);
    return readA && !error ? normalA == normalB : one == other;
}

// The AdapterFile item of a setup string (scoped names such as "Socket:AdapterFile" too); empty when none.
std::u16string AdapterFileOf(const _bstr_t& setup) {
    _bstr_t value;
    if (!GetParam(nullptr, value.GetAddress(), setup, u"AdapterFile", true)) {
        return {};
    }
    return std::u16string(value.view());
}

} // namespace

bool IsFileSafeName(std::u16string_view name) {
    return !name.empty() && name.find_first_of(u"/\\") == std::u16string_view::npos &&
           name.find(u"..") == std::u16string_view::npos && name != u"." && name.find(u'\0') == name.npos;
}

SocketLibraryPlaces DefaultSocketLibraryPlaces() {
    return {vr::GeneratedLibraryFolder(), vr::MapWindowsPath("c:\\Ostrel\\bin\\Templon.dll")};
}

std::string SocketTypeLibraryPath(const SocketLibraryPlaces& places, const std::u16string& device) {
    return places.outputFolder + "/" + vr::ToUtf8(device) + ".tlb";
}

std::string SocketLibraryPath(const SocketLibraryPlaces& places, const std::u16string& device) {
    return places.outputFolder + "/" + vr::ToUtf8(device) + ".dll";
}

HRESULT UpdateSocketDllResources(const std::u16string& device, const std::string& typeLibraryPath,
                                 const std::string& templatePath, const std::string& outputFolder,
                                 std::string* libraryPath) {
    if (!IsFileSafeName(device)) {
        return Report(E_INVALIDARG, u"'" + device + u"' can't name a device library: it isn't a file name.");
    }
    std::string libid;
    std::string clsid;
    if (HRESULT hr = ReadLibraryGuids(typeLibraryPath, &libid, &clsid); FAILED(hr)) {
        return hr;
    }
    *libraryPath = outputFolder + "/" + vr::ToUtf8(device) + ".dll";
    // Nobody else may put a library where the registration points, whatever the umask.
    if (std::string reason; !vr::MakeLibraryFolder(outputFolder, &reason)) {
        return Report(E_FAIL, U16(reason));
    }
    std::error_code error;
    vr::ModuleResources resources;
    const vr::ResourceEntry* scriptEntry = nullptr;
    HRESULT hr = vr::ModuleResources::Open(templatePath, &resources);
    // The script in the language it is stamped in, else whichever the template carries.
    if (SUCCEEDED(hr) &&
        FAILED(resources.Find(u"REGISTRY", kRegistryScriptId, kStampLanguage, &scriptEntry))) {
        hr = resources.Find(u"REGISTRY", kRegistryScriptId, &scriptEntry);
    }
    if (FAILED(hr)) {
        TraceHResultError(hr, u"Couldn't read the registration script of the template library '%hs'.",
                          templatePath.c_str());
        return E_FAIL;
    }
    std::string script = scriptEntry->data.substr(0, scriptEntry->data.find('\0'));
    script = ReplaceAll(std::move(script), "<DEVICE>", ScriptQuoted(device));
    script = ReplaceAll(std::move(script), "<CLSID>", clsid);
    script = ReplaceAll(std::move(script), "<LIBID>", libid);
    std::string typeLibrary;
    if (hr = ReadFile(typeLibraryPath, &typeLibrary); FAILED(hr)) {
        return hr;
    }
    std::string copyPath;
    hr = CopyTemplate(templatePath, outputFolder, device, &copyPath);
    if (SUCCEEDED(hr)) {
        hr = StampCopy(copyPath, resources, script, typeLibrary);
    }
    if (SUCCEEDED(hr)) {
        fs::rename(copyPath, *libraryPath, error);
        if (error) {
            hr = Report(E_FAIL, u"Couldn't put the library '" + U16(*libraryPath) + u"' in place: " +
                                    U16(error.message()) + u".");
        }
    }
    if (FAILED(hr) && !copyPath.empty()) {
        fs::remove(copyPath, error); // a failure to remove leaves a hidden temporary file, harmless
    }
    return hr;
}

HRESULT CreateSocketDll(const std::u16string& device, const std::u16string& adapterFile,
                        const SocketLibraryPlaces& places) {
    if (!IsFileSafeName(device)) {
        return Report(E_INVALIDARG, u"'" + device + u"' can't name a device library: it isn't a file name.");
    }
    const std::string typeLibraryPath = SocketTypeLibraryPath(places, device);
    if (HRESULT hr = CheckGuidsAreTheDevices(device, SocketLibraryPath(places, device)); FAILED(hr)) {
        return hr;
    }
    SocketInfo info;
    if (HRESULT hr = ReadSocketInfo(adapterFile, &info); FAILED(hr)) {
        return hr;
    }
    info.name = device.c_str();
    info.typeLibraryPath = U16(typeLibraryPath).c_str();
    {
        CTypeLibBuilder builder;
        if (HRESULT hr = builder.BuildDeviceTypeLib(info); FAILED(hr)) {
            return hr;
        }
    }
    std::string libraryPath;
    if (HRESULT hr = UpdateSocketDllResources(device, typeLibraryPath, places.templatePath,
                                              places.outputFolder, &libraryPath);
        FAILED(hr)) {
        return hr;
    }
    return CallEntry(libraryPath, "DllRegisterServer");
}

HRESULT RebuildAdapterSockets(const std::u16string& device, const std::u16string& adapterFile,
                              const SocketLibraryPlaces& places) {
    if (!device.empty()) {
        return CreateSocketDll(device, adapterFile, places);
    }
    vr::ComPtr<IVrRigmont> rigmont;
    HRESULT hr = CoCreateInstance(CLSID_VrRigmont, nullptr, CLSCTX_ALL, IID_IVrRigmont, rigmont.PutVoid());
    _variant_t names;
    if (SUCCEEDED(hr)) {
        hr = rigmont->GetRecordNames(_bstr_t(u"socket"), &names);
    }
    if (FAILED(hr)) {
        TraceHResultError(hr, u"Error while working with VrRigmont; Code: 0x%08X.",
                          static_cast<unsigned>(hr));
        return E_FAIL;
    }
    std::vector<std::u16string> deviceNames;
    (void)vrcommon::VariantArrayTexts(names, &deviceNames); // no list of names names no device
    HRESULT firstFailure = S_OK;
    std::u16string firstFailureText;
    for (const std::u16string& deviceName : deviceNames) {
        _bstr_t server;
        _bstr_t resource;
        _bstr_t setup;
        hr = rigmont->LoadRecord(_bstr_t(u"socket"), _bstr_t(deviceName.c_str()), _bstr_t(u""),
                                 server.GetAddress(), resource.GetAddress(), setup.GetAddress());
        if (FAILED(hr)) {
            TraceHResultError(hr, u"Error while working with VrRigmont; Code: 0x%08X.",
                              static_cast<unsigned>(hr));
            return E_FAIL;
        }
        if (!SameFile(AdapterFileOf(setup), adapterFile)) {
            continue;
        }
        // A device that fails does not keep the others from being generated, but the caller learns of it.
        hr = CreateSocketDll(deviceName, adapterFile, places);
        if (FAILED(hr) && SUCCEEDED(firstFailure)) {
            firstFailure = hr;
            firstFailureText = LastErrorText();
        }
    }
    if (FAILED(firstFailure)) {
        TraceError(u"%s", firstFailureText.c_str()); // the first failure is the one LastErrorText tells
    }
    return firstFailure;
}

HRESULT RebuildAdapterLibraries(const std::u16string& adapterFile, std::u16string* error,
                                const SocketLibraryPlaces& places) {
    SocketInfo info;
    HRESULT hr = ReadSocketInfo(adapterFile, &info);
    if (SUCCEEDED(hr)) {
        CTypeLibBuilder builder;
        hr = builder.BuildDeviceTypeLib(info);
    }
    if (SUCCEEDED(hr)) {
        hr = RebuildAdapterSockets(u"", adapterFile, places);
    }
    if (FAILED(hr) && error) {
        *error = LastErrorText();
    }
    return hr;
}

void RemoveSocketDll(const std::u16string& device, const SocketLibraryPlaces& places) {
    if (!IsFileSafeName(device)) {
        return; // such a name never named a generated file; deleting by it could reach outside the folder
    }
    const std::string library = SocketLibraryPath(places, device);
    std::error_code ignored; // a file already gone is what removing wants
    if (fs::exists(library, ignored)) {
        // The files go anyway; a registration left behind names a missing file, which activation reports.
        (void)CallEntry(library, "DllUnregisterServer");
    }
    fs::remove(SocketTypeLibraryPath(places, device), ignored);
    fs::remove(library, ignored);
}

} // namespace ostrel
