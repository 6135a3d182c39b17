// A sequence file and its script files as a test engineer writes them, run by the real test-execution worker
// with the real test engine and script executive (the hardware manager stands in: the scripts use no
// instrument), reported as a headless run prints it: a passing test, a failing one that stops the run, and
// an erroring one run alone.
#include "TestRunTime/Runvex/ConsoleRunView.h"
#include "TestRunTime/Runvex/TestExecutiveSequenceWorker.h"
#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "common/proxies/SystemProxies.h"
#include "platform/com/apartment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace runvex {
namespace {

namespace fs = std::filesystem;

// What the stream holds; the stream is emptied.
std::string TakeText(std::FILE* stream) {
    std::string text;
    std::rewind(stream);
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
        text += static_cast<char>(c);
    }
    std::rewind(stream);
    (void)ftruncate(fileno(stream), 0); // taken: the next look starts empty
    return text;
}

class RealWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        vr::RegisterSystemProxies();
        hardware = std::make_unique<scripvanetest::ClassRegistration>(
            CLSID_VrRigmont, &scripvanetest::FakeRigmont::CreateInstance);
        // The sequence names its scripts under C:\Ostrel\Test\Scripts, the data home's Test/Scripts here.
        fs::path scripts = fs::path(std::getenv("VORNIC_HOME")) / "Test" / "Scripts";
        fs::create_directories(scripts);
        for (const char* name :
             {"supply_check.JScript.ts", "ripple_check.JScript.ts", "meter_check.JScript.ts"}) {
            fs::copy_file(fs::path(VR_RUNVEX_TEST_DATA) / name, scripts / name);
        }
        sequence = fs::path(std::getenv("VORNIC_HOME")) / "bench.tsq";
        fs::copy_file(fs::path(VR_RUNVEX_TEST_DATA) / "bench.tsq", sequence);
        worker = std::make_unique<TestExecutiveSequenceWorker>();
        ASSERT_NE(worker->Engine(), nullptr);
    }
    void TearDown() override {
        worker.reset();
        hardware.reset();
        CoUninitialize();
        std::fclose(out);
        std::fclose(err);
    }

    std::unique_ptr<scripvanetest::ClassRegistration> hardware;
    std::unique_ptr<TestExecutiveSequenceWorker> worker;
    fs::path sequence;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
};

TEST_F(RealWorkerTest, APassingAndAFailingTestEndTheRunAndAnErroringOneRunsAlone) {
    ConsoleRunView console(out, err, [&](int milliseconds) { worker->WaitForProgress(milliseconds); });
    SequenceDocument document;
    SequenceTree tree;
    SequenceRun run(console, *worker, tree, document);
    SequenceForm form(console, document, tree, run, {"JScript"});
    ASSERT_TRUE(form.Load(sequence.string()));

    run.Run();
    EXPECT_EQ(TakeText(out), "output Unknown: --------------------------------------- Supply "
                             "--------------------------------------\n"
                             "output Processing: Rail 5 V on\n"
                             "output Passed: Rail5V = 5.02 V\n"
                             "output Unknown: Rail 5 V off\n"
                             "return value: pass\n"
                             "verdict: Passed\n"
                             "output Unknown: --------------------------------------- Ripple "
                             "--------------------------------------\n"
                             "output Processing: Ripple on 5 V rail\n"
                             "output Failed: Ripple = 0.12 V\n"
                             "output Unknown: Ripple done\n"
                             "return value: FAIL\n"
                             "verdict: Failed\n");
    EXPECT_EQ(TakeText(err), "");
    std::vector<int> images;
    for (SequenceItem* item : tree.PreOrder()) {
        images.push_back(static_cast<int>(item->image));
    }
    EXPECT_EQ(images, (std::vector<int>{1, 6, 3, 1})); // the meter's test never ran

    run.ExecuteTest(*tree.PreOrder().back());
    std::string report = TakeText(out);
    EXPECT_NE(report.find("output Processing: Meter 34401A\n"), std::string::npos) << report;
    EXPECT_NE(report.find("output Unknown: Meter released\n"), std::string::npos) << report;
    EXPECT_TRUE(report.ends_with("return value: Error\nverdict: Error\n")) << report;
    std::string errors = TakeText(err);
    EXPECT_TRUE(errors.starts_with("Error: 'Meter':\n")) << errors;
    EXPECT_NE(run.LastErrorText().find("calibration"), std::string::npos) << run.LastErrorText();
    EXPECT_EQ(static_cast<int>(tree.PreOrder().back()->image), 5);
}

} // namespace
} // namespace runvex
