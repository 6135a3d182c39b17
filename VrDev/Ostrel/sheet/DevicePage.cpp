// The sheet's Device page: sequences and default values over DevicePageModel.
#include "VrDev/Ostrel/sheet/DevicePage.h"

#include "common/attrvalues/AttrValueEditorModel.h"
#include "common/widgets/AttrValueCombo.h"
#include "common/widgets/AttrValueEditor.h"
#include "platform/base/text.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QTextEdit>
#include <QVBoxLayout>

namespace ostrel {

namespace {

constexpr const char* kRowOptions = "ShowUndefined ShowNameAsStandardStatic DynamicallyStoreAttrValue "
                                    "MaxNumOfRecentValues=0 EditChangeDelay=0";
// The terminator's row shows its line ends escaped (the page's model does that), never decoded by the row.
constexpr const char* kTermStringOptions = "ShowUndefined ShowNameAsStandardStatic DynamicallyStoreAttrValue "
                                           "MaxNumOfRecentValues=0 EditChangeDelay=0 NoStringEscCodes";
constexpr const char* kSelectorOptions = "ShowUndefined NotEditable ShowNameAsStandardStatic "
                                         "DynamicallyStoreAttrValue MaxNumOfRecentValues=0 EditChangeDelay=0";

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QTextEdit* SequenceEdit(QWidget* parent) {
    auto* edit = new QTextEdit(parent);
    edit->setAcceptRichText(false);
    edit->setLineWrapMode(QTextEdit::NoWrap);
    return edit;
}

} // namespace

std::unique_ptr<SheetPage> MakeDevicePage(SheetContext& context) {
    return std::make_unique<DevicePage>(context);
}

DevicePage::DevicePage(SheetContext& context)
    : SheetPage(context), model_(context), open_(SequenceEdit(this)), close_(SequenceEdit(this)),
      rows_(new QVBoxLayout), timeout_(std::make_unique<CRangeNumberValue>("Timeout", "", kTimeoutRange)),
      termString_(std::make_unique<CAttrValue>("Termination String", "")) {
    auto* sequences = new QGroupBox(QStringLiteral("Device Initialization Sequence"), this);
    auto* sequenceLayout = new QVBoxLayout(sequences);
    sequenceLayout->addWidget(new QLabel(QStringLiteral("Open Device Operation(s) :"), sequences));
    sequenceLayout->addWidget(open_);
    sequenceLayout->addWidget(new QLabel(QStringLiteral("Close Device Operation(s) :"), sequences));
    sequenceLayout->addWidget(close_);
    auto* defaults = new QGroupBox(QStringLiteral("Device Default Values"), this);
    defaults->setLayout(rows_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sequences, 1);
    layout->addWidget(defaults);

    MakeSelectorRow();
    timeoutRow_ = MakeRow(*timeout_, kRowOptions, 1);
    termStringRow_ = MakeRow(*termString_, kTermStringOptions, 2);
    open_->installEventFilter(this);
    close_->installEventFilter(this);
    connect(open_, &QTextEdit::textChanged, this,
            [this] { SequenceEdited(open_, DevicePageModel::Sequence::Open); });
    connect(close_, &QTextEdit::textChanged, this,
            [this] { SequenceEdited(close_, DevicePageModel::Sequence::Close); });
}

DevicePage::~DevicePage() = default;

QString DevicePage::Caption() const {
    return QStringLiteral("Device");
}

AttrValueEditor* DevicePage::Row(std::u16string_view name) const {
    return name == kTimeoutRow ? timeoutRow_ : name == kTermStringRow ? termStringRow_ : selectorRow_;
}

AttrValueEditor* DevicePage::MakeRow(CAttrValue& value, const char* options, int place) {
    auto* row = new AttrValueEditor(value, options, true, this);
    rows_->insertWidget(place, row);
    connect(row, &AttrValueEditor::attrValueChanged, this, &DevicePage::RowChanged);
    return row;
}

void DevicePage::MakeSelectorRow() {
    auto selector = std::make_unique<CAttrValue>("Default Selector", "");
    std::vector<std::u16string> names;
    if (SUCCEEDED(model_.SelectorChoices(&names))) { // without a file there is nothing to offer
        for (const std::u16string& name : names) {
            selector->AddValue(vr::ToUtf8(name).c_str());
        }
    }
    delete selectorRow_; // the row goes before the value it edits
    selectorRow_ = nullptr;
    selector_ = std::move(selector);
    selectorRow_ = MakeRow(*selector_, kSelectorOptions, 0);
}

void DevicePage::ShowRow(AttrValueEditor* row, const std::u16string& text) {
    row->Model().Value().SetValueText(vr::ToUtf8(text).c_str());
    (void)row->Retrieve(); // a plain value's retrieval cannot fail
}

void DevicePage::Enter() {
    // Another page may have renamed or removed an operation a sequence names: the texts show it now, so
    // that no keystroke writes back what is gone.
    for (auto [edit, sequence] : {std::pair{open_, DevicePageModel::Sequence::Open},
                                  std::pair{close_, DevicePageModel::Sequence::Close}}) {
        if (model_.SequenceChanged(sequence)) {
            ShowSequence(edit, sequence);
        }
    }
    DevicePageModel::Defaults defaults;
    if (HRESULT hr = model_.ReadDefaults(&defaults); FAILED(hr)) {
        return; // without a file there is nothing to show; the General page says so
    }
    showing_ = true;
    MakeSelectorRow();
    ShowRow(selectorRow_, defaults.defaultSelector);
    ShowRow(termStringRow_, defaults.termString);
    ShowRow(timeoutRow_, defaults.timeout);
    showing_ = false;
}

void DevicePage::FileShown() {
    for (auto [edit, sequence] : {std::pair{open_, DevicePageModel::Sequence::Open},
                                  std::pair{close_, DevicePageModel::Sequence::Close}}) {
        ShowSequence(edit, sequence);
    }
}

void DevicePage::ShowSequence(QTextEdit* edit, DevicePageModel::Sequence sequence) {
    std::u16string text;
    if (FAILED(model_.SequenceText(sequence, &text))) {
        Context().Error(u"The device's sequences could not be read from '" + Context().FileName() + u"'.");
    }
    showing_ = true;
    edit->setPlainText(ToQString(text));
    showing_ = false;
}

bool DevicePage::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == open_ || watched == close_) && event->type() == QEvent::FocusIn) {
        auto* edit = static_cast<QTextEdit*>(watched);
        edit->setTextCursor(QTextCursor(edit->document()));
    }
    return SheetPage::eventFilter(watched, event);
}

