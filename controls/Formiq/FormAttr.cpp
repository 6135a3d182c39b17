// The editor control's widgets on Qt.
#include "FormAttr.h"

#include "common/widgets/AttrValueEditor.h"
#include "include/formiq.h"
#include "platform/ui/control.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>

#include <algorithm>

CFormAttr::CFormAttr(const QSize& size, QWidget* parent)
    : QScrollArea(parent), model_(size.width(), size.height()), content_(new QWidget) {
    setFrameShape(QFrame::NoFrame); // the client area is the whole form, as the layout reckons
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFixedSize(size);
    setWidgetResizable(false);
    content_->resize(size.width(), 0);
    setWidget(content_);
    verticalScrollBar()->setSingleStep(FormAttrModel::kRowHeight);
}

CFormAttr::~CFormAttr() {
    Clear(); // the row windows go before the values they show
}

bool CFormAttr::Init(IUnknown* collection, CAttrValueList* lent, long nameWidth, const std::string& options,
                     const std::string& setup, const std::string& childOptions) {
    size_t first = model_.Rows().size();
    bool done = model_.Init(collection, lent, nameWidth, options, setup, childOptions);
    for (size_t row = first; row < model_.Rows().size(); ++row) {
        AddEditor(row);
    }
    content_->resize(width(), model_.NextY());
    return done;
}

void CFormAttr::AddEditor(size_t row) {
    const FormRow& formRow = model_.Rows()[row];
    auto* editor = new AttrValueEditor(*formRow.model, true, content_);
    if (auto* layout = qobject_cast<QHBoxLayout*>(editor->layout())) {
        layout->setSpacing(FormAttrModel::kEditorGap);
    }
    QWidget* name = editor->NameChoices() ? static_cast<QWidget*>(editor->NameChoices()) : editor->Label();
    name->setFixedWidth(model_.NameWidth());
    editor->setGeometry(0, formRow.rect.top, formRow.rect.right, FormAttrModel::kRowHeight);
    // The row's notice is handled once the thread is back in its event loop, as a posted message would be.
    connect(
        editor, &AttrValueEditor::valueTextChanged, editor,
        [this, editor](const QString&, const QString& text) { RowTextChanged(editor, text); },
        Qt::QueuedConnection);
    editor->show();
    editors_.push_back(editor);
}

void CFormAttr::RowTextChanged(AttrValueEditor* editor, const QString& text) {
    auto found = std::find(editors_.begin(), editors_.end(), editor);
    if (found == editors_.end()) {
        return;
    }
    auto [name, value] = model_.RowChanged(static_cast<size_t>(found - editors_.begin()), text.toStdString());
    Q_EMIT rowChanged(QString::fromStdString(name), QString::fromStdString(value));
}

void CFormAttr::RetrieveAttributeValues() {
    for (AttrValueEditor* editor : editors_) {
        (void)editor->Retrieve(); // a failure is shown by the row; the other rows go on
    }
}

void CFormAttr::StoreAttributeValues() {
    // The collection keeps what it accepted of the supplementary setup; the rows are stored whatever it said.
    (void)model_.ApplySupplementary();
    for (AttrValueEditor* editor : editors_) {
        (void)editor->Store(); // a failure is shown by the row; the other rows go on
    }
}

void CFormAttr::Clear() {
    for (AttrValueEditor* editor : editors_) {
        delete editor;
    }
    editors_.clear();
    model_.Clear();
    content_->resize(width(), 0);
}

FormiqWidget::FormiqWidget(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
    form_ = new CFormAttr(QSize(std::max(0, geometry.width() - 4), std::max(0, geometry.height() - 4)), this);
    form_->move(0, 0);
    connect(form_, &CFormAttr::rowChanged, this, &FormiqWidget::FormChanged);
}

void FormiqWidget::FormChanged(const QString& name, const QString& value) {
    lastName_ = name;
    lastValue_ = value;
    Q_EMIT attributeChanged(name, value);
    vr::ui::PostControlNotice(parentWidget(), WM_ATTRIBUTE_CHANGED, this, name);
}
