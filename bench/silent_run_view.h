// A test executive's window that shows nothing and waits for the worker as the programs do, for the
// benchmarks that run sequences with the real run logic.
#pragma once

#include "TestRunTime/Runvex/SequenceForm.h"
#include "TestRunTime/Runvex/SequenceRun.h"
#include "TestRunTime/Runvex/TestExecutiveSequenceWorker.h"

#include <cstdio>
#include <string>

namespace vrbench {

class SilentRunView : public runvex::RunView, public runvex::FormView {
public:
    // pumpStepMs: how long each pump of the window's events waits for the worker's progress.
    SilentRunView(runvex::TestExecutiveSequenceWorker& worker, int pumpStepMs)
        : worker_(worker), pumpStepMs_(pumpStepMs) {}
    void ShowImage(const runvex::SequenceItem&, runvex::TreeImage) override {}
    void AppendOutput(const std::string&, int32_t) override {}
    void ShowStatus(const std::string&) override {}
    void ShowError(const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
    void RefreshCommands() override {}
    void ShowRootProperties() override {}
    void TestEnded(const runvex::SequenceItem&, const std::string&, runvex::Verdict verdict) override {
        ++ended_;
        failed_ = failed_ || verdict != runvex::Verdict::Passed;
    }
    void PumpMessages() override { worker_.WaitForProgress(pumpStepMs_); }
    void Wait(int milliseconds) override { worker_.WaitForProgress(milliseconds); }
    void ShowTree() override {}
    void ShowLabel(const runvex::SequenceItem&) override {}
    void ShowProperties() override {}
    int Ended() const { return ended_; }
    bool Failed() const { return failed_; }

private:
    runvex::TestExecutiveSequenceWorker& worker_; // outlives the view
    const int pumpStepMs_;
    int ended_ = 0;       // the run's thread
    bool failed_ = false; // the run's thread
};

} // namespace vrbench
