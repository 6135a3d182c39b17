// The test executive's main window on Qt.
#include "TestRunTime/Runvex/RunvexWindow.h"

#include "TestRunTime/Runvex/CodeEditor.h"
#include "TestRunTime/Runvex/KeyboardLocks.h"
#include "TestRunTime/Scrivon/ConsoleReport.h"
#include "common/options/ParamParser.h"
#include "common/widgets/AttrValueEditor.h"
#include "controls/Formiq/include/formiq.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/ui/control.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace runvex {
namespace {

constexpr int kPendingFileTimerMs = 300;
constexpr int kPumpStepMs = 8;
constexpr int kPropertyNameWidth = 80;
// The editor control lays its rows out once, at the size it is made with: wide enough for a row's label, a
// Windows path and the drop-down arrow, and high enough for the four rows. The pane never gets less.
constexpr QSize kPropertyEditorSize(400, 116);

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The status images: a dot in the colour of each state (the root's is a square).
QIcon ImageIcon(TreeImage image) {
    QColor colour;
    switch (image) {
    case TreeImage::Root:
    case TreeImage::NotRun:
        colour = Qt::gray;
        break;
    case TreeImage::Passed:
        colour = Qt::darkGreen;
        break;
    case TreeImage::Failed:
    case TreeImage::Exception:
        colour = Qt::red;
        break;
    case TreeImage::Error:
        colour = QColor(255, 140, 0);
        break;
    case TreeImage::Running:
    case TreeImage::PresetDone:
    case TreeImage::TestDone:
        colour = Qt::blue;
        break;
    }
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setBrush(colour);
    painter.setPen(Qt::NoPen);
    if (image == TreeImage::Root) {
        painter.drawRect(2, 2, 12, 12);
    } else {
        painter.drawEllipse(3, 3, 10, 10);
    }
    return QIcon(pixmap);
}

// The value of the named attribute in the control's settings string.
std::string SettingOf(const std::string& settings, const std::string& name) {
    BSTR value = nullptr;
    if (!GetParam(nullptr, &value, _bstr_t(settings.c_str()), _bstr_t(name.c_str()))) {
        SysFreeString(value);
        return {};
    }
    return _bstr_t(value, false).utf8();
}

} // namespace

RunvexWindow::RunvexWindow(RunWorker& worker, const std::vector<std::string>& languages,
                           std::function<void(int)> waitForNews, QWidget* parent)
    : QMainWindow(parent), worker_(worker), waitForNews_(std::move(waitForNews)) {
    run_ = std::make_unique<SequenceRun>(*this, worker_, sequenceTree_, document_);
    run_->State().SetCloseAction(
        [this] { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); });
    form_ = std::make_unique<SequenceForm>(*this, document_, sequenceTree_, *run_, languages);
    setWindowTitle(tr("Runvex"));
    BuildCommands();
    BuildMenu();
    setCentralWidget(BuildPanes());
    statusBar()->showMessage(QString());
    BuildLockIndicators();
    resize(900, 560);
    MakePropertyEditor();
    ToggleProperties(); // the pane starts hidden, the tree reaching down into its place
    ShowTree();
    RefreshCommands();
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &RunvexWindow::TimerTick);
    timer->start(kPendingFileTimerMs);
}

RunvexWindow::~RunvexWindow() {
    delete serialNumber_; // before the run whose row it shows
    serialNumber_ = nullptr;
}

void RunvexWindow::TypeSerialNumber(const std::string& serialNumber) {
    (void)serialNumber_->Type(serialNumber); // a failure to store is shown in its box
}

