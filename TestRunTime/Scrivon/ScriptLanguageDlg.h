// The Script Language dialog: asks for the language of a script whose file name carries none. Window thread
// only.
#pragma once

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

class QComboBox;

namespace scrivon {

class CScriptLanguageDlg : public QDialog {
public:
    // languages: the entries of the list (sorted here); "JScript" is selected when the list holds it exactly.
    CScriptLanguageDlg(const std::vector<std::string>& languages, QWidget* parent);

    // The list's text: a listed language or one the operator typed.
    std::string ChosenLanguage() const;
    QComboBox* List() const { return list_; }

private:
    QComboBox* list_;
};

// Shows the dialog modally: the chosen language after OK, none after Cancel.
std::optional<std::string> AskScriptLanguage(const std::vector<std::string>& languages, QWidget* parent);

} // namespace scrivon
