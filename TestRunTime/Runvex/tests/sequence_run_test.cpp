// The run against a scripted worker and a recording engine: the walk in run order and its stop at the first
// test that does not pass, each test's requests, images, output, verdict and result row, failures of Set and
// of a request, Pause and Stop, one test alone, and the tree kept while a run holds it.
#include "TestRunTime/Runvex/SequenceForm.h"
#include "TestRunTime/Runvex/SequenceRun.h"
#include "TestRunTime/Runvex/tests/fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace runvex {
namespace {

namespace fs = std::filesystem;

constexpr int kNotRun = 1, kFailed = 3, kError = 5, kPassed = 6, kPresetDone = 7, kRunning = 8, kTestDone = 9;

constexpr const char* kLine = R"(<?xml version="1.0" encoding="UTF-8"?>
<sequence>
  <test name="Supply" description="rail on">
    <code file="C:\Ostrel\Test\Scripts\supply.JScript.ts" language="JScript"/>
    <config>volts = 5;</config>
    <test name="Ripple">
      <code file="C:\Ostrel\Test\Scripts\ripple.JScript.ts" language="JScript"/>
    </test>
  </test>
  <stage>
    <test name="Meter">
      <code file="C:\Ostrel\Test\Scripts\meter.JScript.ts" language="JScript"/>
    </test>
  </stage>
</sequence>
)";

class SequenceRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::path path = fs::path(std::getenv("VORNIC_HOME")) / "line.tsq";
        std::ofstream(path) << kLine;
        ASSERT_TRUE(form.Load(path.string()));
    }
    SequenceItem& Item(const std::string& label) {
        for (SequenceItem* item : tree.PreOrder()) {
            if (item->label == label) {
                return *item;
            }
        }
        throw std::runtime_error("no item " + label);
    }
    std::vector<int32_t> RowStatuses() const {
        std::vector<int32_t> statuses;
        for (const auto& row : worker.engine.rows) {
            statuses.push_back(row.status);
        }
        return statuses;
    }

    RecordingWindow window;
    ScriptedWorker worker;
    SequenceDocument document;
    SequenceTree tree;
    SequenceRun run{window, worker, tree, document};
    SequenceForm form{window, document, tree, run, {"JScript"}};
};

TEST_F(SequenceRunTest, ASequenceRunsEveryTestInRunOrderWithItsImagesOutputAndResultRows) {
    worker.engine.session = "";
    worker.answers["Supply:Test"] = {"no", S_OK}; // only the fail words fail
    worker.answers["Ripple:Test"] = {"", S_OK};
    worker.answers["Meter:Test"] = {"PASS", S_OK};
    run.Run();

    EXPECT_EQ(
        worker.requests,
        (std::vector<std::string>{"Supply:set", "Supply:load", "Supply:Preset", "Supply:Test", "Supply:Reset",
                                  "Ripple:set", "Ripple:load", "Ripple:Preset", "Ripple:Test", "Ripple:Reset",
                                  "Meter:set", "Meter:load", "Meter:Preset", "Meter:Test", "Meter:Reset"}));
    EXPECT_EQ(worker.lastLanguage, "JScript");
    EXPECT_EQ(worker.lastOptions,
              R"(name=Meter description='' file=C:\Ostrel\Test\Scripts\meter.JScript.ts sn=<Undefined>)");
    EXPECT_EQ(window.ImagesOf("Supply"),
              (std::vector<int>{kNotRun, kRunning, kPresetDone, kTestDone, kPassed}));
    EXPECT_EQ(window.ImagesOf("Main Sequence"), std::vector<int>{kNotRun});
    EXPECT_EQ(RowStatuses(), (std::vector<int32_t>{1, 1, 1}));
    EXPECT_EQ(worker.engine.rows[0].value, "no");
    EXPECT_EQ(worker.engine.nextSessionCalls, 1); // a session once, then the engine keeps it
    ASSERT_EQ(worker.engine.output.size(), 3u);
    EXPECT_EQ(worker.engine.output[0],
              "--------------------------------------- Supply --------------------------------------\n");
    ASSERT_EQ(window.output.size(), 3u);
    EXPECT_EQ(window.output[0], (std::pair<std::string, int32_t>{"Supply measured\n", 3}));
    EXPECT_EQ(OutputColour(3), (Rgb{0, 0, 255}));
    EXPECT_EQ(OutputColour(7), (Rgb{255, 0, 0}));
    EXPECT_EQ(OutputColour(5), (Rgb{}));
    EXPECT_EQ(window.statuses.back(), "Ready");
    EXPECT_FALSE(run.Running());
}

