// The test executive's run without widgets: the whole sequence walked in run order, or one test alone, each
// test loaded and run through the test-execution worker (Preset, Test, Reset), its status shown as the
// item's image, the engine's output lines passed on with their status, its verdict stored as a result row;
// Pause between tests and Stop.
//
// Usage: the window makes one SequenceRun over its tree, a view and a worker, calls Run, Pause, Stop and
// ExecuteTest for its commands and RequestClose when it closes, and disables Open and every command that
// rebuilds or empties the tree while Running() (the run holds the tree's items). Run and ExecuteTest return
// when the run ends; meanwhile they pump the window through RunView, so Pause, Stop and a close arrive as
// nested calls. The run state (State(): idle, loading, running, paused, stopping, closing) is the program's
// one: the form asks it before it loads. Stop interrupts the engine only while a test runs (a paused run has
// no script to interrupt); a request is not made once the run is stopping, except a test's Reset; a close
// stops the run and waits for its end at most kClosePatience, after which no more requests are made.
// Each test's verdict row is stored before the test's end is reported, and a row that cannot be stored ends
// the test as an exception would (image 4, verdict Error, an "Error" box). So does a session that cannot be
// claimed after the load: the test runs no request more and stores no row, as its rows would carry none.
// Threads: the window thread only; the worker runs the requests on its own thread.
// Failures: a failed request ends the test as an error (an "Error" box, then the run stops); nothing throws.
#pragma once

#include "TestRunTime/Runvex/SequenceTree.h"
#include "common/attrvalues/AttrValue.h"
#include "common/attrvalues/AttrValueEditorModel.h"
#include "common/worker/RunState.h"
#include "platform/com/hresult.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct IVrTestEngine;

namespace runvex {

class SequenceDocument;

// The verdict codes a test's run ends with (the engine's test-status values).
enum class Verdict : int32_t { Passed = 1, Failed = 2, Error = 7 };

// The colour of an output line of a status: 2, 4 and 7 red, 3 blue, any other black.
struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
Rgb OutputColour(int32_t status);

// The text as the status bar's buffer of 3000 characters holds it: longer text is cut.
std::string CutToStatusBuffer(const std::string& text);

// A completed test fails when "Test" returned "false", "failed", "fail" or "0" (any case) and passes
// otherwise, an empty text included; a test that did not complete is an error.
Verdict VerdictOf(bool completed, const std::string& testResult);

// The test-execution worker as the run uses it; the program hands the real one, tests a fake.
class RunWorker {
public:
    virtual ~RunWorker() = default;
    // Prepares the next test; its request is finished at once (GetState reads 2), with the failure, if any,
    // in GetResult. The calls given first have been made on the worker's thread when it returns, before the
    // engine is given the new test.
    virtual void Set(const std::string& language, const std::string& config, const std::string& options,
                     const std::function<void(IVrTestEngine*)>& first) = 0;
    // Starts a request: "" loads the prepared code, otherwise the script function of that name.
    virtual void Request(const std::string& method) = 0;
    // Starts a request whose success the worker follows with the engine calls on its thread before it
    // reports the request finished: after the request and before anything the run does next, at no round
    // trip of their own.
    virtual void RequestThen(const std::string& method, std::function<void(IVrTestEngine*)> calls) = 0;
    // 0 idle, 1 pending, 2 finished (reading 2 resets it to 0).
    virtual int GetState() = 0;
    // The last request's text (its error description on failure) and HRESULT.
    virtual void GetResult(std::string* text, HRESULT* hr) = 0;
    // The engine's next output line with its status; false when none waits.
    virtual bool GetOutput(int32_t* status, std::string* text) = 0;
    virtual void Stop(const std::string& words) = 0;
    // Stores a verdict's result row (value, description, status), also after a Stop came; the failure with
    // its description.
    virtual HRESULT StoreVerdictRow(const std::string& value, const std::string& description, int32_t status,
                                    std::string* error) = 0;
    // The engine, usable on the window thread; null when the worker could not make it.
    virtual IVrTestEngine* Engine() = 0;
    // Why the worker has no engine: the reason its startup failed, in words for the operator.
    virtual std::string StartFailure() = 0;
    // Engine calls made on the worker's thread, waited for: one round trip for several calls.
    virtual HRESULT CallOnEngine(const std::function<HRESULT(IVrTestEngine*)>& calls) = 0;
};

// The window as the run sees it; the Qt view implements it, tests and headless runs fake or print it.
class RunView {
public:
    virtual ~RunView() = default;
    virtual void ShowImage(const SequenceItem& item, TreeImage image) = 0;
    // Appends the text at the end of the output pane in OutputColour(status).
    virtual void AppendOutput(const std::string& text, int32_t status) = 0;
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;
    // The run's flags changed: the toolbar's enabled states follow.
    virtual void RefreshCommands() = 0;
    // A run starts: the property pane shows the root item (cleared).
    virtual void ShowRootProperties() = 0;
    // A test's run ended, also by an exception: what its "Test" request returned (empty when it did not
    // finish) and the verdict; the item shows its last image. The window shows the verdict as the item's
    // image already; a headless run prints it.
    virtual void TestEnded(const SequenceItem& item, const std::string& testResult, Verdict verdict) = 0;
    // Serves the window's events once, then waits briefly (less when the worker has news).
    virtual void PumpMessages() = 0;
    // Serves the window's events for the milliseconds (the pause's blink).
    virtual void Wait(int milliseconds) = 0;
};

class SequenceRun {
public:
    // How long a close waits for the stopped run to end (the test's Reset included).
    static constexpr std::chrono::seconds kClosePatience{10};

