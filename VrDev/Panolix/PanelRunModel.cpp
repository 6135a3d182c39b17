// The control panel's main dialog logic: load, save, reset, refresh, the auto-refresh loop and its batch
// verdict, and closing, with one worker request at a time.
#include "VrDev/Panolix/PanelRunModel.h"

#include "VrDev/Panolix/PanelNumbers.h"
#include "platform/base/file_read.h"
#include "platform/base/text.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace panolix {
namespace {

constexpr int kTicksPerSecond = 5; // the timer ticks every 200 ms

bool FileExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

std::string Quoted(const char* before, const std::string& what, const char* after = "'") {
    return std::string(before) + "'" + what + after;
}

} // namespace

PanelRunModel::PanelRunModel(PanelView& view, PanelWorker& worker, PanelContent& content, bool batch,
                             bool unattended)
    : view_(view), worker_(worker), content_(content), batch_(batch), unattended_(unattended) {
    // The last operation to end carries out a close that came meanwhile.
    runState_.SetCloseAction([this] {
        StopAutoRefresh();
        view_.PostClose();
    });
}

void PanelRunModel::RunOperation(const std::function<void()>& work) {
    OperationScope scope(*this);
    work();
}

bool PanelRunModel::RunRequest(const std::string& name, const std::string& first, const std::string& second,
                               const std::string& failureStatus, std::string* result) {
    if (waiting_) {
        Status(kWorkerBusy);
        return false;
    }
    OperationScope scope(*this);
    worker_.Request(name, first, second);
    return WaitForWorker(failureStatus, result);
}

bool PanelRunModel::WaitForWorker(const std::string& failureStatus, std::string* result) {
    waiting_ = true;
    for (;;) {
        DrainOutput();
        if (worker_.GetState() == PanelWorker::kDone) {
            break;
        }
        view_.PumpMessages();
    }
    waiting_ = false;
    std::string text;
    HRESULT hr = S_OK;
    worker_.GetResult(&text, &hr);
    lastRequestHr_ = hr;
    if (FAILED(hr)) {
        lastError_ = text;
        if (!failureStatus.empty()) {
            Status(failureStatus);
        }
        view_.ShowError("Run-Time Error", text);
        return false;
    }
    if (result) {
        *result = text;
    }
    return true;
}

// The panel shows no engine output: the lines are taken so that the queue does not grow.
void PanelRunModel::DrainOutput() {
    int32_t status = 0;
    std::string line;
    while (worker_.GetOutput(&status, &line)) {
    }
}

bool PanelRunModel::Load(const std::string& path) {
    bool quiet = false;
    bool loaded = false;
    {
        OperationScope scope(*this, vrcommon::RunPhase::Loading);
        std::string unreadable;
        loaded = LoadSteps(path, &quiet, &unreadable);
        if (!loaded) {
            if (!quiet) {
                std::string name = FileNameOf(path);
                Status(Quoted("Couldn't open file ", name));
                // Why the file could not be read stands under the box's first line.
                view_.ShowError("Error", Quoted("Couldn't open file ", path) +
                                             (unreadable.empty() ? "" : "\n" + unreadable));
                if (lastError_.empty()) {
                    lastError_ = Quoted("Couldn't open file ", name, "'.");
                }
            }
            ClearPanel(false);
        }
    }
    // Unattended, a panel that failed or that does not refresh by itself leaves nothing more to happen.
    if (!loaded || !state_.autoRefresh) {
        EndUnattended();
    }
    return loaded;
}

