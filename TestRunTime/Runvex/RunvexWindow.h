// The test executive's main window on Qt: the sequence tree with its status images and context menu, the
// property pane (the attribute-collection editor control over the form's rows, and the config code), the
// coloured output pane with the serial-number editor, the toolbar (Open, Save, Run, Pause, Stop, Help), the
// menu and the status bar. A thin view over SequenceForm and SequenceRun.
//
// Usage: make it over a worker and the script languages, Show it, SetPendingFile for the command line's
// sequence (opened on the next timer tick). The commands that reload or change the tree (Open, Add, Insert,
// Remove Test) and Execute Test are disabled while a run is in progress, as the run holds the tree's items.
// Threads: the window thread only. Failures: error boxes, as SequenceForm and SequenceRun say.
#pragma once

#include "TestRunTime/Runvex/SequenceDocument.h"
#include "TestRunTime/Runvex/SequenceForm.h"
#include "TestRunTime/Runvex/SequenceRun.h"
#include "TestRunTime/Runvex/SequenceTree.h"
#include "common/widgets/Formiq.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class AttrValueEditor;
class QAction;
class QGroupBox;
class QPlainTextEdit;
class QTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

class QLabel;

namespace runvex {

class RunvexWindow : public QMainWindow, public FormView, public RunView {
public:
    // The item data of a tree widget item that holds its TreeImage as a number.
    static constexpr int kImageRole = Qt::UserRole;

    // waitForNews(ms) waits up to the milliseconds for the worker's news, serving the thread's queued calls;
    // the worker stays the caller's and must outlive the window.
    RunvexWindow(RunWorker& worker, const std::vector<std::string>& languages,
                 std::function<void(int)> waitForNews, QWidget* parent = nullptr);
    ~RunvexWindow() override;

    // The sequence the first timer tick loads (the command line's); with runAfterLoad a sequence that loaded
    // is run at once, and the window stays open with its verdicts.
    void SetPendingFile(const std::string& path, bool runAfterLoad = false) {
        pendingFile_ = path;
        runPendingFile_ = runAfterLoad;
    }

    SequenceForm& Form() { return *form_; }
    SequenceRun& Run() { return *run_; }
    // Types the serial number into its field, as the operator would (the command line's --sn).
    void TypeSerialNumber(const std::string& serialNumber);

    // The commands by name ("Open", "Save", "Run", "Pause", "Stop", "Add Test", "Insert Test", "Remove Test",
    // "Execute Test", "Edit Code", "Properties"), for the program's tests.
    QAction* Command(const std::string& name) const { return commands_.at(name); }
    QTreeWidget* Tree() const { return tree_; }
    SequenceTree& Items() { return sequenceTree_; }
    QTextEdit* Output() const { return output_; }
    // The tree widget's item of a sequence item; null when it shows none.
    QTreeWidgetItem* WidgetItemOf(const SequenceItem& item) const;
    bool PropertiesShown() const;

    // FormView
    void ShowStatus(const std::string& text) override;
    void ShowError(const std::string& caption, const std::string& text) override;
    void ShowTree() override;
    void ShowLabel(const SequenceItem& item) override;
    void ShowProperties() override;
    // RunView
    void ShowImage(const SequenceItem& item, TreeImage image) override;
    void AppendOutput(const std::string& text, int32_t status) override;
    void RefreshCommands() override;
    void ShowRootProperties() override;
    // The output pane keeps each test's verdict, with the reason of an error, once its box is answered.
    void TestEnded(const SequenceItem& item, const std::string& testResult, Verdict verdict) override;
    void PumpMessages() override;
    void Wait(int milliseconds) override;

protected:
    // Closing the window stops a run in progress: the window closes once the run has ended (within the run's
    // bounded wait).
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildCommands();
    void BuildMenu();
    QWidget* BuildPanes();
    void MakePropertyEditor();
    void AddTreeItems(SequenceItem& item, QTreeWidgetItem* parent);
    SequenceItem* SelectedItem() const;
    void SelectionChanged();
    void TreeMenu(const QPoint& at);
    void OpenCommand();
    void EditCode();
    void ToggleProperties();
    void ShowAbout();
    void TimerTick();
    void AttributeChanged(const std::string& name);
    // The status bar's CAP, NUM and SCRL indicators, lit while their lock key is on.
    void BuildLockIndicators();
    void ShowLocks();

    RunWorker& worker_;                                     // the caller's
    std::function<void(int)> waitForNews_;                  // window thread
    SequenceDocument document_;                             // window thread
    SequenceTree sequenceTree_;                             // window thread
    std::unique_ptr<SequenceRun> run_;                      // window thread
    std::unique_ptr<SequenceForm> form_;                    // window thread
    std::map<std::string, QAction*> commands_;              // window thread; owned by the window
    std::map<const SequenceItem*, QTreeWidgetItem*> shown_; // window thread: rebuilt with the tree
    QTreeWidget* tree_ = nullptr;                           // window thread; owned by the window
    QGroupBox* propertiesGroup_ = nullptr;                  // window thread; owned by the window
    QWidget* propertyPlace_ = nullptr;                      // window thread: the editor control's parent
    CFormiq propertyEditor_;                                // window thread: shows form_'s rows
    bool propertyEditorMade_ = false;                       // window thread
    QPlainTextEdit* config_ = nullptr;                      // window thread; owned by the window
    QTextEdit* output_ = nullptr;                           // window thread; owned by the window
    AttrValueEditor* serialNumber_ = nullptr;               // window thread; deleted before run_
    bool filling_ = false;                // window thread: the window itself fills the panes
    std::string pendingFile_;             // window thread
    bool runPendingFile_ = false;         // window thread
    std::vector<QLabel*> lockIndicators_; // window thread; owned by the status bar: CAP, NUM, SCRL
};

} // namespace runvex
