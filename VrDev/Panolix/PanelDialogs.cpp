// The panel's dialogs: object properties, picture properties, control object, main script.
#include "PanelDialogs.h"

#include "PanelWidgets.h"

#include "common/attrvalues/AttrValue.h"
#include "common/widgets/AttrValueEditor.h"

#include "platform/base/text.h"
#include "platform/ui/modal.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Q(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string U(const QString& text) {
    return text.toStdU16String();
}

ScriptEdit* NewScriptEdit(std::u16string_view text, QWidget* parent) {
    auto* edit = new ScriptEdit(parent);
    edit->setPlainText(Q(text));
    return edit;
}

QDialogButtonBox* AddOkCancel(QDialog* dialog, QVBoxLayout* layout) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    return buttons;
}

// The options of a value editor that keeps its recent values under the registry name.
std::string EditorOptions(const char* recentName) {
    return std::string(
               "ShowUndefined,ShowNameAsStandardStatic,DynamicallyStoreAttrValue,MaxNumOfRecentValues=10,"
               "RegistryVarNameForRecentValues='") +
           recentName + "',NotAutoSetRecentValue,EditChangeDelay=0,NoStringEscCodes";
}

} // namespace

std::u16string FieldOfEditorText(std::u16string_view text) {
    return vr::EqualsNoCase(text, u"<Undefined>") ? std::u16string() : std::u16string(text);
}

// ---- Object and picture properties ----

ObjectPropertiesDialog::ObjectPropertiesDialog(QWidget* parent, bool picture, const ObjectFields& fields)
    : QDialog(parent) {
    setWindowTitle(picture ? tr("Picture Properties") : tr("Object Properties"));
    auto* layout = new QVBoxLayout(this);
    auto* general = new QGroupBox(tr("General"), this);
    auto* form = new QFormLayout(general);
    description_ = new QLineEdit(Q(fields.description), general);
    form->addRow(tr("Description :"), description_);
    if (picture) {
        auto* fileRow = new QHBoxLayout;
        imageFile_ = new QLineEdit(Q(fields.imageFile), general);
        auto* choose = new QPushButton(QStringLiteral("..."), general);
        connect(choose, &QPushButton::clicked, this, [this] { ChooseImageFile(); });
        fileRow->addWidget(imageFile_);
        fileRow->addWidget(choose);
        form->addRow(tr("Image File :"), fileRow);
    }
    initScript_ = NewScriptEdit(fields.initScript, general);
    form->addRow(tr("'Initialize' Script :"), initScript_);
    getScript_ = NewScriptEdit(fields.getScript, general);
    form->addRow(tr("'Refresh' Script :"), getScript_);
    layout->addWidget(general);
    AddOkCancel(this, layout);
    // A new object (a picture without scripts yet, or any graph or group box) starts at its description.
    if (!picture || (fields.initScript.empty() && fields.getScript.empty())) {
        description_->setFocus();
        description_->selectAll();
    }
}

ObjectFields ObjectPropertiesDialog::Fields() const {
    ObjectFields fields;
    fields.description = U(description_->text());
    fields.imageFile = imageFile_ ? U(imageFile_->text()) : std::u16string();
    fields.initScript = U(initScript_->toPlainText());
    fields.getScript = U(getScript_->toPlainText());
    return fields;
}

