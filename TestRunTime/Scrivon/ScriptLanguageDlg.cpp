// The Script Language dialog.
#include "TestRunTime/Scrivon/ScriptLanguageDlg.h"

#include "platform/ui/modal.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace scrivon {

CScriptLanguageDlg::CScriptLanguageDlg(const std::vector<std::string>& languages, QWidget* parent)
    : QDialog(parent), list_(new QComboBox(this)) {
    setWindowTitle(tr("Script Language"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Please select Script Language :"), this));
    list_->setEditable(true);
    list_->setInsertPolicy(QComboBox::NoInsert);
    std::vector<std::string> sorted = languages;
    std::sort(sorted.begin(), sorted.end());
    for (const std::string& language : sorted) {
        list_->addItem(QString::fromStdString(language));
    }
    list_->setCurrentIndex(
        list_->findText(QStringLiteral("JScript"), Qt::MatchExactly | Qt::MatchCaseSensitive));
    layout->addWidget(list_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

std::string CScriptLanguageDlg::ChosenLanguage() const {
    return list_->currentText().toStdString();
}

std::optional<std::string> AskScriptLanguage(const std::vector<std::string>& languages, QWidget* parent) {
    CScriptLanguageDlg dialog(languages, parent);
    if (vr::ui::ExecModal(dialog) != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.ChosenLanguage();
}

} // namespace scrivon