bool PanelRunModel::LoadSteps(const std::string& path, bool* quiet, std::string* unreadable) {
    Reset(true);
    lastError_.clear();
    objectFault_ = false;
    path_ = path;
    std::string name = FileNameOf(path);
    Status(Quoted("Opening file ", name, "' ..."));
    // What is no regular file (a FIFO would block the window) or too large is refused with its reason.
    std::string bytes;
    if (vr::FileReadResult read = vr::ReadInputFile(path, &bytes); read.refused) {
        *unreadable = read.reason;
        lastError_ = read.reason;
        return false;
    }
    std::u16string wide = vr::FromUtf8(path);
    (void)document_.ReleaseDocument(); // nothing to keep: the panel is read afresh
    if (FAILED(document_.SetFileName(wide.c_str())) || FAILED(document_.Load())) {
        return false;
    }
    PanelSettings settings;
    std::string error;
    if (HRESULT hr = ReadPanelSettings(document_, &settings, &error); FAILED(hr)) {
        if (!error.empty()) {
            Status(error);
            lastError_ = error;
        }
        return false;
    }
    settings_ = settings;
    if (!CheckLanguage(quiet) || !Preset()) {
        return false;
    }
    state_.processingShown = false;
    Show();
    if (FAILED(content_.LoadAll(document_))) {
        return false;
    }
    view_.FitToObjects();
    Status(Quoted("File ", name, "' was loaded"));
    state_.loaded = true;
    state_.title = std::string(kPanelTitle) + " - " + name + " [" + settings_.language + "]";
    state_.autoRefresh = settings_.autoRefresh;
    state_.refreshPeriod = settings_.refreshPeriod;
    Show();
    return true;
}

bool PanelRunModel::CheckLanguage(bool* quiet) {
    std::vector<std::string> languages;
    std::string error;
    if (!worker_.ScriptLanguages(&languages, &error)) {
        lastError_ = error;
        Status(error);
        *quiet = true;
        return false;
    }
    const std::string& language = settings_.language;
    bool known = std::any_of(languages.begin(), languages.end(),
                             [&](const std::string& each) { return vr::EqualsNoCase(each, language); });
    // A panel that names no language runs in the first one listed.
    if (known || (language.empty() && !languages.empty())) {
        return true;
    }
    Status(Quoted("Unknown script language ", language));
    return false;
}

bool PanelRunModel::Preset() {
    worker_.SetCode(settings_.language, settings_.mainScript);
    worker_.PutIdentity("test", "test");
    Status("Executing Preset() ...");
    if (!RunRequest("", "", "", kRunTimeError)) {
        Status("Couldn't load/execute main script.");
        return false;
    }
    if (!RunRequest("Preset", "", "", kRunTimeError)) {
        Status("Couldn't execute main script Preset() function.");
        return false;
    }
    return true;
}

void PanelRunModel::Reset(bool showProcessing) {
    OperationScope scope(*this);
    if (state_.loaded) {
        Status("Executing Reset() ...");
        if (!RunRequest("Reset", "", "", kRunTimeError)) {
            Status("Couldn't execute main script Reset() function.");
        }
    }
    ClearPanel(showProcessing);
}

void PanelRunModel::ClearPanel(bool showProcessing) {
    Status("");
    settings_ = PanelSettings{};
    tickCount_ = 0;
    loopRan_ = false;
    lastRefresh_ = RefreshOutcome::None;
    content_.Clear();
    state_ = PanelState{};
    state_.processingShown = showProcessing;
    Show();
    view_.FitToObjects();
}

bool PanelRunModel::Save() {
    if (!state_.loaded || IsBusy()) {
        return false;
    }
    OperationScope scope(*this);
    PanelSettings settings = settings_;
    settings.autoRefresh = state_.autoRefresh;
    settings.refreshPeriod = state_.refreshPeriod;
    HRESULT hr = ClearPanelObjects(document_);
    hr = SUCCEEDED(hr) ? content_.SaveAll(document_) : hr;
    hr = SUCCEEDED(hr) ? WritePanelSettings(document_, settings) : hr;
    hr = SUCCEEDED(hr) ? document_.Save() : hr;
    std::string name = FileNameOf(path_);
    if (FAILED(hr)) {
        view_.ShowError("Error", Quoted("Couldn't save file ", path_));
        Status(Quoted("Couldn't save file ", name));
        lastError_ = Quoted("Couldn't save file ", name, "'.");
        return false;
    }
    Status(Quoted("File ", name, "' was saved"));
    return true;
}

