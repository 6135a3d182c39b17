// What an in-process server library compiles in: its class table, the class factory, the exported entry
// points.
//
// A library lists its classes once and lets VR_SERVER_EXPORTS generate DllGetClassObject, DllCanUnloadNow,
// DllRegisterServer and DllUnregisterServer from the list:
//
//     constexpr vr::server::ClassEntry kClasses[] = {
//         {.clsid = CLSID_Thing, .createInstance = &CThing::CreateInstance, .progId = u"Vornic.Thing.1",
//          .versionIndependentProgId = u"Vornic.Thing", .description = u"Thing Class"},
//     };
//     VR_SERVER_EXPORTS(kClasses)
//
// Everything here but the registration writers is inline on purpose: compiled into each library with hidden
// visibility, every library answers for its own lock count (platform/com/module.h).
#pragma once

#include "platform/base/text.h"
#include "platform/com/module.h"
#include "platform/com/unknown.h"

#include <atomic>
#include <new>
#include <span>
#include <string>
#include <string_view>

namespace vr::server {

// The creation function every creatable class offers (T::CreateInstance).
using CreateInstanceFn = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

enum class ThreadingModel { Apartment, Both, Free };

// One class of a server; optional texts are null and optional GUIDs GUID_NULL when absent.
struct ClassEntry {
    CLSID clsid = GUID_NULL;
    CreateInstanceFn createInstance = nullptr;
    const char16_t* progId = nullptr;                   // versioned, e.g. u"Vornic.Socket.1"
    const char16_t* versionIndependentProgId = nullptr; // e.g. u"Vornic.Socket"; its CurVer is progId
    const char16_t* description = nullptr;              // CLSID key's default value and the ProgIDs'
    ThreadingModel threadingModel = ThreadingModel::Apartment;
    GUID typeLib = GUID_NULL;                         // the LIBID written as the class's TypeLib
    GUID appId = GUID_NULL;                           // written as the class's AppID value
    std::span<const GUID> implementedCategories = {}; // keys under "Implemented Categories"
    bool programmable = false;                        // writes the "Programmable" key
};

// Steps a library adds to its registration (its type library, for instance), run after the classes are
// registered and before they are unregistered. Null members are skipped.
struct RegistrationHooks {
    HRESULT (*afterRegister)(std::u16string_view modulePath) = nullptr;
    HRESULT (*beforeUnregister)(std::u16string_view modulePath) = nullptr;
};

// ---- Registration writers (in vrplatform; the registry is shared by the whole station) ----

// Writes for each class: CLSID\{clsid} (default = description) with InprocServer32 (default = libraryPath,
// ThreadingModel), ProgID, VersionIndependentProgID, TypeLib, AppID, Programmable and Implemented
// Categories\{catid}; <ProgID> (default = description) with CLSID; <VersionIndependentProgID> with CLSID and
// CurVer. SELFREG_E_CLASS when a write fails (what was written stays; UnregisterInprocClasses removes it).
[[nodiscard]] HRESULT RegisterInprocClasses(std::span<const ClassEntry> classes,
                                            std::u16string_view libraryPath);
// Removes exactly what RegisterInprocClasses writes; a ProgID key that names another CLSID by now is left
// alone, and a key is removed only when nothing of anyone else's is left in it.
[[nodiscard]] HRESULT UnregisterInprocClasses(std::span<const ClassEntry> classes);

// The same for a program that serves its classes (LocalServer32 = programPath in place of InprocServer32).
// With an AppID, also AppID\{appid} (default = description) and AppID\<program file name> (AppID value).
[[nodiscard]] HRESULT RegisterLocalServerClasses(std::span<const ClassEntry> classes,
                                                 std::u16string_view programPath);
[[nodiscard]] HRESULT UnregisterLocalServerClasses(std::span<const ClassEntry> classes,
                                                   std::u16string_view programPath);

// The type library key "TypeLib\{libid}\<major>.<minor>" (default = name, FLAGS "0", HELPDIR = the module's
// folder) of a server whose type information its dispatch tables serve, so no library file is named.
// SELFREG_E_TYPELIB when a write fails. Unregistering removes the version key, and the library key when no
// other version is left in it.
[[nodiscard]] HRESULT RegisterTypeLibKey(const GUID& libid, WORD major, WORD minor, std::u16string_view name,
                                         std::u16string_view modulePath);
[[nodiscard]] HRESULT UnregisterTypeLibKey(const GUID& libid, WORD major, WORD minor);

// Registers the type library a module carries as its resource TYPELIB 1 (vr_add_type_library) under its
// LIBID and version, with the module's path as the library's file, so LoadRegTypeLib reads it from the
// module without loading it. SELFREG_E_TYPELIB when the module carries no sound library or a write fails.
// UnregisterTypeLibKey removes it.
[[nodiscard]] HRESULT RegisterEmbeddedTypeLib(std::u16string_view modulePath);

// The absolute path of the library or program whose image holds address; empty when none does.
std::string ModulePathOf(const void* address);

// ---- Per-library parts ----

// The class factory of one class: counts as a lock on its library while it lives, so the library is not
// unloaded under a caller that holds the factory. Threads: may be used from any thread.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateInstanceFn create) : create_(create) { vr::module::Lock(); }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = nullptr;
        return create_(outer, riid, ppv);
    }
    HRESULT LockServer(BOOL lock) override {
        if (lock) {
            vr::module::Lock();
        } else {
            vr::module::Unlock();
        }
        return S_OK;
    }

