// The running object table: strong and weak registrations, connections that a disconnect cuts off, locks.
#include "platform/com/comptr.h"
#include "platform/com/rot.h"
#include "platform/com/tests/activation_test_support.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using vr::ComPtr;
using vrtest::CountedDispatch;

constexpr CLSID kTracer = vr::MakeGuid("C4A1F2E3-5B6D-4C7E-8F90-A1B2C3D4E5F6");
constexpr CLSID kOther = vr::MakeGuid("C4A1F2E3-5B6D-4C7E-8F90-A1B2C3D4E5F7");

using RunningObjectTableTest = vrtest::FreshRegistryTest;

ComPtr<IDispatch> ActiveDispatch(const CLSID& clsid, HRESULT* result = nullptr) {
    ComPtr<IUnknown> unknown;
    HRESULT hr = GetActiveObject(clsid, nullptr, unknown.Put());
    ComPtr<IDispatch> dispatch;
    if (SUCCEEDED(hr)) {
        hr = unknown.As(&dispatch);
    }
    if (result) {
        *result = hr;
    }
    return dispatch;
}

TEST_F(RunningObjectTableTest, StrongRegistrationKeepsTheObjectUntilRevoked) {
    std::atomic<bool> destroyed{false};
    auto* object = new CountedDispatch(&destroyed);
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(object, kTracer, ACTIVEOBJECT_STRONG, &cookie), S_OK);
    object->Release();
    EXPECT_FALSE(destroyed);
    LONG answer = 0;
    ComPtr<IDispatch> active = ActiveDispatch(kTracer);
    ASSERT_TRUE(active);
    EXPECT_EQ(vrtest::CallAnswer(active.Get(), &answer), S_OK);
    EXPECT_EQ(answer, 7);
    active = nullptr;
    EXPECT_EQ(RevokeActiveObject(cookie, nullptr), S_OK);
    EXPECT_TRUE(destroyed);
    HRESULT hr = S_OK;
    EXPECT_FALSE(ActiveDispatch(kTracer, &hr));
    EXPECT_EQ(hr, MK_E_UNAVAILABLE);
    EXPECT_EQ(RevokeActiveObject(cookie, nullptr), E_INVALIDARG);
}

TEST_F(RunningObjectTableTest, WeakRegistrationHoldsNoReference) {
    auto object = ComPtr<CountedDispatch>::Adopt(new CountedDispatch);
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(object.Get(), kTracer, ACTIVEOBJECT_WEAK, &cookie), S_OK);
    EXPECT_EQ(object->References(), 1u);
    {
        ComPtr<IDispatch> active = ActiveDispatch(kTracer);
        ASSERT_TRUE(active);
        EXPECT_EQ(object->References(), 2u) << "an outside user holds the object while connected";
    }
    EXPECT_EQ(object->References(), 1u);
    EXPECT_EQ(RevokeActiveObject(cookie, nullptr), S_OK);
    HRESULT hr = S_OK;
    ActiveDispatch(kTracer, &hr);
    EXPECT_EQ(hr, MK_E_UNAVAILABLE);
}

TEST_F(RunningObjectTableTest, ConnectionIsOneIdentityAndOffersOnlyWhatItCanForward) {
    auto object = ComPtr<CountedDispatch>::Adopt(new CountedDispatch);
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(object.Get(), kTracer, ACTIVEOBJECT_WEAK, &cookie), S_OK);
    ComPtr<IUnknown> first, second;
    ASSERT_EQ(GetActiveObject(kTracer, nullptr, first.Put()), S_OK);
    ASSERT_EQ(GetActiveObject(kTracer, nullptr, second.Put()), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    ComPtr<IUnknown> identity;
    ASSERT_EQ(first->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), first.Get());
    ComPtr<IClassFactory> unrelated;
    EXPECT_EQ(first.As(&unrelated), E_NOINTERFACE);

    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(first.As(&dispatch), S_OK);
    OLECHAR name[] = u"Answer";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(RevokeActiveObject(cookie, nullptr), S_OK);
}

