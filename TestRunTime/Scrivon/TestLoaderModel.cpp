// The script executive window's logic: scripts in and out of files, the language, and the run with its
// verdict.
#include "TestRunTime/Scrivon/TestLoaderModel.h"

#include "TestRunTime/Corvant/include/corvant.h"
#include "TestRunTime/Scrivon/RunVerdict.h"
#include "TestRunTime/Scrivon/ScriptFileName.h"
#include "common/VrConfigData.h"
#include "platform/base/file_read.h"
#include "platform/base/file_write.h"
#include "platform/base/paths.h"
#include "platform/com/comutil.h"

#include <algorithm>
#include <sys/stat.h>

namespace scrivon {
namespace {

constexpr const char* kBeginLine =
    "-------------------------------------------- BEGIN ------------------------------------------\n";
constexpr const char* kEndLine =
    "--------------------------------------------- END -------------------------------------------\n";

// Anything at the path, also what is no regular file: loading it then says why it cannot be read.
bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0;
}

// The blank script of a language, from the configuration item ScriptBlankFile ("%1" = the language); a
// relative name is taken in the program folder.
std::string BlankFileFor(const std::string& language) {
    BSTR item = nullptr;
    std::string blank;
    if (CVrConfigData().GetItem("ScriptBlankFile", &item, true)) {
        blank = _bstr_t(item, false).utf8();
    }
    for (size_t at = blank.find("%1"); at != std::string::npos; at = blank.find("%1", at + language.size())) {
        blank.replace(at, 2, language);
    }
    if (blank.empty()) {
        return blank;
    }
    std::string mapped = vr::MapWindowsPath(blank);
    // A bare name (the built-in default) lies in the program folder, never in whatever folder is current.
    return mapped.front() == '/' ? mapped : vr::ProgramFolder() + "/" + mapped;
}

// Copies the blank file to a new script (an empty one without a blank); never overwrites an existing file,
// nor makes one through a link in its place.
bool CreateScriptFile(const std::string& blank, const std::string& path) {
    std::string text;
    if (!FileExists(blank)) {
        if (FileExists(path)) {
            return true;
        }
    } else if (!vr::ReadInputFile(blank, &text)) {
        return false;
    }
    return static_cast<bool>(vr::WriteFileWhole(path, text, {vr::FileWriteMode::CreateNew, {}}));
}

} // namespace

TestLoaderModel::TestLoaderModel(TestLoaderView& view, TestRunWorker& worker,
                                 std::vector<std::string> languages)
    : view_(view), worker_(worker), languages_(std::move(languages)),
      serialNumber_("SN", kSerialNumberOptions) {
    std::sort(languages_.begin(), languages_.end());
    if (std::find(languages_.begin(), languages_.end(), "JScript") != languages_.end()) {
        state_.language = "JScript";
    }
    serialNumberEditor_ = std::make_unique<AttrValueEditorModel>(serialNumber_, "");
    Show();
}

bool TestLoaderModel::SettleLanguage(const std::string& path, bool askAllowed) {
    if (std::optional<std::string> part = LanguagePart(path, languages_)) {
        state_.language = *part;
        return true;
    }
    if (!askAllowed) {
        return false;
    }
    std::optional<std::string> chosen = view_.AskLanguage(path);
    if (!chosen) {
        return false;
    }
    state_.language = *chosen;
    return true;
}

bool TestLoaderModel::Load(const std::string& path) {
    if (FileExists(path) && SettleLanguage(path, true)) {
        std::string text;
        vr::FileReadResult read = vr::ReadInputFile(path, &text);
        if (read) {
            view_.SetSourceText(text);
            state_.scriptPath = path;
            view_.ClearOutput();
            state_.runEnabled = true;
            state_.saveEnabled = false;
            state_.status = "Ready";
            Show();
            return true;
        }
        view_.ShowError("File Access Error", "Couldn't open source file: " + read.reason);
    }
    state_.scriptPath.clear();
    view_.ClearOutput();
    state_.runEnabled = false;
    state_.saveEnabled = false;
    state_.status = "No Code Loaded";
    Show();
    return false;
}

bool TestLoaderModel::OpenOrCreate(const std::string& chosenPath) {
    if (FileExists(chosenPath)) {
        state_.scriptPath = chosenPath;
        return Load(chosenPath);
    }
    std::string path = WithScriptExtension(chosenPath);
    if (!SettleLanguage(path, true)) {
        return false;
    }
    path = ScriptPathFor(path, state_.language, languages_, true, true);
    state_.scriptPath = path;
    Show();
    if (!CreateScriptFile(BlankFileFor(state_.language), path)) {
        view_.ShowError("Error", "Couldn't create file '" + path + "'");
        return false;
    }
    return Load(path);
}

