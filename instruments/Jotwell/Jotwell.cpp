// The Jotwell server's class table, its exported entry points, and the registration of its type library key.
#include "LogFile.h"
#include "platform/base/text.h"
#include "platform/com/server.h"
#include "platform/registry/registry.h"

#include <string>

namespace {

// The component categories "safe for scripting" and "safe for initializing".
constexpr GUID kCategories[] = {vr::MakeGuid("7DD95801-9882-11CF-9FA9-00AA006C42C4"),
                                vr::MakeGuid("7DD95802-9882-11CF-9FA9-00AA006C42C4")};

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_LogFile,
     .createInstance = &jotwell::CLogFile::CreateInstance,
     .progId = kLogFileProgId,
     .versionIndependentProgId = kLogFileIndependentProgId,
     .description = u"LogFile Class",
     .threadingModel = vr::server::ThreadingModel::Apartment,
     .typeLib = LIBID_JOTWELLLib,
     .implementedCategories = kCategories},
};

// "TypeLib\{LIBID}" and its version key "1.0"; the type information itself is served from the dispatch
// table, so no library file is named.
std::u16string TypeLibKey() {
    return u"TypeLib\\" + vr::GuidToString(LIBID_JOTWELLLib);
}
std::u16string TypeLibVersionKey() {
    return TypeLibKey() + u"\\1.0";
}

LONG SetText(HKEY key, const char16_t* name, std::u16string_view text) {
    std::u16string data(text);
    return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(OLECHAR)));
}

HRESULT RegisterTypeLibKey(std::u16string_view modulePath) {
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CLASSES_ROOT, TypeLibVersionKey().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return SELFREG_E_TYPELIB;
    }
    std::u16string folder(modulePath.substr(0, modulePath.rfind(u'/') + 1));
    bool written = SetText(key, nullptr, u"Jotwell 1.0 Type Library") == ERROR_SUCCESS &&
                   SetText(key, u"FLAGS", u"0") == ERROR_SUCCESS &&
                   SetText(key, u"HELPDIR", folder) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    LONG status = RegDeleteTree(HKEY_CLASSES_ROOT, TypeLibVersionKey().c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        return SELFREG_E_TYPELIB;
    }
    // The library key goes only when no other version is left in it.
    static_cast<void>(RegDeleteKey(HKEY_CLASSES_ROOT, TypeLibKey().c_str()));
    return S_OK;
}

constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &RegisterTypeLibKey,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
