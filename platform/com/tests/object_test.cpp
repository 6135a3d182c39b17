// Object lifetime: reference counts, QueryInterface identity, aggregation, FinalConstruct/FinalRelease, lock
// count.
#include "platform/com/object.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

struct IAlpha : IUnknown {
    virtual LONG Alpha() = 0;

protected:
    ~IAlpha() = default;
};
VR_DECLARE_INTERFACE_ID(IAlpha, "0D6F3E1A-2B4C-4D5E-8F60-718293A4B5C6")

struct IBeta : IUnknown {
    virtual LONG Beta() = 0;

protected:
    ~IBeta() = default;
};
VR_DECLARE_INTERFACE_ID(IBeta, "1E7A4F2B-3C5D-4E6F-9071-8293A4B5C6D7")

struct IGamma : IUnknown {
    virtual LONG Gamma() = 0;

protected:
    ~IGamma() = default;
};
VR_DECLARE_INTERFACE_ID(IGamma, "2F8B5A3C-4D6E-4F70-A182-93A4B5C6D7E8")

// Two dual interfaces: IDispatch is reached through either.
struct IFirst : IDispatch {
    virtual LONG First() = 0;
};
VR_DECLARE_INTERFACE_ID(IFirst, "3A9C6B4D-5E7F-4081-B293-A4B5C6D7E8F9")
struct ISecond : IDispatch {
    virtual LONG Second() = 0;
};
VR_DECLARE_INTERFACE_ID(ISecond, "4BAD7C5E-6F80-4192-C3A4-B5C6D7E8F90A")

namespace {

std::vector<std::string> g_events;

LONG Locks() {
    return vr::module::LockCount().load();
}

ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

class CPlain : public vr::ObjectRoot, public vr::CoClass<CPlain>, public IAlpha, public IBeta {
public:
    using Interfaces = vr::InterfaceList<IAlpha, IBeta>;
    static inline HRESULT constructResult = S_OK;

    ~CPlain() { g_events.push_back("destroyed"); }
    HRESULT FinalConstruct() {
        g_events.push_back("FinalConstruct");
        return constructResult;
    }
    void FinalRelease() {
        g_events.push_back("FinalRelease");
        // A reference taken and given back here must not destroy the object a second time.
        GetControllingUnknown()->AddRef();
        GetControllingUnknown()->Release();
    }
    LONG Alpha() override { return 1; }
    LONG Beta() override { return 2; }
};

class CRefusesAggregation : public vr::ObjectRoot, public vr::CoClass<CRefusesAggregation>, public IAlpha {
public:
    using Interfaces = vr::InterfaceList<IAlpha>;
    static constexpr bool kAggregatable = false;
    LONG Alpha() override { return 3; }
};

class CInner : public vr::ObjectRoot, public vr::CoClass<CInner>, public IGamma {
public:
    using Interfaces = vr::InterfaceList<IGamma>;
    static inline HRESULT constructResult = S_OK;

    ~CInner() { g_events.push_back("inner destroyed"); }
    HRESULT FinalConstruct() { return constructResult; }
    void FinalRelease() { g_events.push_back("inner FinalRelease"); }
    LONG Gamma() override { return IsAggregated() ? 70 : 7; }
};

// Aggregates a CInner and hands out its IGamma as its own.
class COuter : public vr::ObjectRoot, public vr::CoClass<COuter>, public IAlpha {
public:
    using Interfaces = vr::InterfaceList<IAlpha>;

