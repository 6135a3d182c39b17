// Modal dialogs of the programs, and the way tests answer them.
#pragma once

#include <cstddef>
#include <functional>

class QDialog;

namespace vr::ui {

// Runs dialog modally (QDialog::exec) and returns its result. While it runs, Qt's events and the thread's
// apartment calls go on (a GuiApartment drives them). When a test has queued an answer, the answer gets the
// dialog once its modal loop runs, and usually ends it (a button's click(), done(), accept()).
// Threads: window thread only.
int ExecModal(QDialog& dialog);

// What a test does with the next modal dialog that ExecModal runs. Answers are used in the order queued,
// one per dialog.
using ModalAnswer = std::function<void(QDialog& dialog)>;
void AnswerNextModal(ModalAnswer answer);
// Answers not used yet; DropModalAnswers forgets them (a test's clean-up).
size_t PendingModalAnswers();
void DropModalAnswers();

} // namespace vr::ui
