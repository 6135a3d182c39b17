// A CTestExecutive on the test thread against the registered script executive, with stand-ins for the test
// engine and the hardware manager registered as class objects in the test process.
#pragma once

#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "common/worker/TestExecutive.h"
#include "tests/support/com_holders.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace workertest {

using scripvanetest::ClassRegistration;
using scripvanetest::FakeTestEngine;

using vrtest::TakeText;

BSTR B(std::u16string_view text);

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Pumps and drains the engine's output until the request is done (fails the test after 20 s).
    void Wait();
    // Posts a request and waits for it; returns the result text.
    std::u16string RunRequest(std::u16string_view name, std::u16string_view first = u"",
                              std::u16string_view second = u"");
    HRESULT ErrorCode();
    std::u16string ErrorText();
    // A file under the data home with the bytes given; its path.
    std::string WriteFile(const std::string& name, const std::string& bytes);
    FakeTestEngine* Engine() const { return FakeTestEngine::last.load(); }

    std::unique_ptr<ClassRegistration> hardware;
    std::unique_ptr<ClassRegistration> engineClass;
    std::unique_ptr<CTestExecutive> worker;
    std::vector<std::pair<LONG, std::u16string>> output;
};

} // namespace workertest
