// Registration of a server's classes: the keys an in-process library or a program writes and removes.
#include "platform/com/server.h"

#include "platform/base/text.h"
#include "platform/com/activation_internal.h"
#include "platform/com/typelib.h"
#include "platform/registry/registry.h"

#include <dlfcn.h>
#include <filesystem>
#include <link.h>
#include <string>
#include <vector>

namespace vr::server {
namespace {

using vr::detail::ClassKey;

// Where a class is served: a library (InprocServer32, with its threading model) or a program (LocalServer32).
struct ServerKind {
    const char16_t* key;
    bool writesThreadingModel;
};
constexpr ServerKind kInproc{u"\\InprocServer32", true};
constexpr ServerKind kLocal{u"\\LocalServer32", false};

const char16_t* ThreadingModelName(ThreadingModel model) {
    switch (model) {
    case ThreadingModel::Both:
        return u"Both";
    case ThreadingModel::Free:
        return u"Free";
    case ThreadingModel::Apartment:
        break;
    }
    return u"Apartment";
}

bool Present(const char16_t* text) {
    return text && *text;
}
bool Present(const GUID& guid) {
    return guid != GUID_NULL;
}

// Collects the first failure of a series of registry calls, so one series reads as a list of writes.
class Writes {
public:
    void Text(std::u16string_view key, std::u16string_view value, std::u16string_view text) {
        Note(vr::detail::WriteClassesText(key, value, text));
    }
    void Key(std::u16string_view key) { Note(vr::detail::CreateClassesKey(key)); }
    void RemoveValue(std::u16string_view key, std::u16string_view value) {
        Note(vr::detail::RemoveClassesValue(key, value));
    }
    void RemoveKey(std::u16string_view key) { Note(vr::detail::RemoveClassesKeyIfEmpty(key)); }
    // A value and then its key, when nothing else is left in it.
    void RemoveValueAndKey(std::u16string_view key, std::u16string_view value) {
        RemoveValue(key, value);
        RemoveKey(key);
    }
    bool Failed() const { return status_ != ERROR_SUCCESS; }

private:
    void Note(LONG status) {
        if (status_ == ERROR_SUCCESS) {
            status_ = status;
        }
    }
    LONG status_ = ERROR_SUCCESS;
};

void WriteClassKeys(Writes& w, const ClassEntry& entry, ServerKind kind, std::u16string_view serverPath) {
    std::u16string key = ClassKey(entry.clsid);
    w.Text(key, u"", Present(entry.description) ? entry.description : u"");
    w.Text(key + kind.key, u"", serverPath);
    if (kind.writesThreadingModel) {
        w.Text(key + kind.key, u"ThreadingModel", ThreadingModelName(entry.threadingModel));
    }
    if (Present(entry.progId)) {
        w.Text(key + u"\\ProgID", u"", entry.progId);
    }
    if (Present(entry.versionIndependentProgId)) {
        w.Text(key + u"\\VersionIndependentProgID", u"", entry.versionIndependentProgId);
    }
    if (Present(entry.typeLib)) {
        w.Text(key + u"\\TypeLib", u"", GuidToString(entry.typeLib));
    }
    if (Present(entry.appId)) {
        w.Text(key, u"AppID", GuidToString(entry.appId));
    }
    if (entry.programmable) {
        w.Key(key + u"\\Programmable");
    }
    for (const GUID& category : entry.implementedCategories) {
        w.Key(key + u"\\Implemented Categories\\" + GuidToString(category));
    }
}

void WriteProgIdKeys(Writes& w, const ClassEntry& entry) {
    std::u16string clsid = GuidToString(entry.clsid);
    const char16_t* description = Present(entry.description) ? entry.description : u"";
    if (Present(entry.progId)) {
        w.Text(entry.progId, u"", description);
        w.Text(std::u16string(entry.progId) + u"\\CLSID", u"", clsid);
    }
    if (Present(entry.versionIndependentProgId)) {
        std::u16string key = entry.versionIndependentProgId;
        w.Text(key, u"", description);
        w.Text(key + u"\\CLSID", u"", clsid);
        if (Present(entry.progId)) {
            w.Text(key + u"\\CurVer", u"", entry.progId);
        }
    }
}

void RemoveClassKeys(Writes& w, const ClassEntry& entry, ServerKind kind) {
    std::u16string key = ClassKey(entry.clsid);
    w.RemoveValue(key + kind.key, u"ThreadingModel");
    w.RemoveValueAndKey(key + kind.key, u"");
    w.RemoveValueAndKey(key + u"\\ProgID", u"");
    w.RemoveValueAndKey(key + u"\\VersionIndependentProgID", u"");
    w.RemoveValueAndKey(key + u"\\TypeLib", u"");
    w.RemoveKey(key + u"\\Programmable");
    for (const GUID& category : entry.implementedCategories) {
        w.RemoveKey(key + u"\\Implemented Categories\\" + GuidToString(category));
    }
    w.RemoveKey(key + u"\\Implemented Categories");
    w.RemoveValue(key, u"AppID");
    w.RemoveValue(key, u"");
    w.RemoveKey(key);
}

// A ProgID key is ours to remove only while it still names our class: a newer server may have taken it over.
bool NamesClass(std::u16string_view progId, const CLSID& clsid) {
    std::u16string text;
    GUID named{};
    return vr::detail::ReadClassesText(std::u16string(progId) + u"\\CLSID", u"", text) &&
           GuidFromString(text, named) && named == clsid;
}

void RemoveProgIdKeys(Writes& w, const ClassEntry& entry) {
    if (Present(entry.progId) && NamesClass(entry.progId, entry.clsid)) {
        std::u16string key = entry.progId;
        w.RemoveValueAndKey(key + u"\\CLSID", u"");
        w.RemoveValueAndKey(key, u"");
    }
    if (Present(entry.versionIndependentProgId) && NamesClass(entry.versionIndependentProgId, entry.clsid)) {
        std::u16string key = entry.versionIndependentProgId;
        w.RemoveValueAndKey(key + u"\\CLSID", u"");
        w.RemoveValueAndKey(key + u"\\CurVer", u"");
        w.RemoveValueAndKey(key, u"");
    }
}

std::u16string ProgramFileName(std::u16string_view programPath) {
    return FromUtf8(std::filesystem::path(ToUtf8(programPath)).filename().string());
}

HRESULT Register(std::span<const ClassEntry> classes, ServerKind kind, std::u16string_view serverPath) {
    Writes w;
    for (const ClassEntry& entry : classes) {
        WriteClassKeys(w, entry, kind, serverPath);
        WriteProgIdKeys(w, entry);
    }
    return w.Failed() ? SELFREG_E_CLASS : S_OK;
}

HRESULT Unregister(std::span<const ClassEntry> classes, ServerKind kind) {
    Writes w;
    for (const ClassEntry& entry : classes) {
        RemoveProgIdKeys(w, entry);
        RemoveClassKeys(w, entry, kind);
    }
    return w.Failed() ? SELFREG_E_CLASS : S_OK;
}

} // namespace

HRESULT RegisterInprocClasses(std::span<const ClassEntry> classes, std::u16string_view libraryPath) {
    return Register(classes, kInproc, libraryPath);
}

HRESULT UnregisterInprocClasses(std::span<const ClassEntry> classes) {
    return Unregister(classes, kInproc);
}

HRESULT RegisterLocalServerClasses(std::span<const ClassEntry> classes, std::u16string_view programPath) {
    HRESULT hr = Register(classes, kLocal, programPath);
    Writes w;
    for (const ClassEntry& entry : classes) {
        if (Present(entry.appId)) {
            std::u16string appId = GuidToString(entry.appId);
            w.Text(u"AppID\\" + appId, u"", Present(entry.description) ? entry.description : u"");
            w.Text(u"AppID\\" + ProgramFileName(programPath), u"AppID", appId);
        }
    }
    return FAILED(hr) ? hr : w.Failed() ? SELFREG_E_CLASS : S_OK;
}

HRESULT UnregisterLocalServerClasses(std::span<const ClassEntry> classes, std::u16string_view programPath) {
    HRESULT hr = Unregister(classes, kLocal);
    Writes w;
    for (const ClassEntry& entry : classes) {
        if (Present(entry.appId)) {
            w.RemoveValueAndKey(u"AppID\\" + GuidToString(entry.appId), u"");
            w.RemoveValueAndKey(u"AppID\\" + ProgramFileName(programPath), u"AppID");
        }
    }
    return FAILED(hr) ? hr : w.Failed() ? SELFREG_E_CLASS : S_OK;
}

namespace {

std::u16string TypeLibKey(const GUID& libid) {
    return u"TypeLib\\" + vr::GuidToString(libid);
}

std::u16string TypeLibVersionKey(const GUID& libid, WORD major, WORD minor) {
    return TypeLibKey(libid) + u"\\" + vr::FromUtf8(std::to_string(major) + "." + std::to_string(minor));
}

LONG SetText(HKEY key, const char16_t* name, std::u16string_view text) {
    std::u16string data(text);
    return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(OLECHAR)));
}

} // namespace

