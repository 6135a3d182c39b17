// A form row that edits an attribute value on Qt.
#include "common/widgets/AttrValueEditor.h"

#include "common/attrvalues/AttrValue.h"
#include "common/attrvalues/AttrValueEditorModel.h"
#include "common/widgets/AttrValueCombo.h"
#include "platform/base/text.h"
#include "platform/ui/message_box.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

AttrValueEditor::AttrValueEditor(CAttrValue& value, const std::string& rowOptions, bool notify,
                                 QWidget* parent)
    : QWidget(parent), ownedModel_(std::make_unique<AttrValueEditorModel>(value, rowOptions)),
      model_(ownedModel_.get()), notify_(notify) {
    Build();
}

AttrValueEditor::AttrValueEditor(AttrValueEditorModel& model, bool notify, QWidget* parent)
    : QWidget(parent), model_(&model), notify_(notify) {
    Build();
}

void AttrValueEditor::Build() {
    CAttrValue& value = model_->Value();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    MakeLabel();
    layout->addWidget(nameChoices_ ? static_cast<QWidget*>(nameChoices_) : label_);
    combo_ = new AttrValueCombo(*model_, this);
    combo_->SetValue(value.GetValueText());
    layout->addWidget(combo_, 1);
    connect(combo_, &AttrValueCombo::storeRequested, this, [this] { (void)Store(); });
    // Announced from now on: the value shown at creation is no change.
    combo_->SetChangeNotices(notify_);
    connect(combo_, &AttrValueCombo::changeNotice, this, &AttrValueEditor::valueTextChanged);
}

AttrValueEditor::~AttrValueEditor() {
    delete combo_; // before the model it views
    combo_ = nullptr;
}

void AttrValueEditor::MakeLabel() {
    CAttrValue& value = model_->Value();
    if (value.GetChoiceCount() == 0) {
        label_ = new QLabel(QString::fromStdString(model_->LabelText()), this);
        label_->setTextFormat(Qt::PlainText);
        if (!model_->Flags().showNameAsStandardStatic) {
            label_->setAlignment(Qt::AlignCenter);
            label_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        }
        return;
    }
    nameChoices_ = new QComboBox(this);
    for (int index = 0; index < value.GetChoiceCount(); ++index) {
        nameChoices_->addItem(QString::fromStdString(value.GetChoiceAt(index)));
    }
    nameChoices_->setCurrentIndex(nameChoices_->findText(QString::fromUtf8(value.GetNameText())));
    connect(nameChoices_, &QComboBox::textActivated, this, &AttrValueEditor::NameChosen);
}

void AttrValueEditor::NameChosen(const QString& name) {
    model_->ChooseName(name.toStdString());
    combo_->SetValue(model_->Value().GetValueText());
}

HRESULT AttrValueEditor::Retrieve() {
    std::string shown;
    AttrValueEditorModel::Outcome outcome = model_->Retrieve(&shown);
    if (FAILED(outcome.hr)) {
        ShowFailure(outcome.errorText);
        return outcome.hr;
    }
    combo_->SetValue(model_->Value().GetValueText());
    return outcome.hr;
}

HRESULT AttrValueEditor::Store() {
    combo_->TakeTypedText();
    AttrValueEditorModel::Outcome outcome = model_->Store();
    if (FAILED(outcome.hr)) {
        ShowFailure(outcome.errorText);
        return outcome.hr;
    }
    combo_->RefreshList();
    if (notify_) {
        Q_EMIT attrValueChanged(QString::fromUtf8(model_->Value().GetNameText()),
                                QString::fromStdString(model_->Combo().CurrentText()));
    }
    return outcome.hr;
}

HRESULT AttrValueEditor::Type(const std::string& text) {
    if (combo_->isEditable()) {
        combo_->SetValue(text); // shown in the colour of a given value: no edit of the user's to check
    }
    AttrValueEditorModel::Outcome outcome = model_->Type(text);
    if (FAILED(outcome.hr)) {
        ShowFailure(outcome.errorText);
    }
    return outcome.hr;
}

void AttrValueEditor::ShowFailure(const std::string& text) {
    QWidget* owner = parentWidget() ? parentWidget() : this;
    (void)vr::ui::MessageBox(owner, vr::FromUtf8(text), u"Error", MB_OK | MB_ICONERROR);
}
