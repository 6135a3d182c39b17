// The test executive's run: the walk over the tree, one test's requests, its verdict and result row, Pause
// and Stop.
#include "TestRunTime/Runvex/SequenceRun.h"

#include "TestRunTime/Corvant/include/corvant.h"
#include "TestRunTime/Runvex/SequenceDocument.h"
#include "TestRunTime/Scrivon/TestLoaderModel.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "common/worker/TestExecutive.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <utility>

namespace runvex {
namespace {

constexpr int kPauseBlinkMs = 500;
// The status bar's buffer holds this many characters, its terminator included.
constexpr size_t kStatusCapacity = 3000;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string HeaderLine(const std::string& name) {
    return "--------------------------------------- " + name + " --------------------------------------\n";
}

// The option string of Set: name, description, file and sn, each "name=value" (quoted where needed).
std::string TestOptions(const TestProperties& test, const std::string& serialNumber) {
    BSTR options = nullptr;
    const std::array<std::pair<const OLECHAR*, const std::string*>, 4> items = {
        {{u"name", &test.name},
         {u"description", &test.description},
         {u"file", &test.codeFile},
         {u"sn", &serialNumber}}};
    for (const auto& [name, value] : items) {
        // A value holding all of ' " } and ] cannot be written; the item is left out, and Set then reads it
        // as empty.
        (void)AppendParam(&options, name, vr::FromUtf8(*value).c_str(), u" ", false);
    }
    return _bstr_t(options, false).utf8();
}

// What the claim of a test's session came to, written on the worker's thread.
struct SessionClaim {
    HRESULT hr = S_OK;
    std::u16string error;
};

} // namespace

std::string CutToStatusBuffer(const std::string& text) {
    std::u16string wide = vr::FromUtf8(text);
    if (wide.size() < kStatusCapacity) {
        return text;
    }
    wide.resize(kStatusCapacity - 1);
    if (wide.back() >= 0xD800 && wide.back() < 0xDC00) {
        wide.pop_back(); // never half a character
    }
    return vr::ToUtf8(wide);
}

Rgb OutputColour(int32_t status) {
    switch (status) {
    case 2:
    case 4:
    case 7:
        return {255, 0, 0};
    case 3:
        return {0, 0, 255};
    default:
        return {};
    }
}

Verdict VerdictOf(bool completed, const std::string& testResult) {
    if (!completed) {
        return Verdict::Error;
    }
    std::string lower = Lower(testResult);
    bool failed = lower == "false" || lower == "failed" || lower == "fail" || lower == "0";
    return failed ? Verdict::Failed : Verdict::Passed;
}

SequenceRun::SequenceRun(RunView& view, RunWorker& worker, SequenceTree& tree,
                         const SequenceDocument& document)
    : view_(view), worker_(worker), tree_(tree), document_(document),
      // The serial-number editor is the script executive's: both executives share its recent numbers.
      serialNumber_("SN", scrivon::TestLoaderModel::kSerialNumberOptions),
      serialNumberEditor_(std::make_unique<AttrValueEditorModel>(serialNumber_, "")) {}

SequenceRun::RunScope::RunScope(SequenceRun& run, bool singleTest)
    : run_(run), phase_(run.state_, vrcommon::RunPhase::Running) {
    run_.inRun_ = true;
    run_.singleTest_ = singleTest;
    run_.abandoned_ = false;
    run_.view_.RefreshCommands();
    run_.StoreSerialNumber();
}

SequenceRun::RunScope::~RunScope() {
    run_.Status("Ready");
    run_.inRun_ = false;
    run_.singleTest_ = false;
}

void SequenceRun::Run() {
    if (Paused()) {
        state_.MoveTo(vrcommon::RunPhase::Running); // the waiting walk goes on
        view_.RefreshCommands();
        return;
    }
    if (!state_.Takes(vrcommon::RunRequest::Run)) {
        return;
    }
    {
        RunScope scope(*this, false);
        view_.ShowRootProperties();
        std::vector<SequenceItem*> items = tree_.PreOrder();
        for (SequenceItem* item : items) {
            item->image = TreeImage::NotRun;
            view_.ShowImage(*item, TreeImage::NotRun);
        }
        for (SequenceItem* item : items) {
            if (Ending()) {
                break; // stopped, or the window closes
            }
            Status("Processing ...");
            if (!item->element) {
                continue; // the root item
            }
            if (RunTest(*item) != Verdict::Passed) {
                break;
            }
            while (Paused()) {
                view_.Wait(kPauseBlinkMs);
                Status("Pause ...");
                view_.Wait(kPauseBlinkMs);
                Status("");
            }
        }
    }
    view_.RefreshCommands();
}

void SequenceRun::Pause() {
    if (singleTest_ || !state_.Takes(vrcommon::RunRequest::Pause)) {
        return;
    }
    state_.MoveTo(vrcommon::RunPhase::Paused);
    view_.RefreshCommands();
}

void SequenceRun::Stop() {
    if (!state_.Takes(vrcommon::RunRequest::Stop)) {
        return; // an interrupt nobody takes would stop the next run's first script
    }
    state_.MoveTo(vrcommon::RunPhase::Stopping);
    view_.RefreshCommands();
    if (requestRunning_) {
        worker_.Stop(""); // a run that waits between tests (paused) has no script to interrupt
    }
}

bool SequenceRun::RequestClose() {
    bool again = state_.ClosePending(); // the run was stopped by the first close: its Reset must run
    if (state_.RequestClose(kClosePatience)) {
        return true;
    }
    if (!again && requestRunning_) {
        worker_.Stop(""); // as Stop: the script ends at its next engine call, then Reset runs
    }
    Status("Closing ...");
    return false;
}

void SequenceRun::ExecuteTest(SequenceItem& item) {
    if (!item.element || state_.Phase() != vrcommon::RunPhase::Idle) {
        return;
    }
    {
        RunScope scope(*this, true);
        Status("Processing ...");
        (void)RunTest(item); // the verdict shows as the item's image
    }
    view_.RefreshCommands();
}

// The row keeps no recent value by itself (NotAutoSetRecentValue, as it stores on every keystroke): the
// serial number a run starts with is the one that joins them.
void SequenceRun::StoreSerialNumber() {
    if (SUCCEEDED(serialNumberEditor_->Store().hr) &&
        serialNumberEditor_->Combo().CurrentText() != CAttrValue::kUndefined) {
        serialNumberEditor_->Combo().AddRecentValue();
    }
}

Verdict SequenceRun::RunTest(SequenceItem& item) {
    current_ = &item;
    TestProperties test = document_.PropertiesOf(item.element);
    currentName_ = test.name;
    lastError_.clear();
    timeLimitError_.clear();
    testDeadline_.reset();
    if (timeLimit_) {
        testDeadline_ = std::chrono::steady_clock::now() + *timeLimit_;
    }
    if (!worker_.Engine()) {
        return EndWithReason(worker_.StartFailure()); // the worker never made its engine
    }
    try {
        SetImage(TreeImage::Running);
        // The engine queues the header before the test's own lines: Set makes the call first, and waits for
        // it.
        auto header = [line = HeaderLine(test.name)](IVrTestEngine* engine) {
            _variant_t missing(DISP_E_PARAMNOTFOUND, VT_ERROR);
            (void)engine->Output(_bstr_t(line.c_str()), missing); // a header the engine loses costs no result
        };
        worker_.Set(test.language, test.config, TestOptions(test, serialNumber_.GetValueText()), header);
        std::string testResult;
        bool completed = false;
        if (WaitForRequest()) {
            // The session is claimed as the load finishes, so a Stop that comes while Preset runs finds it;
            // the script may have set it as it loaded. The worker writes the claim's outcome before it
            // reports the load done, and holds it while a window that gave up on the load is gone.
            auto claim = std::make_shared<SessionClaim>();
            requestRunning_ = true;
            worker_.RequestThen(
                "", [claim](IVrTestEngine* engine) { claim->hr = ClaimTestSession(engine, &claim->error); });
            if (WaitForRequest()) {
                if (FAILED(claim->hr) && !Stopped()) {
                    // Its rows would carry no session: the test runs no further.
                    return EndWithReason("The session couldn't be claimed: " + vr::ToUtf8(claim->error));
                }
                // A Stop that failed the claim ends the test as a Stop does; its verdict row claims the
                // session as it is stored.
                completed = RunRequests(&testResult);
            }
        }
        if (!timeLimitError_.empty()) {
            completed = false; // whatever its requests answered, the test did not end by itself
            lastError_ = timeLimitError_;
        }
        Verdict verdict = VerdictOf(completed, testResult);
        SetImage(verdict == Verdict::Passed   ? TreeImage::Passed
                 : verdict == Verdict::Failed ? TreeImage::Failed
                                              : TreeImage::Error);
        verdict = StoreVerdict(verdict, testResult);
        DrainOutput();
        view_.TestEnded(item, testResult, verdict);
        return verdict;
    } catch (const _com_error& error) {
        return EndByException(error.Error());
    }
}

// The test ends as an exception ends it, with the reason shown.
Verdict SequenceRun::EndWithReason(const std::string& text) {
    lastError_ = text;
    ReportError(text);
    return EndByException(E_FAIL);
}

// The test ends at once: no further request, no result row.
Verdict SequenceRun::EndByException(HRESULT hr) {
    SetTraceSite();
    TraceHResultError(hr, u"Test '%hs' ended by an exception.", currentName_.c_str());
    DrainOutput();
    SetImage(TreeImage::Exception);
    view_.TestEnded(*current_, "", Verdict::Error);
    return Verdict::Error;
}

// Preset, then Test and Reset when Preset succeeded; true when Test and Reset both did.
bool SequenceRun::RunRequests(std::string* testResult) {
    if (!Submit("Preset")) {
        return false;
    }
    SetImage(TreeImage::PresetDone);
    bool tested = Submit("Test", testResult);
    SetImage(TreeImage::TestDone);
    bool reset = Submit("Reset");
    return tested && reset;
}

// A request once the run is stopping or closing is not made (the engine would interrupt it at once), except
// Reset, which ends what the test began.
bool SequenceRun::Submit(const std::string& method, std::string* result) {
    if (abandoned_) {
        return false;
    }
    if (!timeLimitError_.empty() && method != "Reset") {
        return false; // out of time: reported as it ran out
    }
    if (Ending() && method != "Reset") {
        return Interrupted();
    }
    requestRunning_ = true;
    worker_.Request(method);
    return WaitForRequest(result);
}

// Stopping or closing: the run ends after the current test. A paused run still finishes its test.
bool SequenceRun::Ending() const {
    vrcommon::RunPhase phase = state_.Phase();
    return phase == vrcommon::RunPhase::Stopping || phase == vrcommon::RunPhase::Closing;
}

// The run interrupted the engine for the running test: a Stop, a close or the test's time limit.
bool SequenceRun::Stopped() const {
    return Ending() || !timeLimitError_.empty();
}

bool SequenceRun::Interrupted() {
    SetImage(TreeImage::Error);
    lastError_ = "Test '" + currentName_ + "' is interrupted by the User.";
    ReportError(lastError_);
    worker_.Stop("continue"); // as after a failed request: Reset still runs
    return false;
}

bool SequenceRun::WaitForRequest(std::string* result) {
    for (;;) {
        DrainOutput();
        if (worker_.GetState() == 2) {
            break;
        }
        if (OutOfTime()) {
            return false;
        }
        if (state_.CloseOverdue()) {
            // The script does not end: the window closes without it, and nothing more is asked of the worker.
            requestRunning_ = false;
            abandoned_ = true;
            SetImage(TreeImage::Error);
            lastError_ = "The test didn't end after the window was closed; it was left running.";
            ReportError(lastError_);
            return false;
        }
        view_.PumpMessages();
    }
    requestRunning_ = false;
    std::string text;
    HRESULT hr = S_OK;
    worker_.GetResult(&text, &hr);
    if (SUCCEEDED(hr)) {
        if (result) {
            *result = text;
        }
        return true;
    }
    SetImage(TreeImage::Error);
    lastError_ = text;
    ReportError(text);
    // The failure is reported: a Stop that caused it no longer holds, so Reset still runs.
    worker_.Stop("continue");
    return false;
}

// The test's time has run out: it is stopped as Stop stops it, and its Reset gets kClosePatience more; after
// that the run gives up on it (true), asking nothing more of the worker.
bool SequenceRun::OutOfTime() {
    if (!testDeadline_ || std::chrono::steady_clock::now() < *testDeadline_) {
        return false;
    }
    if (timeLimitError_.empty()) {
        timeLimitError_ = "Test '" + currentName_ + "' didn't end within its time limit of " +
                          std::to_string(timeLimit_->count()) + " s.";
        ReportError(timeLimitError_);
        testDeadline_ = std::chrono::steady_clock::now() + kClosePatience;
        worker_.Stop(""); // the script ends at its next engine call, a control panel's program at once
        return false;
    }
    requestRunning_ = false;
    abandoned_ = true;
    SetImage(TreeImage::Error);
    lastError_ = timeLimitError_ + " It didn't end after it was stopped either; it was left running.";
    ReportError(lastError_);
    return true;
}

// The "Error" box of the test; while the window closes it is traced instead (nobody would see it).
void SequenceRun::ReportError(const std::string& text) {
    std::string message = "'" + currentName_ + "':\n" + text;
    if (state_.Phase() == vrcommon::RunPhase::Closing) {
        SetTraceSite();
        TraceError(u"Error: %hs", message.c_str());
        return;
    }
    view_.ShowError("Error", message);
}

void SequenceRun::DrainOutput() {
    int32_t status = 0;
    std::string text;
    while (worker_.GetOutput(&status, &text)) {
        view_.AppendOutput(text, status);
    }
}

// Stored before the test's end is reported, so a verdict that was reported is in the database. A row that
// cannot be stored is never dropped silently: the test ends as an exception ends it, with the reason.
Verdict SequenceRun::StoreVerdict(Verdict verdict, const std::string& testResult) {
    std::string error = "the test is still running.";
    if (!abandoned_ &&
        SUCCEEDED(worker_.StoreVerdictRow(testResult, verdict == Verdict::Error ? lastError_ : "",
                                          static_cast<int32_t>(verdict), &error))) {
        return verdict;
    }
    SetTraceSite();
    TraceError(u"The verdict of test '%hs' was not stored: %hs", currentName_.c_str(), error.c_str());
    SetImage(TreeImage::Exception);
    lastError_ = "The verdict couldn't be stored: " + error;
    ReportError(lastError_);
    return Verdict::Error;
}

void SequenceRun::SetImage(TreeImage image) {
    current_->image = image;
    view_.ShowImage(*current_, image);
}

void SequenceRun::Status(const std::string& text) {
    view_.ShowStatus(CutToStatusBuffer(text));
}

} // namespace runvex
