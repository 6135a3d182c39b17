// The control panel's main window: widgets, the timer, the object area's drawing, mouse and menus, and the
// window side of the model's view and of the objects' host.
#include "VrDev/Panolix/PanolixDlg.h"

#include "TestRunTime/Scrivon/ScriptLanguageDlg.h"
#include "VrDev/Panolix/PanelDialogs.h"
#include "VrDev/Panolix/PanelNumbers.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"

#include <QAction>
#include <QCheckBox>
#include <QChildEvent>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <functional>

namespace panolix {
namespace {

constexpr int kTickMs = 200;
constexpr unsigned kPumpSleepMs = 8;
constexpr size_t kLongestStatus = 2999;
// The Control Elements box when the panel has no objects, its margin around them, and the largest size a
// fit gives it.
constexpr int kInitialAreaWidth = 420;
constexpr int kInitialAreaHeight = 160;
constexpr int kAreaMargin = 12;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString Q(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// The group box that holds the objects; design mode's frames are drawn over its own painting.
class ObjectArea : public QGroupBox {
public:
    ObjectArea(const QString& title, QWidget* parent, std::function<void(QPainter&)> drawFrames)
        : QGroupBox(title, parent), drawFrames_(std::move(drawFrames)) {}

protected:
    void paintEvent(QPaintEvent* event) override {
        QGroupBox::paintEvent(event);
        QPainter painter(this);
        drawFrames_(painter);
    }

private:
    std::function<void(QPainter&)> drawFrames_; // window thread
};

int Fitted(int needed, int initial) {
    return needed >= initial && needed < kLargestPanelExtent ? needed : initial;
}

} // namespace

CPanolixDlg::CPanolixDlg(PanelWorker& worker, bool batch, bool reportToConsole, PanelObjectFactory factory,
                         QWidget* parent)
    : QDialog(parent), worker_(worker), console_(reportToConsole) {
    objects_ = std::make_unique<CPObjects>(*this, worker.Executive(), std::move(factory));
    if (reportToConsole) {
        objects_->ReportValuesTo(stdout); // what the window would show of each refresh
    }
    BuildWindow();
    model_ = std::make_unique<PanelRunModel>(*this, worker, *objects_, batch, reportToConsole);
    model_->Reset(true);
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { model_->OnTimerTick(); });
    timer_->start(kTickMs);
}

// The objects' windows are children of the area: the objects go first, while their windows still exist.
CPanolixDlg::~CPanolixDlg() {
    objects_->Clear();
}

void CPanolixDlg::ShowAbout() {
    if (console_) {
        return; // nobody sees the window, nobody asked
    }
    (void)vr::ui::MessageBox(this, u"Ostrel Control Panel Version 1.0", u"About Ostrel Control Panel",
                             MB_OK | MB_ICONINFORMATION); // OK is its only answer
}

void CPanolixDlg::BuildWindow() {
    setWindowTitle(Q(kPanelTitle));
    setSizeGripEnabled(true);
    area_ = new ObjectArea(tr("Control Elements"), this,
                           [this](QPainter& painter) { objects_->DrawFrames(painter); });
    area_->setMinimumSize(kInitialAreaWidth, kInitialAreaHeight);
    area_->setMouseTracking(true);
    area_->installEventFilter(this);
    processing_ = new QLabel(tr("Processing ..."), area_);
    processing_->setAlignment(Qt::AlignCenter);
    auto* areaLayout = new QVBoxLayout(area_);
    areaLayout->addWidget(processing_);

    // The window's own menu, where a title bar's system menu is not the program's to extend.
    auto* about = new QAction(tr("&About Panolix..."), this);
    connect(about, &QAction::triggered, this, &CPanolixDlg::ShowAbout);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    status_ = new QLineEdit(this);
    status_->setReadOnly(true);
    refresh_ = new QPushButton(tr("Refresh"), this);
    autoRefresh_ = new QCheckBox(tr("Auto refresh every"), this);
    period_ = new QSpinBox(this);
    period_->setRange(kRefreshPeriodRange.low, kRefreshPeriodRange.high);
    auto* runtime = new QGroupBox(tr("Runtime"), this);
    auto* runtimeRow = new QHBoxLayout(runtime);
    runtimeRow->addWidget(refresh_);
    runtimeRow->addWidget(autoRefresh_);
    runtimeRow->addWidget(period_);
    runtimeRow->addWidget(new QLabel(tr("second(s)"), runtime));
    runtimeRow->addStretch();
    open_ = new QPushButton(tr("Open"), this);
    save_ = new QPushButton(tr("Save"), this);

    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel(tr("Status :"), this));
    statusRow->addWidget(status_, 1);
    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(runtime, 1);
    bottomRow->addWidget(open_);
    bottomRow->addWidget(save_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(area_, 1);
    layout->addLayout(statusRow);
    layout->addLayout(bottomRow);

    connect(refresh_, &QPushButton::clicked, this, [this] { model_->Refresh(); });
    connect(open_, &QPushButton::clicked, this, [this] { OpenCommand(); });
    connect(save_, &QPushButton::clicked, this, [this] { (void)model_->Save(); }); // Save reports itself
    connect(autoRefresh_, &QCheckBox::clicked, this,
            [this](bool checked) { model_->OnAutoRefreshClicked(checked); });
    connect(period_, &QSpinBox::valueChanged, this, [this](int seconds) {
        if (!showingState_) {
            model_->SetRefreshPeriod(seconds);
        }
    });
}

// A status longer than the line's buffer is cut there.
void CPanolixDlg::ShowStatus(const std::string& fullText) {
    std::string text = fullText.substr(0, kLongestStatus);
    status_->setText(Q(text));
    if (console_ && !text.empty() && text != lastStatus_) {
        std::fprintf(stdout, "Panolix: %s\n", text.c_str());
        std::fflush(stdout);
    }
    lastStatus_ = text;
    // The text shows while a long step runs. The events that come meanwhile are served as during a wait: a
    // close or a tick then waits for the step, whose objects it would otherwise take away under it.
    if (model_) {
        model_->RunOperation([] { vr::ui::PumpPendingMessages(); });
    }
}

void CPanolixDlg::ShowState(const PanelState& state) {
    showingState_ = true;
    setWindowTitle(Q(state.title));
    refresh_->setEnabled(state.loaded);
    save_->setEnabled(state.loaded);
    autoRefresh_->setEnabled(state.loaded);
    period_->setEnabled(state.loaded);
    autoRefresh_->setChecked(state.autoRefresh);
    period_->setValue(state.refreshPeriod);
    processing_->setVisible(state.processingShown);
    showingState_ = false;
}

void CPanolixDlg::ShowError(const std::string& caption, const std::string& text) {
    (void)ShowMessage(vr::FromUtf8(text), vr::FromUtf8(caption), MB_OK | MB_ICONERROR, false); // only OK
}

std::optional<std::string> CPanolixDlg::AskLanguage(const std::vector<std::string>& languages) {
    if (console_) {
        ShowError("Script Language", "A new panel needs its script language, and nobody can be asked.");
        return std::nullopt;
    }
    return scrivon::AskScriptLanguage(languages, this);
}

// The area grows to hold every object (within the largest size) and never shrinks below its first size.
void CPanolixDlg::FitToObjects() {
    PanelExtent extent = objects_->GetExtent();
    int width = kInitialAreaWidth;
    int height = kInitialAreaHeight;
    if (objects_->Count() > 0) {
        width = Fitted(extent.maxRight + kAreaMargin, kInitialAreaWidth);
        height = Fitted(extent.maxBottom + kAreaMargin, kInitialAreaHeight);
    }
    area_->setMinimumSize(width, height);
    adjustSize();
    objects_->SetBounds(PanelBounds{0, 0, area_->width(), area_->height()});
    area_->update();
}

// The window stays live during the wait, which ends as soon as the worker has news for the next look.
void CPanolixDlg::PumpMessages() {
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

void CPanolixDlg::PostClose() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void CPanolixDlg::OpenCommand() {
    if (model_->IsBusy()) {
        return;
    }
    QFileDialog dialog(this, QString(), Q(vr::MapWindowsPath("c:\\Ostrel\\Test")),
                       tr("Ostrel Control Panel Files (*.pnx)"));
    dialog.setDefaultSuffix(QStringLiteral("pnx"));
    dialog.setFileMode(QFileDialog::AnyFile); // a new name makes a new panel
    if (vr::ui::ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    (void)model_->Open(dialog.selectedFiles().front().toStdString()); // Open reports its failures
}

void CPanolixDlg::SetStatus(std::u16string_view text) {
    ShowStatus(vr::ToUtf8(text));
}

QFont CPanolixDlg::DialogFont() const {
    return font();
}

// The width is rounded up: a static exactly as wide as its text shows the text whole.
PanelTextExtent CPanolixDlg::MeasureText(std::u16string_view text) const {
    int width = static_cast<int>(std::ceil(QFontMetricsF(font()).horizontalAdvance(Q(text))));
    return PanelTextExtent{width, QFontMetrics(font()).height()};
}

int CPanolixDlg::AverageCharWidth() const {
    return QFontMetrics(font()).averageCharWidth();
}

QWidget* CPanolixDlg::ObjectParent() const {
    return area_;
}

void CPanolixDlg::Repaint() {
    area_->update();
}

void CPanolixDlg::SetObjectCursor(Qt::CursorShape shape) {
    area_->setCursor(shape);
}

// A press on an object's caption, value or button then lands on the area, which keeps the moves and the
// release that follow it (Qt gives them to the widget that took the press), whatever the drag does with the
// object's windows. The windows an object makes later are handled as they are polished (eventFilter).
void CPanolixDlg::DesignModeChanged(bool on) {
    for (QWidget* window : area_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        LetMouseThrough(window, on);
    }
    area_->update();
}

void CPanolixDlg::LetMouseThrough(QWidget* window, bool designMode) const {
    if (window != processing_) {
        window->setAttribute(Qt::WA_TransparentForMouseEvents, designMode);
    }
}

void CPanolixDlg::RunObjectCommand(PanelObjectCommand command) {
    CPObject* object = objects_->ObjectAt(lastRightClick_.x(), lastRightClick_.y());
    if (!object || model_->IsBusy()) {
        return;
    }
    if (command == PanelObjectCommand::Remove) {
        objects_->Remove(object);
        area_->update();
    } else if (objects_->IsDesignMode()) {
        model_->RunOperation([object] { object->Edit(); });
    }
}

CTestExecutive* CPanolixDlg::Worker() const {
    return worker_.Executive();
}

// An object's wait is an operation too: ticks and closes during it wait for its end.
void CPanolixDlg::PumpWhileWaiting() {
    model_->RunOperation([this] { PumpMessages(); });
}

void CPanolixDlg::RunOperation(const std::function<void()>& work) {
    model_->RunOperation(work);
}

int CPanolixDlg::ShowMessage(std::u16string_view text, std::u16string_view caption, UINT type,
                             bool ownerless) {
    if (console_) {
        // Nobody could answer a box: it is written down and counts as answered with its default.
        std::fprintf(stderr, "Panolix: %s: %s\n", vr::ToUtf8(caption).c_str(), vr::ToUtf8(text).c_str());
        return (type & 0xF) == MB_OK ? IDOK : IDCANCEL;
    }
    return vr::ui::MessageBox(ownerless ? nullptr : this, text, caption, type);
}

std::u16string CPanolixDlg::NewName() {
    return objects_->NewName();
}

void CPanolixDlg::AddObject(std::unique_ptr<CPObject> object) {
    objects_->Add(std::move(object));
}

void CPanolixDlg::ShowAllObjects(bool hide) {
    objects_->ShowAll(hide);
}

// Any running operation counts: a Set that comes meanwhile runs with the next refresh, so the worker gets
// one request at a time.
bool CPanolixDlg::RefreshRunning() const {
    return objects_->RefreshRunning() || model_->IsBusy();
}

// The close waits for a running operation; the model carries it out when that has ended.
void CPanolixDlg::closeEvent(QCloseEvent* event) {
    if (!model_->RequestClose()) {
        event->ignore();
        return;
    }
    timer_->stop();
    event->accept();
    done(QDialog::Rejected);
}

// Escape cancels a drag and never closes the panel.
void CPanolixDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        // A drag's end makes the object's windows again, which is a request: none while another runs.
        if (!model_->IsBusy()) {
            model_->RunOperation([this] { objects_->EndDragAll(true); });
            area_->update();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Every close goes through closeEvent, which the model may defer.
void CPanolixDlg::reject() {
    close();
}

bool CPanolixDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched != area_) {
        return QDialog::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: // a quick second press is a press as the first was
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
        return RouteMouse(event);
    case QEvent::ChildPolished:
        // An object's window is polished before it is first shown, so before any press can reach it.
        if (auto* window = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) {
            LetMouseThrough(window, objects_->IsDesignMode());
        }
        return false;
    case QEvent::Resize:
        objects_->SetBounds(PanelBounds{0, 0, area_->width(), area_->height()});
        return false;
    case QEvent::ContextMenu: {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        ShowPanelMenu(menuEvent->pos(), menuEvent->globalPos());
        return true;
    }
    default:
        return false;
    }
}

// Only with a panel loaded and no operation running. In run-time mode the menu offers design mode; in
// design mode an object opens its own menu, and elsewhere the menu makes new objects, edits the main script
// or goes back to run-time mode.
void CPanolixDlg::ShowPanelMenu(QPoint point, QPoint globalPoint) {
    if (!model_->IsLoaded() || model_->IsBusy()) {
        return;
    }
    lastRightClick_ = point;
    if (!objects_->IsDesignMode()) {
        QMenu menu(this);
        QAction* design = menu.addAction(tr("&Design Mode"));
        if (menu.exec(globalPoint) == design) {
            objects_->SetDesignMode(true);
            area_->update();
        }
        return;
    }
    if (CPObject* object = objects_->ObjectAt(point.x(), point.y())) {
        object->OnContextMenu(point.x(), point.y());
        return;
    }
    QMenu menu(this);
    QMenu* added = menu.addMenu(tr("&New"));
    QAction* control = added->addAction(tr("&Control Object"));
    QAction* graph = added->addAction(tr("&Graph Box"));
    added->addSeparator();
    QAction* picture = added->addAction(tr("P&icture"));
    added->addAction(tr("Group &Box")); // the choice that is none of the three above
    menu.addSeparator();
    QAction* script = menu.addAction(tr("Main &Script"));
    QAction* runtime = menu.addAction(tr("&Runtime Mode"));
    QAction* chosen = menu.exec(globalPoint);
    if (chosen == runtime) {
        objects_->SetDesignMode(false);
        area_->update();
    } else if (chosen == script) {
        EditMainScriptCommand();
    } else if (chosen) {
        const char16_t* type = chosen == control   ? u"control"
                               : chosen == graph   ? u"graph"
                               : chosen == picture ? u"picture"
                                                   : u"group";
        model_->RunOperation([&] { AddNewObject(type); });
    }
}

// A new object at the last right-click point with its type's defaults; it is kept only when it could be
// initialised, and then its properties dialog opens.
void CPanolixDlg::AddNewObject(std::u16string_view type) {
    std::unique_ptr<CPObject> object = CreatePanelObject(type, *this, worker_.Executive());
    if (!object) {
        return;
    }
    struct Defaults {
        std::u16string_view type;
        const char16_t* description;
        int width;
        int height; // 0: the dialog font's height + 8
    };
    constexpr Defaults kDefaults[] = {{u"control", u"<description>", 200, 0},
                                      {u"graph", u"Graph", 400, 200},
                                      {u"group", u"Group", 200, 100},
                                      {u"picture", u"Picture", 200, 100}};
    for (const Defaults& defaults : kDefaults) {
        if (defaults.type == type) {
            object->SetDescription(defaults.description);
            object->SetSize(defaults.width,
                            defaults.height ? defaults.height : QFontMetrics(font()).height() + 8);
        }
    }
    object->SetName(objects_->NewName());
    object->SetLanguage(vr::FromUtf8(model_->Language()));
    object->SetPosition(lastRightClick_.x(), lastRightClick_.y());
    object->SetBounds(PanelBounds{0, 0, area_->width(), area_->height()});
    if (FAILED(object->Initialize(true))) {
        return;
    }
    CPObject* added = object.get();
    objects_->Add(std::move(object));
    FitToObjects();
    added->Edit();
}

void CPanolixDlg::EditMainScriptCommand() {
    std::u16string script = vr::FromUtf8(model_->MainScript());
    if (!EditMainScript(this, vr::FromUtf8(model_->Language()), &script)) {
        return;
    }
    model_->SetMainScript(vr::ToUtf8(script));
    ShowStatus(PanelRunModel::kReady);
    ShowStatus("Main Script changes will be active after the file is reloaded.");
}

// Mouse messages go to the objects first (design mode's drags); none is routed during a wait, since a drag's
// end makes requests of its own.
bool CPanolixDlg::RouteMouse(QEvent* event) {
    if (model_->IsBusy()) {
        return false;
    }
    auto* mouseEvent = static_cast<QMouseEvent*>(event);
    PanelMouse mouse;
    mouse.action = event->type() == QEvent::MouseButtonRelease ? PanelMouseAction::LeftUp
                   : event->type() == QEvent::MouseMove        ? PanelMouseAction::Move
                                                               : PanelMouseAction::LeftDown;
    if (mouse.action != PanelMouseAction::Move && mouseEvent->button() != Qt::LeftButton) {
        return false;
    }
    mouse.x = mouseEvent->position().toPoint().x();
    mouse.y = mouseEvent->position().toPoint().y();
    mouse.leftButton = mouseEvent->buttons() & Qt::LeftButton;
    mouse.control = mouseEvent->modifiers() & Qt::ControlModifier;
    bool redraw = false;
    bool taken = false;
    model_->RunOperation([&] { taken = objects_->RouteMouse(mouse, &redraw); });
    if (taken && redraw) {
        FitToObjects();
    }
    return taken;
}

} // namespace panolix