TEST_F(RunningObjectTableTest, EarliestRegistrationAnswersUntilRevoked) {
    auto first = ComPtr<CountedDispatch>::Adopt(new CountedDispatch);
    auto second = ComPtr<CountedDispatch>::Adopt(new CountedDispatch);
    DWORD firstCookie = 0, secondCookie = 0, otherCookie = 0;
    ASSERT_EQ(RegisterActiveObject(first.Get(), kTracer, ACTIVEOBJECT_WEAK, &firstCookie), S_OK);
    ASSERT_EQ(RegisterActiveObject(second.Get(), kTracer, ACTIVEOBJECT_WEAK, &secondCookie), S_OK);
    ASSERT_EQ(RegisterActiveObject(second.Get(), kOther, ACTIVEOBJECT_WEAK, &otherCookie), S_OK);
    {
        ComPtr<IDispatch> active = ActiveDispatch(kTracer);
        EXPECT_EQ(first->References(), 2u);
        EXPECT_EQ(second->References(), 1u);
    }
    EXPECT_EQ(RevokeActiveObject(firstCookie, nullptr), S_OK);
    {
        ComPtr<IDispatch> active = ActiveDispatch(kTracer);
        EXPECT_EQ(second->References(), 2u);
    }
    EXPECT_EQ(RevokeActiveObject(secondCookie, nullptr), S_OK);
    EXPECT_EQ(RevokeActiveObject(otherCookie, nullptr), S_OK);
}

TEST_F(RunningObjectTableTest, DisconnectCutsOffEveryOutsideUser) {
    std::atomic<bool> destroyed{false};
    auto* object = new CountedDispatch(&destroyed);
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(object, kTracer, ACTIVEOBJECT_STRONG, &cookie), S_OK);
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(GetActiveObject(kTracer, nullptr, unknown.Put()), S_OK);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(unknown.As(&dispatch), S_OK);

    ASSERT_EQ(CoDisconnectObject(object, 0), S_OK);
    object->Release(); // the creator's own reference; the table and the connection gave theirs up
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(vrtest::CallAnswer(dispatch.Get()), RPC_E_DISCONNECTED);
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), RPC_E_DISCONNECTED);
    ComPtr<IDispatch> again;
    EXPECT_EQ(unknown.As(&again), CO_E_OBJNOTCONNECTED);
    HRESULT hr = S_OK;
    ActiveDispatch(kTracer, &hr);
    EXPECT_EQ(hr, MK_E_UNAVAILABLE);
    EXPECT_EQ(RevokeActiveObject(cookie, nullptr), S_OK) << "a disconnected registration is still revoked";
}

TEST_F(RunningObjectTableTest, ObjectRegisteredAgainAfterDisconnectGetsANewConnection) {
    auto object = ComPtr<CountedDispatch>::Adopt(new CountedDispatch);
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(object.Get(), kTracer, ACTIVEOBJECT_WEAK, &cookie), S_OK);
    ComPtr<IDispatch> old = ActiveDispatch(kTracer);
    ASSERT_EQ(CoDisconnectObject(object.Get(), 0), S_OK);
    EXPECT_EQ(RevokeActiveObject(cookie, nullptr), S_OK);

    ASSERT_EQ(RegisterActiveObject(object.Get(), kTracer, ACTIVEOBJECT_WEAK, &cookie), S_OK);
    ComPtr<IDispatch> fresh = ActiveDispatch(kTracer);
    ASSERT_TRUE(fresh);
    EXPECT_NE(fresh.Get(), old.Get());
    EXPECT_EQ(vrtest::CallAnswer(fresh.Get()), S_OK);
    EXPECT_EQ(vrtest::CallAnswer(old.Get()), RPC_E_DISCONNECTED);
    EXPECT_EQ(RevokeActiveObject(cookie, nullptr), S_OK);
}

TEST_F(RunningObjectTableTest, DisconnectDuringACallWaitsForTheCallToFinish) {
    std::atomic<bool> destroyed{false};
    auto* object = new CountedDispatch(&destroyed);
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(object, kTracer, ACTIVEOBJECT_STRONG, &cookie), S_OK);
    bool aliveInCall = false;
    object->duringInvoke = [&] {
        EXPECT_EQ(CoDisconnectObject(object, 0), S_OK);
        EXPECT_EQ(RevokeActiveObject(cookie, nullptr), S_OK);
        aliveInCall = !destroyed;
    };
    object->Release();
    ComPtr<IDispatch> active = ActiveDispatch(kTracer);
    ASSERT_TRUE(active);
    EXPECT_EQ(vrtest::CallAnswer(active.Get()), S_OK);
    EXPECT_TRUE(aliveInCall);
    EXPECT_TRUE(destroyed) << "the call's own reference was the last";
    EXPECT_EQ(vrtest::CallAnswer(active.Get()), RPC_E_DISCONNECTED);
}

