// The sheet's Attributes page: the element editor, New and Remove over AttributesPageModel.
#include "VrDev/Ostrel/sheet/AttributesPage.h"

#include "VrDev/Ostrel/editors/XmlSchemaElementEditor.h"
#include "VrDev/Ostrel/managers/NewNameDialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostrel {

std::unique_ptr<SheetPage> MakeAttributesPage(SheetContext& context) {
    return std::make_unique<AttributesPage>(context);
}

AttributesPage::AttributesPage(SheetContext& context)
    : SheetPage(context), editor_(new XmlSchemaElementEditor(this)), model_(context, editor_->Model()),
      new_(new QPushButton(QStringLiteral("New"), this)),
      remove_(new QPushButton(QStringLiteral("Remove"), this)), diagnostics_(new QPlainTextEdit(this)) {
    auto* group = new QGroupBox(QStringLiteral("Configuration Attributes"), this);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(new_);
    buttons->addWidget(remove_);
    buttons->addStretch(1);
    auto* inGroup = new QHBoxLayout(group);
    inGroup->addWidget(editor_, 1);
    inGroup->addLayout(buttons);
    diagnostics_->setReadOnly(true);
    diagnostics_->hide(); // a developer's view: shown only when asked for
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addWidget(diagnostics_);
    remove_->setEnabled(false);

    if (!editor_->Create()) {
        Context().Error(u"The attribute editor control could not be created.");
    }
    connect(editor_, &XmlSchemaElementEditor::elementChanged, this, &AttributesPage::ElementChanged);
    connect(new_, &QPushButton::clicked, this, &AttributesPage::NewCommand);
    connect(remove_, &QPushButton::clicked, this, &AttributesPage::RemoveCommand);
}

QString AttributesPage::Caption() const {
    return QStringLiteral("Attributes");
}

void AttributesPage::FileShown() {
    model_.Init();
    ShowModel();
}

void AttributesPage::ShowModel() {
    editor_->Refresh();
    remove_->setEnabled(model_.RemoveEnabled());
    const std::u16string& text = model_.DiagnosticText();
    diagnostics_->setPlainText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
}

void AttributesPage::ElementChanged(const QString& description) {
    model_.OnElementChanged(description.toStdU16String());
    ShowModel();
}

void AttributesPage::NewCommand() {
    std::u16string name;
    if (AskNewName(u"Attribute", u"", this, &name)) {
        model_.OnNew(name);
        ShowModel();
    }
}

void AttributesPage::RemoveCommand() {
    model_.OnRemove();
    ShowModel();
}

} // namespace ostrel
