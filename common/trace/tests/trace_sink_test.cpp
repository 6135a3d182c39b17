// The senders against a real tracer object in the running object table: lines, sources, levels, life events,
// the overflow rule, "%" in messages, and what happens without a tracer or with a broken one.
#include "common/trace/Trace.h"
#include "common/trace/tests/trace_sink.h"
#include "tests/support/com_holders.h"

#include "platform/com/activation.h"
#include "platform/com/rot.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using commontest::SinkCall;
using commontest::TracerRegistration;
using commontest::TraceSinkObject;
using vrtest::U8;

class TraceSinkTest : public commontest::TracedTest {
protected:
    std::vector<SinkCall> Calls() const { return sink_->Calls(); }
    SinkCall OnlyCall() const {
        std::vector<SinkCall> calls = Calls();
        EXPECT_EQ(calls.size(), 1u);
        return calls.empty() ? SinkCall{} : calls.front();
    }
};

TEST_F(TraceSinkTest, WriteTextCallShape) {
    TracePrintf(7, u"Source", u"n=%d", 5);
    SinkCall call = OnlyCall();
    EXPECT_EQ(call.member, DISPID_TRACESINK_WRITETEXT);
    EXPECT_EQ(call.flags, DISPATCH_METHOD);
    EXPECT_FALSE(call.resultRequested);
    EXPECT_EQ(call.argumentCount, 3u);
    EXPECT_EQ(call.namedCount, 0u);
    EXPECT_EQ(call.types[0], VT_BSTR);
    EXPECT_EQ(call.types[1], VT_I2);
    EXPECT_EQ(call.types[2], VT_BSTR);
    EXPECT_EQ(U8(call.first), "Source");
    EXPECT_EQ(call.level, 7);
    EXPECT_EQ(U8(call.text), "n=5");
}

TEST_F(TraceSinkTest, LifeEventsGoToWriteCall) {
    TraceFunction(u"CADO::CADO()", 1);
    TraceFunction(u"CADO::CADO()", -1);
    TraceCall(u"CThing::Go()", u"detail", 3);
    std::vector<SinkCall> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    for (const SinkCall& call : calls) {
        EXPECT_EQ(call.member, DISPID_TRACESINK_WRITECALL);
        EXPECT_EQ(call.flags, DISPATCH_METHOD);
        EXPECT_EQ(call.types[0], VT_BSTR);
        EXPECT_EQ(call.types[1], VT_BSTR);
        EXPECT_EQ(call.types[2], VT_I4);
    }
    EXPECT_EQ(U8(calls[0].first), "CADO::CADO()");
    EXPECT_EQ(U8(calls[0].second), "");
    EXPECT_EQ(calls[0].delta + calls[1].delta, 0) << "a construction and its destruction cancel out";
    EXPECT_EQ(U8(calls[2].second), "detail");
    EXPECT_EQ(calls[2].delta, 3);
}

TEST_F(TraceSinkTest, LevelsAndSourcesOfTheSenders) {
    SetTraceMethodName(u"CTest::Levels()");
    SetTraceSiteAt("/src/common/Thing.cpp", 42);
    TraceInfo(u"info %d", 1);
    TraceError(u"error %d", 2);
    TraceHResultError(E_FAIL, u"hr %d", 3);
    TracePrintfLevel3(u"traffic %hs", "*IDN?");
    std::vector<SinkCall> calls = Calls();
    ASSERT_EQ(calls.size(), 4u);
    const std::string tag = "CTest::Levels(): Thing.cpp (42)";
    EXPECT_EQ(calls[0].level, TRACE_LEVEL_INFO);
    EXPECT_EQ(U8(calls[0].first), tag);
    EXPECT_EQ(U8(calls[0].text), "info 1");
    EXPECT_EQ(calls[1].level, TRACE_LEVEL_ERROR);
    EXPECT_EQ(U8(calls[1].first), tag);
    EXPECT_EQ(calls[2].level, TRACE_LEVEL_ERROR);
    EXPECT_EQ(U8(calls[2].text), "(HRESULT: 0x80004005) Unknown error code\nhr 3");
    EXPECT_EQ(U8(LastErrorText()), "(HRESULT: 0x80004005) Unknown error code\nhr 3");
    EXPECT_EQ(calls[3].level, TRACE_LEVEL_TRAFFIC);
    EXPECT_EQ(U8(calls[3].first), "");
    EXPECT_EQ(U8(calls[3].text), "traffic *IDN?");
}

