// The worker with the real test engine and script executive (the hardware manager stands in, registered in
// the process), running a test script file from Set to its verdict, with its output drained while it runs,
// a script that waits in the engine's Delay stopped and the engine set to continue afterwards, and scripts
// that serve no calls (a loop polling StopLoop, a load that never ends) reached by Stop all the same, and the
// progress event the window thread sleeps on.
#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "common/proxies/SystemProxies.h"
#include "common/worker/TestExecutive.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/waithandle.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    // Drains the output until the line has come (while a request runs).
    void WaitForOutput(std::u16string_view line) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::find_if(output.begin(), output.end(),
                            [&](const auto& seen) { return seen.second == line; }) == output.end()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the line never came";
            LONG status = 0;
            BSTR text = nullptr;
            while (worker->GetOutput(&status, &text)) {
                output.emplace_back(status, std::u16string(vr::BstrView(text)));
                SysFreeString(text);
            }
            PumpMessages(0);
        }
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

// The script never pumps, so only a Stop that does not wait for the worker reaches it; "exit" and "loop"
// set their options without interrupting, and the method returns as usual.
TEST_F(WorkerRoadTest, LoopAndExitReachAPollingScriptWithoutInterruptingIt) {
    ASSERT_EQ(worker->Set(B(u"JScript"),
                          B(u"function Poll() {\n  OutputLn('polling');\n"
                            u"  while (!IsOptionEnabled('StopLoop')) {}\n"
                            u"  return IsOptionEnabled('StopExit') ? 'exit' : 'loop';\n}"),
                          B(u""), B(u"")),
              S_OK);
    EXPECT_EQ(Run(u""), u"");
    worker->Request(B(u"Poll"), B(u""), B(u""));
    WaitForOutput(u"polling\n");
    StopWith(u"EXIT");
    StopWith(u"loop");
    Wait();
    BSTR result = nullptr;
    worker->GetResult(&result);
    EXPECT_EQ(vr::BstrView(result), u"exit");
    SysFreeString(result);
    EXPECT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());
}

// The window thread may sleep on the progress event: a line the running script queues sets it while the
// request still runs, and the request's end sets it again. A missing signal would end the wait by its limit.
TEST_F(WorkerRoadTest, TheProgressEventTellsOfALineAndOfTheEnd) {
    ASSERT_EQ(worker->Set(B(u"JScript"),
                          B(u"function Poll() {\n  OutputLn('polling');\n"
                            u"  while (!IsOptionEnabled('StopLoop')) {}\n}"),
                          B(u""), B(u"")),
              S_OK);
    EXPECT_EQ(Run(u""), u"");
    HANDLE progress = worker->ProgressEvent();
    ASSERT_NE(progress, nullptr);
    (void)ResetEvent(progress); // the load's end set it
    worker->Request(B(u"Poll"), B(u""), B(u""));
    DWORD index = 0;
    ASSERT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 20000, 1, &progress, &index), S_OK);
    LONG status = 0;
    BSTR text = nullptr;
    ASSERT_TRUE(worker->GetOutput(&status, &text));
    EXPECT_EQ(vr::BstrView(text), u"polling\n");
    SysFreeString(text);
    EXPECT_EQ(worker->GetState(), CTestExecutive::kPosted);

    StopWith(u"loop");
    while (worker->GetState() != CTestExecutive::kDone) {
        ASSERT_EQ(CoWaitForMultipleHandles(COWAIT_DEFAULT, 20000, 1, &progress, &index), S_OK);
    }
    EXPECT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());
}

// Top-level code runs while the script loads: Stop ends that load too, and leaves nothing that stops the
// next.
TEST_F(WorkerRoadTest, StopEndsALoadThatNeverEnds) {
    ASSERT_EQ(worker->Set(B(u"JScript"), B(u"OutputLn('loading');\nfor (;;) {}"), B(u""), B(u"")), S_OK);
    worker->Request(B(u""), B(u""), B(u""));
    WaitForOutput(u"loading\n");
    StopWith(u"");
    Wait();
    EXPECT_LT(ErrorCode(), 0);

    StopWith(u"continue");
    ASSERT_EQ(worker->Set(B(u"JScript"), B(u"function Test() { return 'ran'; }"), B(u""), B(u"")), S_OK);
    EXPECT_EQ(Run(u""), u"");
    EXPECT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());
    EXPECT_EQ(Run(u"Test"), u"ran");
}

} // namespace
} // namespace workerroadtest
