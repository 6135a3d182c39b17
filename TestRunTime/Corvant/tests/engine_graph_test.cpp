// The graph: one put by the caller, one found in the running object table, one that has gone, and the
// bounded wait when no graph control appears.
#include "engine_fixture.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "platform/com/rot.h"
#include "platform/registry/registry.h"

// The graph control's dispatch interface, as far as these tests need it.
struct IPlotvaneStandIn : IDispatch {
    [[nodiscard]] virtual HRESULT SetCaption(BSTR caption) = 0;

protected:
    ~IPlotvaneStandIn() = default;
};
VR_DECLARE_INTERFACE_ID(IPlotvaneStandIn, "89B0D312-2A6C-4160-93A8-5B551BCA98A9")

namespace corvanttest {
namespace {

constexpr CLSID kPlotvaneClass = vr::MakeGuid("AE5323B5-96C1-4046-B7E5-2ACD2900822C");

class FakeGraph : public vr::ObjectRoot, public vr::DispatchImpl<FakeGraph, IPlotvaneStandIn> {
public:
    using Interfaces = vr::InterfaceList<IPlotvaneStandIn, IDispatch>;
    static const vr::DispatchTable<FakeGraph>& GetDispatchTable() {
        using D = vr::DispatchTable<FakeGraph>;
        static const D table(u"IPlotvane",
                             {D::Method<&FakeGraph::SetCaption>(1, u"SetCaption", {u"caption"})});
        return table;
    }
    HRESULT SetCaption(BSTR caption) override {
        this->caption = TextOf(caption);
        return S_OK;
    }
    std::u16string caption;
};

// A graph as a proxy of another process shows it: no type information here, and its process may end.
class DistantGraph : public FakeGraph {
public:
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return processEnded ? RPC_E_SERVER_DIED : FakeGraph::GetIDsOfNames(riid, names, count, lcid, ids);
    }
    bool processEnded = false;
};

// Any dispatch object that is not a graph.
class NotAGraph : public vr::ObjectRoot, public vr::DispatchImpl<NotAGraph, IDispatch> {
public:
    using Interfaces = vr::InterfaceList<IDispatch>;
    static const vr::DispatchTable<NotAGraph>& GetDispatchTable() {
        using D = vr::DispatchTable<NotAGraph>;
        static const D table(u"NotAGraph", {});
        return table;
    }
};

// The build registers the graph host, which would open a real graph window: these tests are about the
// engine's wait when no graph control comes.
void ForgetGraphHost() {
    (void)RegDeleteTree(HKEY_CLASSES_ROOT, u"CLSID\\{80909451-243D-4DCA-AF78-020A12F07AC7}"); // may be absent
}

template <class T>
vr::ComObjectPtr<T> Make() {
    vr::ComObjectPtr<T> object;
    EXPECT_EQ(vr::ComObject<T>::Create(&object), S_OK);
    return object;
}

HRESULT SetCaptionThrough(IDispatch* graph, const char16_t* caption) {
    _variant_t argument(caption);
    DISPPARAMS params{&argument, nullptr, 1, 0};
    return graph->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

TEST_F(EngineTest, GraphPutByTheCallerIsHandedOut) {
    auto graph = Make<FakeGraph>();
    ASSERT_EQ(engine_->put_graph(static_cast<IPlotvaneStandIn*>(graph.Get())), S_OK);
    vr::ComPtr<IDispatch> handed;
    ASSERT_EQ(engine_->get_graph(handed.Put()), S_OK);
    ASSERT_EQ(SetCaptionThrough(handed.Get(), u"Ripple"), S_OK);
    EXPECT_EQ(graph->caption, u"Ripple");
}

TEST_F(EngineTest, ObjectWithoutTheGraphInterfaceIsRefused) {
    auto other = Make<NotAGraph>();
    EXPECT_EQ(engine_->put_graph(other.Get()), E_FAIL);
    EXPECT_EQ(ErrorDescription(), u"The object doesn't support IPlotvane interface.");
    EXPECT_EQ(engine_->put_graph(nullptr), E_POINTER);
}

TEST_F(EngineTest, RunningGraphControlIsFoundAndForgottenOnceItHasGone) {
    ForgetGraphHost();
    auto graph = Make<FakeGraph>();
    IUnknown* identity = static_cast<IPlotvaneStandIn*>(graph.Get());
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(identity, kPlotvaneClass, ACTIVEOBJECT_WEAK, &cookie), S_OK);
    vr::ComPtr<IDispatch> found;
    ASSERT_EQ(engine_->get_graph(found.Put()), S_OK);
    ASSERT_EQ(SetCaptionThrough(found.Get(), u"Live"), S_OK);
    EXPECT_EQ(graph->caption, u"Live");
    found = nullptr;

    // The window closes: the control revokes itself and cuts its clients off. The engine waits for another
    // one, and the run's interruption from the window thread ends that wait before its bound.
    ASSERT_EQ(RevokeActiveObject(cookie, nullptr), S_OK);
    ASSERT_EQ(CoDisconnectObject(identity, 0), S_OK);
    OtherApartment window(engine_.Get());
    std::future<HRESULT> stop = window.CallLater(kDispidStop, {}, std::chrono::milliseconds(200));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(engine_->get_graph(found.Put()), E_FAIL);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4000));
    EXPECT_EQ(ErrorDescription(), u"Couldn't find Plotvane object.");
    EXPECT_EQ(stop.get(), S_OK);
}

// The graph window of another process closes: the engine notices through its probe and takes the graph
// that runs now.
TEST_F(EngineTest, GraphOfAnEndedProcessIsReplacedByTheRunningOne) {
    ForgetGraphHost();
    auto distant = Make<DistantGraph>();
    ASSERT_EQ(engine_->put_graph(static_cast<IPlotvaneStandIn*>(distant.Get())), S_OK);
    vr::ComPtr<IDispatch> found;
    ASSERT_EQ(engine_->get_graph(found.Put()), S_OK);
    ASSERT_EQ(SetCaptionThrough(found.Get(), u"Far"), S_OK);
    EXPECT_EQ(distant->caption, u"Far");

    distant->processEnded = true;
    auto running = Make<FakeGraph>();
    DWORD cookie = 0;
    ASSERT_EQ(RegisterActiveObject(static_cast<IPlotvaneStandIn*>(running.Get()), kPlotvaneClass,
                                   ACTIVEOBJECT_WEAK, &cookie),
              S_OK);
    ASSERT_EQ(engine_->get_graph(found.Put()), S_OK);
    ASSERT_EQ(SetCaptionThrough(found.Get(), u"Near"), S_OK);
    EXPECT_EQ(running->caption, u"Near");
    EXPECT_EQ(distant->caption, u"Far");
    found = nullptr;
    EXPECT_EQ(RevokeActiveObject(cookie, nullptr), S_OK);
}

// Without a graph host the wait for a control that never comes is bounded.
TEST_F(EngineTest, MissingGraphControlFailsAfterABoundedWait) {
    ForgetGraphHost();
    const auto start = std::chrono::steady_clock::now();
    vr::ComPtr<IDispatch> graph;
    EXPECT_EQ(engine_->get_graph(graph.Put()), E_FAIL);
    EXPECT_EQ(ErrorDescription(), u"Couldn't find Plotvane object.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(engine_->get_graph(nullptr), E_POINTER);
}

} // namespace
} // namespace corvanttest
