// Creation by CLSID: class objects registered by code, in-process server libraries, unloading, failures.
#include "platform/base/program_conventions.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/server.h"
#include "platform/com/tests/activation_probe.h"
#include "platform/com/tests/activation_test_support.h"

#include <barrier>
#include <chrono>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using vr::ComPtr;

constexpr CLSID kLocalClass = vr::MakeGuid("E51C0DF5-F154-4B77-A626-DDADE1FC586C");
constexpr CLSID kMissingClass = vr::MakeGuid("BEA36BC1-7207-4A03-9099-2E5738AF219E");

bool ProbeLoaded() {
    void* handle = dlopen(VR_PROBE_SERVER_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (handle) {
        dlclose(handle);
    }
    return handle != nullptr;
}

// Registers the probe library by calling its own DllRegisterServer, then lets go of it again.
void RegisterProbe() {
    void* handle = dlopen(VR_PROBE_SERVER_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllRegisterServer"));
    ASSERT_NE(registerServer, nullptr);
    EXPECT_EQ(registerServer(), S_OK);
    dlclose(handle);
}

HRESULT CreateProbe(ComPtr<IActivationProbe>& probe) {
    return CoCreateInstance(vrtest::CLSID_ActivationProbe, nullptr, CLSCTX_INPROC_SERVER,
                            IID_IActivationProbe, probe.PutVoid());
}

LONG ModuleLocks(IActivationProbe* probe) {
    LONG count = -1;
    EXPECT_EQ(probe->ModuleLocks(&count), S_OK);
    return count;
}

class InprocServerTest : public vrtest::FreshRegistryTest {
protected:
    void SetUp() override {
        FreshRegistryTest::SetUp();
        RegisterProbe();
    }
    void TearDown() override {
        CoFreeUnusedLibrariesEx(0, 0);
        FreshRegistryTest::TearDown();
    }
};

TEST_F(InprocServerTest, CreatesFromTheRegisteredLibrary) {
    ComPtr<IActivationProbe> first, second;
    ASSERT_EQ(CreateProbe(first), S_OK);
    LONG answer = 0;
    EXPECT_EQ(first->Ping(&answer), S_OK);
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(ModuleLocks(first.Get()), 1); // the factory was released after creation
    ASSERT_EQ(CreateProbe(second), S_OK);
    EXPECT_EQ(ModuleLocks(first.Get()), 2);
}

TEST_F(InprocServerTest, UnloadsOnlyWhenNothingOfTheLibraryIsInUse) {
    ComPtr<IActivationProbe> probe;
    ASSERT_EQ(CreateProbe(probe), S_OK);
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_TRUE(ProbeLoaded()) << "a live object keeps its library";
    probe = nullptr;
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_FALSE(ProbeLoaded());

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(vrtest::CLSID_ActivationProbe, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, factory.PutVoid()),
              S_OK);
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_TRUE(ProbeLoaded()) << "a held class factory keeps its library";
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory = nullptr;
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_TRUE(ProbeLoaded()) << "a server lock keeps its library";

    ASSERT_EQ(CoGetClassObject(vrtest::CLSID_ActivationProbe, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, factory.PutVoid()),
              S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory = nullptr;
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_FALSE(ProbeLoaded());

    // Loaded again, the library starts with fresh module state.
    ASSERT_EQ(CreateProbe(probe), S_OK);
    EXPECT_EQ(ModuleLocks(probe.Get()), 1);
}

TEST_F(InprocServerTest, IdleLibraryIsUnloadedOnlyAfterTheDelay) {
    ComPtr<IActivationProbe> probe;
    ASSERT_EQ(CreateProbe(probe), S_OK);
    probe = nullptr;
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ProbeLoaded()) << "the default delay has not passed";
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    CoFreeUnusedLibrariesEx(50, 0);
    EXPECT_FALSE(ProbeLoaded());

    // Asking for a class object in between starts the idle time anew.
    ASSERT_EQ(CreateProbe(probe), S_OK);
    probe = nullptr;
    CoFreeUnusedLibrariesEx(50, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ASSERT_EQ(CreateProbe(probe), S_OK);
    probe = nullptr;
    CoFreeUnusedLibrariesEx(50, 0);
    EXPECT_TRUE(ProbeLoaded());
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    CoFreeUnusedLibrariesEx(50, 0);
    EXPECT_FALSE(ProbeLoaded());
}

bool ProbeUnloadedWithin(std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (ProbeLoaded()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// While one thread keeps unloading idle libraries, creators work in rounds; between rounds the library is
// unloaded, so every round starts with several threads loading it at once.
TEST_F(InprocServerTest, CreationAndUnloadingMayRunOnManyThreads) {
    constexpr int kCreators = 4;
    constexpr int kRounds = 3;
    std::barrier roundStart(kCreators + 1);
    std::barrier roundEnd(kCreators + 1);
    std::atomic<int> failures{0};
    std::atomic<bool> stop{false};
    std::thread unloader([&] {
        while (!stop) {
            CoFreeUnusedLibrariesEx(100, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::vector<std::thread> creators;
    for (int t = 0; t < kCreators; ++t) {
        creators.emplace_back([&] {
            bool initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            for (int round = 0; round < kRounds; ++round) {
                roundStart.arrive_and_wait();
                for (int i = 0; i < 50 && initialised; ++i) {
                    ComPtr<IActivationProbe> probe;
                    LONG answer = 0;
                    if (FAILED(CreateProbe(probe)) || FAILED(probe->Ping(&answer)) || answer != 42) {
                        ++failures;
                    }
                }
                roundEnd.arrive_and_wait();
            }
            failures += initialised ? 0 : 1;
            if (initialised) {
                CoUninitialize();
            }
        });
    }
    for (int round = 0; round < kRounds; ++round) {
        roundStart.arrive_and_wait();
        roundEnd.arrive_and_wait();
        EXPECT_TRUE(ProbeUnloadedWithin(std::chrono::seconds(10))) << "round " << round;
    }
    for (auto& creator : creators) {
        creator.join();
    }
    stop = true;
    unloader.join();
    EXPECT_EQ(failures, 0);
}

TEST_F(InprocServerTest, ReportsWhyAClassCannotBeServed) {
    ComPtr<IUnknown> object;
    // Listed by the library, but without a way to make it.
    EXPECT_EQ(CoCreateInstance(vrtest::CLSID_ActivationProbeUnserved, nullptr, CLSCTX_ALL, IID_IUnknown,
                               object.PutVoid()),
              CLASS_E_CLASSNOTAVAILABLE);
    // Registered in-process only, asked for a local server.
    EXPECT_EQ(CoCreateInstance(vrtest::CLSID_ActivationProbe, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                               object.PutVoid()),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(kMissingClass, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()),
              REGDB_E_CLASSNOTREG);

    std::string missing = vrtest::MakeFreshFolder("libs") + "/libmissing.so";
    vrtest::WriteClassesText(u"CLSID\\" + vr::GuidToString(kMissingClass) + u"\\InprocServer32", u"",
                             vr::FromUtf8(missing));
    IUnknown* raw = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(
        CoCreateInstance(kMissingClass, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&raw)),
        CO_E_DLLNOTFOUND);
    EXPECT_EQ(raw, nullptr);
    EXPECT_NE(vr::LastLibraryLoadError().find(missing), std::string::npos) << vr::LastLibraryLoadError();
}

TEST_F(InprocServerTest, ReportsLibrariesThatAreNoServers) {
    const std::u16string key = u"CLSID\\" + vr::GuidToString(kMissingClass) + u"\\InprocServer32";
    ComPtr<IUnknown> object;

    vrtest::WriteClassesText(key, u"", vr::FromUtf8(VR_NO_ENTRY_LIBRARY_PATH));
    EXPECT_EQ(CoCreateInstance(kMissingClass, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()),
              CO_E_ERRORINDLL);
    EXPECT_NE(vr::LastLibraryLoadError().find("DllGetClassObject"), std::string::npos)
        << vr::LastLibraryLoadError();

    std::string notALibrary = vrtest::MakeFreshFolder("libs") + "/libtext.so";
    std::ofstream(notALibrary) << "not a shared object\n";
    vrtest::WriteClassesText(key, u"", vr::FromUtf8(notALibrary));
    EXPECT_EQ(CoCreateInstance(kMissingClass, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()),
              CO_E_ERRORINDLL);
    EXPECT_NE(vr::LastLibraryLoadError().find(notALibrary), std::string::npos) << vr::LastLibraryLoadError();
}

// A library of another build than the process's (an installation while the program runs) is never loaded:
// the refusal names the library, both builds and what to do, instead of an undefined symbol.
TEST_F(InprocServerTest, RefusesALibraryOfAnotherBuild) {
    std::string folder = vrtest::MakeFreshFolder("newer-build");
    std::string library = folder + "/libprobe.so";
    std::filesystem::copy_file(VR_PROBE_SERVER_PATH, library);
    std::ofstream(folder + "/build.dat") << "991231.235959\n";
    vrtest::WriteClassesText(u"CLSID\\" + vr::GuidToString(kMissingClass) + u"\\InprocServer32", u"",
                             vr::FromUtf8(library));
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(kMissingClass, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()),
              CO_E_ERRORINDLL);
    if (vr::BuildStamp() != "unknown") {
        EXPECT_EQ(vr::LastLibraryLoadError().find(library + " is of build 991231.235959, this process ("), 0u)
            << vr::LastLibraryLoadError();
    }
    EXPECT_EQ(dlopen(library.c_str(), RTLD_NOLOAD), nullptr) << "the library was loaded";
}

// ---- Class objects registered by code ----

// Makes a CountedDispatch whose Answer is known; counts the objects it made.
std::atomic<int> g_made{0};
HRESULT MakeCounted(IUnknown* outer, REFIID riid, void** ppv) {
    if (outer) {
        return CLASS_E_NOAGGREGATION;
    }
    ++g_made;
    auto* object = new vrtest::CountedDispatch;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}
HRESULT MakeNothing(IUnknown*, REFIID, void**) {
    return E_NOTIMPL;
}

DWORD RegisterFactory(vr::server::CreateInstanceFn create, DWORD clsctx, DWORD flags,
                      const CLSID& clsid = kLocalClass) {
    ComPtr<IUnknown> factory;
    EXPECT_EQ(vr::server::CreateClassFactory(create, IID_IUnknown, factory.PutVoid()), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(CoRegisterClassObject(clsid, factory.Get(), clsctx, flags, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    return cookie;
}

using ClassObjectTest = vrtest::FreshRegistryTest;

TEST_F(ClassObjectTest, EarliestRegistrationServesUntilRevoked) {
    DWORD first = RegisterFactory(&MakeCounted, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE);
    DWORD second = RegisterFactory(&MakeNothing, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE);
    ComPtr<IDispatch> object;
    int madeBefore = g_made;
    ASSERT_EQ(CoCreateInstance(kLocalClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()),
              S_OK);
    EXPECT_EQ(g_made, madeBefore + 1);
    LONG answer = 0;
    EXPECT_EQ(vrtest::CallAnswer(object.Get(), &answer), S_OK);
    EXPECT_EQ(answer, 7);

    ASSERT_EQ(CoRevokeClassObject(first), S_OK);
    EXPECT_EQ(CoCreateInstance(kLocalClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()),
              E_NOTIMPL);
    ASSERT_EQ(CoRevokeClassObject(second), S_OK);
    EXPECT_EQ(CoCreateInstance(kLocalClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoRevokeClassObject(second), CO_E_OBJNOTREG);
}

TEST_F(ClassObjectTest, LocalServerRegistrationServesInProcessWhenMultipleUse) {
    DWORD single = RegisterFactory(&MakeCounted, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE);
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(kLocalClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.PutVoid()),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(kLocalClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.PutVoid()),
              S_OK);
    DWORD multiple = RegisterFactory(&MakeCounted, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE);
    EXPECT_EQ(CoCreateInstance(kLocalClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.PutVoid()),
              S_OK);
    EXPECT_EQ(CoRevokeClassObject(single), S_OK);
    EXPECT_EQ(CoRevokeClassObject(multiple), S_OK);
}

TEST_F(ClassObjectTest, RegisteredClassObjectComesBeforeTheRegistry) {
    RegisterProbe();
    DWORD cookie = RegisterFactory(&MakeCounted, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                   vrtest::CLSID_ActivationProbe);
    ComPtr<IDispatch> object;
    EXPECT_EQ(
        CoCreateInstance(vrtest::CLSID_ActivationProbe, nullptr, CLSCTX_ALL, IID_IDispatch, object.PutVoid()),
        S_OK);
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
}

TEST_F(ClassObjectTest, RefusedCreationLeavesNoPointerBehind) {
    DWORD cookie = RegisterFactory(&MakeCounted, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE);
    auto outer = ComPtr<IDispatch>::Adopt(new vrtest::CountedDispatch);
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(CoCreateInstance(kLocalClass, outer.Get(), CLSCTX_ALL, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
}

} // namespace