void ObjectPropertiesDialog::ChooseImageFile() {
    QFileDialog dialog(this, tr("Image File"), QString(),
                       tr("Image Files (*.jpg *.bmp *.gif *.tif);;All Files (*.*)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (vr::ui::ExecModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        imageFile_->setText(dialog.selectedFiles().front());
    }
}

// ---- Control object ----

ControlObjectDialog::ControlObjectDialog(QWidget* parent, const ControlFields& fields) : QDialog(parent) {
    setWindowTitle(tr("Control Object"));
    auto* layout = new QVBoxLayout(this);

    auto* general = new QGroupBox(tr("General"), this);
    auto* generalForm = new QFormLayout(general);
    description_ = new QLineEdit(Q(fields.description), general);
    generalForm->addRow(tr("Description :"), description_);
    initScript_ = NewScriptEdit(fields.initScript, general);
    generalForm->addRow(tr("'Initialize' Script :"), initScript_);
    layout->addWidget(general);

    struct EditorSetup {
        const char* name;
        const char* recentName;
        const std::u16string* value;
    };
    const EditorSetup setups[kEditorCount] = {
        {"Value Expression", "PNXControlObject:script", &fields.value},
        {"Validation Spec", "PNXControlObject:spec", &fields.spec},
        {"Display Format", "PNXControlObject:format", &fields.format},
        {"Input Script Parameters", "PNXControlObject:params", &fields.parameters},
    };
    auto* get = new QGroupBox(tr("Get Value (Refresh)"), this);
    auto* getLayout = new QVBoxLayout(get);
    auto* set = new QGroupBox(tr("Set Script (Execute)"), this);
    auto* setLayout = new QVBoxLayout(set);
    for (int index = 0; index < kEditorCount; ++index) {
        const EditorSetup& setup = setups[index];
        std::string options = EditorOptions(setup.recentName);
        values_[index] = std::make_unique<CAttrValue>(setup.name, options.c_str());
        if (!setup.value->empty()) {
            values_[index]->SetValueText(vr::ToUtf8(*setup.value).c_str());
        }
        stored_[index] = *setup.value;
        QWidget* box = index == kParameters ? set : get;
        editors_[index] = new AttrValueEditor(*values_[index], options, false, box);
        editors_[index]->setFont(font());
        (index == kParameters ? setLayout : getLayout)->addWidget(editors_[index]);
    }
    getScript_ = NewScriptEdit(fields.getScript, get);
    getLayout->addWidget(new QLabel(tr("'Refresh' Script :"), get));
    getLayout->addWidget(getScript_);
    setScript_ = NewScriptEdit(fields.setScript, set);
    setLayout->addWidget(new QLabel(tr("'Set' Script :"), set));
    setLayout->addWidget(setScript_);
    layout->addWidget(get);
    layout->addWidget(set);
    AddOkCancel(this, layout);
}

ControlObjectDialog::~ControlObjectDialog() {
    // The editors use the values: they go first.
    for (AttrValueEditor*& editor : editors_) {
        delete editor;
        editor = nullptr;
    }
}

void ControlObjectDialog::accept() {
    for (int index = 0; index < kEditorCount; ++index) {
        if (FAILED(editors_[index]->Store())) {
            return; // the editor has shown why; the dialog stays open
        }
        stored_[index] = FieldOfEditorText(vr::FromUtf8(values_[index]->GetValueText()));
    }
    QDialog::accept();
}

ControlFields ControlObjectDialog::Fields() const {
    ControlFields fields;
    fields.description = U(description_->text());
    fields.initScript = U(initScript_->toPlainText());
    fields.value = stored_[kValue];
    fields.spec = stored_[kSpec];
    fields.format = stored_[kFormat];
    fields.parameters = stored_[kParameters];
    fields.setScript = U(setScript_->toPlainText());
    fields.getScript = U(getScript_->toPlainText());
    return fields;
}

// ---- Main script ----

MainScriptDialog::MainScriptDialog(QWidget* parent, std::u16string_view language, std::u16string_view script)
    : QDialog(parent, Qt::Tool) {
    setWindowTitle(tr("Main Script"));
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(Q(language), this);
    auto* boxLayout = new QVBoxLayout(box);
    script_ = NewScriptEdit(script, box);
    boxLayout->addWidget(script_);
    layout->addWidget(box);
    AddOkCancel(this, layout);
}

std::u16string MainScriptDialog::Script() const {
    return U(script_->toPlainText());
}

// ---- Running them ----

bool EditObjectFields(QWidget* parent, bool picture, ObjectFields* fields) {
    ObjectPropertiesDialog dialog(parent, picture, *fields);
    if (vr::ui::ExecModal(dialog) != QDialog::Accepted) {
        return false;
    }
    *fields = dialog.Fields();
    return true;
}

bool EditControlFields(QWidget* parent, ControlFields* fields) {
    ControlObjectDialog dialog(parent, *fields);
    if (vr::ui::ExecModal(dialog) != QDialog::Accepted) {
        return false;
    }
    *fields = dialog.Fields();
    return true;
}

bool EditMainScript(QWidget* parent, std::u16string_view language, std::u16string* script) {
    MainScriptDialog dialog(parent, language, *script);
    if (vr::ui::ExecModal(dialog) != QDialog::Accepted) {
        return false;
    }
    *script = dialog.Script();
    return true;
}