TEST_F(RunningObjectTableTest, ExternalLockKeepsTheObjectUntilTheLastUnlock) {
    std::atomic<bool> destroyed{false};
    auto* object = new CountedDispatch(&destroyed);
    ASSERT_EQ(CoLockObjectExternal(object, TRUE, TRUE), S_OK);
    ASSERT_EQ(CoLockObjectExternal(object, TRUE, TRUE), S_OK);
    object->Release();
    EXPECT_FALSE(destroyed);
    ASSERT_EQ(CoLockObjectExternal(object, FALSE, TRUE), S_OK);
    EXPECT_FALSE(destroyed);
    ASSERT_EQ(CoLockObjectExternal(object, FALSE, TRUE), S_OK);
    EXPECT_TRUE(destroyed);
}

TEST_F(RunningObjectTableTest, UnlockThatKeepsTheObjectHoldsItUntilDisconnect) {
    std::atomic<bool> destroyed{false};
    auto* object = new CountedDispatch(&destroyed);
    ASSERT_EQ(CoLockObjectExternal(object, TRUE, FALSE), S_OK);
    object->Release();
    ASSERT_EQ(CoLockObjectExternal(object, FALSE, FALSE), S_OK);
    EXPECT_FALSE(destroyed);
    ASSERT_EQ(CoDisconnectObject(object, 0), S_OK);
    EXPECT_TRUE(destroyed);
}

// The way a control registers itself: weak registration plus an outside lock, undone when it goes away,
// with the object revoking its own registration from its destructor.
TEST_F(RunningObjectTableTest, ObjectMayCallTheTableWhileBeingReleasedByIt) {
    std::atomic<bool> destroyed{false};
    auto* object = new CountedDispatch(&destroyed);
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(object, kTracer, ACTIVEOBJECT_WEAK, &cookie), S_OK);
    ASSERT_EQ(CoLockObjectExternal(object, TRUE, TRUE), S_OK);
    object->onDestroy = [&] { EXPECT_EQ(RevokeActiveObject(cookie, nullptr), S_OK); };
    object->Release();
    ASSERT_EQ(CoLockObjectExternal(object, FALSE, TRUE), S_OK); // runs the destructor, which revokes
    EXPECT_TRUE(destroyed);
    HRESULT hr = S_OK;
    ActiveDispatch(kTracer, &hr);
    EXPECT_EQ(hr, MK_E_UNAVAILABLE);
}

TEST_F(RunningObjectTableTest, ConnectionsMayBeUsedFromManyThreadsWhileTheObjectIsDisconnected) {
    std::atomic<bool> destroyed{false};
    auto* object = new CountedDispatch(&destroyed);
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(object, kTracer, ACTIVEOBJECT_STRONG, &cookie), S_OK);
    std::atomic<int> unexpected{0};
    std::vector<std::thread> users;
    for (int t = 0; t < 4; ++t) {
        users.emplace_back([&] {
            (void)CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            for (int i = 0; i < 300; ++i) {
                HRESULT hr = S_OK;
                ComPtr<IDispatch> active = ActiveDispatch(kTracer, &hr);
                if (active) {
                    hr = vrtest::CallAnswer(active.Get());
                }
                if (hr != S_OK && hr != MK_E_UNAVAILABLE && hr != RPC_E_DISCONNECTED &&
                    hr != CO_E_OBJNOTCONNECTED) {
                    ++unexpected;
                }
            }
            CoUninitialize();
        });
    }
    std::this_thread::yield();
    EXPECT_EQ(CoDisconnectObject(object, 0), S_OK);
    object->Release();
    for (auto& user : users) {
        user.join();
    }
    EXPECT_EQ(unexpected, 0);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(RevokeActiveObject(cookie, nullptr), S_OK);
}

TEST(RunningObjectTable, UninitialisedThreadMayNotUseIt) {
    std::thread([] {
        auto object = ComPtr<CountedDispatch>::Adopt(new CountedDispatch);
        DWORD cookie = 0;
        EXPECT_EQ(RegisterActiveObject(object.Get(), kTracer, ACTIVEOBJECT_WEAK, &cookie),
                  CO_E_NOTINITIALIZED);
        IUnknown* active = nullptr;
        EXPECT_EQ(GetActiveObject(kTracer, nullptr, &active), CO_E_NOTINITIALIZED);
    }).join();
}

} // namespace
