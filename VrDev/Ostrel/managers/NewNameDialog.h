// NewNameDialog: the studio's small modal dialog that asks for the name of a new thing (a connection, a
// device, an operation, ...). The name is taken as typed, an empty one included; callers check it.
// Threads: the window thread.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;

namespace ostrel {

class NewNameDialog : public QDialog {
    Q_OBJECT
public:
    // kind: the word naming what is made ("Connection"); initialName is proposed, selected.
    NewNameDialog(const std::u16string& kind, const std::u16string& initialName, QWidget* parent);
    std::u16string Name() const;
    QLineEdit* NameEdit() const { return edit_; }
    QLabel* Prompt() const { return prompt_; }

private:
    QLabel* prompt_;  // owned by the dialog
    QLineEdit* edit_; // owned by the dialog
};

// Runs the dialog modally (tests answer it through vr::ui::AnswerNextModal); false after Cancel.
bool AskNewName(const std::u16string& kind, const std::u16string& initialName, QWidget* parent,
                std::u16string* name);

} // namespace ostrel
