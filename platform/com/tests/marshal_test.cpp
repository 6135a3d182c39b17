// Marshalling: streams, proxies and their references, objects that come home, and far apartments that end.
#include "apartment_thread.h"
#include "conformance.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace vrtest {
namespace {

// What a watched object's life left behind: whether it is gone and on which thread it went.
struct Obituary {
    std::atomic<bool> gone{false};
    std::atomic<LONGLONG> thread{0};
};

class WatchedObject final : public IUnknown {
public:
    explicit WatchedObject(Obituary& obituary) : obituary_(obituary) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IUnknown) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *ppv = this;
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            obituary_.thread = ThisThreadId();
            obituary_.gone = true;
            delete this;
        }
        return left;
    }

private:
    ~WatchedObject() = default;
    std::atomic<ULONG> refs_{1};
    Obituary& obituary_;
};

vr::ComPtr<IUnknown> Watched(Obituary& obituary) {
    return vr::ComPtr<IUnknown>::Adopt(new WatchedObject(obituary));
}

class MarshalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        RegisterConformanceProxy();
    }
    void TearDown() override { CoUninitialize(); }

    LONGLONG FarThreadId() {
        LONGLONG id = 0;
        static_cast<void>(far_.Run([&] {
            id = ThisThreadId();
            return S_OK;
        }));
        return id;
    }

    ApartmentThread far_;
};

TEST_F(MarshalTest, AStreamReadInTheObjectsOwnApartmentGivesTheObjectItself) {
    vr::ComPtr<IConformance> object = MakeConformanceObject();
    LPSTREAM stream = nullptr;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IConformance, object.Get(), &stream), S_OK);
    vr::ComPtr<IConformance> back;
    ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_IConformance, back.PutVoid()), S_OK);
    EXPECT_EQ(back.Get(), object.Get());
}

TEST_F(MarshalTest, ProxiesAnswerForTheirObjectAndReleaseItOnItsOwnThread) {
    Obituary obituary;
    vr::ComPtr<IUnknown> proxy;
    ASSERT_EQ(far_.Make<IUnknown>([&] { return Watched(obituary); }, &proxy), S_OK);
    vr::ComPtr<IUnknown> again;
    ASSERT_EQ(proxy.As(&again), S_OK);
    EXPECT_EQ(again.Get(), proxy.Get()) << "a proxy is its own identity";
    vr::ComPtr<IConformance> missing;
    EXPECT_EQ(proxy.As(&missing), E_NOINTERFACE) << "asked of the far object, which lacks it";

    again = nullptr;
    proxy = nullptr;
    EXPECT_EQ(far_.Run([] { return S_OK; }), S_OK); // the release was queued ahead of this call
    EXPECT_TRUE(obituary.gone);
    EXPECT_EQ(obituary.thread, FarThreadId());
}

TEST_F(MarshalTest, AStreamReleasedUnreadGivesItsObjectBack) {
    Obituary obituary;
    LPSTREAM stream = nullptr;
    ASSERT_EQ(far_.Run([&] {
        return CoMarshalInterThreadInterfaceInStream(IID_IUnknown, Watched(obituary).Get(), &stream);
    }),
              S_OK);
    EXPECT_FALSE(obituary.gone);
    stream->Release();
    EXPECT_EQ(far_.Run([] { return S_OK; }), S_OK);
    EXPECT_TRUE(obituary.gone);
    EXPECT_EQ(obituary.thread, FarThreadId());
}

TEST_F(MarshalTest, StreamsRefuseWhatCannotCross) {
    LPSTREAM stream = nullptr;
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, nullptr, &stream), E_INVALIDARG);
    vr::ComPtr<IConformance> object = MakeConformanceObject();
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, object.Get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IErrorInfo, object.Get(), &stream), E_NOINTERFACE);

    // An interface the object has but that no proxy carries stays home.
    HRESULT hr = far_.Run([&] {
        vr::ComPtr<ICreateErrorInfo> info;
        static_cast<void>(CreateErrorInfo(info.Put()));
        return CoMarshalInterThreadInterfaceInStream(IID_ICreateErrorInfo, info.Get(), &stream);
    });
    EXPECT_EQ(hr, E_NOINTERFACE);
    EXPECT_EQ(stream, nullptr);
    void* out = nullptr;
    EXPECT_EQ(CoGetInterfaceAndReleaseStream(nullptr, IID_IUnknown, &out), E_INVALIDARG);
}

TEST_F(MarshalTest, ObjectsOfTheMultithreadedApartmentCrossAsThemselves) {
    vr::ComPtr<IConformance> object;
    LPSTREAM stream =
        std::async(std::launch::async, [&] {
            static_cast<void>(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            object = MakeConformanceObject();
            LPSTREAM made = nullptr;
            EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IConformance, object.Get(), &made), S_OK);
            CoUninitialize();
            return made;
        }).get();
    vr::ComPtr<IConformance> here;
    ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_IConformance, here.PutVoid()), S_OK);
    EXPECT_EQ(here.Get(), object.Get());
}

TEST_F(MarshalTest, CallsIntoAnEndedApartmentFailDisconnectedAndItsObjectsAreGone) {
    Obituary obituary;
    vr::ComPtr<IConformance> far;
    ASSERT_EQ(far_.Make<IConformance>([] { return MakeConformanceObject(); }, &far), S_OK);
    vr::ComPtr<IUnknown> watched;
    ASSERT_EQ(far_.Make<IUnknown>([&] { return Watched(obituary); }, &watched), S_OK);

    far_.Stop();
    EXPECT_TRUE(obituary.gone) << "the ending apartment released what it had handed out";
    LONG sum = 0;
    EXPECT_EQ(far->Add(1, 2, &sum), RPC_E_DISCONNECTED);

    vr::ComPtr<IConformance> local = MakeConformanceObject();
    LONG reached = 0;
    EXPECT_EQ(far->Bounce(local.Get(), 3, &reached), RPC_E_DISCONNECTED);
}

TEST_F(MarshalTest, AProxyCarriedToAThirdApartmentStillReachesTheObjectsHome) {
    vr::ComPtr<IConformance> far;
    ASSERT_EQ(far_.Make<IConformance>([] { return MakeConformanceObject(4); }, &far), S_OK);
    ApartmentThread third;
    LONGLONG ranOn = 0;
    LPSTREAM stream = nullptr;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IConformance, far.Get(), &stream), S_OK);
    ASSERT_EQ(third.Run([&] {
        vr::ComPtr<IConformance> there;
        HRESULT hr = CoGetInterfaceAndReleaseStream(stream, IID_IConformance, there.PutVoid());
        return FAILED(hr) ? hr : there->RunningThread(&ranOn);
    }),
              S_OK);
    EXPECT_EQ(ranOn, FarThreadId());
}

} // namespace
} // namespace vrtest
