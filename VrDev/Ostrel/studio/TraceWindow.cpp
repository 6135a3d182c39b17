// The studio's tracer window: vrtrace as a child process, its lines shown as they come.
#include "VrDev/Ostrel/studio/TraceWindow.h"

#include "VrDev/Ostrel/studio/StudioLogic.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace ostrel {

namespace {

constexpr int kStopWaitMs = 3000;

} // namespace

TraceWindow::TraceWindow(QWidget* parent) : QWidget(parent, Qt::Window), lines_(new QPlainTextEdit(this)) {
    setWindowTitle(QStringLiteral("Tracer"));
    lines_->setReadOnly(true);
    lines_->setMaximumBlockCount(kMaxLines); // a tracer left running for days keeps its newest lines
    lines_->setLineWrapMode(QPlainTextEdit::NoWrap);
    lines_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lines_);
    resize(800, 400);
    process_.setProcessChannelMode(QProcess::MergedChannels); // its complaints are lines to read as well
    // The tracer ends with the studio, also when the studio itself is ended without closing this window.
    process_.setChildProcessModifier([] { (void)prctl(PR_SET_PDEATHSIG, SIGTERM); });
    connect(&process_, &QProcess::readyReadStandardOutput, this, &TraceWindow::TakeOutput);
    connect(&process_, &QProcess::finished, this, &TraceWindow::Ended);
}

TraceWindow::~TraceWindow() {
    Stop();
}

bool TraceWindow::Start(std::u16string* error) {
    return StartFile(vr::ProgramFolder() + "/" + ProgramName(StudioProgram::kTracer), error);
}

bool TraceWindow::StartFile(const std::string& path, std::u16string* error) {
    if (access(path.c_str(), X_OK) != 0) {
        *error = u"Couldn't start '" + vr::FromUtf8(path) + u"': there is no such program.";
    } else {
        process_.start(QString::fromStdString(path), QStringList());
        if (process_.waitForStarted(kStopWaitMs)) {
            return true;
        }
        *error = u"Couldn't start '" + vr::FromUtf8(path) + u"': " + process_.errorString().toStdU16String();
    }
    lines_->appendPlainText(QString::fromStdU16String(*error));
    return false;
}

void TraceWindow::TakeOutput() {
    partial_ += process_.readAllStandardOutput();
    const qsizetype end = partial_.lastIndexOf('\n');
    if (end < 0) {
        return;
    }
    lines_->appendPlainText(QString::fromUtf8(partial_.left(end)));
    partial_.remove(0, end + 1);
}

void TraceWindow::Ended(int exitCode, QProcess::ExitStatus status) {
    TakeOutput();
    if (!partial_.isEmpty()) {
        lines_->appendPlainText(QString::fromUtf8(partial_));
        partial_.clear();
    }
    lines_->appendPlainText(status == QProcess::NormalExit
                                ? QStringLiteral("The tracer ended (exit code %1).").arg(exitCode)
                                : QStringLiteral("The tracer was ended."));
}

void TraceWindow::Stop() {
    if (process_.state() == QProcess::NotRunning) {
        return;
    }
    disconnect(&process_, nullptr, this, nullptr); // the window goes: nothing more to show
    process_.terminate(); // SIGTERM: the tracer leaves the running object table and ends
    if (!process_.waitForFinished(kStopWaitMs)) {
        process_.kill();
        (void)process_.waitForFinished(kStopWaitMs); // killed: it ends at once
    }
}

void TraceWindow::closeEvent(QCloseEvent* event) {
    Stop();
    event->accept();
}

} // namespace ostrel