    HRESULT FinalConstruct() {
        return CInner::CreateInstance(GetControllingUnknown(), IID_IUnknown, inner_.PutVoid());
    }
    void FinalRelease() { inner_ = nullptr; }
    HRESULT QueryUnlistedInterface(REFIID riid, void** ppv) {
        if (riid == IID_IGamma) {
            return inner_->QueryInterface(riid, ppv);
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    LONG Alpha() override { return 4; }
    IUnknown* Inner() const { return inner_.Get(); }

private:
    vr::ComPtr<IUnknown> inner_;
};

class LifetimeTest : public testing::Test {
protected:
    void SetUp() override {
        g_events.clear();
        CPlain::constructResult = S_OK;
        CInner::constructResult = S_OK;
        baseline_ = Locks();
    }
    void TearDown() override { EXPECT_EQ(Locks(), baseline_) << "an object was left alive"; }

    LONG baseline_ = 0;
};

TEST_F(LifetimeTest, CountsReferencesAndDestroysOnceAfterFinalRelease) {
    IAlpha* alpha = nullptr;
    ASSERT_EQ(CPlain::CreateInstance(nullptr, IID_IAlpha, reinterpret_cast<void**>(&alpha)), S_OK);
    EXPECT_EQ(Locks(), baseline_ + 1);
    EXPECT_EQ(alpha->AddRef(), 2u);
    IBeta* beta = nullptr;
    ASSERT_EQ(alpha->QueryInterface(&beta), S_OK);
    EXPECT_EQ(beta->Beta(), 2);
    EXPECT_EQ(alpha->Release(), 2u);
    EXPECT_EQ(beta->Release(), 1u);
    EXPECT_EQ(g_events, (std::vector<std::string>{"FinalConstruct"}));
    EXPECT_EQ(alpha->Release(), 0u);
    EXPECT_EQ(g_events, (std::vector<std::string>{"FinalConstruct", "FinalRelease", "destroyed"}));
}

TEST_F(LifetimeTest, EveryInterfaceAnswersTheSameIdentity) {
    vr::ComPtr<IAlpha> alpha;
    ASSERT_EQ(vr::ComObject<CPlain>::Create(&alpha), S_OK);
    vr::ComPtr<IBeta> beta;
    ASSERT_EQ(alpha.As(&beta), S_OK);
    vr::ComPtr<IUnknown> fromAlpha;
    vr::ComPtr<IUnknown> fromBeta;
    ASSERT_EQ(alpha.As(&fromAlpha), S_OK);
    ASSERT_EQ(beta.As(&fromBeta), S_OK);
    EXPECT_EQ(fromAlpha.Get(), fromBeta.Get());
    EXPECT_NE(static_cast<void*>(alpha.Get()), static_cast<void*>(beta.Get()));

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(alpha->QueryInterface(IID_IGamma, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(alpha->QueryInterface(IID_IGamma, nullptr), E_POINTER);
}

TEST_F(LifetimeTest, ObjectsMadeInCodeAreHeldAsTheirClass) {
    vr::ComObjectPtr<CPlain> plain;
    ASSERT_EQ(vr::ComObject<CPlain>::Create(&plain), S_OK);
    EXPECT_EQ(plain->Alpha(), 1);
    EXPECT_EQ(RefCount(static_cast<IAlpha*>(plain.Get())), 1u);
    vr::ComObjectPtr<CPlain> second = plain;
    EXPECT_EQ(RefCount(static_cast<IAlpha*>(plain.Get())), 2u);
}

TEST_F(LifetimeTest, FailingFinalConstructFailsTheCreationWithoutFinalRelease) {
    CPlain::constructResult = E_ACCESSDENIED;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CPlain::CreateInstance(nullptr, IID_IAlpha, &object), E_ACCESSDENIED);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(g_events, (std::vector<std::string>{"FinalConstruct", "destroyed"}));

    vr::ComObjectPtr<CPlain> held;
    EXPECT_EQ(vr::ComObject<CPlain>::Create(&held), E_ACCESSDENIED);
    EXPECT_FALSE(held);
}

TEST_F(LifetimeTest, AnUnknownInterfaceFailsTheCreationAndDestroysTheObject) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CPlain::CreateInstance(nullptr, IID_IGamma, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(g_events, (std::vector<std::string>{"FinalConstruct", "FinalRelease", "destroyed"}));
    EXPECT_EQ(CPlain::CreateInstance(nullptr, IID_IAlpha, nullptr), E_POINTER);
}

TEST_F(LifetimeTest, AnOuterObjectMayOnlyAskForIUnknownOfAClassThatAllowsIt) {
    vr::ComPtr<IAlpha> outer;
    ASSERT_EQ(vr::ComObject<CPlain>::Create(&outer), S_OK);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CInner::CreateInstance(outer.Get(), IID_IGamma, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CRefusesAggregation::CreateInstance(outer.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(RefCount(outer.Get()), 1u)
        << "a refused creation must not keep a reference on the outer object";
}

TEST_F(LifetimeTest, AggregatedInterfacesDelegateToTheOuterObject) {
    vr::ComPtr<IAlpha> alpha;
    ASSERT_EQ(vr::ComObject<COuter>::Create(&alpha), S_OK);
    EXPECT_EQ(Locks(), baseline_ + 2);
    vr::ComPtr<IUnknown> outerIdentity;
    ASSERT_EQ(alpha.As(&outerIdentity), S_OK);

    vr::ComPtr<IGamma> gamma;
    ASSERT_EQ(alpha.As(&gamma), S_OK);
    EXPECT_EQ(gamma->Gamma(), 70);
    // The inner object's interfaces answer for the whole: its IUnknown is the outer one, and they lead back
    // to the outer object's interfaces.
    vr::ComPtr<IUnknown> gammaIdentity;
    ASSERT_EQ(gamma.As(&gammaIdentity), S_OK);
    EXPECT_EQ(gammaIdentity.Get(), outerIdentity.Get());
    vr::ComPtr<IAlpha> backToAlpha;
    ASSERT_EQ(gamma.As(&backToAlpha), S_OK);
    EXPECT_EQ(backToAlpha.Get(), alpha.Get());
    // References taken through them are the outer object's.
    ULONG outerCount = RefCount(alpha.Get());
    gamma->AddRef();
    EXPECT_EQ(RefCount(alpha.Get()), outerCount + 1);
    gamma->Release();

    // The inner object's own IUnknown is another identity, counted apart.
    auto* outer = static_cast<vr::ComObject<COuter>*>(alpha.Get());
    IUnknown* inner = outer->Inner();
    EXPECT_NE(inner, outerIdentity.Get());
    vr::ComPtr<IUnknown> innerIdentity;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, innerIdentity.PutVoid()), S_OK);
    EXPECT_EQ(innerIdentity.Get(), inner);
    EXPECT_EQ(RefCount(inner), 2u);
    innerIdentity = nullptr;

    gammaIdentity = nullptr;
    gamma = nullptr;
    backToAlpha = nullptr;
    outerIdentity = nullptr;
    EXPECT_TRUE(g_events.empty());
    alpha = nullptr;
    EXPECT_EQ(g_events, (std::vector<std::string>{"inner FinalRelease", "inner destroyed"}));
}

TEST_F(LifetimeTest, AFailingInnerObjectFailsTheAggregate) {
    CInner::constructResult = E_FAIL;
    vr::ComPtr<IAlpha> alpha;
    EXPECT_EQ(vr::ComObject<COuter>::Create(&alpha), E_FAIL);
    EXPECT_FALSE(alpha);
    EXPECT_EQ(g_events, (std::vector<std::string>{"inner destroyed"}));
}

TEST_F(LifetimeTest, ReferenceCountsHoldUnderConcurrentUse) {
    vr::ComPtr<IAlpha> alpha;
    ASSERT_EQ(vr::ComObject<CPlain>::Create(&alpha), S_OK);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                IBeta* beta = nullptr;
                if (SUCCEEDED(alpha->QueryInterface(&beta))) {
                    beta->Release();
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(RefCount(alpha.Get()), 1u);
    EXPECT_EQ(g_events, (std::vector<std::string>{"FinalConstruct"}));
}

class CTwoDuals : public vr::ObjectRoot, public IFirst, public ISecond {
public:
    using Interfaces = vr::InterfaceList<IFirst, ISecond, vr::Via<IDispatch, ISecond>>;
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    LONG First() override { return 1; }
    LONG Second() override { return 2; }
};

TEST_F(LifetimeTest, AnInterfaceInheritedTwiceIsFoundThroughTheChosenPath) {
    vr::ComObjectPtr<CTwoDuals> object;
    ASSERT_EQ(vr::ComObject<CTwoDuals>::Create(&object), S_OK);
    vr::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(object.As(&dispatch), S_OK);
    EXPECT_EQ(dispatch.Get(), static_cast<IDispatch*>(static_cast<ISecond*>(object.Get())));
    vr::ComPtr<IUnknown> identity;
    ASSERT_EQ(dispatch.As(&identity), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(static_cast<IFirst*>(object.Get())));
}

class CReportsErrors : public vr::ObjectRoot, public IAlpha, public vr::SupportErrorInfoImpl<IAlpha, IGamma> {
public:
    using Interfaces = vr::InterfaceList<IAlpha, ISupportErrorInfo>;
    LONG Alpha() override { return 5; }
};

TEST_F(LifetimeTest, SupportErrorInfoNamesTheListedInterfacesOnly) {
    vr::ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(vr::ComObject<CReportsErrors>::Create(&support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IAlpha), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IGamma), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IBeta), S_FALSE);
}

} // namespace