bool PanelRunModel::Open(const std::string& chosenPath) {
    if (IsBusy() || !runState_.Takes(vrcommon::RunRequest::Load)) {
        return false;
    }
    std::string path = chosenPath;
    bool created = false;
    if (!FileExists(path)) {
        path = WithPanelExtension(path);
        std::vector<std::string> languages;
        std::string error;
        (void)worker_.ScriptLanguages(&languages, &error); // none listed: the operator types the language
        std::optional<std::string> language = view_.AskLanguage(languages);
        if (!language) {
            return false;
        }
        if (!CopyBlankPanel(BlankPanelFileFor(*language), path)) {
            int code = errno;
            std::string name = FileNameOf(path);
            view_.ShowError("Error", Quoted("Couldn't create file ", path));
            Status(Quoted("Couldn't create file ", name));
            lastError_ = Quoted("Couldn't create file ", name, "'. GetLastError() returns '") +
                         std::to_string(code) + "'.";
            return false;
        }
        created = true;
    }
    bool loaded = Load(path);
    if (loaded && created) {
        Status(Quoted("File ", FileNameOf(path), "' was created"));
    }
    return loaded;
}

void PanelRunModel::Refresh() {
    if (!state_.loaded || IsBusy() || !runState_.Takes(vrcommon::RunRequest::Run)) {
        return;
    }
    OperationScope scope(*this);
    content_.SetRefreshRunning(true);
    Status("Executing ...");
    bool ready = RefreshSteps();
    if (ready) {
        Status(kReady);
        if (worker_.IsOptionEnabled("StopLoop")) {
            StopAutoRefresh();
        }
    } else {
        Status(kRunTimeError);
        StopAutoRefresh();
    }
    lastRefresh_ = ready ? RefreshOutcome::Ready : RefreshOutcome::Failed;
    content_.SetRefreshRunning(false);
}

bool PanelRunModel::RefreshSteps() {
    std::u16string script;
    if (FAILED(content_.ComposeRefreshScripts(&script))) {
        return false;
    }
    return RunRequest("Idle", "", "", kRunTimeError) &&
           RunRequest("_execute", vr::ToUtf8(script), "", kRunTimeError) && content_.ShowValues();
}

void PanelRunModel::StopAutoRefresh() {
    tickCount_ = 0;
    if (state_.autoRefresh) {
        state_.autoRefresh = false;
        Show();
    }
}

void PanelRunModel::OnTimerTick() {
    // A tick during a wait is one of the window's events served by that wait: it starts nothing; nor does
    // one after a close came.
    if (IsBusy() || runState_.Phase() == vrcommon::RunPhase::Closing) {
        return;
    }
    if (!pendingFile_.empty()) {
        std::string path;
        path.swap(pendingFile_);
        (void)Load(path); // a failure is reported by Load itself
    }
    if (state_.autoRefresh) {
        if (++tickCount_ >= state_.refreshPeriod * kTicksPerSecond) {
            tickCount_ = 0;
            loopRan_ = true;
            userToggled_ = false;
            Refresh();
        }
    } else if (loopRan_) {
        loopRan_ = false;
        AfterLoopStopped();
    }
}

// The loop has stopped. A batch run passes only when its last refresh read every value and the worker's
// last request succeeded, the script stopped the loop without marking a value not valid, and the user did
// not switch the loop off himself; a refresh that could not read a value, or an object that could not load
// what it shows, is no pass.
void PanelRunModel::AfterLoopStopped() {
    bool stoppedNotValid = worker_.IsOptionEnabled("StopNotValid");
    bool passed = SUCCEEDED(lastRequestHr_) && !stoppedNotValid && !userToggled_ && !objectFault_ &&
                  lastRefresh_ == RefreshOutcome::Ready;
    if (batch_ && passed) {
        result_ = kExitPassed;
        view_.PostClose();
        return;
    }
    EndUnattended();
}

void PanelRunModel::EndUnattended() {
    if (unattended_ && !runState_.Closed()) {
        view_.PostClose();
    }
}

void PanelRunModel::OnAutoRefreshClicked(bool checked) {
    worker_.PutOption("StopLoop", "false");
    worker_.PutOption("StopNotValid", "false");
    tickCount_ = 0;
    userToggled_ = true;
    state_.autoRefresh = checked;
}

void PanelRunModel::SetRefreshPeriod(int seconds) {
    state_.refreshPeriod = std::clamp(seconds, kRefreshPeriodRange.low, kRefreshPeriodRange.high);
}

bool PanelRunModel::RequestClose() {
    bool first = !runState_.Closed();
    if (!runState_.RequestClose()) {
        return false; // an operation runs: the close is carried out when it has ended
    }
    if (first) {
        Reset(true); // ticks and further closes during the reset's wait change nothing
    }
    return true;
}

} // namespace panolix
