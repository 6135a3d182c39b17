// The connection tester's window on Qt.
#include "VrDev/Ostrel/managers/TesterWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace ostrel {

namespace {

QString Q(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string U(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

} // namespace

TesterWindow::TesterWindow(const std::u16string& connectionName, IVrConnection* connection, QWidget* parent)
    : QWidget(parent), tester_(std::make_unique<ConnectionTester>(connectionName, connection)),
      send_(new QComboBox(this)), button_(new QPushButton(tr("Send"), this)),
      response_(new QPlainTextEdit(this)), status_(new QLabel(this)) {
    setWindowTitle(tr("Test Connection"));
    send_->setEditable(true);
    send_->setInsertPolicy(QComboBox::NoInsert);
    response_->setReadOnly(true);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(9);
    response_->setFont(fixed);
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true); // the whole status reads, however narrow the window
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    auto* group = new QGroupBox(tr("Connection Stream"), this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(tr("Send :"), group), 0, 0);
    grid->addWidget(send_, 0, 1);
    grid->addWidget(button_, 0, 2);
    grid->addWidget(new QLabel(tr("Response :"), group), 1, 0, Qt::AlignTop);
    grid->addWidget(response_, 1, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Status :"), group), 2, 0);
    grid->addWidget(status_, 2, 1, 1, 2);
    auto* exit = new QPushButton(tr("Exit"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(exit, 0, Qt::AlignRight);
    resize(520, 360);

    connect(button_, &QPushButton::clicked, this, &TesterWindow::SendOrStop);
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &TesterWindow::TimerTick);
    ShowState();
}

TesterWindow::~TesterWindow() = default;

void TesterWindow::closeEvent(QCloseEvent* event) {
    tester_->Stop(); // waits for the pending read, so nothing reads for a closed window
    timer_.stop();
    ShowState();
    event->accept();
}

void TesterWindow::SendOrStop() {
    if (tester_->Reading()) {
        tester_->Stop();
    } else {
        tester_->Send(U(send_->currentText()));
    }
    ShowState();
}

void TesterWindow::TimerTick() {
    if (!tester_->Tick()) {
        timer_.stop();
    }
    ShowState();
}

void TesterWindow::ShowState() {
    button_->setText(tester_->Reading() ? tr("Stop") : tr("Send"));
    if (response_->toPlainText() != Q(tester_->Response())) {
        response_->setPlainText(Q(tester_->Response()));
    }
    status_->setText(Q(tester_->Status()));
    if (tester_->Reading() && !timer_.isActive()) {
        timer_.start();
    }
    QString typed = send_->currentText();
    send_->blockSignals(true);
    send_->clear();
    for (const std::string& text : tester_->RecentTexts()) {
        send_->insertItem(0, QString::fromStdString(text)); // newest first
    }
    send_->setCurrentText(typed);
    send_->blockSignals(false);
}

} // namespace ostrel
