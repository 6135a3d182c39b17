// The new-name dialog on Qt.
#include "VrDev/Ostrel/managers/NewNameDialog.h"

#include "VrDev/Ostrel/managers/HwManager.h"
#include "platform/ui/modal.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace ostrel {

namespace {

QString Q(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

NewNameDialog::NewNameDialog(const std::u16string& kind, const std::u16string& initialName, QWidget* parent)
    : QDialog(parent), prompt_(new QLabel(Q(NewNamePrompt(kind)), this)),
      edit_(new QLineEdit(Q(initialName), this)) {
    setWindowTitle(Q(NewNameCaption(kind)));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_);
    layout->addWidget(edit_);
    layout->addWidget(buttons);
    edit_->selectAll();
    edit_->setFocus();
}

std::u16string NewNameDialog::Name() const {
    QString text = edit_->text();
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

bool AskNewName(const std::u16string& kind, const std::u16string& initialName, QWidget* parent,
                std::u16string* name) {
    NewNameDialog dialog(kind, initialName, parent);
    if (vr::ui::ExecModal(dialog) != QDialog::Accepted) {
        return false;
    }
    *name = dialog.Name();
    return true;
}

} // namespace ostrel
