// The worker with the real test engine and script executive (the hardware manager stands in, registered in
// the process), running a test script file from Set to its verdict, with its output drained while it runs,
// and a script that waits in the engine's Delay stopped and the engine set to continue afterwards.
#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "common/TestExecutive.h"
#include "common/proxies/SystemProxies.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

namespace workerroadtest {
namespace {

BSTR B(std::u16string_view text) {
    return vr::AllocBstr(text);
}

class WorkerRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        vr::RegisterSystemProxies();
        hardware = std::make_unique<scripvanetest::ClassRegistration>(
            CLSID_VrRigmont, &scripvanetest::FakeRigmont::CreateInstance);
        worker = std::make_unique<CTestExecutive>();
        ASSERT_TRUE(worker->EngineProxy && worker->ScriptExecProxy) << vr::ToUtf8(ErrorText());
    }
    void TearDown() override {
        worker.reset();
        hardware.reset();
        CoUninitialize();
    }

    void Wait() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (bool done = false; !done;) {
            done = worker->GetState() == CTestExecutive::kDone;
            LONG status = 0;
            BSTR text = nullptr;
            while (worker->GetOutput(&status, &text)) {
                output.emplace_back(status, std::u16string(vr::BstrView(text)));
                SysFreeString(text);
            }
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the request never ended";
            PumpMessages(0);
        }
    }
    std::u16string Run(std::u16string_view name) {
        worker->Request(B(name), B(u""), B(u""));
        Wait();
        BSTR result = nullptr;
        worker->GetResult(&result);
        std::u16string text(vr::BstrView(result));
        SysFreeString(result);
        return text;
    }
    HRESULT ErrorCode() {
        BSTR text = nullptr;
        HRESULT hr = S_OK;
        worker->GetError(&text, &hr);
        SysFreeString(text);
        return hr;
    }
    std::u16string ErrorText() {
        BSTR text = nullptr;
        HRESULT hr = S_OK;
        worker->GetError(&text, &hr);
        std::u16string result(vr::BstrView(text));
        SysFreeString(text);
        return result;
    }
    void StopWith(std::u16string_view words) {
        BSTR text = B(words);
        worker->Stop(text);
        SysFreeString(text);
    }

    std::unique_ptr<scripvanetest::ClassRegistration> hardware;
    std::unique_ptr<CTestExecutive> worker;
    std::vector<std::pair<LONG, std::u16string>> output;
};

TEST_F(WorkerRoadTest, ATestScriptFileRunsToItsVerdict) {
    std::u16string file = vr::FromUtf8(VR_WORKER_TEST_DATA "/road.ts");
    ASSERT_EQ(worker->Set(B(u"JScript"), B(u""), B(u""), B(u"file='" + file + u"' sn=SN-42")), S_OK)
        << vr::ToUtf8(ErrorText());
    EXPECT_EQ(Run(u""), u"");
    ASSERT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());
    EXPECT_EQ(Run(u"Preset"), u"");
    EXPECT_EQ(Run(u"Test"), u"true");
    EXPECT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());
    EXPECT_EQ(Run(u"Reset"), u"");
    EXPECT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());

    std::vector<std::pair<LONG, std::u16string>> expected = {
        {5, u"Preset road\n"}, {1, u"Rail5V = 4.98\n"}, {0, u"Reset\n"}};
    EXPECT_EQ(output, expected);
}

TEST_F(WorkerRoadTest, StopEndsAWaitingScriptAndContinueLetsTheNextRun) {
    std::u16string file = vr::FromUtf8(VR_WORKER_TEST_DATA "/road.ts");
    ASSERT_EQ(worker->Set(B(u"JScript"), B(u""), B(u""), B(u"file='" + file + u"'")), S_OK);
    EXPECT_EQ(Run(u""), u"");
    worker->Request(B(u"WaitForStop"), B(u""), B(u""));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    StopWith(u"");
    Wait();
    EXPECT_LT(ErrorCode(), 0);

    StopWith(u"continue");
    EXPECT_EQ(Run(u"Preset"), u"");
    EXPECT_EQ(Run(u"Test"), u"true");
    EXPECT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());
}

} // namespace
} // namespace workerroadtest
