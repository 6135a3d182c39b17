// TesterWindow: the connection tester's window ("Test Connection"), a thin view over ConnectionTester: a
// send field offering the connection's recent texts (line ends typed as \n and \r), Send/Stop, the response
// in a fixed-pitch font and the status, wrapped so that it reads whole. Closing it ends reading first
// (waiting for the pending read).
// Threads: the window thread, in a single-threaded apartment.
#pragma once

#include "VrDev/Ostrel/managers/ConnectionTester.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ostrel {

class TesterWindow : public QWidget {
    Q_OBJECT
public:
    TesterWindow(const std::u16string& connectionName, IVrConnection* connection, QWidget* parent = nullptr);
    ~TesterWindow() override;

    ConnectionTester& Tester() { return *tester_; }
    QComboBox* SendField() const { return send_; }
    QPushButton* SendButton() const { return button_; }
    QPlainTextEdit* ResponseBox() const { return response_; }
    QLabel* StatusLine() const { return status_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SendOrStop();
    void TimerTick();
    void ShowState();

    std::unique_ptr<ConnectionTester> tester_; // window thread
    QComboBox* send_;                          // owned by the window
    QPushButton* button_;                      // owned by the window
    QPlainTextEdit* response_;                 // owned by the window
    QLabel* status_;                           // owned by the window
    QTimer timer_;                             // window thread: one tick every 10 ms while reading
};

} // namespace ostrel
