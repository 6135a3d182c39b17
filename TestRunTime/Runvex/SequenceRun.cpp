// The test executive's run: the walk over the tree, one test's requests, its verdict and result row, Pause
// and Stop.
#include "TestRunTime/Runvex/SequenceRun.h"

#include "TestRunTime/Corvant/include/corvant.h"
#include "TestRunTime/Runvex/SequenceDocument.h"
#include "TestRunTime/Scrivon/TestLoaderModel.h"
#include "common/ParamParser.h"
#include "common/Trace.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

#include <algorithm>
#include <array>
#include <cctype>
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

void SequenceRun::Run() {
    if (paused_) {
        paused_ = false; // the waiting walk goes on
        view_.RefreshCommands();
        return;
    }
    if (running_) {
        return;
    }
    running_ = true;
    view_.RefreshCommands();
    view_.ShowRootProperties();
    StoreSerialNumber();

    std::vector<SequenceItem*> items = tree_.PreOrder();
    for (SequenceItem* item : items) {
        item->image = TreeImage::NotRun;
        view_.ShowImage(*item, TreeImage::NotRun);
    }
    for (SequenceItem* item : items) {
        if (!running_) {
            break;
        }
        Status("Processing ...");
        if (!item->element) {
            continue; // the root item
        }
        if (RunTest(*item) != Verdict::Passed) {
            break;
        }
        // The next test's Set makes the engine calls queued so far, and nothing serves the window's events
        // before it; a pause does, and the operator may stop the run during it.
        if (paused_) {
            FinishEngineCalls();
        }
        while (paused_) {
            view_.Wait(kPauseBlinkMs);
            Status("Pause ...");
            view_.Wait(kPauseBlinkMs);
            Status("");
        }
    }
    FinishEngineCalls();
    Status("Ready");
    running_ = false;
    view_.RefreshCommands();
}

void SequenceRun::Pause() {
    if (!running_ || singleTest_) {
        return;
    }
    paused_ = true;
    view_.RefreshCommands();
}

void SequenceRun::Stop() {
    if (!running_) {
        return; // an interrupt nobody takes would stop the next run's first script
    }
    running_ = false;
    paused_ = false;
    view_.RefreshCommands();
    worker_.Stop("");
}

void SequenceRun::ExecuteTest(SequenceItem& item) {
    if (!item.element || running_) {
        return;
    }
    running_ = true;
    singleTest_ = true;
    view_.RefreshCommands();
    StoreSerialNumber();
    Status("Processing ...");
    (void)RunTest(item); // the verdict shows as the item's image
    FinishEngineCalls();
    Status("Ready");
    running_ = false;
    singleTest_ = false;
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
    if (!worker_.Engine()) {
        return EndByException(E_POINTER); // the worker never made its engine
    }
    try {
        SetImage(TreeImage::Running);
        // The engine has queued the header before the test's own lines: Set makes the calls it carries
        // first, and waits for them.
        QueueEngineCall([header = HeaderLine(test.name)](IVrTestEngine* engine) {
            _variant_t missing(DISP_E_PARAMNOTFOUND, VT_ERROR);
            (void)engine->Output(_bstr_t(header.c_str()),
                                 missing); // a header the engine loses costs no result
        });
        worker_.Set(test.language, test.config, TestOptions(test, serialNumber_.GetValueText()),
                    TakeEngineCalls());
        std::string testResult;
        bool completed = false;
        if (WaitForRequest()) {
            // The session is set as the load finishes, so a Stop that comes while Preset runs finds it; the
            // script may have set it as it loaded.
            worker_.RequestThen("", [](IVrTestEngine* engine) {
                _bstr_t session;
                if (SUCCEEDED(engine->get_TestExecSession(session.GetAddress())) && !session) {
                    // A failed search leaves the rows without a session number.
                    (void)engine->SetNextTestExecSession();
                }
            });
            if (WaitForRequest()) {
                completed = RunRequests(&testResult);
            }
        }
        Verdict verdict = VerdictOf(completed, testResult);
        SetImage(verdict == Verdict::Passed   ? TreeImage::Passed
                 : verdict == Verdict::Failed ? TreeImage::Failed
                                              : TreeImage::Error);
        StoreVerdict(verdict, testResult);
        DrainOutput();
        view_.TestEnded(item, testResult, verdict);
        return verdict;
    } catch (const _com_error& error) {
        return EndByException(error.Error());
    }
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
    worker_.Request("Preset");
    if (!WaitForRequest()) {
        return false;
    }
    SetImage(TreeImage::PresetDone);
    worker_.Request("Test");
    bool tested = WaitForRequest(testResult);
    SetImage(TreeImage::TestDone);
    worker_.Request("Reset");
    bool reset = WaitForRequest();
    return tested && reset;
}

bool SequenceRun::WaitForRequest(std::string* result) {
    for (;;) {
        DrainOutput();
        if (worker_.GetState() == 2) {
            break;
        }
        view_.PumpMessages();
    }
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
    view_.ShowError("Error", "'" + currentName_ + "':\n" + text);
    // The failure is reported: a Stop that caused it no longer holds, so Reset still runs.
    worker_.Stop("continue");
    return false;
}

void SequenceRun::DrainOutput() {
    int32_t status = 0;
    std::string text;
    while (worker_.GetOutput(&status, &text)) {
        view_.AppendOutput(text, status);
    }
}

// Queued: the next test's Set stores the row before it gives the engine that test, and the run stores it
// before it ends or pauses (FinishEngineCalls); the window's events are not served in between, so no Stop of
// the operator comes before it.
void SequenceRun::StoreVerdict(Verdict verdict, const std::string& testResult) {
    std::string description = verdict == Verdict::Error ? lastError_ : "";
    QueueEngineCall([testResult, description, verdict, name = currentName_](IVrTestEngine* engine) {
        _variant_t value(_bstr_t(testResult.c_str()));
        _variant_t descriptionValue(_bstr_t(description.c_str()));
        _variant_t status(static_cast<LONG>(verdict));
        _variant_t missing(DISP_E_PARAMNOTFOUND, VT_ERROR);
        if (HRESULT hr = engine->SaveResult(value, _bstr_t(u""), descriptionValue, status, missing);
            FAILED(hr)) {
            SetTraceSite();
            TraceHResultError(hr, u"The verdict of test '%hs' was not stored.", name.c_str());
        }
    });
}

void SequenceRun::QueueEngineCall(std::function<void(IVrTestEngine*)> call) {
    engineCalls_.push_back(std::move(call));
}

// The queued calls as one, in order; none are left queued.
std::function<void(IVrTestEngine*)> SequenceRun::TakeEngineCalls() {
    return [calls = std::exchange(engineCalls_, {})](IVrTestEngine* engine) {
        for (const auto& call : calls) {
            call(engine);
        }
    };
}

// The engine calls queued so far are made when it returns.
void SequenceRun::FinishEngineCalls() {
    std::function<void(IVrTestEngine*)> calls = TakeEngineCalls();
    // A worker that has ended has no engine left to call.
    (void)worker_.CallOnEngine([&calls](IVrTestEngine* engine) {
        calls(engine);
        return S_OK;
    });
}

void SequenceRun::SetImage(TreeImage image) {
    current_->image = image;
    view_.ShowImage(*current_, image);
}

void SequenceRun::Status(const std::string& text) {
    view_.ShowStatus(CutToStatusBuffer(text));
}

} // namespace runvex
