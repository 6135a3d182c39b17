// Modal dialogs and the answers tests queue for them.
#include "platform/ui/modal.h"

#include <QDialog>
#include <QTimer>

#include <deque>

namespace vr::ui {

namespace {

// The window thread's queue; dialogs are shown on that thread only.
std::deque<ModalAnswer>& Answers() {
    static std::deque<ModalAnswer> answers;
    return answers;
}

} // namespace

int ExecModal(QDialog& dialog) {
    if (!Answers().empty()) {
        ModalAnswer answer = std::move(Answers().front());
        Answers().pop_front();
        // A zero timer fires inside exec's loop, once the dialog is up.
        QTimer::singleShot(0, &dialog, [&dialog, answer = std::move(answer)] { answer(dialog); });
    }
    return dialog.exec();
}

void AnswerNextModal(ModalAnswer answer) {
    Answers().push_back(std::move(answer));
}

size_t PendingModalAnswers() {
    return Answers().size();
}

void DropModalAnswers() {
    Answers().clear();
}

} // namespace vr::ui