private:
    ~ClassFactory() { vr::module::Unlock(); }

    CreateInstanceFn create_;
    std::atomic<ULONG> refs_{1};
};

// A new class factory for create, asked for riid.
[[nodiscard]] inline HRESULT CreateClassFactory(CreateInstanceFn create, REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    auto* factory = new (std::nothrow) ClassFactory(create);
    if (!factory) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

// The class factory of class T (T::CreateInstance), e.g. for CoRegisterClassObject in a program.
template <class T>
[[nodiscard]] HRESULT CreateClassFactory(REFIID riid, void** ppv) {
    return CreateClassFactory(&T::CreateInstance, riid, ppv);
}

[[nodiscard]] inline HRESULT GetClassObject(std::span<const ClassEntry> classes, REFCLSID clsid, REFIID riid,
                                            void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    for (const ClassEntry& entry : classes) {
        if (entry.clsid == clsid && entry.createInstance) {
            return CreateClassFactory(entry.createInstance, riid, ppv);
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

[[nodiscard]] inline HRESULT CanUnloadNow() {
    return vr::module::LockCount().load() == 0 ? S_OK : S_FALSE;
}

[[nodiscard]] inline HRESULT RegisterServer(std::span<const ClassEntry> classes, const void* anchor,
                                            RegistrationHooks hooks) {
    std::string path = ModulePathOf(anchor);
    if (path.empty()) {
        return SELFREG_E_CLASS;
    }
    std::u16string libraryPath = vr::FromUtf8(path);
    HRESULT hr = RegisterInprocClasses(classes, libraryPath);
    if (SUCCEEDED(hr) && hooks.afterRegister) {
        hr = hooks.afterRegister(libraryPath);
    }
    if (FAILED(hr)) {
        (void)UnregisterInprocClasses(classes); // leave no half registration behind
    }
    return hr;
}

[[nodiscard]] inline HRESULT UnregisterServer(std::span<const ClassEntry> classes, const void* anchor,
                                              RegistrationHooks hooks) {
    HRESULT hookResult = S_OK;
    if (hooks.beforeUnregister) {
        hookResult = hooks.beforeUnregister(vr::FromUtf8(ModulePathOf(anchor)));
    }
    HRESULT hr = UnregisterInprocClasses(classes);
    return FAILED(hr) ? hr : hookResult;
}

} // namespace vr::server

// An exported entry point of a library built with hidden visibility.
#define VR_DLL_EXPORT extern "C" __attribute__((visibility("default")))

// The four entry points of an in-process server, from its class table (an array or span of ClassEntry with
// static storage in the library) and optional registration hooks.
#define VR_SERVER_EXPORTS_WITH_HOOKS(classTable, hooks)                                                      \
    VR_DLL_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {                       \
        return vr::server::GetClassObject(classTable, clsid, riid, ppv);                                     \
    }                                                                                                        \
    VR_DLL_EXPORT HRESULT DllCanUnloadNow() {                                                                \
        return vr::server::CanUnloadNow();                                                                   \
    }                                                                                                        \
    VR_DLL_EXPORT HRESULT DllRegisterServer() {                                                              \
        return vr::server::RegisterServer(classTable, &classTable, hooks);                                   \
    }                                                                                                        \
    VR_DLL_EXPORT HRESULT DllUnregisterServer() {                                                            \
        return vr::server::UnregisterServer(classTable, &classTable, hooks);                                 \
    }

#define VR_SERVER_EXPORTS(classTable)                                                                        \
    VR_SERVER_EXPORTS_WITH_HOOKS(classTable, vr::server::RegistrationHooks{})
