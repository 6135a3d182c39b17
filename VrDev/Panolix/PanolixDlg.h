// The control panel's main window CPanolixDlg: a thin Qt view over PanelRunModel and the host of the panel
// objects (IPanelHost). The group box "Control Elements" holds the objects' windows (the collection
// CPObjects); below it the status line, Refresh, the auto-refresh box with its period, Open and Save. A
// 200 ms timer drives the pending file and the auto-refresh loop. Window thread only.
//
// Offscreen (reportToConsole) nobody sees the window: status lines and, after each refresh, one line per
// object that shows a value ("value <description>: '<value>' <validity>, shown as '<text>'") go to standard
// output, message boxes to standard error, answered at once, and the language of a new panel is not asked
// for.
#pragma once

#include "VrDev/Panolix/PanelObjects.h"
#include "VrDev/Panolix/PanelRunModel.h"

#include <QDialog>

#include <memory>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;

namespace panolix {

class CPanolixDlg : public QDialog, public PanelView, public IPanelHost {
public:
    // The worker stays the caller's and outlives the dialog. factory: makes the panel objects by type.
    CPanolixDlg(PanelWorker& worker, bool batch, bool reportToConsole,
                PanelObjectFactory factory = CreatePanelObject, QWidget* parent = nullptr);
    ~CPanolixDlg() override;

    PanelRunModel& Model() { return *model_; }
    CPObjects& Objects() { return *objects_; }
    // The file loaded on the first timer tick (the command line's).
    void SetPendingFile(const std::string& path) { model_->SetPendingFile(path); }
    // The process exit code once the window has closed.
    int Result() const { return model_->Result(); }
    // The Open command: the file dialog, then the model's Open.
    void OpenCommand();

    // PanelView (FitToObjects serves IPanelHost too).
    void ShowStatus(const std::string& text) override;
    void ShowState(const PanelState& state) override;
    void ShowError(const std::string& caption, const std::string& text) override;
    std::optional<std::string> AskLanguage(const std::vector<std::string>& languages) override;
    void FitToObjects() override;
    void PumpMessages() override;
    void PostClose() override;

    // IPanelHost.
    void SetStatus(std::u16string_view text) override;
    QFont DialogFont() const override;
    PanelTextExtent MeasureText(std::u16string_view text) const override;
    int AverageCharWidth() const override;
    QWidget* ObjectParent() const override;
    void Repaint() override;
    void SetObjectCursor(Qt::CursorShape shape) override;
    void DesignModeChanged(bool on) override;
    void RunObjectCommand(PanelObjectCommand command) override;
    CTestExecutive* Worker() const override;
    void PumpWhileWaiting() override;
    void RunOperation(const std::function<void()>& work) override;
    int ShowMessage(std::u16string_view text, std::u16string_view caption, UINT type,
                    bool ownerless) override;
    void NoteObjectFault() override { model_->NoteObjectFault(); }
    std::u16string NewName() override;
    void AddObject(std::unique_ptr<CPObject> object) override;
    void ShowAllObjects(bool hide) override;
    bool RefreshRunning() const override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWindow();
    bool RouteMouse(QEvent* event);
    // In design mode an object's window lets the mouse through to the area; else it takes it as usual.
    void LetMouseThrough(QWidget* window, bool designMode) const;
    void ShowPanelMenu(QPoint point, QPoint globalPoint);
    void ShowAbout();
    void AddNewObject(std::u16string_view type);
    void EditMainScriptCommand();

    PanelWorker& worker_; // window thread, as every member
    const bool console_;
    std::unique_ptr<CPObjects> objects_;
    std::unique_ptr<PanelRunModel> model_;
    std::string lastStatus_;    // the last status written to the console
    bool showingState_ = false; // ShowState sets the widgets: their signals are not the user's
    QPoint lastRightClick_;     // in the object area, for the object menus
    QLineEdit* status_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QCheckBox* autoRefresh_ = nullptr;
    QSpinBox* period_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* save_ = nullptr;
    QGroupBox* area_ = nullptr; // "Control Elements": the objects' parent
    QLabel* processing_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace panolix
