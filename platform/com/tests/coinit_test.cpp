// COM initialisation per thread: counts, models, the implicit multithreaded apartment, apartment end.
#include "platform/com/activation.h"
#include "platform/com/server.h"
#include "platform/com/tests/activation_probe.h"
#include "platform/com/tests/activation_test_support.h"

#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace {

// Runs body on a new thread, so that each case starts from an uninitialised thread.
template <class Body>
void OnNewThread(Body body) {
    std::thread(body).join();
}

TEST(CoInitialize, CountsCallsOfOneModelAndRefusesTheOther) {
    OnNewThread([] {
        EXPECT_EQ(vr::CurrentApartment(), vr::ApartmentKind::None);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        EXPECT_EQ(vr::CurrentApartment(), vr::ApartmentKind::SingleThreaded);
        CoUninitialize();
        EXPECT_EQ(vr::CurrentApartment(), vr::ApartmentKind::SingleThreaded); // one call still open
        CoUninitialize();
        EXPECT_EQ(vr::CurrentApartment(), vr::ApartmentKind::None);
        CoUninitialize(); // unbalanced: ignored
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(vr::CurrentApartment(), vr::ApartmentKind::MultiThreaded);
        CoUninitialize();
    });
}

TEST(CoInitialize, UninitialisedThreadMayNotCreateObjects) {
    OnNewThread([] {
        IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
        EXPECT_EQ(CoCreateInstance(vrtest::CLSID_ActivationProbe, nullptr, CLSCTX_ALL, IID_IUnknown,
                                   reinterpret_cast<void**>(&object)),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(object, nullptr);
    });
}

TEST(CoInitialize, UninitialisedThreadJoinsAnExistingMultithreadedApartment) {
    std::promise<void> entered, done;
    std::thread member([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        entered.set_value();
        done.get_future().wait();
        CoUninitialize();
    });
    entered.get_future().wait();
    OnNewThread([] { EXPECT_EQ(vr::CurrentApartment(), vr::ApartmentKind::MultiThreaded); });
    done.set_value();
    member.join();
    OnNewThread([] { EXPECT_EQ(vr::CurrentApartment(), vr::ApartmentKind::None); });
}

class Nothing {
public:
    static HRESULT CreateInstance(IUnknown*, REFIID, void**) { return E_NOTIMPL; }
};

TEST(CoInitialize, LastUninitialiseRevokesTheThreadsClassObjects) {
    constexpr CLSID kClass = vr::MakeGuid("D6CF7261-1FA4-4795-B4A3-34C1D9DE40D7");
    OnNewThread([&] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        IUnknown* factory = nullptr;
        ASSERT_EQ(vr::server::CreateClassFactory<Nothing>(IID_IUnknown, reinterpret_cast<void**>(&factory)),
                  S_OK);
        DWORD cookie = 0;
        ASSERT_EQ(CoRegisterClassObject(kClass, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
                  S_OK);
        factory->Release();
        ASSERT_EQ(CoInitialize(nullptr), S_FALSE);
        CoUninitialize(); // not the last: the registration stays
        IClassFactory* found = nullptr;
        ASSERT_EQ(CoGetClassObject(kClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&found)),
                  S_OK);
        found->Release();
        CoUninitialize();
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoGetClassObject(kClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&found)),
                  REGDB_E_CLASSNOTREG);
        EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
        CoUninitialize();
    });
}

TEST(CoInitialize, ThreadEndingWithoutUninitialiseLeavesItsApartment) {
    constexpr CLSID kClass = vr::MakeGuid("D6CF7261-1FA4-4795-B4A3-34C1D9DE40D8");
    OnNewThread([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        IUnknown* factory = nullptr;
        ASSERT_EQ(vr::server::CreateClassFactory<Nothing>(IID_IUnknown, reinterpret_cast<void**>(&factory)),
                  S_OK);
        DWORD cookie = 0;
        ASSERT_EQ(CoRegisterClassObject(kClass, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
                  S_OK);
        factory->Release();
    });
    OnNewThread([&] {
        EXPECT_EQ(vr::CurrentApartment(), vr::ApartmentKind::None);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        IClassFactory* found = nullptr;
        EXPECT_EQ(CoGetClassObject(kClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&found)),
                  REGDB_E_CLASSNOTREG);
        CoUninitialize();
    });
}

} // namespace
