// The test executive's run and form when nobody sees a window (offscreen): the engine's output lines (the
// test headers among them) and each test's end on standard output, error boxes on standard error, in the
// line forms of the script executive's report (ConsoleReport), so one reader follows both programs.
//
// Standard output, one line each:  output <StatusWord>: <text>
//                                  return value: <text>   ("Error" when the test did not complete)
//                                  verdict: <StatusWord>
//                                  image: <number> (<meaning>)   the test's image in the tree and what it
//                                                          tells: 6 (passed), 3 (failed), 5 (error),
//                                                          4 (ended by an exception), 1 (not run)
// Standard error: "<caption>: <text>" for each error box, which counts as answered OK.
// Images, status texts, the tree and the panes show nothing. Threads: the window thread.
#pragma once

#include "TestRunTime/Runvex/SequenceForm.h"
#include "TestRunTime/Runvex/SequenceRun.h"
#include "TestRunTime/Scrivon/ConsoleReport.h"

#include <cstdio>
#include <functional>

namespace runvex {

class ConsoleRunView : public RunView, public FormView {
public:
    // pump serves the thread's queued calls for at most the milliseconds given (the worker's wait); both
    // streams stay the caller's.
    ConsoleRunView(std::FILE* out, std::FILE* err, std::function<void(int)> pump)
        : report_(out, err), out_(out), pump_(std::move(pump)) {}

    void ShowImage(const SequenceItem&, TreeImage) override {}
    void AppendOutput(const std::string& text, int32_t status) override { report_.Output(status, text); }
    void ShowStatus(const std::string&) override {}
    void ShowError(const std::string& caption, const std::string& text) override {
        report_.Error(caption, text);
    }
    void RefreshCommands() override {}
    void ShowRootProperties() override {}
    void TestEnded(const SequenceItem& item, const std::string& testResult, Verdict verdict) override;
    void PumpMessages() override { pump_(kPumpStepMs); }
    void Wait(int milliseconds) override { pump_(milliseconds); }

    void ShowTree() override {}
    void ShowLabel(const SequenceItem&) override {}
    void ShowProperties() override {}

private:
    static constexpr int kPumpStepMs = 50;

    scrivon::ConsoleReport report_; // window thread
    std::FILE* out_;                // window thread; the caller's
    std::function<void(int)> pump_; // window thread
};

} // namespace runvex