    // All four stay the caller's and must outlive the run.
    SequenceRun(RunView& view, RunWorker& worker, SequenceTree& tree, const SequenceDocument& document);

    // A run (of the sequence or of one test) is in progress, also while it pauses, stops or is closed.
    bool Running() const { return inRun_; }
    bool Paused() const { return state_.Phase() == vrcommon::RunPhase::Paused; }
    bool SingleTest() const { return singleTest_; }
    vrcommon::RunState& State() { return state_; }
    // The serial number's row, edited beside the output pane.
    AttrValueEditorModel& SerialNumberEditor() { return *serialNumberEditor_; }
    const std::string& LastErrorText() const { return lastError_; }

    // The Run command: resumes a paused run, is ignored while one runs, else runs every test in run order
    // until one does not pass or Stop.
    void Run();
    // Pauses a sequence run after its current test; ignored for a single test and while nothing runs.
    void Pause();
    // Ends the run after the current request; the engine interrupts the running script. Nothing while no
    // run is in progress.
    void Stop();
    // Runs the test of the item alone; nothing for the root item or while a run is in progress.
    void ExecuteTest(SequenceItem& item);
    // A test still running after limit is stopped as Stop stops it and ends with verdict Error (after its
    // Reset, which gets kClosePatience more); none: no limit (burn-in tests run for hours).
    void SetTestTimeLimit(std::optional<std::chrono::seconds> limit) { timeLimit_ = limit; }
    // Closing the window: true when it may close now. During a run the run is stopped as Stop does, and the
    // state's close action (State().SetCloseAction) runs once it has ended.
    bool RequestClose();

private:
    // The run's scope: the running phase, and Running() meanwhile.
    class RunScope {
    public:
        RunScope(SequenceRun& run, bool singleTest);
        ~RunScope();
        RunScope(const RunScope&) = delete;
        RunScope& operator=(const RunScope&) = delete;

    private:
        SequenceRun& run_;
        vrcommon::RunState::Scope phase_;
    };

    Verdict RunTest(SequenceItem& item);
    Verdict EndWithReason(const std::string& text);
    Verdict EndByException(HRESULT hr);
    bool RunRequests(std::string* testResult);
    bool Submit(const std::string& method, std::string* result = nullptr);
    bool WaitForRequest(std::string* result = nullptr);
    bool Interrupted();
    bool Ending() const;
    bool Stopped() const;
    bool OutOfTime();
    void ReportError(const std::string& text);
    void DrainOutput();
    void StoreSerialNumber();
    Verdict StoreVerdict(Verdict verdict, const std::string& testResult);
    void SetImage(TreeImage image);
    void Status(const std::string& text);

    RunView& view_;
    RunWorker& worker_;
    SequenceTree& tree_;
    const SequenceDocument& document_;
    vrcommon::RunState state_{u"Runvex"}; // window thread
    bool inRun_ = false;                  // window thread
    bool singleTest_ = false;             // window thread
    bool abandoned_ = false;              // window thread: a request is left running
    bool requestRunning_ = false; // window thread: posted and not yet seen done (a script may be running)
    std::optional<std::chrono::seconds> timeLimit_;                     // window thread
    std::optional<std::chrono::steady_clock::time_point> testDeadline_; // window thread: of the running test
    std::string timeLimitError_;      // window thread: set when the running test ran out of time
    SequenceItem* current_ = nullptr; // window thread: the test being run
    std::string currentName_;         // window thread: its name, for messages
    std::string lastError_;           // window thread
    CAttrValue serialNumber_;         // window thread
    std::unique_ptr<AttrValueEditorModel> serialNumberEditor_; // window thread
};

} // namespace runvex