TEST_F(TraceSinkTest, BuiltLinesArriveAsFormattedOnes) {
    SetTraceMethodName(u"CTest::Built()");
    SetTraceSiteAt("/src/common/Thing.cpp", 7);
    std::u16string longer(6000, u'n');
    TraceInfoOf([] { return std::u16string(u"built 100%"); });
    TraceInfoOf([&longer] { return longer; });
    TracePrintfOf(TRACE_LEVEL_TRAFFIC, u"src", [] { return std::u16string(u"cut\0here", 8); });
    std::vector<SinkCall> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].level, TRACE_LEVEL_INFO);
    EXPECT_EQ(U8(calls[0].first), "CTest::Built(): Thing.cpp (7)");
    EXPECT_EQ(U8(calls[0].text), "built 100%");
    EXPECT_EQ(calls[1].text, std::u16string(4996, u'n') + u"...") << "the buffer of TraceInfo";
    EXPECT_EQ(calls[2].level, TRACE_LEVEL_TRAFFIC);
    EXPECT_EQ(U8(calls[2].first), "src");
    EXPECT_EQ(U8(calls[2].text), "cut") << "as \"%s\" would, up to a zero unit";
}

TEST_F(TraceSinkTest, HResultZeroAddsNoHResultText) {
    SetTraceSite();
    TraceHResultError(S_OK, u"plain");
    EXPECT_EQ(U8(OnlyCall().text), "plain");
    EXPECT_EQ(U8(LastErrorText()), "plain");
}

TEST_F(TraceSinkTest, OverflowRuleOfTheLongestLines) {
    std::u16string fits(19999, u'a');
    TracePrintf(0, u"", u"%s", fits.c_str());
    std::u16string exact(20000, u'b');
    TracePrintf(0, u"", u"%s", exact.c_str());
    std::u16string longer(30000, u'c');
    TracePrintf(0, u"", u"%s", longer.c_str());
    std::vector<SinkCall> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].text, fits);
    EXPECT_EQ(calls[1].text, std::u16string(19996, u'b') + u"...");
    EXPECT_EQ(calls[2].text, std::u16string(19996, u'c') + u"...");
}

TEST_F(TraceSinkTest, OverflowRuleOfMessages) {
    SetTraceSite();
    std::u16string fits(4999, u'm');
    TraceInfo(u"%s", fits.c_str());
    std::u16string longer(6000, u'n');
    TraceError(u"%s", longer.c_str());
    std::vector<SinkCall> calls = Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].text, fits);
    EXPECT_EQ(calls[1].text, std::u16string(4996, u'n') + u"...");
    EXPECT_EQ(LastErrorText(), calls[1].text);
}

TEST_F(TraceSinkTest, LongHResultErrorsStayWithinTheBuffers) {
    SetTraceSite();
    std::u16string longer(6000, u'z');
    TraceHResultError(E_OUTOFMEMORY, u"%s", longer.c_str());
    SinkCall call = OnlyCall();
    std::u16string prefix = HResultText(E_OUTOFMEMORY);
    EXPECT_EQ(call.text, prefix + std::u16string(4996, u'z') + u"...");
    std::u16string last = LastErrorText();
    EXPECT_EQ(last.size(), LAST_ERROR_BUFFER - 1);
    EXPECT_EQ(last.substr(last.size() - 3), u"...");
    EXPECT_EQ(last.substr(0, prefix.size()), prefix);
}

TEST_F(TraceSinkTest, PercentInMessagesArrivesUnchanged) {
    SetTraceSite();
    TraceInfo(u"Loading '%s'.", u"50%.ts");
    TraceError(u"Can't open '%s'.", u"100%d%s%n.ts");
    TracePrintfLevel3(u"%s", u"%s%s%s");
    TraceHResultError(E_FAIL, u"%s", u"%x");
    std::vector<SinkCall> calls = Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(U8(calls[0].text), "Loading '50%.ts'.");
    EXPECT_EQ(U8(calls[1].text), "Can't open '100%d%s%n.ts'.");
    EXPECT_EQ(U8(LastErrorText()), "(HRESULT: 0x80004005) Unknown error code\n%x");
    EXPECT_EQ(U8(calls[2].text), "%s%s%s");
    EXPECT_EQ(U8(calls[3].text), "(HRESULT: 0x80004005) Unknown error code\n%x");
}

