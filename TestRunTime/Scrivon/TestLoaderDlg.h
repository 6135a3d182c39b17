// The script executive's main window CVrTestLoaderDlg: a thin Qt view over TestLoaderModel (output pane
// coloured by status, status, return value, script file, serial number, the buttons, the language list and
// the source pane) and the window its automation object acts on. Window thread only.
#pragma once

#include "TestRunTime/Scrivon/ConsoleReport.h"
#include "TestRunTime/Scrivon/TestLoaderAutomation.h"
#include "TestRunTime/Scrivon/TestLoaderModel.h"
#include "platform/com/object.h"

#include <QDialog>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class AttrValueEditor;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTextEdit;

namespace scrivon {

class CVrTestLoaderDlg : public QDialog, public TestLoaderView, public TestLoaderTarget {
public:
    // The worker stays the caller's and must outlive the dialog; languages: what the list offers.
    CVrTestLoaderDlg(TestRunWorker& worker, std::vector<std::string> languages, QWidget* parent = nullptr);
    ~CVrTestLoaderDlg() override;

    // Makes the automation object the running object of its class, so that later starts find this window;
    // on failure tells the user and goes on without it.
    void RegisterAsActiveObject();
    // Nobody sees the window (offscreen): its output and each run's end go to out as lines, and its error
    // boxes to err, answered OK at once; a language that cannot be told from a script's name is not asked
    // for. See ConsoleReport.h for the lines. Both streams stay the caller's.
    void ReportToConsole(std::FILE* out, std::FILE* err);
    // The file the window loads on its next timer tick (the command line's).
    void SetPendingFile(const std::string& path) { pendingFile_ = path; }
    IVrTestLoader* Automation() const { return proxy_.Get(); }
    // The About box of the window's menu (right click on the window): the program's name and version.
    void ShowAbout();
    TestLoaderModel& Model() { return *model_; }

    // TestLoaderTarget (the automation object's calls, a client's).
    bool LoadScript(const std::string& path, ClientId client, std::string* refusal) override;
    bool RunScript(ClientId client, std::string* refusal) override;
    void Popup(ClientId client) override;
    int32_t LastVerdict(ClientId client) override;
    void StopRun() override;
    bool GiveSerialNumber(const std::string& serialNumber, ClientId client, std::string* refusal) override;
    // The serial number the program was started with, typed into the field as the operator would.
    void TypeSerialNumber(const std::string& serialNumber);

    // TestLoaderView.
    void ShowState(const TestLoaderState& state) override;
    void AppendOutput(const std::string& text, int32_t status) override;
    void ClearOutput() override;
    std::string SourceText() override;
    void SetSourceText(const std::string& text) override;
    void SelectSourceLine(int line) override;
    void ShowError(const std::string& caption, const std::string& text) override;
    std::optional<std::string> AskLanguage(const std::string& scriptPath) override;
    void PumpMessages() override;

    // The controls, for the program's tests.
    struct Controls {
        QTextEdit* output;
        QLineEdit* status;
        QLineEdit* returnValue;
        QLineEdit* scriptFile;
        AttrValueEditor* serialNumber;
        QPushButton *run, *stop, *open, *exit, *showHide, *save;
        QGroupBox* sourceGroup;
        QPlainTextEdit* source;
        QComboBox* language;
    };
    const Controls& Widgets() const { return ui_; }
    bool SourceShown() const;

protected:
    // Every close (Exit, the window's own, a termination signal) asks the model: during a run the run is
    // stopped and the window closes once it has ended. Later starts no longer find the window meanwhile.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildWindow();
    QWidget* BuildExecutionGroup();
    QWidget* BuildSourceGroup();
    void ConnectControls();
    void OpenCommand();
    void ToggleSource();
    void TimerTick();
    // The operator's Run button.
    void RunCommand();
    // The run itself, for the button and a client; reports the end offscreen.
    bool RunAndReport(TestLoaderModel::Caller caller, ClientId client, std::string* refusal);
    // Later starts and clients no longer find the window; the clients it has keep it until it is gone.
    void RevokeActiveObject();

    TestRunWorker& worker_; // the caller's; outlives the window
    std::vector<std::string> languages_;
    Controls ui_{};
    QHBoxLayout* serialNumberRow_ = nullptr;
    std::unique_ptr<TestLoaderModel> model_;
    vr::ComObjectPtr<CVrTestLoaderDlgAutoProxy> proxy_;
    DWORD rotCookie_ = 0;
    bool registered_ = false;
    std::unique_ptr<ConsoleReport> console_; // null while the window is seen
    bool saidNoSerialNumber_ = false;        // the console was told once that no rows are stored
    std::string pendingFile_;
    bool showingText_ = false; // the program, not the operator, is changing the source pane
    bool movedOnce_ = false;
};

} // namespace scrivon
