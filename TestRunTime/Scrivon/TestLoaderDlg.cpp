// The script executive's main window on Qt.
#include "TestRunTime/Scrivon/TestLoaderDlg.h"

#include "TestRunTime/Scrivon/ScriptLanguageDlg.h"
#include "TestRunTime/Scrivon/ScriptLanguages.h"
#include "common/attrvalues/AttrValue.h"
#include "common/widgets/AttrValueCombo.h"
#include "common/widgets/AttrValueEditor.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/rot.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace scrivon {
namespace {

constexpr int kPendingFileTimerMs = 300;
constexpr int kFirstShowDrop = 78; // pixels the window moves down when it first shows
constexpr int kPumpSleepMs = 8;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Engine output colours: red for failed, interrupted and error lines, blue for warnings.
QColor OutputColour(int32_t status) {
    if (status == 2 || status == 4 || status == 7) {
        return Qt::red;
    }
    return status == 3 ? Qt::blue : Qt::black;
}

QLineEdit* ReadOnlyField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    return field;
}

} // namespace

CVrTestLoaderDlg::CVrTestLoaderDlg(TestRunWorker& worker, std::vector<std::string> languages, QWidget* parent)
    : QDialog(parent), worker_(worker), languages_(std::move(languages)) {
    (void)vr::ComObject<CVrTestLoaderDlgAutoProxy>::Create(&proxy_);
    if (proxy_) {
        proxy_->Bind(this);
    }
    BuildWindow();
    model_ = std::make_unique<TestLoaderModel>(*this, worker, languages_);
    // A close that waited for the run comes back once the run has ended.
    model_->SetCloseAction(
        [this] { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); });
    for (const std::string& language : model_->Languages()) {
        ui_.language->addItem(Q(language));
    }
    ui_.serialNumber = new AttrValueEditor(model_->SerialNumberEditor(), false, this);
    serialNumberRow_->addWidget(ui_.serialNumber, 1);
    ConnectControls();
    ShowState(model_->State());
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CVrTestLoaderDlg::TimerTick);
    timer->start(kPendingFileTimerMs);
}

CVrTestLoaderDlg::~CVrTestLoaderDlg() {
    RevokeActiveObject();
    if (proxy_) {
        proxy_->Bind(nullptr); // the object may outlive the window: it acts on nothing from now on
        if (rotCookie_) {
            // Its clients are told by RPC from now on; one that waited for a run has had its answer.
            (void)CoDisconnectObject(static_cast<IVrTestLoader*>(proxy_.Get()), 0);
        }
    }
    delete ui_.serialNumber; // before the model whose row it shows
    ui_.serialNumber = nullptr;
}

void CVrTestLoaderDlg::RevokeActiveObject() {
    if (!registered_) {
        return;
    }
    registered_ = false;
    (void)::RevokeActiveObject(rotCookie_, nullptr); // our own cookie: nothing to tell on failure
}

void CVrTestLoaderDlg::BuildWindow() {
    setWindowTitle(tr("Vornic Ostrel Script Executive"));
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildExecutionGroup());
    layout->addWidget(BuildSourceGroup(), 1);
    ui_.sourceGroup->setVisible(false);
    ui_.showHide->setText(tr("Show Script"));
    resize(720, 300);
    // The window's own menu, where a title bar's system menu is not the program's to extend.
    auto* about = new QAction(tr("&About Ostrel Script Executive..."), this);
    connect(about, &QAction::triggered, this, &CVrTestLoaderDlg::ShowAbout);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void CVrTestLoaderDlg::ShowAbout() {
    if (console_) {
        return; // nobody sees the window, nobody asked
    }
    (void)vr::ui::MessageBox(this, u"Ostrel Script Executive Version 1.00", u"About Ostrel Script Executive",
                             MB_OK | MB_ICONINFORMATION); // OK is its only answer
}