void TestLoaderModel::SelectLanguage(const std::string& language) {
    std::string previous = state_.scriptPath;
    if (!previous.empty() && LanguagePart(previous, languages_)) {
        state_.scriptPath = ScriptPathFor(previous, language, languages_, false, false);
    }
    state_.language = language;
    Show();
}

void TestLoaderModel::SourceEdited() {
    state_.saveEnabled = true;
    Show();
}

void TestLoaderModel::Save() {
    if (state_.scriptPath.empty()) {
        return;
    }
    // Replaced whole (platform/base/file_write.h): a failed save leaves the file as it was.
    vr::FileWriteResult saved = vr::WriteFileWhole(state_.scriptPath, view_.SourceText());
    if (!saved) {
        view_.ShowError("File Access Error", "Couldn't save file: " + saved.why);
        return;
    }
    state_.saveEnabled = false;
    Show();
}

void TestLoaderModel::Stop() {
    worker_.Stop("");
}

void TestLoaderModel::DrainOutput() {
    int32_t status = 0;
    std::string text;
    while (worker_.GetOutput(&status, &text)) {
        view_.AppendOutput(text, status);
    }
}

bool TestLoaderModel::SubmitAndWait(const std::string& method, std::string* result) {
    worker_.Request(method);
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
    lastError_ = text;
    if (int line = ErrorLineOf(text); line - 1 >= 0) {
        view_.SelectSourceLine(line);
    }
    view_.ShowError("Run-Time Error", text);
    // The failure is reported: a Stop that caused it no longer holds, so Reset still runs and the run's
    // result row is still stored.
    worker_.Stop("continue");
    return false;
}

void TestLoaderModel::EngineOutput(const char* line) {
    _variant_t missing(DISP_E_PARAMNOTFOUND, VT_ERROR);
    (void)worker_.Engine()->Output(_bstr_t(line), missing);
}

bool TestLoaderModel::Run() {
    // Nothing loaded, or a run in progress (Run called again through the automation object): refused, so
    // that an empty source never counts as a passed test and a run is never nested in another.
    lastVerdict_ = 0;
    if (!state_.runEnabled) {
        return false;
    }
    // The row keeps no recent value by itself (NotAutoSetRecentValue, as it stores on every keystroke): the
    // serial number a run starts with is the one that joins them.
    if (SUCCEEDED(serialNumberEditor_->Store().hr) &&
        serialNumberEditor_->Combo().CurrentText() != CAttrValue::kUndefined) {
        serialNumberEditor_->Combo().AddRecentValue();
    }
    state_.runEnabled = false;
    state_.openEnabled = false;
    state_.stopEnabled = true;
    state_.returnValue.clear();
    state_.status = "Processing ...";
    Show();

    bool completed = false;
    IVrTestEngine* engine = worker_.Engine();
    if (!state_.language.empty() && engine) {
        worker_.SetCode(state_.language, view_.SourceText());
        (void)engine->put_SN(_bstr_t(serialNumber_.GetValueText()));
        (void)engine->put_TestID(_bstr_t(TestIdOf(state_.scriptPath).c_str()));
        (void)engine->put_TestExecSession(_bstr_t(u""));
        if (SubmitAndWait("", nullptr)) {
            VARIANT_BOOL framed = VARIANT_FALSE;
            (void)engine->IsOptionEnabled(_bstr_t(u"EngineOutput"), &framed);
            if (framed) {
                EngineOutput(kBeginLine);
            }
            _bstr_t session;
            if (SUCCEEDED(engine->get_TestExecSession(session.GetAddress())) && !session) {
                (void)engine->SetNextTestExecSession();
            }
            std::string returned;
            if (SubmitAndWait("Preset", nullptr)) {
                bool tested = SubmitAndWait("Test", &returned);
                if (tested) {
                    state_.returnValue = returned;
                }
                bool reset = SubmitAndWait("Reset", nullptr);
                completed = tested && reset;
            }
            if (framed) {
                EngineOutput(kEndLine);
            }
        }
    }
    DrainOutput();
    state_.runEnabled = true;
    state_.openEnabled = true;
    state_.stopEnabled = false;
    if (!completed) {
        state_.returnValue = "Error";
    }
    state_.status = "Ready";
    Show();
    StoreVerdict(completed);
    return completed;
}

void TestLoaderModel::StoreVerdict(bool completed) {
    int32_t verdict = VerdictOf(completed, state_.returnValue);
    lastVerdict_ = verdict;
    IVrTestEngine* engine = worker_.Engine();
    if (!engine) {
        return;
    }
    _variant_t value(_bstr_t(state_.returnValue.c_str()));
    _variant_t description(_bstr_t(verdict == 7 ? lastError_.c_str() : ""));
    _variant_t status(static_cast<LONG>(verdict));
    _variant_t missing(DISP_E_PARAMNOTFOUND, VT_ERROR);
    (void)engine->SaveResult(value, _bstr_t(u""), description, status, missing);
}

} // namespace scrivon
