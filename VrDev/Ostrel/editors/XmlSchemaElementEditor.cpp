// The XSD element editor on Qt: a thin view on CElementEditorModel hosting the editor control.
#include "VrDev/Ostrel/editors/XmlSchemaElementEditor.h"

#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "controls/Formiq/include/formiq.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/ui/control.h"
#include "platform/ui/message_box.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr long kNameWidth = 100;

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// The name column shows every row's name, or its drop-down of names, whole (the local names: the rows show
// no prefix), and is never narrower than kNameWidth.
long NameColumnWidth(const std::vector<ostrel::ElementRow>& rows, const QFont& font) {
    QComboBox names; // measures as the rows' drop-downs of names do
    names.setFont(font);
    auto add = [&names](const std::u16string& name) {
        names.addItem(ToQString(std::u16string_view(name).substr(name.find(u':') + 1))); // npos + 1: whole
    };
    for (const ostrel::ElementRow& row : rows) {
        add(row.name);
        std::for_each(row.nameChoices.begin(), row.nameChoices.end(), add);
    }
    return std::max<long>(kNameWidth, names.sizeHint().width());
}

} // namespace

XmlSchemaElementEditor::XmlSchemaElementEditor(QWidget* parent) : QWidget(parent) {
    place_ = new QWidget(this);
    place_->setObjectName(QStringLiteral("XmlSchemaElementEditor"));
    place_->installEventFilter(this);
    (void)new QVBoxLayout(place_); // holds the control once made
    place_->layout()->setContentsMargins(0, 0, 0, 0);
    status_ = new QLineEdit(this);
    status_->setReadOnly(true);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel(QStringLiteral("Status :"), this));
    statusRow->addWidget(status_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(place_, 1);
    layout->addLayout(statusRow);
}

XmlSchemaElementEditor::~XmlSchemaElementEditor() {
    rows_.Clear();
}

bool XmlSchemaElementEditor::Create() {
    if (!control_.Create("XmlSchemaElementEditor", QRect(0, 0, 300, 200), place_, 0)) {
        return false;
    }
    place_->layout()->addWidget(control_.Widget());
    return true;
}

void XmlSchemaElementEditor::Init(std::u16string_view options, std::u16string_view xsdQualifier,
                                  std::u16string_view xmlAttrStructure,
                                  std::vector<ostrel::ElementRowDef> sourceRows) {
    model_.Init(options, xsdQualifier, xmlAttrStructure, std::move(sourceRows));
    ShowRows();
}

void XmlSchemaElementEditor::Refresh() {
    ShowRows();
    ShowStatus();
}

HRESULT XmlSchemaElementEditor::SetElement(std::u16string_view type, std::u16string_view name,
                                           std::u16string_view description) {
    const HRESULT hr = model_.SetElement(type, name, description, u"", u"", true);
    ShowRows();
    return hr;
}

void XmlSchemaElementEditor::Clear() {
    model_.Clear();
    ShowRows();
}

QString XmlSchemaElementEditor::StatusText() const {
    return status_->text();
}

void XmlSchemaElementEditor::ShowRows() {
    if (model_.RowsGeneration() == shownGeneration_ || !control_.Dispatch()) {
        return;
    }
    shownGeneration_ = model_.RowsGeneration();
    if (takingEdit_ && SameRowNames()) {
        // Only values changed, and those came from the control itself: it keeps its rows (and the focus).
        for (const ostrel::ElementRow& row : model_.Rows()) {
            rows_.FindByName(vr::ToUtf8(row.name).c_str())
                ->SetValueText(row.value ? vr::ToUtf8(*row.value).c_str() : CAttrValue::kUndefined);
        }
        return;
    }
    filling_ = true;
    try {
        control_.Clear();
        rows_.Clear();
        for (const ostrel::ElementRow& row : model_.Rows()) {
            const std::string name = vr::ToUtf8(row.name);
            const std::string options = vr::ToUtf8(row.options);
            // An integer row refuses other texts already as they are typed.
            CAttrValue* value = row.integer
                                    ? new CRangeNumberValue(name.c_str(), options.c_str(), *row.integer)
                                    : new CAttrValue(name.c_str(), options.c_str());
            for (const std::u16string& choice : row.choices) {
                value->AddValue(vr::ToUtf8(choice).c_str());
            }
            for (const std::u16string& name : row.nameChoices) {
                value->AddChoice(vr::ToUtf8(name).c_str());
            }
            value->SetValueText(row.value ? vr::ToUtf8(*row.value).c_str() : CAttrValue::kUndefined);
            rows_.Add(value); // the list owns its values
        }
        VARIANT lent;
        VariantInit(&lent);
        if (!rows_.GetCount() || (SUCCEEDED(CFormiq::LendValueList(&rows_, &lent)) &&
                                  control_.Init(nullptr, &lent, NameColumnWidth(model_.Rows(), font()),
                                                "ShowNameAsStandardStatic ShowLocalNameOnly", "", ""))) {
            // shown
        } else {
            status_->setText(QStringLiteral("The element's rows could not be shown."));
        }
        (void)VariantClear(&lent); // the control only uses the list, it holds no reference
    } catch (const _com_error& error) {
        (void)vr::ui::ShowComError(this, error); // OK is its only answer
    }
    filling_ = false;
}

void XmlSchemaElementEditor::TakeControlRow(const std::u16string& name) {
    std::optional<std::u16string> value;
    try {
        value = ostrel::ItemOf(vr::FromUtf8(control_.GetAttributes()), name); // undefined rows are left out
    } catch (const _com_error& error) {
        (void)vr::ui::ShowComError(this, error); // OK is its only answer
        return;
    }
    // A row the model does not know (nor as a range row's other name) sends nothing.
    std::optional<std::u16string> sent = model_.EditRow(name, std::move(value));
    ShowStatus();
    takingEdit_ = true;
    ShowRows();
    takingEdit_ = false;
    if (sent) {
        Q_EMIT elementChanged(ToQString(*sent));
    }
}

bool XmlSchemaElementEditor::SameRowNames() {
    const std::vector<ostrel::ElementRow>& rows = model_.Rows();
    if (rows.empty() || static_cast<int>(rows.size()) != rows_.GetCount()) {
        return false;
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        if (vr::FromUtf8(rows_.GetAt(static_cast<int>(i))->GetNameText()) != rows[i].name) {
            return false;
        }
    }
    return true;
}

void XmlSchemaElementEditor::ShowStatus() {
    status_->setText(ToQString(model_.StatusText()));
}

bool XmlSchemaElementEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == place_ && event->type() == vr::ui::ControlNotice::EventType()) {
        auto* notice = static_cast<vr::ui::ControlNotice*>(event);
        if (notice->Message() == WM_ATTRIBUTE_CHANGED && !filling_) {
            TakeControlRow(notice->Text().toStdU16String());
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