void RunvexWindow::BuildCommands() {
    auto add = [this](const char* name, const QString& text, const QString& tip, auto handler) {
        auto* action = new QAction(text, this);
        action->setStatusTip(tip);
        action->setToolTip(text);
        connect(action, &QAction::triggered, this, handler);
        commands_[name] = action;
        return action;
    };
    add("Open", tr("Open"), tr("Open Test Sequence"), [this] { OpenCommand(); });
    add("Save", tr("Save"), tr("Save Test Sequence"), [this] { form_->Save(); });
    add("Run", tr("Run"), tr("Run Test Sequence"), [this] { run_->Run(); });
    add("Pause", tr("Pause"), tr("Pause the execution"), [this] { run_->Pause(); });
    add("Stop", tr("Stop"), tr("Stop the execution"), [this] { run_->Stop(); });
    add("Help", tr("Help"), tr("Help Topics"), [] {}); // the program has no help of its own
    add("Add Test", tr("&Add Test"), QString(), [this] { form_->AddTest(); });
    add("Insert Test", tr("&Insert Test"), QString(), [this] { form_->AddTest(); });
    add("Remove Test", tr("&Remove Test"), QString(), [this] { form_->RemoveTest(); });
    add("Properties", tr("&Properties"), QString(), [this] { ToggleProperties(); });
    add("Edit Code", tr("&Edit Code"), QString(), [this] { EditCode(); });
    add("Execute Test", tr("Execute &Test"), QString(), [this] {
        if (SequenceItem* item = SelectedItem()) {
            run_->ExecuteTest(*item);
        }
    });
    QToolBar* bar = addToolBar(tr("Toolbar"));
    bar->setObjectName(QStringLiteral("toolbar"));
    for (const char* name : {"Open", "Save", "", "Run", "Pause", "Stop", "", "Help"}) {
        if (*name) {
            bar->addAction(commands_.at(name));
        } else {
            bar->addSeparator();
        }
    }
}

void RunvexWindow::BuildMenu() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("E&xit"), this, &QWidget::close);
    QMenu* view = menuBar()->addMenu(tr("&View"));
    QToolBar* bar = findChild<QToolBar*>(QStringLiteral("toolbar"));
    view->addAction(bar->toggleViewAction());
    QAction* statusShown = view->addAction(tr("&Status Bar"));
    statusShown->setCheckable(true);
    statusShown->setChecked(true);
    connect(statusShown, &QAction::toggled, statusBar(), &QWidget::setVisible);
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(commands_.at("Help"));
    help->addSeparator();
    help->addAction(tr("&About Test Executive..."), this, &RunvexWindow::ShowAbout);
}

QWidget* RunvexWindow::BuildPanes() {
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    auto* left = new QWidget(splitter);
    auto* leftLayout = new QVBoxLayout(left);
    tree_ = new QTreeWidget(left);
    tree_->setHeaderHidden(true);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &RunvexWindow::SelectionChanged);
    connect(tree_, &QTreeWidget::customContextMenuRequested, this, &RunvexWindow::TreeMenu);
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this] { Command("Execute Test")->trigger(); });
    leftLayout->addWidget(tree_, 1);
    propertiesGroup_ = new QGroupBox(tr("Test Properties"), left);
    auto* propertiesLayout = new QVBoxLayout(propertiesGroup_);
    propertyPlace_ = new QWidget(propertiesGroup_);
    propertyPlace_->setMinimumSize(kPropertyEditorSize);
    propertyPlace_->installEventFilter(this);
    propertiesLayout->addWidget(propertyPlace_);
    propertiesLayout->addWidget(new QLabel(tr("Config Code :"), propertiesGroup_));
    config_ = new QPlainTextEdit(propertiesGroup_);
    config_->installEventFilter(this);
    connect(config_, &QPlainTextEdit::textChanged, this, [this] {
        if (!filling_) {
            form_->ConfigEdited(config_->toPlainText().toStdString());
        }
    });
    propertiesLayout->addWidget(config_);
    leftLayout->addWidget(propertiesGroup_);

    auto* execution = new QGroupBox(tr("Execution Section"), splitter);
    auto* executionLayout = new QVBoxLayout(execution);
    executionLayout->addWidget(new QLabel(tr("Output :"), execution));
    output_ = new QTextEdit(execution);
    output_->setReadOnly(true);
    executionLayout->addWidget(output_, 1);
    serialNumber_ = new AttrValueEditor(run_->SerialNumberEditor(), false, execution);
    executionLayout->addWidget(serialNumber_);
    splitter->setStretchFactor(1, 1);
    return splitter;
}