void DevicePage::SequenceEdited(QTextEdit* edit, DevicePageModel::Sequence sequence) {
    if (showing_) {
        return;
    }
    std::vector<TextSpan> unknown;
    const HRESULT hr = model_.TakeSequenceText(sequence, edit->toPlainText().toStdU16String(), &unknown);
    showing_ = true; // colouring changes the text's formats, which is no edit
    QTextCursor all(edit->document());
    all.select(QTextCursor::Document);
    QTextCharFormat plain;
    plain.setForeground(Qt::black);
    plain.setFontItalic(false);
    all.mergeCharFormat(plain);
    QTextCharFormat red;
    red.setForeground(QColor(255, 0, 0));
    for (const TextSpan& span : unknown) {
        QTextCursor line(edit->document());
        line.setPosition(static_cast<int>(span.begin));
        line.setPosition(static_cast<int>(span.begin + span.length), QTextCursor::KeepAnchor);
        line.mergeCharFormat(red);
    }
    showing_ = false;
    if (FAILED(hr)) {
        Context().Error(u"The sequence could not be written into '" + Context().FileName() + u"'.");
    }
}

void DevicePage::RowChanged(const QString& name, const QString& text) {
    if (showing_) {
        return;
    }
    if (FAILED(model_.SetDefault(name.toStdU16String(), text.toStdU16String()))) {
        Context().Error(!model_.RefusalText().empty()
                            ? model_.RefusalText()
                            : u"'" + name.toStdU16String() + u"' could not be written into '" +
                                  Context().FileName() + u"'.");
    }
}

} // namespace ostrel
