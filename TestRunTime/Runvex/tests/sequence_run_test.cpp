// The run against a scripted worker and a recording engine: the walk in run order and its stop at the first
// test that does not pass, each test's requests, images, output, verdict and result row, failures of Set and
// of a request, Pause and Stop, one test alone, and the tree kept while a run holds it.
#include "TestRunTime/Runvex/tests/fixture.h"

#include <algorithm>

namespace runvex {
namespace {

constexpr int kNotRun = 1, kFailed = 3, kError = 5, kPassed = 6, kPresetDone = 7, kRunning = 8, kTestDone = 9;

class SequenceRunTest : public RunvexTest {
protected:
    void SetUp() override {
        RunvexTest::SetUp();
        ASSERT_TRUE(form.Load(Write("bench.tsq", kBench)));
    }
    std::vector<int32_t> RowStatuses() const {
        std::vector<int32_t> statuses;
        for (const auto& row : worker.engine.rows) {
            statuses.push_back(row.status);
        }
        return statuses;
    }
};

TEST_F(SequenceRunTest, ASequenceRunsEveryTestInRunOrderWithItsImagesOutputAndResultRows) {
    worker.engine.session = "";
    worker.answers["Rails:Test"] = {"no", S_OK}; // only the fail words fail
    worker.answers["Buffer:Test"] = {"PASS", S_OK};
    run.Run();

    std::vector<std::string> requests;
    for (const char* test : {"Rails", "Ripple", "Identify", "Buffer"}) {
        for (const char* method : {"set", "load", "Preset", "Test", "Reset"}) {
            requests.push_back(std::string(test) + ":" + method);
        }
    }
    EXPECT_EQ(worker.requests, requests);
    EXPECT_EQ(worker.lastConfig, "");
    EXPECT_EQ(worker.lastOptions,
              R"(name=Buffer description='' file=C:\Ostrel\Test\Scripts\buffer.JScript.ts sn=<Undefined>)");
    EXPECT_EQ(window.ImagesOf("Rails"),
              (std::vector<int>{kNotRun, kRunning, kPresetDone, kTestDone, kPassed}));
    EXPECT_EQ(window.ImagesOf("Main Sequence"), std::vector<int>{kNotRun});
    EXPECT_EQ(RowStatuses(), (std::vector<int32_t>{1, 1, 1, 1}));
    EXPECT_EQ(worker.engine.rows[0].value, "no");
    EXPECT_EQ(worker.engine.nextSessionCalls, 1); // a session once, then the engine keeps it
    EXPECT_EQ(worker.engine.output[0],
              "--------------------------------------- Rails --------------------------------------\n");
    EXPECT_EQ(window.output[0], (std::pair<std::string, int32_t>{"Rails measured\n", 3}));
    EXPECT_EQ(OutputColour(3), (Rgb{0, 0, 255}));
    EXPECT_EQ(OutputColour(7), (Rgb{255, 0, 0}));
    EXPECT_EQ(window.statuses.back(), "Ready");
    EXPECT_FALSE(run.Running());
}

// A reported verdict is in the database: each test's row is stored before its end is reported. A row the
// database refuses is never dropped silently: the test ends as an exception ends it, and so does the run.
TEST_F(SequenceRunTest, EachRowIsStoredBeforeItsTestEndsAndARefusedRowEndsTheTestAsAnError) {
    worker.refusedRows["Identify"] = "the disk is full";
    run.Run();
    EXPECT_EQ(window.rowsAtEnd, (std::vector<size_t>{1, 2, 2}));
    EXPECT_EQ(window.ImagesOf("Identify").back(), 4);
    EXPECT_EQ(window.errors.back(), "Error: 'Identify':\nThe verdict couldn't be stored: the disk is full");
    EXPECT_EQ(window.ImagesOf("Buffer"), std::vector<int>{kNotRun});
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
    EXPECT_EQ(window.ImagesOf("Identify"), std::vector<int>{kNotRun});
    EXPECT_EQ(RowStatuses(), (std::vector<int32_t>{1, 2}));
    EXPECT_TRUE(window.errors.empty());
}

TEST_F(SequenceRunTest, AScriptErrorInPresetEndsTheTestAsAnErrorWithItsRowAndTheRun) {
    worker.answers["Rails:Preset"] = {"'PSU' is undefined", E_FAIL};
    run.Run();
    EXPECT_EQ(worker.requests, (std::vector<std::string>{"Rails:set", "Rails:load", "Rails:Preset"}));
    EXPECT_EQ(worker.lastConfig, R"(limit = "4.75 < v < 5.25";)");
    EXPECT_EQ(window.ImagesOf("Rails"), (std::vector<int>{kNotRun, kRunning, kError, kError}));
    EXPECT_EQ(window.errors, std::vector<std::string>{"Error: 'Rails':\n'PSU' is undefined"});
    EXPECT_EQ(worker.stops, std::vector<std::string>{"continue"});
    ASSERT_EQ(worker.engine.rows.size(), 1u);
    EXPECT_EQ(worker.engine.rows[0].status, 7);
    EXPECT_EQ(worker.engine.rows[0].value + "|" + worker.engine.rows[0].description, "|'PSU' is undefined");
}

TEST_F(SequenceRunTest, AFailedTestRequestStillResetsAndAFailedSetRequestsNothing) {
    worker.answers["Rails:Test"] = {"Interrupted", E_FAIL};
    run.Run();
    EXPECT_EQ(worker.requests.back(), "Rails:Reset");
    EXPECT_EQ(window.ImagesOf("Rails"),
              (std::vector<int>{kNotRun, kRunning, kPresetDone, kError, kTestDone, kError}));

    // A missing code file or an unknown language: the worker's Set fails at once and the wait shows it.
    worker.requests.clear();
    worker.answers["Identify:set"] = {"Executing Language is not provided.", E_FAIL};
    run.ExecuteTest(Item("Identify"));
    EXPECT_EQ(worker.requests, std::vector<std::string>{"Identify:set"});
    EXPECT_EQ(window.ImagesOf("Identify").back(), kError);
    EXPECT_EQ(RowStatuses(), (std::vector<int32_t>{7, 7}));
}

TEST_F(SequenceRunTest, PauseWaitsAfterTheCurrentTestUntilRunAndStopEndsAPausedRun) {
    int waits = 0;
    worker.onRequest = [&](const std::string& request) {
        if (request == "Rails:Test") {
            run.Pause();
        }
    };
    window.onPump = [&] { // counts the pause's waits, after the test's own
        if (run.Paused() && window.ended > 0 && ++waits == 4) {
            run.Run(); // resumes the waiting walk
        }
    };
    run.Run();
    EXPECT_EQ(RowStatuses(), (std::vector<int32_t>{1, 1, 1, 1}));
    EXPECT_EQ(std::count(window.statuses.begin(), window.statuses.end(), "Pause ..."), 2); // blinks

    worker.requests.clear();
    window.ended = 0;
    waits = 0;
    window.onPump = [&] {
        if (run.Paused() && window.ended > 0 && ++waits == 3) {
            run.Stop();
        }
    };
    run.Run();
    EXPECT_EQ(worker.requests.back(), "Rails:Reset"); // Rails finished; nothing after it ran
    // A paused run has no script to interrupt: an interruption now would fail the next run's first calls.
    EXPECT_TRUE(worker.stops.empty());
    EXPECT_FALSE(run.Running() || run.Paused());
}

TEST_F(SequenceRunTest, OneTestRunsAloneTheRootRunsNothingAndTheTreeStaysWhileARunHoldsIt) {
    run.ExecuteTest(tree.Root());
    run.Stop(); // nothing runs: no interrupt is left for the next run
    EXPECT_TRUE(worker.requests.empty() && worker.stops.empty());

    bool reloaded = true, single = false;
    worker.onRequest = [&](const std::string& request) {
        if (request == "Ripple:Test") {
            single = run.SingleTest();
            run.Pause(); // no pause for a single test
            reloaded = form.Load(document.Path());
            form.RemoveTest();
            form.AddTest();
            run.ExecuteTest(Item("Buffer")); // no run inside a run
        }
    };
    run.ExecuteTest(Item("Ripple"));
    EXPECT_TRUE(single);
    EXPECT_FALSE(reloaded || run.Paused() || run.SingleTest());
    EXPECT_EQ(worker.requests.size(), 5u);
    EXPECT_EQ(window.ImagesOf("Ripple").back(), kPassed);
    EXPECT_EQ(tree.PreOrder().size(), 5u);
    EXPECT_TRUE(form.Load(document.Path())); // after the run
}

} // namespace
} // namespace runvex
