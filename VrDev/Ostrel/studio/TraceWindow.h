// TraceWindow: the "Tracer" window of the studio, which shows the trace lines of this user's programs where
// an engineer who started the studio from the desktop reads them: the tracer `vrtrace` of the program folder
// runs as the window's child and each line it prints appears as it comes (the newest lines kept, at most
// kMaxLines). Closing the window ends the tracer; so does the end of the studio.
//
// Usage (window thread):
//     auto* window = new TraceWindow(frame);   // a window of its own; deletes itself on close
//     if (!window->Start(&error)) ... the window says why too ...
// Threads: the window thread. Failures: a tracer that cannot start, or ends by itself, says so in the window.
#pragma once

#include <QProcess>
#include <QWidget>

#include <string>

class QPlainTextEdit;

namespace ostrel {

class TraceWindow final : public QWidget {
public:
    static constexpr int kMaxLines = 10000;

    explicit TraceWindow(QWidget* parent = nullptr);
    ~TraceWindow() override;

    // Starts the tracer of the program folder; false, with the reason in *error and in the window, when it
    // cannot start.
    bool Start(std::u16string* error);
    // The same for a tracer program given by its path.
    bool StartFile(const std::string& path, std::u16string* error);

    QPlainTextEdit* Lines() const { return lines_; }
    bool Running() const { return process_.state() != QProcess::NotRunning; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void TakeOutput();
    void Ended(int exitCode, QProcess::ExitStatus status);
    void Stop();

    QPlainTextEdit* lines_; // owned by the window
    QProcess process_;      // window thread: the tracer, the window's child process
    QByteArray partial_;    // window thread: a line printed only in part so far
};

} // namespace ostrel