QWidget* CVrTestLoaderDlg::BuildExecutionGroup() {
    auto* group = new QGroupBox(tr("Test Execution"), this);
    auto* grid = new QGridLayout(group);
    ui_.output = new QTextEdit(group);
    ui_.output->setReadOnly(true);
    ui_.output->setMinimumHeight(120);
    grid->addWidget(ui_.output, 0, 0, 1, 4);
    ui_.status = ReadOnlyField(group);
    ui_.returnValue = ReadOnlyField(group);
    ui_.scriptFile = ReadOnlyField(group);
    grid->addWidget(new QLabel(tr("Status :"), group), 1, 0);
    grid->addWidget(ui_.status, 1, 1);
    grid->addWidget(new QLabel(tr("Return Value :"), group), 1, 2);
    grid->addWidget(ui_.returnValue, 1, 3);
    grid->addWidget(new QLabel(tr("Script File :"), group), 2, 0);
    grid->addWidget(ui_.scriptFile, 2, 1, 1, 3);
    serialNumberRow_ = new QHBoxLayout; // the editor, with its "SN :" label, joins it once the model is made
    grid->addLayout(serialNumberRow_, 3, 0, 1, 4);
    auto* buttons = new QHBoxLayout;
    ui_.run = new QPushButton(tr("Run"), group);
    ui_.stop = new QPushButton(tr("Stop"), group);
    ui_.open = new QPushButton(tr("Open"), group);
    ui_.exit = new QPushButton(tr("Exit"), group);
    ui_.showHide = new QPushButton(group);
    for (QPushButton* button : {ui_.run, ui_.stop, ui_.open, ui_.exit, ui_.showHide}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    grid->addLayout(buttons, 4, 0, 1, 4);
    return group;
}

QWidget* CVrTestLoaderDlg::BuildSourceGroup() {
    ui_.sourceGroup = new QGroupBox(tr("Script Source Code"), this);
    auto* layout = new QVBoxLayout(ui_.sourceGroup);
    ui_.source = new QPlainTextEdit(ui_.sourceGroup);
    ui_.source->setLineWrapMode(QPlainTextEdit::NoWrap);
    ui_.source->installEventFilter(this);
    layout->addWidget(ui_.source, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Script Language :"), ui_.sourceGroup));
    ui_.language = new QComboBox(ui_.sourceGroup);
    row->addWidget(ui_.language, 1);
    ui_.save = new QPushButton(tr("Save Script"), ui_.sourceGroup);
    ui_.save->setAutoDefault(false);
    row->addWidget(ui_.save);
    layout->addLayout(row);
    return ui_.sourceGroup;
}

void CVrTestLoaderDlg::ConnectControls() {
    connect(ui_.run, &QPushButton::clicked, this, &CVrTestLoaderDlg::RunCommand);
    connect(ui_.stop, &QPushButton::clicked, this, [this] { model_->Stop(); });
    connect(ui_.open, &QPushButton::clicked, this, &CVrTestLoaderDlg::OpenCommand);
    connect(ui_.exit, &QPushButton::clicked, this, &QWidget::close);
    connect(ui_.showHide, &QPushButton::clicked, this, &CVrTestLoaderDlg::ToggleSource);
    connect(ui_.save, &QPushButton::clicked, this, [this] { model_->Save(); });
    connect(ui_.language, &QComboBox::textActivated, this,
            [this](const QString& language) { model_->SelectLanguage(language.toStdString()); });
    connect(ui_.source, &QPlainTextEdit::textChanged, this, [this] {
        if (!showingText_) {
            model_->SourceEdited();
        }
    });
}

void CVrTestLoaderDlg::RegisterAsActiveObject() {
    IUnknown* object = proxy_ ? static_cast<IVrTestLoader*>(proxy_.Get()) : nullptr;
    if (!object || FAILED(RegisterActiveObject(object, CLSID_VrTestLoader, ACTIVEOBJECT_WEAK, &rotCookie_))) {
        ShowError("", "Didn't register Active Object");
        return;
    }
    (void)CoLockObjectExternal(object, TRUE, TRUE); // keeps the weakly registered object alive
    registered_ = true;
}

bool CVrTestLoaderDlg::LoadScript(const std::string& path, ClientId client, std::string* refusal) {
    bool loaded = model_->Load(path, TestLoaderModel::Caller::Client, refusal, client);
    if (refusal->empty()) {
        // A client's file can arrive before the first tick loads the file the program was started with: the
        // client's is the later wish, so the start file is dropped instead of replacing it.
        pendingFile_.clear();
    }
    return loaded;
}

void CVrTestLoaderDlg::ReportToConsole(std::FILE* out, std::FILE* err) {
    console_ = std::make_unique<ConsoleReport>(out, err);
}

bool CVrTestLoaderDlg::RunScript(ClientId client, std::string* refusal) {
    return RunAndReport(TestLoaderModel::Caller::Client, client, refusal);
}

void CVrTestLoaderDlg::RunCommand() {
    std::string refusal;
    (void)RunAndReport(TestLoaderModel::Caller::Operator, 0, &refusal);
    if (!refusal.empty()) {
        ShowError("Error", refusal);
    }
}

bool CVrTestLoaderDlg::RunAndReport(TestLoaderModel::Caller caller, ClientId client, std::string* refusal) {
    if (caller == TestLoaderModel::Caller::Operator) {
        ui_.serialNumber->Combo()->TakeTypedText(); // a client's run has the serial number the client gave
    }
    bool completed = model_->Run(caller, refusal, client);
    if (!refusal->empty()) {
        return false; // another run goes on, and reports itself
    }
    const std::string& serialNumber = model_->SerialNumberEditor().Combo().CurrentText();
    bool noSerialNumber = serialNumber.empty() || serialNumber == CAttrValue::kUndefined;
    if (console_ && !saidNoSerialNumber_ && noSerialNumber) {
        // Nobody can type it here: said once, not per run.
        console_->Error("scrivon",
                        "no serial number was given (--sn SERIAL): no result rows are stored unless a test "
                        "sets one");
        saidNoSerialNumber_ = true;
    } else if (!console_ && noSerialNumber && model_->LastVerdict() != 0) {
        // The operator can type one for the next run: said where the run's lines are, after each run.
        AppendOutput("No serial number was given (SN): no result row is stored unless the script sets one.\n",
                     3);
    }
    ui_.serialNumber->Combo()->RefreshList(); // the serial number joined its recent values
    if (console_ && model_->LastVerdict() != 0) {
        console_->RunEnded(model_->State().returnValue, model_->LastVerdict());
    }
    return completed;
}

void CVrTestLoaderDlg::TypeSerialNumber(const std::string& serialNumber) {
    (void)ui_.serialNumber->Type(serialNumber); // a failure to store is shown in its box
}

bool CVrTestLoaderDlg::GiveSerialNumber(const std::string& serialNumber, ClientId client,
                                        std::string* refusal) {
    if (!model_->TakeSerialNumber(client, refusal)) {
        return false;
    }
    TypeSerialNumber(serialNumber);
    return true;
}

int32_t CVrTestLoaderDlg::LastVerdict(ClientId client) {
    return model_->TakeVerdict(client);
}

void CVrTestLoaderDlg::StopRun() {
    model_->Stop();
}

void CVrTestLoaderDlg::Popup(ClientId client) {
    model_->EndClientTurn(client); // a forwarded start: no Run of its own follows
    showNormal();
    raise();
    activateWindow();
}

void CVrTestLoaderDlg::ShowState(const TestLoaderState& state) {
    ui_.status->setText(Q(state.status));
    ui_.returnValue->setText(Q(state.returnValue));
    ui_.scriptFile->setText(Q(state.scriptPath));
    ui_.scriptFile->end(false); // the file name, not the folder, stays in view
    ui_.run->setEnabled(state.runEnabled);
    ui_.open->setEnabled(state.openEnabled);
    ui_.stop->setEnabled(state.stopEnabled);
    ui_.save->setEnabled(state.saveEnabled);
    if (ui_.serialNumber) { // made after the model's first showing
        ui_.serialNumber->setEnabled(state.serialNumberEnabled);
    }
    ui_.language->setCurrentIndex(ui_.language->findText(Q(state.language), Qt::MatchFixedString));
    if (state.stopEnabled) {
        QTextCursor cursor = ui_.source->textCursor();
        cursor.clearSelection();
        ui_.source->setTextCursor(cursor);
    }
}

void CVrTestLoaderDlg::AppendOutput(const std::string& text, int32_t status) {
    if (console_) {
        console_->Output(status, text);
    }
    QTextCursor cursor(ui_.output->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(OutputColour(status));
    cursor.insertText(Q(text), format);
    QScrollBar* bar = ui_.output->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void CVrTestLoaderDlg::ClearOutput() {
    ui_.output->clear();
}

std::string CVrTestLoaderDlg::SourceText() {
    return ui_.source->toPlainText().toStdString();
}

void CVrTestLoaderDlg::SetSourceText(const std::string& text) {
    showingText_ = true;
    ui_.source->setPlainText(Q(text));
    showingText_ = false;
}

void CVrTestLoaderDlg::SelectSourceLine(int line) {
    QTextBlock block = ui_.source->document()->findBlockByNumber(line - 1);
    if (line < 1 || !block.isValid()) {
        return;
    }
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    ui_.source->setTextCursor(cursor);
    ui_.source->ensureCursorVisible();
}

void CVrTestLoaderDlg::ShowError(const std::string& caption, const std::string& text) {
    if (console_) {
        console_->Error(caption, text); // nobody could answer the box: it counts as answered OK
        return;
    }
    (void)vr::ui::MessageBox(this, vr::FromUtf8(text), vr::FromUtf8(caption), MB_OK | MB_ICONERROR);
}

std::optional<std::string> CVrTestLoaderDlg::AskLanguage(const std::string& scriptPath) {
    if (languages_.empty()) {
        ShowError("Script Language", NoScriptLanguageText()); // a choice of nothing helps nobody
        return std::nullopt;
    }
    if (console_) {
        std::string known;
        for (const std::string& language : languages_) {
            known += (known.empty() ? "" : ", ") + language;
        }
        console_->Error("Script Language",
                        "The script language of '" + scriptPath +
                            "' can't be told from its name (name.<Language>.ts, with one of: " + known +
                            ") and nobody can be asked: the script isn't loaded.");
        return std::nullopt;
    }
    return AskScriptLanguage(languages_, this);
}

// The window stays live during the wait, which ends as soon as the worker has news for the next look.
void CVrTestLoaderDlg::PumpMessages() {
    vr::ui::PumpPendingMessages();
    HANDLE progress = worker_.ProgressEvent();
    if (!progress) {
        QThread::msleep(kPumpSleepMs);
        return;
    }
    DWORD index = 0;
    // Signalled or not, the caller looks at the worker again.
    (void)vr::ui::WaitPumping(kPumpSleepMs, 1, &progress, &index);
}

void CVrTestLoaderDlg::OpenCommand() {
    QFileDialog dialog(this, QString(), Q(vr::MapWindowsPath("c:\\Ostrel\\Test")),
                       tr("Ostrel Script Files (*.ts)"));
    dialog.setDefaultSuffix(QStringLiteral("ts"));
    dialog.setFileMode(QFileDialog::AnyFile); // a new name creates the script
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (vr::ui::ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    (void)model_->OpenOrCreate(dialog.selectedFiles().front().toStdString());
}

bool CVrTestLoaderDlg::SourceShown() const {
    return ui_.sourceGroup->isVisible();
}

void CVrTestLoaderDlg::ToggleSource() {
    bool show = !ui_.sourceGroup->isVisibleTo(this);
    int collapsedHeight = height();
    ui_.sourceGroup->setVisible(show);
    ui_.showHide->setText(show ? tr("Hide Script") : tr("Show Script"));
    if (show) {
        resize(width(), std::max(collapsedHeight + 300, sizeHint().height()));
    } else {
        resize(width(), minimumSizeHint().height());
    }
}

void CVrTestLoaderDlg::TimerTick() {
    model_->ExpireClientTurn();
    if (!pendingFile_.empty()) {
        std::string path = std::move(pendingFile_);
        pendingFile_.clear();
        std::string refusal;
        if (!model_->Load(path, TestLoaderModel::Caller::Operator, &refusal) && !refusal.empty()) {
            pendingFile_ = path; // a run or a client's script comes first: a later tick loads it
        }
    }
}

void CVrTestLoaderDlg::closeEvent(QCloseEvent* event) {
    RevokeActiveObject();
    if (!model_->RequestClose()) {
        event->ignore(); // the model closes the window again once the run has ended
        return;
    }
    event->accept();
    QDialog::done(QDialog::Accepted);
}

// The dialog's own way out (Escape is the output pane's) closes as every other close does.
void CVrTestLoaderDlg::reject() {
    close();
}

void CVrTestLoaderDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        ClearOutput(); // Escape clears the output; the window stays
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CVrTestLoaderDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_.source && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab) {
        ui_.source->insertPlainText(QStringLiteral("    "));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CVrTestLoaderDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!movedOnce_) {
        movedOnce_ = true;
        move(x(), y() + kFirstShowDrop);
    }
}

} // namespace scrivon