// The control edits the form's own rows in place; a failure to make it leaves the pane empty and says so.
void RunvexWindow::MakePropertyEditor() {
    auto* layout = new QVBoxLayout(propertyPlace_);
    layout->setContentsMargins(0, 0, 0, 0);
    if (!propertyEditor_.Create("Properties", QRect(QPoint(0, 0), kPropertyEditorSize), propertyPlace_,
                                1006)) {
        ShowError("Error", "The property editor control could not be created.");
        return;
    }
    layout->addWidget(propertyEditor_.Widget());
    VARIANT lent;
    VariantInit(&lent);
    try {
        propertyEditorMade_ = SUCCEEDED(CFormiq::LendValueList(&form_->PropertyRows(), &lent)) &&
                              propertyEditor_.Init(nullptr, &lent, kPropertyNameWidth,
                                                   "ShowNameAsStandardStatic ShowLocalNameOnly", "", "");
    } catch (const _com_error& error) {
        (void)vr::ui::ShowComError(this, error); // OK is its only answer
    }
    (void)VariantClear(&lent); // the control only uses the list, it holds no reference
}

void RunvexWindow::OpenCommand() {
    QFileDialog dialog(this, QString(), Q(vr::MapWindowsPath("c:\\Ostrel\\Test\\Sequence")),
                       tr("Ostrel Sequence Files (*.tsq)"));
    dialog.setDefaultSuffix(QStringLiteral("tsq"));
    dialog.setFileMode(QFileDialog::AnyFile); // a new name creates the sequence
    if (vr::ui::ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    (void)form_->Open(dialog.selectedFiles().front().toStdString()); // failures are shown by the form
}

void RunvexWindow::EditCode() {
    std::optional<std::string> path = form_->CodeFileToEdit();
    std::string error;
    if (path && !StartCodeEditor(*path, &error)) {
        ShowError("Error", error);
    }
}

void RunvexWindow::ToggleProperties() {
    propertiesGroup_->setVisible(!propertiesGroup_->isVisibleTo(this));
}

bool RunvexWindow::PropertiesShown() const {
    return propertiesGroup_->isVisibleTo(this);
}

void RunvexWindow::ShowAbout() {
    (void)vr::ui::MessageBox(this, u"Ostrel Test Executive Version 1.00", u"About Ostrel Test Executive",
                             MB_OK | MB_ICONINFORMATION); // OK is its only answer
}

void RunvexWindow::BuildLockIndicators() {
    for (const char* name : {"CAP", "NUM", "SCRL"}) {
        auto* indicator = new QLabel(QString::fromLatin1(name), statusBar());
        indicator->setObjectName(QString::fromLatin1(name));
        indicator->setAlignment(Qt::AlignCenter);
        indicator->setMinimumWidth(indicator->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 8);
        statusBar()->addPermanentWidget(indicator);
        lockIndicators_.push_back(indicator);
    }
    ShowLocks();
}

void RunvexWindow::ShowLocks() {
    const KeyboardLocks locks = ReadKeyboardLocks();
    const bool lit[] = {locks.caps, locks.num, locks.scroll};
    for (size_t i = 0; i < lockIndicators_.size(); ++i) {
        lockIndicators_[i]->setEnabled(lit[i]); // an unlit indicator is drawn greyed
    }
}

void RunvexWindow::TimerTick() {
    ShowLocks();
    if (!pendingFile_.empty() && !run_->Running()) {
        std::string path = std::move(pendingFile_);
        pendingFile_.clear();
        if (form_->Load(path) && runPendingFile_) { // a failure to load is shown by the form
            run_->Run();
        }
    }
}

SequenceItem* RunvexWindow::SelectedItem() const {
    QTreeWidgetItem* current = tree_->currentItem();
    for (const auto& [item, widget] : shown_) {
        if (widget == current) {
            return const_cast<SequenceItem*>(item);
        }
    }
    return nullptr;
}

QTreeWidgetItem* RunvexWindow::WidgetItemOf(const SequenceItem& item) const {
    auto found = shown_.find(&item);
    return found == shown_.end() ? nullptr : found->second;
}

void RunvexWindow::SelectionChanged() {
    SequenceItem* item = SelectedItem();
    if (!filling_ && item && item != form_->Selected()) {
        form_->ShowProperties(*item);
    }
}

void RunvexWindow::TreeMenu(const QPoint& at) {
    QTreeWidgetItem* under = tree_->itemAt(at);
    if (!under) {
        return;
    }
    tree_->setCurrentItem(under);
    SequenceItem* item = SelectedItem();
    QMenu menu(this);
    if (!item || !item->element) {
        menu.addAction(Command("Add Test"));
    } else {
        menu.addActions({Command("Properties"), Command("Edit Code")});
        menu.addSeparator();
        menu.addAction(Command("Execute Test"));
        menu.addSeparator();
        menu.addActions({Command("Insert Test"), Command("Remove Test")});
    }
    (void)menu.exec(tree_->viewport()->mapToGlobal(at)); // the chosen action has run already
}

// Every operation of the form and the run ends with a status: the commands follow it.
void RunvexWindow::ShowStatus(const std::string& text) {
    statusBar()->showMessage(Q(text));
    RefreshCommands();
}

void RunvexWindow::ShowError(const std::string& caption, const std::string& text) {
    (void)vr::ui::MessageBox(this, vr::FromUtf8(text), vr::FromUtf8(caption), MB_OK | MB_ICONERROR);
}

void RunvexWindow::AddTreeItems(SequenceItem& item, QTreeWidgetItem* parent) {
    auto* widget = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    widget->setText(0, Q(item.label));
    widget->setIcon(0, ImageIcon(item.image));
    widget->setData(0, kImageRole, static_cast<int>(item.image));
    shown_[&item] = widget;
    for (const auto& child : item.children) {
        AddTreeItems(*child, widget);
    }
}

void RunvexWindow::ShowTree() {
    filling_ = true;
    shown_.clear();
    tree_->clear();
    SequenceItem& root = sequenceTree_.Root();
    root.image = TreeImage::Root;
    AddTreeItems(root, nullptr);
    QTreeWidgetItem* rootWidget = shown_.at(&root);
    rootWidget->setExpanded(true);
    if (rootWidget->childCount() > 0) {
        rootWidget->child(0)->setExpanded(true);
    }
    filling_ = false; // the form shows the root item's properties next, and the commands follow them
}

void RunvexWindow::ShowLabel(const SequenceItem& item) {
    if (QTreeWidgetItem* widget = WidgetItemOf(item)) {
        widget->setText(0, Q(item.label));
    }
}

// The rows are shown anew; the notices the control posts while it shows them are the window's own doing.
void RunvexWindow::ShowProperties() {
    filling_ = true;
    if (QTreeWidgetItem* widget = WidgetItemOf(*form_->Selected())) {
        tree_->setCurrentItem(widget);
    }
    if (propertyEditorMade_) {
        try {
            propertyEditor_.RetrieveAttributeValues();
        } catch (const _com_error& error) {
            (void)vr::ui::ShowComError(this, error); // OK is its only answer
        }
        // The rows announce the values shown anew through queued calls that post the notices: both are
        // delivered now, while the form and the window know them for their own.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QCoreApplication::sendPostedEvents(propertyPlace_, vr::ui::ControlNotice::EventType());
    }
    if (config_->toPlainText().toStdString() != form_->ConfigText()) {
        config_->setPlainText(Q(form_->ConfigText()));
    }
    filling_ = false;
    RefreshCommands();
}

void RunvexWindow::ShowRootProperties() {
    form_->ShowProperties(sequenceTree_.Root());
}

void RunvexWindow::ShowImage(const SequenceItem& item, TreeImage image) {
    if (QTreeWidgetItem* widget = WidgetItemOf(item)) {
        widget->setIcon(0, ImageIcon(image));
        widget->setData(0, kImageRole, static_cast<int>(image));
    }
}

void RunvexWindow::AppendOutput(const std::string& text, int32_t status) {
    QTextCursor cursor(output_->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    Rgb colour = OutputColour(status);
    format.setForeground(QColor(colour.red, colour.green, colour.blue));
    cursor.insertText(Q(text), format);
    QScrollBar* bar = output_->verticalScrollBar();
    bar->setValue(bar->maximum());
}

// "Test 'Rails': Passed", an error with its reason; a test that ran without a serial number also says that
// the engine stored no row for it.
void RunvexWindow::TestEnded(const SequenceItem& item, const std::string& testResult, Verdict verdict) {
    int32_t status = static_cast<int32_t>(verdict);
    std::string line = "Test '" + item.label + "': " + scrivon::StatusWord(status);
    if (verdict == Verdict::Error && !run_->LastErrorText().empty()) {
        line += ": " + scrivon::OneLine(run_->LastErrorText());
    } else if (!testResult.empty()) {
        line += " (returned '" + scrivon::OneLine(testResult) + "')";
    }
    std::string serialNumber = run_->SerialNumberEditor().Value().GetValueText(); // the one the run gave
    if (serialNumber.empty() || serialNumber == CAttrValue::kUndefined) {
        line += "\nNo serial number was given (SN): no result row is stored unless the test sets one.";
    }
    AppendOutput(line + "\n", status);
}

void RunvexWindow::RefreshCommands() {
    bool running = run_->Running();
    bool loaded = form_->IsLoaded();
    SequenceItem* selected = form_->Selected();
    bool onTest = selected && selected->element;
    Command("Open")->setEnabled(!running);
    Command("Save")->setEnabled(loaded);
    Command("Run")->setEnabled(loaded && (!running || (run_->Paused() && !run_->SingleTest())));
    // A stopping or closing run takes neither: both stay disabled until it has ended.
    Command("Stop")->setEnabled(running && run_->State().Takes(vrcommon::RunRequest::Stop));
    Command("Pause")->setEnabled(running && run_->State().Takes(vrcommon::RunRequest::Pause) &&
                                 !run_->SingleTest());
    Command("Add Test")->setEnabled(loaded && !running);
    Command("Insert Test")->setEnabled(loaded && !running);
    Command("Remove Test")->setEnabled(onTest && !running);
    Command("Execute Test")->setEnabled(onTest && !running);
    Command("Edit Code")->setEnabled(onTest);
}

void RunvexWindow::PumpMessages() {
    vr::ui::PumpPendingMessages();
    waitForNews_(kPumpStepMs);
}

void RunvexWindow::Wait(int milliseconds) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < milliseconds) {
        vr::ui::PumpPendingMessages();
        waitForNews_(std::min<int>(kPumpStepMs, milliseconds - static_cast<int>(waited.elapsed())));
    }
}

void RunvexWindow::AttributeChanged(const std::string& name) {
    try {
        form_->PropertyEdited(name, SettingOf(propertyEditor_.GetAttributes(), name));
    } catch (const _com_error& error) {
        (void)vr::ui::ShowComError(this, error); // OK is its only answer
    }
}

// A close during a run stops it; the window closes once the run has ended (the run's close action).
void RunvexWindow::closeEvent(QCloseEvent* event) {
    if (!run_->RequestClose()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

// The editor control's notices reach its parent, the pane's place; Tab in the config pane writes four
// blanks instead of moving the focus.
bool RunvexWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == propertyPlace_ && event->type() == vr::ui::ControlNotice::EventType()) {
        auto* notice = static_cast<vr::ui::ControlNotice*>(event);
        if (notice->Message() == WM_ATTRIBUTE_CHANGED && !filling_) {
            AttributeChanged(notice->Text().toStdString());
        }
        return true;
    }
    if (watched == config_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab) {
        config_->insertPlainText(QStringLiteral("    "));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace runvex
