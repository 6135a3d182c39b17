// The development studio's main window on Qt.
#include "VrDev/Ostrel/studio/MainFrame.h"

#include "common/trace/Trace.h"
#include "platform/com/activation.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

namespace ostrel {

namespace {

QString Q(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// Where a manager window opens: a little below where it would, so the frame's bar stays visible.
constexpr int kManagerOffset = 30;
constexpr int kFrameWidth = 800;

} // namespace

MainFrame::MainFrame(IVrRigmont* rigmont, QWidget* parent)
    : QMainWindow(parent), rigmont_(rigmont),
      // Generated device libraries live in the system's adapter library folder, where their registration
      // points.
      libraries_(std::make_unique<DeviceLibraryFolder>()) {
    SetTraceMethodName(u"CMainFrame::CMainFrame()");
    TraceInfo(u"CMainFrame::CMainFrame()");
    (void)RunStartupSelfTests(); // each test traces its own failure; the studio works without them
    setWindowTitle(QStringLiteral("Vornic Ostrel Development Studio"));
    MakeMenus();
    MakeToolBar();
    statusBar()->setSizeGripEnabled(false); // the frame is not resized
    statusBar()->showMessage(QStringLiteral("Ready"));
    // A bar at the top of the screen, as wide as the frame and no higher than its bars need.
    move(0, 0);
    adjustSize();
    setFixedSize(kFrameWidth, sizeHint().height());
}

MainFrame::~MainFrame() = default;

void MainFrame::MakeMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    QAction* toolbar = view->addAction(QStringLiteral("&Toolbar"));
    toolbar->setCheckable(true);
    toolbar->setChecked(true);
    connect(toolbar, &QAction::toggled, this, [this](bool shown) { toolBar_->setVisible(shown); });
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* topics = help->addAction(QStringLiteral("&Help Topics"));
    topics->setEnabled(false); // the studio has no help files
    help->addSeparator();
    help->addAction(QStringLiteral("&About Ostrel..."), this, &MainFrame::ShowAbout);
}

QAction* MainFrame::AddCommand(const char* statusAndTip, std::function<void()> command) {
    QStringList texts = QString::fromLatin1(statusAndTip).split(QLatin1Char('\n'));
    QAction* action = toolBar_->addAction(texts.back());
    action->setStatusTip(texts.front());
    action->setToolTip(texts.back());
    connect(action, &QAction::triggered, this, std::move(command));
    return action;
}

void MainFrame::MakeToolBar() {
    toolBar_ = addToolBar(QStringLiteral("Toolbar"));
    toolBar_->setMovable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    AddCommand("Connection Management\nConnections", [this] { (void)OpenConnections(); });
    AddCommand("Device Adapter File Management\nDevice Adapter", [this] { (void)OpenAdapterSheet(); });
    AddCommand("Socket/Device Management\nDevices", [this] { (void)OpenDevices(); });
    toolBar_->addSeparator();
    AddCommand("Script Executive\nScript Executive",
               [this] { (void)Start(StudioProgram::kScriptExecutive); });
    AddCommand("Test Control Panel\nTest Control Panel",
               [this] { (void)Start(StudioProgram::kControlPanel); });
    AddCommand("Test Executive\nTest Executive", [this] { (void)Start(StudioProgram::kTestExecutive); });
    toolBar_->addSeparator();
    AddCommand("Tracer\nTracer", [this] { (void)OpenTracer(); });
}

QAction* MainFrame::Command(const QString& toolTip) const {
    for (QAction* action : toolBar_->actions()) {
        if (action->toolTip() == toolTip && !action->isSeparator()) {
            return action;
        }
    }
    return nullptr;
}

IVrRigmont* MainFrame::Rigmont() {
    if (!rigmont_) {
        HRESULT hr =
            CoCreateInstance(CLSID_VrRigmont, nullptr, CLSCTX_ALL, IID_IVrRigmont, rigmont_.PutVoid());
        if (FAILED(hr)) {
            (void)vr::ui::ShowComError(this, hr); // OK is its only answer
        }
    }
    return rigmont_.Get();
}

void MainFrame::Activate(QWidget* window) {
    window->showNormal();
    window->raise();
    window->activateWindow();
}

HwManWindow* MainFrame::OpenManager(HwKind kind, QPointer<HwManWindow>& slot) {
    if (slot) {
        Activate(slot);
        return slot;
    }
    IVrRigmont* rigmont = Rigmont();
    if (!rigmont) {
        return nullptr;
    }
    auto* window = new HwManWindow(kind, rigmont, kind == HwKind::kDevice ? libraries_.get() : nullptr, this);
    window->setWindowFlags(Qt::Window); // a window of its own over the frame, not a part of it
    window->setAttribute(Qt::WA_DeleteOnClose);
    slot = window;
    window->show();
    window->move(window->pos() + QPoint(0, kManagerOffset));
    return window;
}

HwManWindow* MainFrame::OpenConnections() {
    return OpenManager(HwKind::kConnection, connections_);
}

HwManWindow* MainFrame::OpenDevices() {
    return OpenManager(HwKind::kDevice, devices_);
}

AdapterSheet* MainFrame::OpenAdapterSheet() {
    if (sheet_) {
        Activate(sheet_);
        return sheet_;
    }
    auto* sheet = new AdapterSheet(QStringLiteral("Device Adapter File"), this, rebuild_, rigmont_.Get());
    sheet_ = sheet;
    sheet->show();
    return sheet;
}

AdapterSheet* MainFrame::OpenAdapterFile(const std::u16string& path) {
    AdapterSheet* sheet = OpenAdapterSheet();
    (void)sheet->SetAdapterFile(path); // a file that does not load is shown, and another may be chosen
    return sheet;
}

bool MainFrame::Start(StudioProgram program) {
    std::u16string error;
    if (!StartProgram(program, nullptr, &error)) {
        statusBar()->showMessage(Q(error));
        return false;
    }
    statusBar()->showMessage(QStringLiteral("Started %1.").arg(QString::fromLatin1(ProgramName(program))));
    return true;
}

TraceWindow* MainFrame::OpenTracer() {
    if (tracer_) {
        Activate(tracer_);
        return tracer_;
    }
    auto* window = new TraceWindow(this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    tracer_ = window;
    window->show();
    std::u16string error;
    if (!window->Start(&error)) {
        statusBar()->showMessage(Q(error));
    } else {
        statusBar()->showMessage(QStringLiteral("Started %1.").arg(ProgramName(StudioProgram::kTracer)));
    }
    return window;
}

void MainFrame::ShowAbout() {
    QDialog about(this);
    about.setWindowTitle(QStringLiteral("About Ostrel"));
    auto* icon = new QLabel(&about);
    icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel(QStringLiteral("Ostrel Development Studio, Version 1.00,"), &about));
    auto* build = new QLabel(Q(BuildLine()), &about);
    build->setObjectName(QStringLiteral("build"));
    texts->addWidget(build);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(texts, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    auto* layout = new QVBoxLayout(&about);
    layout->addLayout(row);
    layout->addWidget(buttons);
    (void)vr::ui::ExecModal(about); // OK is its only answer
}

void MainFrame::closeEvent(QCloseEvent* event) {
    // The open windows close first, so the adapter file window rebuilds what its file changed.
    // The adapter file window may keep itself open (Cancel of saving its edits): then the studio stays.
    for (QWidget* window : {static_cast<QWidget*>(sheet_.data()), static_cast<QWidget*>(connections_.data()),
                            static_cast<QWidget*>(devices_.data()), static_cast<QWidget*>(tracer_.data())}) {
        if (window && !window->close()) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

} // namespace ostrel