TEST_F(TraceSinkTest, PercentInTheMethodNameStaysInTheSiteTag) {
    SetTraceMethodName(u"C%s::M%d()");
    SetTraceSiteAt("x.cpp", 1);
    TraceInfo(u"hi");
    EXPECT_EQ(U8(OnlyCall().first), "C%s::M%d(): x.cpp (1)");
}

TEST_F(TraceSinkTest, InternalErrorsNameLineAndFile) {
    SetTraceMethodName(u"CTest::Internal()");
    int line = __LINE__ + 1;
    HRESULT hr = TraceInternalError();
    EXPECT_EQ(hr, E_FAIL);
    SinkCall call = OnlyCall();
    EXPECT_EQ(call.level, TRACE_LEVEL_ERROR);
    EXPECT_EQ(U8(call.text), "Vornic Error: A" + std::to_string(line) + " (trace_sink_test.cpp)");
    EXPECT_EQ(U8(call.first), "CTest::Internal(): trace_sink_test.cpp (" + std::to_string(line) + ")");
    EXPECT_EQ(LastErrorText(), call.text);
}

TEST_F(TraceSinkTest, EveryLineLooksTheTracerUpAfresh) {
    TracePrintf(0, u"", u"one");
    registration_.reset();
    TracePrintf(0, u"", u"dropped");
    auto second = TraceSinkObject::Create();
    TracerRegistration again(second.Get());
    ASSERT_TRUE(again.Registered());
    TracePrintf(0, u"", u"two");
    EXPECT_EQ(sink_->Calls().size(), 1u);
    ASSERT_EQ(second->Calls().size(), 1u);
    EXPECT_EQ(U8(second->Calls()[0].text), "two");
}

TEST_F(TraceSinkTest, SendersWorkOnOtherThreads) {
    std::thread worker([] {
        TracePrintf(1, u"worker", u"from a thread that never initialised COM");
        TraceFunction(u"CWorker::CWorker()", 1);
    });
    worker.join();
    std::vector<SinkCall> calls = Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(U8(calls[0].first), "worker");
    EXPECT_EQ(calls[1].delta, 1);
}

TEST(TraceWithoutTracer, LinesAreDroppedAndTheLastErrorStillKept) {
    SetTraceMethodName(u"CTest::Alone()");
    SetTraceSite();
    TraceInfo(u"nobody listens");
    TracePrintf(0, u"src", u"%d", 1);
    TraceFunction(u"CTest::CTest()", 1);
    bool built = false;
    TraceInfoOf([&built] {
        built = true;
        return std::u16string();
    });
    std::thread withoutCom([&built] {
        TracePrintfOf(0, u"src", [&built] {
            built = true;
            return std::u16string();
        });
    });
    withoutCom.join();
    EXPECT_FALSE(built) << "a line nobody receives builds no text";
    TraceError(u"alone %d%%", 100);
    EXPECT_EQ(U8(LastErrorText()), "alone 100%");
    TraceHResultError(0x80040154, u" while creating");
    EXPECT_EQ(U8(LastErrorText()), "(HRESULT: 0x80040154) Class not registered while creating");
}

// Broken tracers cost their lines and nothing else.
class TraceBrokenTracer : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(TraceBrokenTracer, FailingOrThrowingTracersAreIgnored) {
    for (auto behaviour : {TraceSinkObject::Behaviour::Fail, TraceSinkObject::Behaviour::Throw}) {
        auto sink = TraceSinkObject::Create(behaviour);
        TracerRegistration registration(sink.Get());
        ASSERT_TRUE(registration.Registered());
        SetTraceSite();
        TraceError(u"still kept %d", static_cast<int>(behaviour));
        TraceFunction(u"CTest::CTest()", 1);
        EXPECT_EQ(U8(LastErrorText()), "still kept " + std::to_string(static_cast<int>(behaviour)));
    }
}

// An object that answers IUnknown only.
class PlainObject final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

private:
    std::atomic<ULONG> references_{0};
};

TEST_F(TraceBrokenTracer, ATracerWithoutIDispatchIsIgnored) {
    vr::ComPtr<IUnknown> plain(new PlainObject);
    TracerRegistration registration(plain.Get());
    ASSERT_TRUE(registration.Registered());
    SetTraceSite();
    TraceError(u"no dispatch");
    EXPECT_EQ(U8(LastErrorText()), "no dispatch");
}

} // namespace