TEST_F(SequenceRunTest, TheFailWordsFailATestAndTheRunStopsThere) {
    for (const char* word : {"FAIL", "False", "0", "failed"}) {
        EXPECT_EQ(VerdictOf(true, word), Verdict::Failed) << word;
    }
    for (const char* word : {"no", "error", "", "00"}) {
        EXPECT_EQ(VerdictOf(true, word), Verdict::Passed) << word;
    }
    worker.answers["Ripple:Test"] = {"False", S_OK};
    run.Run();
    EXPECT_EQ(window.ImagesOf("Ripple").back(), kFailed);
    EXPECT_EQ(window.ImagesOf("Meter"), std::vector<int>{kNotRun});
    EXPECT_EQ(RowStatuses(), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(worker.engine.rows[1].value, "False");
    EXPECT_TRUE(window.errors.empty());
}

TEST_F(SequenceRunTest, AScriptErrorInPresetEndsTheTestAsAnErrorWithItsRowAndTheRun) {
    worker.answers["Supply:Preset"] = {"'PSU' is undefined", E_FAIL};
    run.Run();
    EXPECT_EQ(worker.requests, (std::vector<std::string>{"Supply:set", "Supply:load", "Supply:Preset"}));
    EXPECT_EQ(window.ImagesOf("Supply"), (std::vector<int>{kNotRun, kRunning, kError, kError}));
    EXPECT_EQ(window.errors, std::vector<std::string>{"Error: 'Supply':\n'PSU' is undefined"});
    EXPECT_EQ(worker.stops, std::vector<std::string>{"continue"});
    ASSERT_EQ(worker.engine.rows.size(), 1u);
    EXPECT_EQ(worker.engine.rows[0].status, 7);
    EXPECT_EQ(worker.engine.rows[0].value, "");
    EXPECT_EQ(worker.engine.rows[0].description, "'PSU' is undefined");
    EXPECT_EQ(window.ended, std::vector<std::string>{"Supply=:7"});
}

TEST_F(SequenceRunTest, AFailedTestRequestStillResetsAndAFailedSetRequestsNothing) {
    worker.answers["Supply:Test"] = {"Interrupted", E_FAIL};
    run.Run();
    EXPECT_EQ(worker.requests.back(), "Supply:Reset");
    EXPECT_EQ(window.ImagesOf("Supply"),
              (std::vector<int>{kNotRun, kRunning, kPresetDone, kError, kTestDone, kError}));

    // A missing code file or an unknown language: the worker's Set fails at once and the wait shows it.
    worker.requests.clear();
    worker.answers["Meter:set"] = {"Couldn't find code file 'C:\\Ostrel\\Test\\Scripts\\meter.JScript.ts'.",
                                   E_FAIL};
    run.ExecuteTest(Item("Meter"));
    EXPECT_EQ(worker.requests, std::vector<std::string>{"Meter:set"});
    EXPECT_EQ(window.ImagesOf("Meter").back(), kError);
    EXPECT_EQ(worker.engine.rows.back().status, 7);
}

TEST_F(SequenceRunTest, PauseWaitsAfterTheCurrentTestUntilRunAndStopEndsAPausedRun) {
    int waits = 0;
    worker.onRequest = [&](const std::string& request) {
        if (request == "Supply:Test") {
            run.Pause();
        }
    };
    window.onPump = [&] { // counts the pause's waits, after the test's own
        if (run.Paused() && !window.ended.empty() && ++waits == 4) {
            run.Run(); // resumes the waiting walk
        }
    };
    run.Run();
    EXPECT_EQ(RowStatuses(), (std::vector<int32_t>{1, 1, 1}));
    size_t pauses = std::count(window.statuses.begin(), window.statuses.end(), "Pause ...");
    EXPECT_EQ(pauses, 2u); // the status blinks between the waits

    worker.requests.clear();
    window.ended.clear();
    waits = 0;
    window.onPump = [&] {
        if (run.Paused() && !window.ended.empty() && ++waits == 3) {
            run.Stop();
        }
    };
    run.Run();
    EXPECT_EQ(worker.requests.back(), "Supply:Reset"); // Supply finished; nothing after it ran
    EXPECT_EQ(worker.stops.back(), "");
    EXPECT_FALSE(run.Running());
    EXPECT_FALSE(run.Paused());
}

TEST_F(SequenceRunTest, OneTestRunsAloneTheRootRunsNothingAndTheTreeStaysWhileARunHoldsIt) {
    run.ExecuteTest(tree.Root());
    EXPECT_TRUE(worker.requests.empty());

    bool reloaded = true, single = false;
    worker.onRequest = [&](const std::string& request) {
        if (request == "Ripple:Test") {
            single = run.SingleTest();
            run.Pause(); // no pause for a single test
            reloaded = form.Load(document.Path());
            form.RemoveTest();
            form.AddTest();
            run.ExecuteTest(Item("Meter")); // no run inside a run
        }
    };
    run.ExecuteTest(Item("Ripple"));
    EXPECT_TRUE(single);
    EXPECT_FALSE(reloaded);
    EXPECT_FALSE(run.Paused());
    EXPECT_FALSE(run.SingleTest());
    EXPECT_EQ(worker.requests, (std::vector<std::string>{"Ripple:set", "Ripple:load", "Ripple:Preset",
                                                         "Ripple:Test", "Ripple:Reset"}));
    EXPECT_EQ(window.ImagesOf("Ripple").back(), kPassed);
    EXPECT_EQ(tree.PreOrder().size(), 4u);
    EXPECT_TRUE(form.Load(document.Path())); // after the run
}

} // namespace
} // namespace runvex
