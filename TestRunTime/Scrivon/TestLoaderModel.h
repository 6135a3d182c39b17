// The script executive window's logic without widgets: opening, creating, loading and saving a script,
// renaming its language, and running Preset, Test and Reset through the test-execution worker with the
// verdict stored as a result row. The Qt dialog is a thin view over it. Called only on the window thread.
#pragma once

#include "common/AttrValue.h"
#include "common/AttrValueEditorModel.h"
#include "platform/com/hresult.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct IVrTestEngine;

namespace scrivon {

// What the window shows.
struct TestLoaderState {
    std::string status = "No Code Loaded";
    std::string returnValue;
    std::string scriptPath;
    std::string language; // the selected language, "" when none
    bool runEnabled = false;
    bool openEnabled = true;
    bool stopEnabled = false;
    bool saveEnabled = false;
};

// The window as the logic sees it; the dialog implements it, tests fake it.
class TestLoaderView {
public:
    virtual ~TestLoaderView() = default;
    virtual void ShowState(const TestLoaderState& state) = 0;
    // Appends engine output at the end of the output pane, coloured by its status.
    virtual void AppendOutput(const std::string& text, int32_t status) = 0;
    virtual void ClearOutput() = 0;
    virtual std::string SourceText() = 0;
    virtual void SetSourceText(const std::string& text) = 0;
    // Selects line (1-based) of the source pane, when it has that line, and makes it visible.
    virtual void SelectSourceLine(int line) = 0;
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;
    // The Script Language dialog for the script at scriptPath: the chosen language, or none on Cancel.
    virtual std::optional<std::string> AskLanguage(const std::string& scriptPath) = 0;
    // Serves the window's events and queued calls once, then waits briefly (less when the worker has news).
    virtual void PumpMessages() = 0;
};

// The test-execution worker as the window uses it.
class TestRunWorker {
public:
    virtual ~TestRunWorker() = default;
    virtual void SetCode(const std::string& language, const std::string& code) = 0;
    // Starts a request: "" loads the code, otherwise the script method of that name.
    virtual void Request(const std::string& method) = 0;
    // 0 idle, 1 pending, 2 finished (reading 2 resets it to 0).
    virtual int GetState() = 0;
    virtual void GetResult(std::string* text, HRESULT* hr) = 0;
    // The next engine output line; false when none waits.
    virtual bool GetOutput(int32_t* status, std::string* text) = 0;
    virtual void Stop(const std::string& words) = 0;
    // The engine, usable on the window thread.
    virtual IVrTestEngine* Engine() = 0;
    // An event set when the worker has news (an output line or the request's end), for the window's wait
    // between two looks; null when the worker offers none (the window then waits its usual step).
    virtual HANDLE ProgressEvent() { return nullptr; }
};

class TestLoaderModel {
public:
    static constexpr const char* kSerialNumberOptions =
        "ShowUndefined,ShowNameAsStandardStatic,DynamicallyStoreAttrValue,NotAutoSetRecentValue,"
        "MaxNumOfRecentValues=10,RegistryVarNameForRecentValues='TestLoaderSN',EditChangeDelay=0";

    // languages: what the script executive lists; "JScript" is selected when it is among them.
    TestLoaderModel(TestLoaderView& view, TestRunWorker& worker, std::vector<std::string> languages);

    const TestLoaderState& State() const { return state_; }
    const std::vector<std::string>& Languages() const { return languages_; }
    AttrValueEditorModel& SerialNumberEditor() { return *serialNumberEditor_; }
    const std::string& LastErrorText() const { return lastError_; }
    // The verdict of the last run (1 passed, 2 failed, 7 error); 0 before the first run, and after a Run
    // that ran nothing.
    int32_t LastVerdict() const { return lastVerdict_; }

    // Loads an existing script whose language is known or asked for; otherwise clears the script path.
    bool Load(const std::string& path);
    // The Open command after the file dialog: loads an existing file, or creates the script from the blank
    // file of its language (asked for when the name carries none) and loads it.
    bool OpenOrCreate(const std::string& chosenPath);
    // Runs Preset, Test and Reset; true when the run completed. The verdict is stored as a result row. With
    // no script loaded, or while a run is in progress, nothing runs and the answer is false.
    bool Run();
    void Stop();
    // Writes the source pane to the script path.
    void Save();
    void SelectLanguage(const std::string& language);
    // The source pane changed.
    void SourceEdited();

private:
    bool SettleLanguage(const std::string& path, bool askAllowed);
    bool SubmitAndWait(const std::string& method, std::string* result);
    void DrainOutput();
    void EngineOutput(const char* line);
    void StoreVerdict(bool completed);
    void Show() { view_.ShowState(state_); }

    TestLoaderView& view_;
    TestRunWorker& worker_;
    std::vector<std::string> languages_;
    TestLoaderState state_;
    std::string lastError_;
    int32_t lastVerdict_ = 0;
    CAttrValue serialNumber_;
    std::unique_ptr<AttrValueEditorModel> serialNumberEditor_;
};

} // namespace scrivon