HRESULT RegisterTypeLibKey(const GUID& libid, WORD major, WORD minor, std::u16string_view name,
                           std::u16string_view modulePath) {
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CLASSES_ROOT, TypeLibVersionKey(libid, major, minor).c_str(), 0, nullptr,
                       REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return SELFREG_E_TYPELIB;
    }
    std::u16string folder(modulePath.substr(0, modulePath.rfind(u'/') + 1));
    bool written = SetText(key, nullptr, name) == ERROR_SUCCESS &&
                   SetText(key, u"FLAGS", u"0") == ERROR_SUCCESS &&
                   SetText(key, u"HELPDIR", folder) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT UnregisterTypeLibKey(const GUID& libid, WORD major, WORD minor) {
    LONG status = RegDeleteTree(HKEY_CLASSES_ROOT, TypeLibVersionKey(libid, major, minor).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        return SELFREG_E_TYPELIB;
    }
    // The library key goes only when no other version is left in it.
    static_cast<void>(RegDeleteKey(HKEY_CLASSES_ROOT, TypeLibKey(libid).c_str()));
    return S_OK;
}

HRESULT RegisterEmbeddedTypeLib(std::u16string_view modulePath) {
    const std::u16string path(modulePath);
    ITypeLib* lib = nullptr;
    if (FAILED(LoadTypeLib(path.c_str(), &lib))) {
        return SELFREG_E_TYPELIB;
    }
    const HRESULT hr = RegisterTypeLib(lib, path.c_str(), nullptr);
    lib->Release();
    return SUCCEEDED(hr) ? S_OK : SELFREG_E_TYPELIB;
}

std::string ModulePathOf(const void* address) {
    Dl_info info{};
    link_map* image = nullptr;
    if (!address || dladdr1(address, &info, reinterpret_cast<void**>(&image), RTLD_DL_LINKMAP) == 0 ||
        !image) {
        return {};
    }
    // The program's own image has no name of its own (the loader reports how it was started): ask the kernel.
    // A library's name is the one it was opened by, which may be relative to the working folder.
    bool isProgram = !image->l_name || !*image->l_name;
    const char* name = isProgram ? "/proc/self/exe" : image->l_name;
    std::error_code error;
    auto path = std::filesystem::canonical(name, error);
    if (error) {
        path = std::filesystem::absolute(name, error);
    }
    return error ? std::string() : path.string();
}

} // namespace vr::server
